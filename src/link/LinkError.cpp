#include "link/LinkError.h"

#include "link/D2xx.h"

#include <cerrno>
#include <cstring>

namespace {
LinkFault FaultOfErrno(int nErrno)
{
    switch (nErrno) {
    case ENOENT:
    case ENODEV: return LinkFault::NotFound;
    case EACCES:
    case EPERM: return LinkFault::Denied;
    case EBUSY:
    case EWOULDBLOCK: return LinkFault::Busy;
    case ENXIO: return LinkFault::Gone;
    case EINVAL:
    case ENOTTY: return LinkFault::Config;
    default: return LinkFault::Io;
    }
}

LinkFault FaultOfD2xx(unsigned nStatus)
{
    switch (nStatus) {
    case FT_OK: return LinkFault::None;
    case FT_DEVICE_NOT_FOUND: return LinkFault::NotFound;
    case FT_INVALID_HANDLE:
    case FT_DEVICE_NOT_OPENED: return LinkFault::NotOpen;
    case FT_INVALID_BAUD_RATE: return LinkFault::Config;
    default: return LinkFault::Io;
    }
}
} // namespace

LinkError LinkError::FromErrno(int nErrno, const std::string& strWhat)
{
    LinkError error;
    error.m_fault = nErrno == 0 ? LinkFault::Io : FaultOfErrno(nErrno);
    error.m_nErrno = nErrno;
    error.m_strText = strWhat + ": " + std::strerror(nErrno);
    return error;
}

LinkError LinkError::FromErrno(int nErrno, const std::string& strWhat, LinkFault fault)
{
    LinkError error = FromErrno(nErrno, strWhat);
    error.m_fault = fault;
    return error;
}

LinkError LinkError::FromD2xx(unsigned nStatus, const std::string& strWhat)
{
    LinkError error;
    error.m_fault = FaultOfD2xx(nStatus);
    error.m_nD2xxStatus = nStatus;
    error.m_strText = strWhat + ": status " + std::to_string(nStatus);
    return error;
}

LinkError LinkError::Make(LinkFault fault, const std::string& strText)
{
    LinkError error;
    error.m_fault = fault;
    error.m_strText = strText;
    return error;
}

unsigned long LinkError::Code() const
{
    if (!Failed())
        return 0;
    if (m_nErrno != 0)
        return static_cast<unsigned long>(m_nErrno);
    if (m_nD2xxStatus != 0)
        return m_nD2xxStatus;
    return 1;
}
