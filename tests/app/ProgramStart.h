#pragma once
// The program as main starts it, for the suites that drive the real window: the application
// object, the startup hooks, the main form created and shown. The working folder is the caller's;
// a TestFolder gives a test a folder of its own and puts the working folder back.

#include "Application.h"
#include "ClassRegistry.h"
#include "Form1.h"
#include "Platform.h"
#include "Startup.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

namespace vl::test {

inline std::unique_ptr<TApplication> startProgram()
{
    static int argc = 1;
    static char name[] = "vldemo";
    static char* argv[] = { name, nullptr };
    auto app = std::make_unique<TApplication>(argc, argv);
    vl::registerStartupHooks();
    Application->Initialize();
    Application->CreateForm(Form1);
    Form1->Window()->show();
    QApplication::processEvents();
    return app;
}

// The program's start as a test sees it: the C.UTF-8 locale, the program file in the run folder, and
// every message box recorded in `boxes` (and its caption in `captions`, when given) instead of shown.
inline void recordAsProgram(std::vector<std::string>& boxes, std::vector<std::string>* captions = nullptr)
{
    std::setlocale(LC_ALL, "C.UTF-8");
    vl::setProgramFilePath(std::string(VL_RUN_DIR) + "/vldemo");
    vl::setMessageBoxHandler([&boxes, captions](const std::string& text, const std::string& caption, vl::MessageBoxIcon) {
        boxes.push_back(text);
        if (captions)
            captions->push_back(caption);
    });
}

// Puts back the seams a test may set: the message boxes, the program file path, the class
// registry folder and the tick counter all return to the system's.
inline void resetProgramSeams()
{
    vl::setMessageBoxHandler({});
    vl::setProgramFilePath({});
    vl::setClassRegistryFolder({});
    vl::setTickCounter({});
}

// A new empty folder under the system's temporary folder, named from prefix.
inline std::filesystem::path makeTemporaryFolder(const std::string& prefix)
{
    std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("cannot make a temporary folder from " + pattern);
    return pattern;
}

// A test's own temporary folder, and the working folder to go back to. When it goes, the working
// folder is put back and the temporary one removed with all it holds; a failure there fails the test.
class TestFolder {
public:
    explicit TestFolder(const std::string& prefix)
        : m_previous(std::filesystem::current_path())
        , m_path(makeTemporaryFolder(prefix))
    {
    }
    ~TestFolder()
    {
        std::error_code error;
        std::filesystem::current_path(m_previous, error);
        EXPECT_FALSE(error) << "cannot return to " << m_previous << ": " << error.message();
        std::filesystem::remove_all(m_path, error);
        EXPECT_FALSE(error) << "cannot remove " << m_path << ": " << error.message();
    }
    TestFolder(const TestFolder&) = delete;
    TestFolder& operator=(const TestFolder&) = delete;

    const std::filesystem::path& path() const { return m_path; }

private:
    std::filesystem::path m_previous;
    std::filesystem::path m_path;
};

} // namespace vl::test
