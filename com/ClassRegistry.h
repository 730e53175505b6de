#pragma once
// Apartment initialisation and creation of objects by class id. A class is found first among the
// class objects registered in this process, then in the class registry: every "*.classreg" file
// of the registry folder, each line "{CLSID} library-file" ('#' starts a comment; a relative
// library name is taken in that folder). The library exports DllGetClassObject.

#include "ComPtr.h"

#include <string>

// {00000001-0000-0000-C000-000000000046}
inline constexpr IID IID_IClassFactory
    = { 0x00000001, 0x0000, 0x0000, { 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46 } };

class IClassFactory : public IUnknown
{
public:
    // outer non-null asks for aggregation, which our classes refuse with CLASS_E_NOAGGREGATION.
    virtual HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** object) = 0; // slot 3
    virtual HRESULT LockServer(BOOL lock) = 0; // slot 4

protected:
    ~IClassFactory() = default;
};

// Entry points of an in-process server library.
extern "C" {
using DllGetClassObjectFunction = HRESULT (*)(const CLSID& clsid, const IID& iid, void** object);
using DllCanUnloadNowFunction = HRESULT (*)();
}

inline constexpr DWORD COINIT_MULTITHREADED = 0x0;
inline constexpr DWORD COINIT_APARTMENTTHREADED = 0x2;

inline constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
inline constexpr DWORD CLSCTX_INPROC_HANDLER = 0x2;
inline constexpr DWORD CLSCTX_LOCAL_SERVER = 0x4;
inline constexpr DWORD CLSCTX_REMOTE_SERVER = 0x10;
inline constexpr DWORD CLSCTX_INPROC = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER;
inline constexpr DWORD CLSCTX_SERVER = CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;
inline constexpr DWORD CLSCTX_ALL = CLSCTX_INPROC | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;

inline constexpr DWORD REGCLS_SINGLEUSE = 0;
inline constexpr DWORD REGCLS_MULTIPLEUSE = 1;

// Counted per thread: the first call answers S_OK, later ones S_FALSE; asking for another
// concurrency model than the thread has answers RPC_E_CHANGED_MODE (and counts nothing).
HRESULT CoInitialize(void* reserved);
HRESULT CoInitializeEx(void* reserved, DWORD coInit);
// Undoes one successful CoInitialize(Ex) of the calling thread.
void CoUninitialize();

// Registers a class object (usually an IClassFactory) for clsid in this process until revoked;
// the registration holds a reference. CO_E_NOTINITIALIZED on an uninitialised thread.
HRESULT CoRegisterClassObject(REFCLSID clsid, IUnknown* classObject, DWORD context, DWORD flags, DWORD* cookie);
// E_INVALIDARG for an unknown cookie.
HRESULT CoRevokeClassObject(DWORD cookie);

// The class object for clsid. Failures: CO_E_NOTINITIALIZED; REGDB_E_CLASSNOTREG (not registered
// anywhere, or only for other contexts); HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND) when the library
// is missing or does not load (vl::lastClassLoadError() tells why); CO_E_ERRORINDLL when it lacks
// DllGetClassObject; otherwise whatever DllGetClassObject answers.
HRESULT CoGetClassObject(REFCLSID clsid, DWORD context, void* serverInfo, REFIID iid, void** object);
// Creates an object through the class object's IClassFactory. outer non-null: CLASS_E_NOAGGREGATION.
// Other failures as CoGetClassObject, or the factory's own. *object is null on every failure.
HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID iid, void** object);
// Unloads the server libraries whose DllCanUnloadNow answers S_OK.
void CoFreeUnusedLibraries();

namespace vl
{
// The folder whose *.classreg files make the class registry. Default: the folder of the running
// program file. An empty path restores the default.
void setClassRegistryFolder(const std::string& folder);
std::string classRegistryFolder();
// Why the last library load of the calling thread failed (the loader's text), empty when none did.
std::string lastClassLoadError();
} // namespace vl
