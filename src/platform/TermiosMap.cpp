#include "platform/TermiosMap.h"

#include "platform/ErrorCodes.h"

#include <iterator>

namespace {
struct SpeedEntry {
    DWORD baud;
    speed_t speed;
};

constexpr SpeedEntry SPEED_TABLE[] = {
    {50, B50},         {75, B75},         {110, B110},       {134, B134},
    {150, B150},       {200, B200},       {300, B300},       {600, B600},
    {1200, B1200},     {1800, B1800},     {2400, B2400},     {4800, B4800},
    {9600, B9600},     {19200, B19200},   {38400, B38400},   {57600, B57600},
    {115200, B115200}, {230400, B230400}, {460800, B460800}, {500000, B500000},
    {576000, B576000}, {921600, B921600}, {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

constexpr tcflag_t SIZE_FLAGS[] = {CS5, CS6, CS7, CS8};
constexpr BYTE MIN_DATA_BITS = 5;
constexpr BYTE MAX_DATA_BITS = 8;

void SetFlag(tcflag_t* pFlags, tcflag_t flag, bool bOn)
{
    if (bOn)
        *pFlags |= flag;
    else
        *pFlags &= ~flag;
}

void ApplyParity(BYTE parity, termios* pTio)
{
    pTio->c_cflag &= ~(PARENB | PARODD | CMSPAR);
    switch (parity) {
    case ODDPARITY: pTio->c_cflag |= PARENB | PARODD; break;
    case EVENPARITY: pTio->c_cflag |= PARENB; break;
    case MARKPARITY: pTio->c_cflag |= PARENB | CMSPAR | PARODD; break;
    case SPACEPARITY: pTio->c_cflag |= PARENB | CMSPAR; break;
    default: break;
    }
}

BYTE ParityOf(const termios& tio)
{
    if (!(tio.c_cflag & PARENB))
        return NOPARITY;
    const bool bOdd = (tio.c_cflag & PARODD) != 0;
    if (tio.c_cflag & CMSPAR)
        return bOdd ? MARKPARITY : SPACEPARITY;
    return bOdd ? ODDPARITY : EVENPARITY;
}
} // namespace

bool BaudToSpeed(DWORD baud, speed_t* pSpeed)
{
    for (const SpeedEntry& entry : SPEED_TABLE) {
        if (entry.baud == baud) {
            *pSpeed = entry.speed;
            return true;
        }
    }
    return false;
}

DWORD SpeedToBaud(speed_t speed)
{
    for (const SpeedEntry& entry : SPEED_TABLE) {
        if (entry.speed == speed)
            return entry.baud;
    }
    return 0;
}

DWORD LineStateToTermios(const SerialLineState& state, termios* pTio)
{
    speed_t speed = B0;
    if (!BaudToSpeed(state.BaudRate, &speed) || state.ByteSize < MIN_DATA_BITS ||
        state.ByteSize > MAX_DATA_BITS || state.Parity > SPACEPARITY ||
        state.StopBits > TWOSTOPBITS)
        return ERROR_INVALID_PARAMETER;
    cfsetispeed(pTio, speed);
    cfsetospeed(pTio, speed);
    pTio->c_cflag = (pTio->c_cflag & ~CSIZE) | SIZE_FLAGS[state.ByteSize - MIN_DATA_BITS];
    ApplyParity(state.Parity, pTio);
    SetFlag(&pTio->c_cflag, CSTOPB, state.StopBits != ONESTOPBIT);
    SetFlag(&pTio->c_iflag, INPCK, state.fParity);
    SetFlag(&pTio->c_cflag, CRTSCTS,
            state.fOutxCtsFlow || state.fRtsControl == RTS_CONTROL_HANDSHAKE);
    SetFlag(&pTio->c_iflag, IXON, state.fOutX);
    SetFlag(&pTio->c_iflag, IXOFF, state.fInX);
    pTio->c_iflag &= ~IXANY;
    pTio->c_cc[VSTART] = static_cast<cc_t>(state.XonChar);
    pTio->c_cc[VSTOP] = static_cast<cc_t>(state.XoffChar);
    return ERROR_SUCCESS;
}

void TermiosToLineState(const termios& tio, SerialLineState* pState)
{
    pState->BaudRate = SpeedToBaud(cfgetospeed(&tio));
    const tcflag_t size = tio.c_cflag & CSIZE;
    for (std::size_t i = 0; i < std::size(SIZE_FLAGS); ++i) {
        if (SIZE_FLAGS[i] == size)
            pState->ByteSize = static_cast<BYTE>(MIN_DATA_BITS + i);
    }
    pState->Parity = ParityOf(tio);
    if (tio.c_cflag & CSTOPB)
        pState->StopBits = pState->ByteSize == MIN_DATA_BITS ? ONE5STOPBITS : TWOSTOPBITS;
    else
        pState->StopBits = ONESTOPBIT;
    pState->fParity = (tio.c_iflag & INPCK) != 0;
    const bool bRtsCts = (tio.c_cflag & CRTSCTS) != 0;
    pState->fOutxCtsFlow = bRtsCts;
    if (bRtsCts)
        pState->fRtsControl = RTS_CONTROL_HANDSHAKE;
    else if (pState->fRtsControl == RTS_CONTROL_HANDSHAKE)
        pState->fRtsControl = RTS_CONTROL_ENABLE;
    pState->fOutX = (tio.c_iflag & IXON) != 0;
    pState->fInX = (tio.c_iflag & IXOFF) != 0;
    pState->XonChar = static_cast<char>(tio.c_cc[VSTART]);
    pState->XoffChar = static_cast<char>(tio.c_cc[VSTOP]);
}

void MakeDefaultTermios(termios* pTio)
{
    cfmakeraw(pTio);
    pTio->c_cflag |= CLOCAL | CREAD;
    pTio->c_cflag &= ~(CSTOPB | CRTSCTS | PARENB | PARODD | CMSPAR);
    pTio->c_cflag = (pTio->c_cflag & ~CSIZE) | CS8;
    pTio->c_iflag &= ~(IXON | IXOFF | IXANY | INPCK);
    pTio->c_cc[VMIN] = 0;
    pTio->c_cc[VTIME] = 0;
    cfsetispeed(pTio, B9600);
    cfsetospeed(pTio, B9600);
}
