// The progress notifications of an internet session, the texts the status list shows for them,
// and ShowWebStatus, which hands such a text to the session's status sink.
#pragma once

#include <cstdint>

#include <string>

class CWebSession;

constexpr std::uint32_t INTERNET_STATUS_RESOLVING_NAME = 10;
constexpr std::uint32_t INTERNET_STATUS_NAME_RESOLVED = 11;
constexpr std::uint32_t INTERNET_STATUS_CONNECTING_TO_SERVER = 20;
constexpr std::uint32_t INTERNET_STATUS_CONNECTED_TO_SERVER = 21;
constexpr std::uint32_t INTERNET_STATUS_SENDING_REQUEST = 30;
constexpr std::uint32_t INTERNET_STATUS_REQUEST_SENT = 31;
constexpr std::uint32_t INTERNET_STATUS_RECEIVING_RESPONSE = 40;
constexpr std::uint32_t INTERNET_STATUS_RESPONSE_RECEIVED = 41;
constexpr std::uint32_t INTERNET_STATUS_CLOSING_CONNECTION = 50;
constexpr std::uint32_t INTERNET_STATUS_CONNECTION_CLOSED = 51;
constexpr std::uint32_t INTERNET_STATUS_HANDLE_CREATED = 60;
constexpr std::uint32_t INTERNET_STATUS_HANDLE_CLOSING = 70;
constexpr std::uint32_t INTERNET_STATUS_REQUEST_COMPLETE = 100;

// Request flags: bypass every cache; take the body as it is.
constexpr std::uint32_t INTERNET_FLAG_RELOAD = 0x80000000u;
constexpr std::uint32_t INTERNET_FLAG_TRANSFER_BINARY = 0x00000002u;

// A status text has at most this many characters; longer texts are cut.
constexpr int WEB_STATUS_MAX_CHARS = 511;

// The text for one notification; false when the notification leaves the status line as it is.
// pInfo is a text of at most dwInfoLength characters for the name notifications, and two
// 32-bit values (result, error) for a request-complete notification of length 8.
bool WebStatusText(std::uint32_t dwStatus, const void* pInfo, std::uint32_t dwInfoLength, std::string& strText);

// Formats the text and hands it to the session's status sink, when it has one.
void ShowWebStatus(CWebSession* pSession, const char* pszFormat, ...)
    __attribute__((format(printf, 2, 3)));
