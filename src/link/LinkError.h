// What went wrong with a link to the unit: one kind that the sentences for the user are chosen
// from, the system's number behind it (an errno, or a D2XX status), and the system's own words.
// Every failure of a serial port or the USB cable is mapped to it here, in one place.
#pragma once

#include <string>

enum class LinkFault {
    None,            // no failure
    NotFound,        // no such port or cable (ENOENT, ENODEV, FT_DEVICE_NOT_FOUND)
    Denied,          // this user may not open it (EACCES, EPERM)
    Busy,            // another program holds it (EBUSY, EWOULDBLOCK)
    Gone,            // it was there and went away (hang-up, ENXIO, EIO on a vanished device)
    Io,              // a read or write failed (EIO, FT_IO_ERROR, another D2XX status)
    Config,          // the line could not be set up (baud rate, termios)
    LibraryMissing,  // FTDI's library could not be loaded
    FunctionMissing, // the library lacks a function it must have
    NotOpen,         // the link is closed
};

class [[nodiscard]] LinkError {
public:
    LinkError() = default;

    // A failed system call of the serial port: the kind follows from errno.
    static LinkError FromErrno(int nErrno, const std::string& strWhat);
    // The same with the kind given where errno alone does not say it (EIO from a port whose
    // device went away is Gone).
    static LinkError FromErrno(int nErrno, const std::string& strWhat, LinkFault fault);
    // A failed D2XX call: the kind follows from its status.
    static LinkError FromD2xx(unsigned nStatus, const std::string& strWhat);
    static LinkError Make(LinkFault fault, const std::string& strText);

    bool Failed() const { return m_fault != LinkFault::None; }
    explicit operator bool() const { return Failed(); }
    LinkFault Fault() const { return m_fault; }
    // The errno of a serial port's failure, 0 otherwise.
    int Errno() const { return m_nErrno; }
    // The D2XX status of the USB cable's failure, 0 otherwise.
    unsigned D2xxStatus() const { return m_nD2xxStatus; }
    // The call that failed and the system's words ("open: Permission denied").
    const std::string& Text() const { return m_strText; }
    // The number the support log records: the errno, else the D2XX status, else 1 for a
    // failure without a number, 0 for none.
    unsigned long Code() const;

private:
    LinkFault m_fault = LinkFault::None;
    int m_nErrno = 0;
    unsigned m_nD2xxStatus = 0;
    std::string m_strText;
};
