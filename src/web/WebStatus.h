// The progress notifications of an internet session, the texts the status list shows for them,
// and ShowWebStatus, which hands such a text to the session's status sink.
#pragma once

#include "platform/WinTypes.h"

#include <string>

class CWebSession;

constexpr DWORD INTERNET_STATUS_RESOLVING_NAME = 10;
constexpr DWORD INTERNET_STATUS_NAME_RESOLVED = 11;
constexpr DWORD INTERNET_STATUS_CONNECTING_TO_SERVER = 20;
constexpr DWORD INTERNET_STATUS_CONNECTED_TO_SERVER = 21;
constexpr DWORD INTERNET_STATUS_SENDING_REQUEST = 30;
constexpr DWORD INTERNET_STATUS_REQUEST_SENT = 31;
constexpr DWORD INTERNET_STATUS_RECEIVING_RESPONSE = 40;
constexpr DWORD INTERNET_STATUS_RESPONSE_RECEIVED = 41;
constexpr DWORD INTERNET_STATUS_CLOSING_CONNECTION = 50;
constexpr DWORD INTERNET_STATUS_CONNECTION_CLOSED = 51;
constexpr DWORD INTERNET_STATUS_HANDLE_CREATED = 60;
constexpr DWORD INTERNET_STATUS_HANDLE_CLOSING = 70;
constexpr DWORD INTERNET_STATUS_REQUEST_COMPLETE = 100;

// Request flags: bypass every cache; take the body as it is.
constexpr DWORD INTERNET_FLAG_RELOAD = 0x80000000u;
constexpr DWORD INTERNET_FLAG_TRANSFER_BINARY = 0x00000002u;

// A status text has at most this many characters; longer texts are cut.
constexpr int WEB_STATUS_MAX_CHARS = 511;

// The text for one notification; false when the notification leaves the status line as it is.
// pInfo is a text of at most dwInfoLength characters for the name notifications, and two
// 32-bit values (result, error) for a request-complete notification of length 8.
bool WebStatusText(DWORD dwStatus, const void* pInfo, DWORD dwInfoLength, std::string& strText);

// Formats the text and hands it to the session's status sink, when it has one.
void ShowWebStatus(CWebSession* pSession, const char* pszFormat, ...)
    __attribute__((format(printf, 2, 3)));
