// Golden transcripts of the update engine: each scenario below is played through
// CGoldenDriver, everything observable is written down by CGoldenRecorder, and the text must
// equal the checked-in transcript under transcripts/. KX_GOLDEN_UPDATE=1 rewrites the files
// instead. A transcript is a list of steps ("> what happened") each followed by what the engine
// did, in order: status lines, notices, controls enabled, bytes to the unit with the timer or
// input that sent them, support log entries ("log:"), web requests, and the five controls.
#include "GoldenDriver.h"
#include "GoldenRecorder.h"
#include "UnitSimulator.h"
#include "platform/SupportLog.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <deque>
#include <fstream>
#include <functional>
#include <sstream>

namespace {

constexpr std::uint32_t SERIAL_A = 1111;
constexpr std::uint32_t SERIAL_B = 2222;

UnitIdentity MakeUnit(std::uint32_t serial)
{
    UnitIdentity id;
    id.serialNumber = serial;
    return id;
}

// A small image for one unit: its data lines name the unit.
std::string ImageText(std::uint32_t serial)
{
    const std::string sn = std::to_string(serial);
    return "VER:0107\r\nPID:0410\r\nINFO:golden image\r\n:10S" + sn + "D000\r\n:10S" + sn +
           "D100\r\n:10S" + sn + "D200\r\n:00S" + sn + "E0119\r\n";
}

// One scenario: the engine behind the driver, a simulated unit on the line that hears what the
// engine sends, and the recorder that writes the transcript.
class CBench {
public:
    explicit CBench(const std::string& title) : m_driver(m_face, m_log)
    {
        m_face.AddAlias(m_dir.path().toStdString(), "<tmp>");
        m_face.Note("# " + title);
        Attach(SERIAL_A);
    }

    // A unit is switched on at the cable's end (it waits for the wake-up).
    UnitSimulator& Attach(std::uint32_t serial)
    {
        m_pUnit = std::make_unique<UnitSimulator>(MakeUnit(serial));
        m_replies.clear();
        return *m_pUnit;
    }
    UnitSimulator& Unit() { return *m_pUnit; }
    // The unit is switched off and on: what it was about to say is lost.
    void RestartUnit()
    {
        m_pUnit->Restart();
        m_replies.clear();
    }

    void OpenPort(LinkKind kind)
    {
        Do("port chosen: " + m_driver.PortName(kind), "port opened", [&] { return m_driver.OpenPort(kind); });
    }
    void StartWithSavedPortAbsent(LinkKind kind)
    {
        Do("start with the saved port absent: " + m_driver.PortName(kind), "start",
           [&] { return m_driver.StartWithSavedPortAbsent(kind); });
    }
    void Fire(TimerKind kind)
    {
        const std::string name = CGoldenDriver::TimerName(kind);
        Do("timer runs out: " + name, name, [&] { return m_driver.Fire(kind); });
    }
    // The unit's oldest reply that has not been delivered yet.
    void UnitReplies()
    {
        if (m_replies.empty()) {
            ADD_FAILURE() << "the unit has nothing to say";
            return;
        }
        const std::string text = m_replies.front();
        m_replies.pop_front();
        UnitSays(text);
    }
    // Every reply, each as its own step, until the unit waits for something new or has answered
    // `nLines` data lines ("." or "/").
    void UnitRepliesAll(int nLines = 20)
    {
        for (int i = 0; i < 20 && nLines > 0 && !m_replies.empty(); ++i) {
            nLines -= m_replies.front().find_first_of("./") == 0 ? 1 : 0;
            UnitReplies();
        }
    }
    void UnitSays(const std::string& text)
    {
        Do("unit says " + CGoldenRecorder::Quote(text), "unit said", [&] { return m_driver.UnitSays(text); });
    }
    void UserOpenFile()
    {
        const std::string path = m_dir.path().toStdString() + "/golden.fwr";
        std::ofstream(path, std::ios::binary) << ImageText(m_nSerial);
        Do("user: Open File " + path, "user: Open File", [&] { return m_driver.UserOpenFile(path); });
    }
    void UserGetFromWeb() { Do("user: Get from Web", "user: Get from Web", [&] { return m_driver.UserGetFromWeb(); }); }
    void UserSend() { Do("user: Send", "user: Send", [&] { return m_driver.UserSend(); }); }
    void UserDetect(DetectChoice choice)
    {
        const bool bGo = choice == DetectChoice::Continue;
        Do(std::string("user: Detect, then ") + (bGo ? "Continue" : "Cancel"), "user: Detect",
           [&] { return m_driver.UserDetect(choice); });
    }
    void UserChangePort(LinkKind kind)
    {
        Do("user: port list opened, " + m_driver.PortName(kind) + " chosen", "user: port change",
           [&] { return m_driver.UserChangePort(kind); });
    }
    void Unplug()
    {
        m_bPlugged = false;
        m_replies.clear();
        Do("cable unplugged", "unplug", [&] { return m_driver.Unplug(); });
    }
    void StartEchoTest() { Do("user: Echo Test", "user: Echo Test", [&] { return m_driver.StartEchoTest(); }); }
    void WebAnswer()
    {
        Do("service answers with the image", "web answer", [&] { return m_driver.WebAnswer(ImageText(m_nSerial)); });
    }
    void WebFail() { Do("service fails", "web failure", [&] { return m_driver.WebFail(); }); }

