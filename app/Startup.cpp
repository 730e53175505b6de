#include "Startup.h"

#include "Application.h"
#include "FormatSettings.h"
#include "ClassRegistry.h"

namespace vl {

void registerStartupHooks()
{
    static bool registered = false;
    if (registered)
        return;
    registered = true;
    // Uninitialised at exit only when the initialisation succeeded.
    static bool comInitialized = false;
    TApplication::addInitHook([] { comInitialized = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)); },
                              [] {
                                  if (comInitialized)
                                      CoUninitialize();
                                  comInitialized = false;
                              });
    TApplication::addInitHook([] { loadFormatSettings(); });
}

} // namespace vl
