#pragma once
// The one start of every entry point (the window, vldata, vlreport, vljet), so that the same data
// under the same locale give the same text everywhere (docs/format-settings.md):
//   1. the process locale from the environment (LC_ALL, LC_*, LANG), which also makes its codeset
//      the narrow code page of every conversion;
//   2. where the entry point uses components, the component layer on the main thread as a
//      single-threaded apartment, uninitialised at the end;
//   3. the locale's number and date-time format settings (FormatSettings).
// None of the steps fails: a locale the system lacks leaves the C locale and the fallbacks.

namespace vl {

enum class ComponentLayer {
    Unused, // the entry point never creates a component
    Apartment, // initialised apartment-threaded on the constructing thread
};

// Step 1. Run before anything reads or converts text, and before the Qt application object.
void setLocaleFromEnvironment();

// Step 2: true when the layer was initialised and endComponentLayer must follow on this thread.
bool beginComponentLayer();
void endComponentLayer();

// Steps 1 to 3 at once, for a tool's main, held until main returns. Not copyable.
class ProgramStart {
public:
    explicit ProgramStart(ComponentLayer components = ComponentLayer::Unused);
    ~ProgramStart();
    ProgramStart(const ProgramStart&) = delete;
    ProgramStart& operator=(const ProgramStart&) = delete;

    bool componentLayerStarted() const { return m_componentLayer; }

private:
    bool m_componentLayer = false;
};

// The window takes steps 2 and 3 as the application's initialisation hooks: registerStartupHooks
// in Application.h.

} // namespace vl
