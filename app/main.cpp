#include "Application.h"
#include "Form1.h"
#include "Startup.h"

#include <clocale>

int main(int argc, char** argv)
{
    // Narrow texts are in the code page of the user's locale.
    std::setlocale(LC_ALL, "");
    TApplication application(argc, argv);
    vl::registerStartupHooks();
    Application->Initialize();
    Application->CreateForm(Form1);
    return Application->Run();
}
