#include "cli/PortList.h"

#include "cli/UnitReport.h"
#include "device/UpdateEngine.h"
#include "link/PortDescription.h"

namespace {
// An engine that is only asked about the machine reports nothing anyone needs to see.
class CQuietEvents : public IUpdateEvents {
public:
    void OnLogLine(const std::string&) override {}
    void OnClearLog() override {}
    void OnActivity() override {}
    void OnWebStatus(const std::string&, bool) override {}
    void OnProgressRange(int) override {}
    void OnProgress(int) override {}
    void OnEnable(EngineControl, bool) override {}
    void OnNotice(const std::string&) override {}
    void OnMessageBox(const std::string&) override {}
    std::string SelectedPort() override { return {}; }
    void OnPortChoiceDropped(bool) override {}
};
} // namespace

int ListPorts(std::FILE* out)
{
    CQuietEvents events;
    CUpdateEngine engine(events);
    int count = 0;
    if (engine.ProbeUsbCable()) {
        std::fprintf(out, "%s\tTetherix cable through the D2XX library\n", CUpdateEngine::USB_PORT_NAME);
        ++count;
    } else if (!engine.LastDiagnosis().empty()) {
        // The list stays one port a line; why USB is missing goes beside it, for the reader.
        std::fprintf(stderr, "kestova-flash: %s not listed: %s\n", CUpdateEngine::USB_PORT_NAME,
                     engine.LastDiagnosis().c_str());
    }
    for (const std::string& name : engine.ListSerialPorts()) {
        std::fprintf(out, "%s\t%s\n", name.c_str(), DescribePort(name).c_str());
        ++count;
    }
    std::fflush(out);
    if (count == 0)
        std::fputs("kestova-flash: no serial port and no Tetherix cable found\n", stderr);
    return count == 0 ? EXIT_NO_UNIT : EXIT_VERIFIED;
}
