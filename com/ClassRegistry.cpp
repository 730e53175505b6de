#include "ClassRegistry.h"

#include <algorithm>
#include <dlfcn.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <vector>

namespace fs = std::filesystem;

namespace
{

struct Apartment {
    int initCount = 0;
    DWORD model = COINIT_APARTMENTTHREADED;
};
thread_local Apartment t_apartment;
thread_local std::string t_lastLoadError;

struct Registration {
    DWORD cookie;
    CLSID clsid;
    DWORD context;
    vl::ComPtr<IUnknown> classObject;
};

struct Registry {
    std::mutex mutex;
    std::vector<Registration> registrations;
    DWORD nextCookie = 1;
    std::string folder;
    std::map<std::string, void*> libraries;
};

Registry& registry()
{
    static Registry instance;
    return instance;
}

std::string programFolder()
{
    std::error_code error;
    const fs::path program = fs::read_symlink("/proc/self/exe", error);
    return error ? std::string(".") : program.parent_path().string();
}

std::string_view trimmed(std::string_view text)
{
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos)
        return {};
    const auto last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

// The library registered for clsid in the folder's *.classreg files (read in name order, first
// registration wins), or empty.
std::string findLibrary(const std::string& folder, const CLSID& clsid)
{
    std::vector<fs::path> files;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        if (it->path().extension() == ".classreg")
            files.push_back(it->path());
    std::sort(files.begin(), files.end());
    for (const fs::path& file : files) {
        std::ifstream in(file);
        std::string line;
        while (std::getline(in, line)) {
            std::string_view text = line;
            if (const auto hash = text.find('#'); hash != std::string_view::npos)
                text = text.substr(0, hash);
            text = trimmed(text);
            const auto gap = text.find_first_of(" \t");
            if (gap == std::string_view::npos)
                continue;
            GUID registered;
            if (!vl::parseGuid(text.substr(0, gap), registered) || registered != clsid)
                continue;
            const fs::path library(std::string(trimmed(text.substr(gap))));
            return (library.is_absolute() ? library : fs::path(folder) / library).string();
        }
    }
    return {};
}

// Loads (once) the library and answers its DllGetClassObject.
HRESULT loadServer(const std::string& path, DllGetClassObjectFunction& entry)
{
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    void* handle = nullptr;
    if (auto it = r.libraries.find(path); it != r.libraries.end()) {
        handle = it->second;
    } else {
        std::error_code error;
        if (!fs::exists(path, error)) {
            t_lastLoadError = path + ": cannot open shared object file: No such file or directory";
            return HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
        }
        handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            const char* why = dlerror();
            t_lastLoadError = why ? why : path;
            return HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
        }
        r.libraries.emplace(path, handle);
    }
    entry = reinterpret_cast<DllGetClassObjectFunction>(dlsym(handle, "DllGetClassObject"));
    if (!entry) {
        t_lastLoadError = path + ": no DllGetClassObject";
        return CO_E_ERRORINDLL;
    }
    return S_OK;
}

} // namespace

HRESULT CoInitialize(void* reserved)
{
    return CoInitializeEx(reserved, COINIT_APARTMENTTHREADED);
}

HRESULT CoInitializeEx(void*, DWORD coInit)
{
    const DWORD model = coInit & COINIT_APARTMENTTHREADED;
    if (t_apartment.initCount > 0 && t_apartment.model != model)
        return RPC_E_CHANGED_MODE;
    t_apartment.model = model;
    return ++t_apartment.initCount == 1 ? S_OK : S_FALSE;
}

void CoUninitialize()
{
    if (t_apartment.initCount > 0)
        --t_apartment.initCount;
}

HRESULT CoRegisterClassObject(REFCLSID clsid, IUnknown* classObject, DWORD context, DWORD, DWORD* cookie)
{
    if (!classObject || !cookie)
        return E_INVALIDARG;
    *cookie = 0;
    if (t_apartment.initCount == 0)
        return CO_E_NOTINITIALIZED;
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    *cookie = r.nextCookie++;
    r.registrations.push_back({ *cookie, clsid, context, vl::ComPtr<IUnknown>(classObject) });
    return S_OK;
}

HRESULT CoRevokeClassObject(DWORD cookie)
{
    vl::ComPtr<IUnknown> revoked; // released outside the lock: its Release may run anything
    Registry& r = registry();
    {
        std::lock_guard lock(r.mutex);
        auto it = std::find_if(r.registrations.begin(), r.registrations.end(),
            [&](const Registration& reg) { return reg.cookie == cookie; });
        if (it == r.registrations.end())
            return E_INVALIDARG;
        revoked = std::move(it->classObject);
        r.registrations.erase(it);
    }
    return S_OK;
}

HRESULT CoGetClassObject(REFCLSID clsid, DWORD context, void*, REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (t_apartment.initCount == 0)
        return CO_E_NOTINITIALIZED;
    vl::ComPtr<IUnknown> registered;
    std::string folder;
    {
        Registry& r = registry();
        std::lock_guard lock(r.mutex);
        for (const Registration& reg : r.registrations)
            if (reg.clsid == clsid && (reg.context & context)) {
                registered = reg.classObject;
                break;
            }
        folder = r.folder;
    }
    if (registered)
        return registered->QueryInterface(iid, object);
    if (!(context & CLSCTX_INPROC_SERVER))
        return REGDB_E_CLASSNOTREG;
    if (folder.empty())
        folder = programFolder();
    const std::string library = findLibrary(folder, clsid);
    if (library.empty())
        return REGDB_E_CLASSNOTREG;
    DllGetClassObjectFunction entry = nullptr;
    if (const HRESULT hr = loadServer(library, entry); FAILED(hr))
        return hr;
    HRESULT hr = E_UNEXPECTED;
    try {
        hr = entry(clsid, iid, object);
    } catch (...) {
        hr = E_UNEXPECTED;
    }
    if (FAILED(hr))
        *object = nullptr;
    return hr;
}

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    vl::ComPtr<IClassFactory> factory;
    if (const HRESULT hr = CoGetClassObject(clsid, context, nullptr, IID_IClassFactory, factory.voidOut()); FAILED(hr))
        return hr;
    if (outer)
        return CLASS_E_NOAGGREGATION;
    const HRESULT hr = factory->CreateInstance(nullptr, iid, object);
    if (FAILED(hr))
        *object = nullptr;
    return hr;
}

void CoFreeUnusedLibraries()
{
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    for (auto it = r.libraries.begin(); it != r.libraries.end();) {
        auto canUnload = reinterpret_cast<DllCanUnloadNowFunction>(dlsym(it->second, "DllCanUnloadNow"));
        if (canUnload && canUnload() == S_OK) {
            dlclose(it->second);
            it = r.libraries.erase(it);
        } else {
            ++it;
        }
    }
}

namespace vl
{

void setClassRegistryFolder(const std::string& folder)
{
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    r.folder = folder;
}

std::string classRegistryFolder()
{
    Registry& r = registry();
    {
        std::lock_guard lock(r.mutex);
        if (!r.folder.empty())
            return r.folder;
    }
    return programFolder();
}

std::string lastClassLoadError()
{
    return t_lastLoadError;
}

} // namespace vl
