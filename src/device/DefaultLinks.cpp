#include "device/EngineLinks.h"

// Until the native links are in: a link that never opens.
namespace {
class CNoLink : public ILink {
public:
    LinkError Open(const std::string&, bool) override { return LinkError::Make(LinkFault::NotFound, "no link"); }
    void Close() override {}
    LinkError Write(std::string_view) override { return LinkError::Make(LinkFault::NotOpen, "closed"); }
    bool IsOpen() const override { return false; }
};
} // namespace

std::unique_ptr<ILink> MakeDefaultLink(LinkKind, ILinkEvents&)
{
    return std::make_unique<CNoLink>();
}
