#include "platform/DynamicLibrary.h"

#include <dlfcn.h>

CDynamicLibrary::~CDynamicLibrary()
{
    Unload();
}

bool CDynamicLibrary::Load(const std::string& nameOrPath)
{
    Unload();
    m_pHandle = dlopen(nameOrPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    const char* error = m_pHandle ? nullptr : dlerror();
    m_loadError = error ? error : "";
    return m_pHandle != nullptr;
}

void CDynamicLibrary::Unload()
{
    if (m_pHandle) {
        dlclose(m_pHandle);
        m_pHandle = nullptr;
    }
}

void* CDynamicLibrary::Symbol(const char* name) const
{
    return m_pHandle ? dlsym(m_pHandle, name) : nullptr;
}

bool CDynamicLibrary::IsResident(const std::string& nameOrPath)
{
    void* pHandle = dlopen(nameOrPath.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD);
    if (!pHandle)
        return false;
    dlclose(pHandle);
    return true;
}
