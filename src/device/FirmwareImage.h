// The firmware image being prepared for the unit, and the check that takes its header lines out
// and decides whether it suits the connected unit.
#pragma once

#include <cstddef>
#include <deque>
#include <optional>
#include <string>
#include <vector>

// One current image: the source fills m_lines with every line; a successful check leaves only
// the data lines, which programming consumes from the front.
struct FirmwareImage {
    std::deque<std::string> m_lines;
    std::optional<std::string> m_version; // last 4 characters of the checked image's "VER:" line
    std::string m_strNotes;               // the "INFO:" value: the release notes
    int m_nTotalLines = 0;     // data lines at validation: the progress range (set by the dialog)
    bool m_bFromWeb = false;   // came from the web service and the completion report is due
};

// The outcome of CheckImage: whether the image may be sent, and the status-list lines to log,
// in order.
struct ImageVerdict {
    bool bAccepted = false;
    std::vector<std::string> logLines;
    // The first line of the image (counted from 1) whose data holds a control byte; 0: none.
    std::size_t nControlByteLine = 0;
};

inline constexpr const char* TAG_VERSION = "VER:";
inline constexpr const char* TAG_PRODUCT_ID = "PID:";
inline constexpr const char* TAG_NOTES = "INFO:";
inline constexpr std::size_t TAG_VALUE_CHARS = 4;  // "VER:" and "PID:" values: a line's last 4
inline constexpr std::size_t NOTES_VALUE_OFFSET_CHARS = 5;  // "INFO:" value: from the 6th char
inline constexpr const char* END_RECORD_MARK = "19";        // within the last data line's last 4

// A programming file larger than this is refused unread; it is far above any real image.
inline constexpr long long MAX_PROGRAMMING_FILE_BYTES = 16LL * 1024 * 1024;

inline constexpr const char* TEXT_IMAGE_NOT_SUITABLE =
    "The selected firmware is not suitable for your kx410";
inline constexpr const char* TEXT_IMAGE_NOT_SUITABLE_FOR = "The selected firmware is not suitable for your ";
inline constexpr const char* TEXT_READY_TO_UPDATE = "Ready to update your kx410. Press send.";

// Removes the empty lines and every line carrying "INFO:", "PID:" or "VER:" (when a tag occurs
// more than once, the topmost line gives its value), stores the version (none without a "VER:"
// line) and the notes in the image, and checks the product id ("0410") and the end record. An image
// whose data holds a control byte (NUL included), or a unit that is not a kx410, is refused as
// not suitable: a serial port would cut the line short, and the image is for the kx410. Accepted:
// image.m_lines holds exactly the data lines. Rejected: m_lines is left as the check left it.
// Does not touch m_nTotalLines or m_bFromWeb; the dialog sets those, the buttons and the phase.
ImageVerdict CheckImage(FirmwareImage& image, const std::string& model);

// "The following firmware was found for your kx410: Ver 1.07" for the image's version (none:
// "Ver 0.00").
std::string FoundFirmwareText(const std::optional<std::string>& version);

// A programming file's lines with their line ends (LF or CR LF) removed, followed by one empty
// entry whether or not the file ends with a line break.
std::deque<std::string> SplitImageLines(const std::string& content);
