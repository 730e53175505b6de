#include "Startup.h"

#include "ClassRegistry.h"
#include "FormatSettings.h"

#include <clocale>

namespace vl {

void setLocaleFromEnvironment() { std::setlocale(LC_ALL, ""); }

bool beginComponentLayer() { return SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)); }

void endComponentLayer() { CoUninitialize(); }

ProgramStart::ProgramStart(ComponentLayer components)
{
    setLocaleFromEnvironment();
    if (components == ComponentLayer::Apartment)
        m_componentLayer = beginComponentLayer();
    loadFormatSettings();
}

ProgramStart::~ProgramStart()
{
    if (m_componentLayer)
        endComponentLayer();
}

} // namespace vl
