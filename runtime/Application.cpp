#include "Application.h"

#include "Exceptions.h"
#include "Form.h"
#include "FormatSettings.h"
#include "Platform.h"
#include "Startup.h"
#include "Text.h"

#include <QApplication>
#include <QMessageBox>

TApplication* Application = nullptr;

namespace vl {
namespace {
MessageBoxHandler& boxHandler()
{
    static MessageBoxHandler handler;
    return handler;
}

struct Hook {
    TApplication::InitHook init;
    TApplication::ExitHook exit;
};
std::vector<Hook>& hooks()
{
    static std::vector<Hook> list;
    return list;
}
} // namespace

void setMessageBoxHandler(MessageBoxHandler handler) { boxHandler() = std::move(handler); }

void showMessageBox(const std::string& text, const std::string& caption, MessageBoxIcon icon)
{
    if (boxHandler()) {
        boxHandler()(text, caption, icon);
        return;
    }
    const auto qtIcon = icon == MessageBoxIcon::Stop      ? QMessageBox::Critical
                        : icon == MessageBoxIcon::Warning ? QMessageBox::Warning
                                                          : QMessageBox::Information;
    // Owned by the active window: the others are disabled while it is up, and focus returns
    // where it was when it closes.
    QMessageBox box(qtIcon, QString::fromStdU16String(toWide(caption)), QString::fromStdU16String(toWide(text)),
                    QMessageBox::Ok, QApplication::activeWindow());
    box.exec();
}

std::string titleFromProgramPath(std::string_view path)
{
    std::string name(path);
    // The last separator that is not the trailing byte of a double-byte character.
    size_t cut = std::string::npos;
    for (size_t i = 0; i < name.size(); i += std::max<size_t>(1, charLengthAt(name, i)))
        if (name[i] == '/')
            cut = i;
    if (cut != std::string::npos)
        name.erase(0, cut + 1);
    for (size_t i = 0; i < name.size(); i += std::max<size_t>(1, charLengthAt(name, i))) {
        if (name[i] == '.') {
            name.resize(i);
            break;
        }
    }
    if (name.empty())
        return name;
    const size_t first = charLengthAt(name, 0);
    std::u16string rest = toWide(std::string_view(name).substr(first));
    for (auto& c : rest) {
        if (c < 0xD800 || c >= 0xE000) {
            char32_t lower = QChar::toLower(static_cast<char32_t>(c));
            if (lower < 0x10000)
                c = static_cast<char16_t>(lower);
        }
    }
    return name.substr(0, first) + toNarrow(rest);
}
} // namespace vl

TApplication::TApplication(int& argc, char** argv) : TComponent(nullptr)
{
    if (!QApplication::instance())
        m_qtApp = std::make_unique<QApplication>(argc, argv);
    m_title = vl::titleFromProgramPath(vl::programFilePath());
    Application = this;
}

TApplication::~TApplication()
{
    DestroyComponents();
    if (m_initialized) {
        auto& list = vl::hooks();
        for (auto it = list.rbegin(); it != list.rend(); ++it)
            if (it->exit)
                it->exit();
    }
    if (Application == this)
        Application = nullptr;
    m_qtApp.reset();
}

void TApplication::addInitHook(InitHook init, ExitHook exit)
{
    vl::hooks().push_back({std::move(init), std::move(exit)});
}

void TApplication::Initialize()
{
    if (m_initialized)
        return;
    for (auto& hook : vl::hooks())
        if (hook.init)
            hook.init();
    m_initialized = true;
}

void TApplication::registerForm(TForm* form)
{
    try {
        form->DoCreate();
    } catch (...) {
        HandleException(std::current_exception());
    }
    if (!m_mainForm)
        m_mainForm = form;
}

int TApplication::Run()
{
    if (m_mainForm && m_mainForm->Window()) {
        m_mainForm->Window()->show();
        QApplication::exec();
    }
    return 0;
}

void TApplication::Terminate()
{
    QApplication::quit();
}

void TApplication::HandleException(std::exception_ptr error)
{
    try {
        std::rethrow_exception(error);
    } catch (const EAbort&) {
        // The silent kind.
    } catch (const std::exception& e) {
        ShowException(e);
    } catch (...) {
        vl::showMessageBox("Unknown error", m_title, vl::MessageBoxIcon::Stop);
    }
}

void TApplication::ShowException(const std::exception& error)
{
    vl::showMessageBox(vl::messageWithFullStop(error.what()), m_title, vl::MessageBoxIcon::Stop);
}

void runGuarded(const std::function<void()>& fn)
{
    try {
        fn();
    } catch (...) {
        if (Application) {
            Application->HandleException(std::current_exception());
            return;
        }
        try {
            throw;
        } catch (const EAbort&) {
        } catch (const std::exception& e) {
            vl::showMessageBox(vl::messageWithFullStop(e.what()), {}, vl::MessageBoxIcon::Stop);
        } catch (...) {
        }
    }
}

namespace vl {
void registerStartupHooks()
{
    static bool registered = false;
    if (registered)
        return;
    registered = true;
    // Ended at exit only when it began.
    static bool componentLayerStarted = false;
    TApplication::addInitHook([] { componentLayerStarted = beginComponentLayer(); },
                              [] {
                                  if (componentLayerStarted)
                                      endComponentLayer();
                                  componentLayerStarted = false;
                              });
    TApplication::addInitHook([] { loadFormatSettings(); });
}
} // namespace vl
