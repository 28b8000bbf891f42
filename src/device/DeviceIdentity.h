// The identity of the connected unit, read from its bootloader's identification text.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

inline constexpr const char* MODEL_KX410 = "kx410";
inline constexpr const char* PRODUCT_ID_KX410 = "0410";

// Filled at identification and kept (as texts) until the next identification.
struct DeviceIdentity {
    std::string m_strModel;          // "kx410" for product id "0410", else the product id itself
    std::string m_strLoaderVersion;  // 4 characters as received, e.g. "0208"
    std::string m_strAppVersion;     // 4 characters as received
    std::string m_strSerialNumber;   // 32-bit serial number in decimal, signed

    bool operator==(const DeviceIdentity&) const = default;
};

// Positions in the aligned identification text (counted from 0 at its leading ".").
inline constexpr std::size_t ID_LOADER_VERSION_POS = 9;
inline constexpr std::size_t ID_APP_VERSION_POS = 13;
inline constexpr std::size_t ID_PRODUCT_ID_POS = 17;
inline constexpr std::size_t ID_SERIAL_LOW_POS = 21;
inline constexpr std::size_t ID_SERIAL_HIGH_POS = 25;
inline constexpr std::size_t ID_FIELD_CHARS = 4;

// Parses the identification text (found by FindIdentification(), so at least 67 characters,
// from its ".") into id and returns the status-list lines, in order: "Found Device: %s",
// "Boot Loader Version: %i.%02i", "Application Version: %i.%02i", "Serial Number: %s". A shorter text does not fail: missing characters read
// as absent (values 0, short fields).
std::vector<std::string> ParseIdentification(const std::string& text, DeviceIdentity& id);

// The identity in one sentence, as the status lines give it: "Found Device: kx410, Boot Loader
// Version: 2.08, Application Version: 1.00, Serial Number: 12345."
std::string IdentitySentence(const DeviceIdentity& id);
