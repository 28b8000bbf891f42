#include "device/EngineLinks.h"

#include "link/SerialPortLink.h"

// Until the USB cable's native link is in: a cable that is never there.
namespace {
class CNoLink : public ILink {
public:
    LinkError Open(const std::string&, bool) override { return LinkError::Make(LinkFault::NotFound, "no link"); }
    void Close() override {}
    LinkError Write(std::string_view) override { return LinkError::Make(LinkFault::NotOpen, "closed"); }
    bool IsOpen() const override { return false; }
};
} // namespace

std::unique_ptr<ILink> MakeDefaultLink(LinkKind kind, ILinkEvents& events)
{
    if (kind == LinkKind::Serial)
        return std::make_unique<CSerialPortLink>(events);
    return std::make_unique<CNoLink>();
}
