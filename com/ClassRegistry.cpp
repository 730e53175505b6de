#include "ClassRegistry.h"

HRESULT CoInitialize(void*) { return E_NOTIMPL; }
HRESULT CoInitializeEx(void*, DWORD) { return E_NOTIMPL; }
void CoUninitialize() {}
HRESULT CoRegisterClassObject(REFCLSID, IUnknown*, DWORD, DWORD, DWORD*) { return E_NOTIMPL; }
HRESULT CoRevokeClassObject(DWORD) { return E_NOTIMPL; }
HRESULT CoGetClassObject(REFCLSID, DWORD, void*, REFIID, void**) { return E_NOTIMPL; }
HRESULT CoCreateInstance(REFCLSID, IUnknown*, DWORD, REFIID, void**) { return E_NOTIMPL; }
void CoFreeUnusedLibraries() {}
namespace vl {
void setClassRegistryFolder(const std::string&) {}
std::string classRegistryFolder() { return {}; }
std::string lastClassLoadError() { return {}; }
} // namespace vl
