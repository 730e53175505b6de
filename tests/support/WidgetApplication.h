#pragma once
// The widget tests' application object: one per process at a time, made on first need.

#include <QApplication>

#include <string>

namespace vl::test
{

// Makes a QApplication named programName when none exists and returns it; returns null when one
// exists already. The caller may delete what it gets back and ask again later.
inline QApplication* ensureWidgetApplication(const char* programName)
{
    if (QApplication::instance())
        return nullptr;
    // QApplication keeps argc and argv for its whole life.
    static std::string name;
    static int argc;
    static char* argv[] = {nullptr, nullptr};
    argc = 1;
    name = programName;
    argv[0] = name.data();
    return new QApplication(argc, argv);
}

} // namespace vl::test
