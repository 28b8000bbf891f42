// The firmware service part of the computer check: set or not, https or not, and whether it
// answers one request. The request runs on the calling thread's event loop; nothing waits.
#pragma once

#include "doctor/DoctorCheck.h"
#include "web/WebRequest.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

class CServiceCheck {
public:
    using DoneFn = std::function<void(const std::vector<DoctorCheck>& checks)>;
    // How long the one request may take to connect and then go silent.
    static constexpr long CONNECT_LIMIT_MS = 10000;
    static constexpr long STALL_LIMIT_S = 10;

    // `factory` makes the request; empty: the service's real client (CMultiWebRequest).
    explicit CServiceCheck(WebRequestFactory factory = {});
    ~CServiceCheck();
    CServiceCheck(const CServiceCheck&) = delete;
    CServiceCheck& operator=(const CServiceCheck&) = delete;

    // Checks `url` ("" when none is set). False when the verdict is known at once (nothing
    // set, or not an address): Checks() has it and fnDone is not called. True when a request
    // runs: fnDone gets the checks later, from the event loop.
    bool Start(const std::string& url, DoneFn fnDone);
    const std::vector<DoctorCheck>& Checks() const { return m_checks; }

private:
    void OnAnswer(const WebFailure& outcome);

    WebRequestFactory m_factory;
    std::unique_ptr<IWebRequest> m_pRequest;
    std::string m_strUrl;
    std::vector<DoctorCheck> m_checks;
    DoneFn m_fnDone;
};
