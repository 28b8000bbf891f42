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
    if (!m_pHandle)
        return nullptr;
    dlerror(); // forget an earlier text, so that the one below is this lookup's
    void* pSymbol = dlsym(m_pHandle, name);
    if (!pSymbol) {
        const char* error = dlerror();
        m_loadError = error ? error : std::string("undefined symbol: ") + name;
    }
    return pSymbol;
}

bool CDynamicLibrary::IsResident(const std::string& nameOrPath)
{
    void* pHandle = dlopen(nameOrPath.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD);
    if (!pHandle)
        return false;
    dlclose(pHandle);
    return true;
}
