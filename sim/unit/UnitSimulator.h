// The kx410 bootloader's side of the conversation, as a plain state machine: it answers the
// wake-up with its identification text, keeps talking while identified, acknowledges each
// data line, answers "C" once and falls silent; it can report a corrupt line, fall silent
// at a line, or send junk before its identification, and it records everything received.
// It keeps no clock: each reply carries the delay after which the runner writes it.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

struct UnitIdentity {
    std::string productId = "0410";
    int loaderMajor = 2, loaderMinor = 8;
    int appMajor = 1, appMinor = 0;
    // The application version the unit runs once a whole image has been sent and finished
    // ("C"): Ver 1.07, the version of the sample image and of the simulated service's image.
    int appAfterMajor = 1, appAfterMinor = 7;
    std::uint32_t serialNumber = 12345;
};

class UnitSimulator {
public:
    struct Reply {
        std::string text;
        int delayMs = 0;
    };

    static constexpr const char* WAKE_FIRST_TEXT = "15EBaa";
    static constexpr const char* WAKE_SECOND_TEXT = "16EAaa";
    static constexpr const char* LINE_END_TEXT = "aa";
    static constexpr const char* ACK_TEXT = ".";
    static constexpr const char* CORRUPT_TEXT = "/";
    static constexpr const char* FINISH_TEXT = "C";
    // Keeps the downloader from resetting while identified: no "." and no "/" in it.
    static constexpr const char* KEEP_ALIVE_TEXT = "k";
    static constexpr int KEEP_ALIVE_DELAY_MS = 100;
    static constexpr int FINISH_DELAY_MS = 100;
    static constexpr std::size_t IDENTIFICATION_LENGTH = 72;

    explicit UnitSimulator(UnitIdentity id = {});

    // Bytes the downloader sent; returns the replies the unit makes, in order.
    std::vector<Reply> Receive(std::string_view bytes);

    void ReportCorruptAtLine(int n);             // answer "/" instead of "." to data line n
    void FallSilentAtLine(int n);                // from data line n on, answer nothing
    void SetGarbageBeforeIdentification(bool bOn); // junk bytes before the identification
    void SetMuteAtFinish(bool bOn);              // after the last line, never answer again
    void SetAppAfterUpdate(int major, int minor); // the version a whole update installs
    // Off: once identified, the unit stays in its bootloader deaf to the wake-up until "C"
    // lets it go or it is switched off and on (as some kx410s do); on by default.
    void SetWakeInLoader(bool bOn);
    // Switched off and on (or connected anew): it waits for the wake-up again, keeping its
    // identity and the version it runs.
    void Restart();

    const std::string& ReceivedBytes() const;
    std::vector<std::string> DataLines() const;
    // How often the command `text` ("A", "B", "C", "15EBaa", "16EAaa") was recognised; for
    // any other text, how often it occurs in everything received.
    int CountReceived(std::string_view text) const;
    bool SentFinish() const;

    // The identification text: "." then the boot loader version ("%02d%02d") at positions
    // 9-12, the application version at 13-16, the product id at 17-20 and the serial number
    // as hex, low 16 bits at 21-24 and high 16 bits at 25-28; no other ".".
    static std::string IdentificationText(const UnitIdentity& id);

private:
    enum class State { Asleep, Identified, Programming, Mute };

    bool ProcessPending(std::vector<Reply>* pReplies);
    void OnWakeText(const std::string& token, std::vector<Reply>* pReplies);
    void OnCommand(char command, std::vector<Reply>* pReplies);
    void OnDataLine(const std::string& line, std::vector<Reply>* pReplies);

    UnitIdentity m_id;
    State m_state = State::Asleep;
    std::string m_strPending;
    std::string m_strReceived;
    std::vector<std::string> m_dataLines;
    std::map<std::string, int, std::less<>> m_commandCounts;
    int m_nLineInRun = 0;
    int m_nCorruptAt = 0;
    int m_nSilentAt = 0;
    bool m_bGarbage = false;
    bool m_bMuteAtFinish = false;
    bool m_bWakeInLoader = true;
    bool m_bRunFaulted = false; // the run in progress met a corrupt line or fell silent
    bool m_bWakeArmed = false;
    bool m_bSentFinish = false;
    bool m_bKeepAliveQueued = false;
};
