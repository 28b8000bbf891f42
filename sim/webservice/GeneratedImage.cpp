#include "GeneratedImage.h"

#include <cstdio>

namespace {
constexpr int RECORD_BYTES = 16;             // data bytes in each record
constexpr const char* END_RECORD = ":0000000119";
} // namespace

std::string GenerateImageText(int dataLines)
{
    std::string text = "VER:0107\r\nPID:0410\r\nINFO:Generated kx410 firmware\r\n";
    // Each record is 43 characters; reserving spares the copies of a growing string.
    text.reserve(text.size() + static_cast<std::size_t>(dataLines > 0 ? dataLines : 1) * 45);
    for (int i = 0; i + 1 < dataLines; ++i) {
        char record[64];
        const unsigned address = static_cast<unsigned>(i * RECORD_BYTES) & 0xFFFFu;
        std::snprintf(record, sizeof record, ":10%04X000C9434000C9434000C9434%02X%02X\r\n", address,
                      static_cast<unsigned>(i) & 0xFFu, static_cast<unsigned>(i >> 8) & 0xFFu);
        text += record;
    }
    text += END_RECORD;
    text += "\r\n";
    return text;
}
