#include "web/WebFailure.h"

namespace {
std::string WithDetail(const char* what, const std::string& detail)
{
    return detail.empty() ? std::string(what) : std::string(what) + " (" + detail + ")";
}
} // namespace

std::string WebFailureReason(const WebFailure& failure)
{
    using EKind = WebFailure::EKind;
    switch (failure.kind) {
    case EKind::Refused: return WithDetail("connection refused", failure.strDetail);
    case EKind::NoConnection: return WithDetail("no connection", failure.strDetail);
    case EKind::NameNotFound: return WithDetail("name not found", failure.strDetail);
    case EKind::Tls: return WithDetail("TLS failure", failure.strDetail);
    case EKind::TimedOut: return WithDetail("time-out", failure.strDetail);
    case EKind::Other: return failure.strDetail.empty() ? "the request failed" : failure.strDetail;
    case EKind::None: break;
    }
    if (!failure.IsHttpError())
        return {};
    return "the service answered " + (failure.strStatusLine.empty()
                                          ? "HTTP status " + std::to_string(failure.nHttpStatus)
                                          : failure.strStatusLine);
}
