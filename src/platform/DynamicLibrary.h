// A shared library loaded at run time and looked up by symbol name (the stand-in for
// LoadLibrary, GetProcAddress and FreeLibrary).
#pragma once

#include <string>

class CDynamicLibrary {
public:
    CDynamicLibrary() = default;
    ~CDynamicLibrary();
    CDynamicLibrary(const CDynamicLibrary&) = delete;
    CDynamicLibrary& operator=(const CDynamicLibrary&) = delete;

    // Loads the library by name (searched the usual way) or by path; true when it is loaded.
    // A library already held is released first.
    bool Load(const std::string& nameOrPath);
    void Unload();
    bool IsLoaded() const { return m_pHandle != nullptr; }
    // The loader's own text for the last failed Load ("libftd2xx.so: cannot open shared
    // object file: No such file or directory") or symbol lookup ("libz.so.1: undefined symbol:
    // FT_Write"); empty after a successful Load until a lookup fails.
    const std::string& LoadError() const { return m_loadError; }

    // Address of the named symbol, or null when the library lacks it or is not loaded.
    void* Symbol(const char* name) const;

    // True when the library is mapped in this process at the moment, without loading it.
    static bool IsResident(const std::string& nameOrPath);

private:
    void* m_pHandle = nullptr;
    mutable std::string m_loadError;
};
