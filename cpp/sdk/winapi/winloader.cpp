#include "winapi.h"

#include "fenlog.h"

#include <cctype>
#include <cstring>
#include <dlfcn.h>
#include <link.h>
#include <string>
#include <unistd.h>

namespace {

thread_local DWORD t_lastError = ERROR_SUCCESS;

bool endsWithDll(const std::string& name)
{
    if (name.size() < 4)
        return false;
    std::string tail = name.substr(name.size() - 4);
    for (char& c : tail)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return tail == ".dll";
}

// "dir\\name.dll" -> "dir/libname.so"; other names only get '/' separators.
std::string platformPath(LPCWSTR moduleName)
{
    std::string path = fenbase::wideToUtf8(moduleName);
    for (char& c : path)
        if (c == '\\')
            c = '/';
    if (!endsWithDll(path))
        return path;
    const size_t slash = path.rfind('/');
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const std::string stem = path.substr(nameStart, path.size() - 4 - nameStart);
    return path.substr(0, nameStart) + "lib" + stem + ".so";
}

std::string baseName(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

struct LoadedSearch
{
    std::string wanted;
    std::string found;
};

int matchLoaded(dl_phdr_info* info, size_t, void* data)
{
    auto* search = static_cast<LoadedSearch*>(data);
    if (info->dlpi_name == nullptr || info->dlpi_name[0] == '\0')
        return 0;
    if (baseName(info->dlpi_name) != search->wanted)
        return 0;
    search->found = info->dlpi_name;
    return 1;
}

// The path under which a module of this name is loaded, or empty.
std::string loadedPath(const std::string& path)
{
    if (path.find('/') != std::string::npos)
        return path;
    LoadedSearch search{path, {}};
    dl_iterate_phdr(matchLoaded, &search);
    return search.found;
}

} // namespace

DWORD GetLastError()
{
    return t_lastError;
}

void SetLastError(DWORD error)
{
    t_lastError = error;
}

HMODULE GetModuleHandleW(LPCWSTR moduleName)
{
    if (moduleName == nullptr)
        return static_cast<HMODULE>(dlopen(nullptr, RTLD_LAZY | RTLD_NOLOAD));
    const std::string path = loadedPath(platformPath(moduleName));
    void* handle = path.empty() ? nullptr : dlopen(path.c_str(), RTLD_LAZY | RTLD_NOLOAD);
    if (handle == nullptr) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    // The handle is borrowed, as on Windows: give back the reference RTLD_NOLOAD added.
    dlclose(handle);
    return static_cast<HMODULE>(handle);
}

DWORD GetModuleFileNameW(HMODULE module, LPWSTR fileName, DWORD size)
{
    if (fileName == nullptr || size == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::string path;
    if (module == nullptr) {
        char buffer[4096] = {};
        const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
        if (n > 0)
            path.assign(buffer, static_cast<size_t>(n));
    } else {
        link_map* map = nullptr;
        if (dlinfo(module, RTLD_DI_LINKMAP, &map) == 0 && map != nullptr && map->l_name != nullptr)
            path = map->l_name;
    }
    if (path.empty()) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return 0;
    }
    const int needed =
        MultiByteToWideChar(CP_UTF8, 0, path.data(), static_cast<int>(path.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(needed), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, path.data(), static_cast<int>(path.size()), &wide[0], needed);
    for (wchar_t& c : wide)
        if (c == L'/')
            c = L'\\';
    const DWORD length = static_cast<DWORD>(wide.size());
    if (length >= size) {
        wide.copy(fileName, size - 1);
        fileName[size - 1] = L'\0';
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    wide.copy(fileName, length);
    fileName[length] = L'\0';
    return length;
}

HMODULE LoadLibraryW(LPCWSTR fileName)
{
    if (fileName == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    void* handle = dlopen(platformPath(fileName).c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    return static_cast<HMODULE>(handle);
}

FARPROC GetProcAddress(HMODULE module, LPCSTR procName)
{
    if (module == nullptr || procName == nullptr) {
        SetLastError(module == nullptr ? ERROR_INVALID_HANDLE : ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    dlerror();
    void* symbol = dlsym(module, procName);
    if (symbol == nullptr) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<FARPROC>(symbol);
}

BOOL FreeLibrary(HMODULE module)
{
    if (module == nullptr || dlclose(module) != 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}
