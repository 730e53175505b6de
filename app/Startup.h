#pragma once

namespace vl {
// Adds the program's initialisation hooks to the application object once: the component
// object model for the main thread as a single-threaded apartment, and the locale's format
// settings, read before any window exists.
void registerStartupHooks();
} // namespace vl
