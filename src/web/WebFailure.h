// Why a web request gave no usable answer, kept as a kind and the client's details so that the
// user can be told the reason in words: refused, name not found, TLS, time-out, HTTP status.
#pragma once

#include <string>

struct WebFailure {
    enum class EKind { None, Refused, NoConnection, NameNotFound, Tls, TimedOut, Other };
    EKind kind = EKind::None;
    std::string strDetail;      // the client's own text, or the host for NameNotFound
    long nHttpStatus = 0;       // the final response's status code; 0 when there was none
    std::string strStatusLine;  // that response's status line, e.g. "HTTP/1.1 404 Not Found"

    // An answer with an error status (4xx, 5xx) is no firmware either.
    bool IsHttpError() const { return nHttpStatus >= 400; }
    bool IsFailure() const { return kind != EKind::None || IsHttpError(); }
};

// One sentence for the user, e.g. "connection refused (Failed to connect ...)" or
// "the service answered HTTP/1.1 404 Not Found"; empty when nothing failed.
std::string WebFailureReason(const WebFailure& failure);
