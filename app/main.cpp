#include "Application.h"
#include "Form1.h"
#include "Startup.h"

int main(int argc, char** argv)
{
    // The locale before the application object; the rest of the start runs in Initialize.
    vl::setLocaleFromEnvironment();
    TApplication application(argc, argv);
    vl::registerStartupHooks();
    Application->Initialize();
    Application->CreateForm(Form1);
    return Application->Run();
}
