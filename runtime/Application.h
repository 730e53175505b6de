#pragma once
// The application object: initialisation hooks, form creation, the message loop and the
// exception handler that shows every failure but EAbort in a modal message box.

#include "Component.h"
#include "Exceptions.h" // messageWithFullStop, the rule of every message shown

#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class QApplication;
class QWidget;
class TForm;

namespace vl {
enum class MessageBoxIcon { Stop, Warning, Information };
// The seam every message box goes through; tests replace it so nothing blocks.
using MessageBoxHandler = std::function<void(const std::string& text, const std::string& caption, MessageBoxIcon icon)>;
void setMessageBoxHandler(MessageBoxHandler handler); // empty restores the real QMessageBox
void showMessageBox(const std::string& text, const std::string& caption, MessageBoxIcon icon);

// The title rule: directory removed, everything from the first "." removed, every character
// after the first in lower case.
std::string titleFromProgramPath(std::string_view path);
} // namespace vl

class TApplication : public TComponent {
public:
    // Creates the Qt application when none exists yet; Application points at this object.
    TApplication(int& argc, char** argv);
    ~TApplication() override;

    using InitHook = std::function<void()>;
    using ExitHook = std::function<void()>;
    // Hooks run by Initialize in the order added; exit hooks run in reverse at destruction.
    static void addInitHook(InitHook init, ExitHook exit = {});

    void Initialize();

    // Constructs the form (which loads its description and runs its creation handler; a
    // failure there is shown here), stores it in ref, and makes the first form the main one.
    template <class Form>
    void CreateForm(Form*& ref)
    {
        Form* form = new Form(this);
        ref = form;
        registerForm(form);
    }

    // Shows the main form and runs the event loop until it is closed. Returns 0.
    int Run();
    void Terminate();

    // Drops EAbort; shows any other exception's message with the "." rule.
    void HandleException(std::exception_ptr error);
    void ShowException(const std::exception& error);

    const std::string& Title() const { return m_title; }
    void SetTitle(std::string title) { m_title = std::move(title); }
    TForm* MainForm() const { return m_mainForm; }

private:
    void registerForm(TForm* form);

    std::unique_ptr<QApplication> m_qtApp;
    std::string m_title;
    TForm* m_mainForm = nullptr;
    bool m_initialized = false;
};

extern TApplication* Application;

// Runs fn and hands any exception to the application's handler (or shows it directly when
// there is no application object). For event and click handlers.
void runGuarded(const std::function<void()>& fn);

namespace vl {
// The window's share of the start (Startup.h): its main runs step 1 before the application
// object; steps 2 and 3 are added once as initialisation hooks, so that they run in Initialize,
// before any window exists, and the component layer ends when the application object goes.
void registerStartupHooks();
} // namespace vl
