// The links the programs use: a serial port, or the Tetherix USB cable through FTDI's library.
#include "device/EngineLinks.h"

#include "link/SerialPortLink.h"
#include "link/UsbCableLink.h"

std::unique_ptr<ILink> MakeDefaultLink(LinkKind kind, ILinkEvents& events)
{
    if (kind == LinkKind::Usb)
        return std::make_unique<CUsbCableLink>(events);
    return std::make_unique<CSerialPortLink>(events);
}