    // Wake-up on a freshly opened link until the unit has said who it is.
    void WakeAndIdentify()
    {
        Fire(TimerKind::Wake);
        Fire(TimerKind::WakeGap);
        UnitReplies();
    }
    // Send and every acknowledgement, to the last one.
    void SendAll()
    {
        UserSend();
        UnitRepliesAll();
    }

    std::string Transcript() const { return m_face.Transcript(); }

    std::uint32_t m_nSerial = SERIAL_A; // the unit whose image the file and the service hold

private:
    void Do(const std::string& title, const std::string& cause, const std::function<std::string()>& fn)
    {
        m_face.BeginStep(title, cause);
        const std::string why = fn();
        m_driver.Settle();
        if (!why.empty()) {
            m_face.Note("  !! " + why);
            ADD_FAILURE() << title << ": " << why;
        }
        // What was sent reaches the unit; its answers wait for the scenario to deliver them.
        const std::string sent = m_face.TakeSentBytes();
        if (m_bPlugged && !sent.empty())
            for (const auto& reply : m_pUnit->Receive(sent))
                m_replies.push_back(reply.text);
        m_face.EndStep();
    }

    QTemporaryDir m_dir;
    CSupportLog m_log{""};
    CGoldenRecorder m_face{m_log};
    CGoldenDriver m_driver;
    std::unique_ptr<UnitSimulator> m_pUnit;
    std::deque<std::string> m_replies;
    bool m_bPlugged = true;
};

// The transcript against its file: equal, or a failure that shows where they part.
void CheckTranscript(const std::string& name, const std::string& actual)
{
    const std::string path = std::string(KX_GOLDEN_DIR) + "/" + name + ".txt";
    const char* update = std::getenv("KX_GOLDEN_UPDATE");
    if (update != nullptr && std::string(update) == "1") {
        std::ofstream(path, std::ios::binary) << actual;
        return;
    }
    std::ifstream file(path, std::ios::binary);
    ASSERT_TRUE(file) << "no transcript " << path << " (KX_GOLDEN_UPDATE=1 records it)";
    const std::string expected((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (expected == actual)
        return;
    const auto split = [](const std::string& text) {
        std::vector<std::string> lines;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    };
    const auto want = split(expected);
    const auto got = split(actual);
    std::size_t first = 0;
    while (first < want.size() && first < got.size() && want[first] == got[first])
        ++first;
    std::ostringstream diff;
    diff << "--- " << path << "\n+++ this run\n@@ line " << first + 1 << " @@\n";
    for (std::size_t i = first >= 3 ? first - 3 : 0; i < first; ++i)
        diff << " " << want[i] << "\n";
    for (std::size_t i = first; i < want.size() && i < first + 8; ++i)
        diff << "-" << want[i] << "\n";
    for (std::size_t i = first; i < got.size() && i < first + 8; ++i)
        diff << "+" << got[i] << "\n";
    ADD_FAILURE() << "the transcript differs from " << path << "\n" << diff.str();
}

// The update of an identified unit from a file, to the reboot after its last line.
void UpdateFromFile(CBench& bench)
{
    bench.UserOpenFile();
    bench.SendAll();
    bench.Fire(TimerKind::FinishPause);
    bench.UnitReplies(); // the unit's answer to "C"
    bench.Fire(TimerKind::Silence);
}

TEST(Golden, SerialUpdateFromFile)
{
    CBench bench("a serial update from a file, verified after the reboot");
    bench.OpenPort(LinkKind::Serial);
    bench.WakeAndIdentify();
    bench.UnitRepliesAll(); // keep-alives
    UpdateFromFile(bench);
    bench.WakeAndIdentify();
    CheckTranscript("serial_update_from_file", bench.Transcript());
}

TEST(Golden, SavedCableAbsentAtStart)
{
    CBench bench("the cable saved as the port is not plugged in when the window starts");
    bench.StartWithSavedPortAbsent(LinkKind::Usb);
    CheckTranscript("saved_cable_absent", bench.Transcript());
}

TEST(Golden, UsbUpdateFromWeb)
{
    CBench bench("a USB update with an image from the service, and its completion report");
    bench.OpenPort(LinkKind::Usb);
    bench.WakeAndIdentify();
    bench.UserGetFromWeb();
    bench.WebAnswer();
    bench.SendAll();
    bench.Fire(TimerKind::FinishPause);
    bench.UnitReplies();
    bench.Fire(TimerKind::Silence);
    bench.WakeAndIdentify();
    CheckTranscript("usb_update_from_web", bench.Transcript());
}

TEST(Golden, RunFailures)
{
    {
        CBench bench("the unit falls silent at line 2");
        bench.OpenPort(LinkKind::Serial);
        bench.WakeAndIdentify();
        bench.Unit().FallSilentAtLine(2);
        bench.UserOpenFile();
        bench.UserSend();
        bench.UnitRepliesAll();
        bench.Fire(TimerKind::ProgramReply);
        CheckTranscript("silence_mid_run", bench.Transcript());
    }
    {
        CBench bench("the unit reports line 2 corrupt");
        bench.OpenPort(LinkKind::Serial);
        bench.WakeAndIdentify();
        bench.Unit().ReportCorruptAtLine(2);
        bench.UserOpenFile();
        bench.UserSend();
        bench.UnitRepliesAll();
        CheckTranscript("corrupt_mid_run", bench.Transcript());
    }
    {
        CBench bench("the unit is gone after the last line: no answer to C");
        bench.OpenPort(LinkKind::Serial);
        bench.WakeAndIdentify();
        bench.Unit().SetMuteAtFinish(true);
        bench.UserOpenFile();
        bench.SendAll();
        bench.Fire(TimerKind::FinishPause);
        bench.Fire(TimerKind::Silence);
        CheckTranscript("gone_after_last_line", bench.Transcript());
    }
    {
        CBench bench("the cable is unplugged during a run");
        bench.OpenPort(LinkKind::Serial);
        bench.WakeAndIdentify();
        bench.UserOpenFile();
        bench.UserSend();
        bench.UnitRepliesAll(1);
        bench.Unplug();
        bench.Fire(TimerKind::ProgramReply);
        CheckTranscript("unplug_mid_run", bench.Transcript());
    }
}

TEST(Golden, EchoTest)
{
    {
        CBench bench("echo test with the cable's pins linked");
        bench.OpenPort(LinkKind::Serial);
        bench.StartEchoTest();
        bench.Fire(TimerKind::EchoStart);
        bench.UnitSays("Echo"); // the linked pins give back what was sent
        CheckTranscript("echo_passed", bench.Transcript());
    }
    {
        CBench bench("echo test with nothing coming back");
        bench.OpenPort(LinkKind::Serial);
        bench.StartEchoTest();
        bench.Fire(TimerKind::EchoStart);
        bench.Fire(TimerKind::EchoReply);
        CheckTranscript("echo_failed", bench.Transcript());
    }
}

TEST(Golden, DetectAndPortChange)
{
    {
        CBench bench("Detect while connecting: Cancel, then Continue, which finds the USB cable");
        bench.OpenPort(LinkKind::Serial);
        bench.Fire(TimerKind::Wake);
        bench.UserDetect(DetectChoice::Cancel);
        bench.UserDetect(DetectChoice::Continue);
        bench.RestartUnit();
        bench.WakeAndIdentify();
        CheckTranscript("detect", bench.Transcript());
    }
    {
        CBench bench("the port is changed while the unit identifies itself");
        bench.OpenPort(LinkKind::Serial);
        bench.Fire(TimerKind::Wake);
        bench.Fire(TimerKind::WakeGap);
        bench.UnitSays(UnitSimulator::IdentificationText(MakeUnit(SERIAL_A)).substr(0, 30));
        bench.UserChangePort(LinkKind::Usb);
        bench.Attach(SERIAL_B);
        bench.m_nSerial = SERIAL_B;
        bench.WakeAndIdentify();
        CheckTranscript("port_change_during_identification", bench.Transcript());
    }
}

TEST(Golden, AfterUpdateCheck)
{
    {
        CBench bench("the updated unit comes back on its old version within the reboot window");
        bench.OpenPort(LinkKind::Serial);
        bench.WakeAndIdentify();
        bench.Unit().SetAppAfterUpdate(1, 0);
        UpdateFromFile(bench);
        bench.WakeAndIdentify();
        CheckTranscript("check_old_version", bench.Transcript());
    }
    {
        CBench bench("the updated unit comes back on its old version after the reboot window");
        bench.OpenPort(LinkKind::Serial);
        bench.WakeAndIdentify();
        bench.Unit().SetAppAfterUpdate(1, 0);
        UpdateFromFile(bench);
        bench.Fire(TimerKind::RebootWindow);
        bench.WakeAndIdentify();
        CheckTranscript("check_old_version_late", bench.Transcript());
    }
    {
        CBench bench("another unit is connected after the update");
        bench.OpenPort(LinkKind::Serial);
        bench.WakeAndIdentify();
        UpdateFromFile(bench);
        bench.Attach(SERIAL_B);
        bench.WakeAndIdentify();
        CheckTranscript("check_another_unit", bench.Transcript());
    }
}

TEST(Golden, StaleWebAnswer)
{
    CBench bench("the service answers after the unit was reset and identified again");
    bench.OpenPort(LinkKind::Serial);
    bench.WakeAndIdentify();
    bench.UserGetFromWeb();
    bench.Fire(TimerKind::Silence);
    bench.WebAnswer();
    bench.RestartUnit();
    bench.WakeAndIdentify();
    bench.UserGetFromWeb();
    bench.UnitReplies(); // a keep-alive
    bench.WebFail();
    bench.UserGetFromWeb();
    bench.WebAnswer();
    CheckTranscript("stale_web_answer", bench.Transcript());
}

} // namespace
