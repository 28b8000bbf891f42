// Where the firmware image comes from: a programming file, read and checked against the unit,
// or the firmware web service, asked for the image that suits the unit with a ticket that says
// for which unit and moment; and the completion report that a whole run with a web image owes
// the service. Nothing here waits for the network or the disk beyond a plain file's read.
#pragma once

#include "device/EngineEvents.h"
#include "device/EngineTicket.h"
#include "device/FirmwareImage.h"
#include "web/WebRequest.h"

#include <deque>
#include <memory>
#include <string>
#include <vector>

class CSupportLog;

// What the image source tells the engine that owns it.
class IImageSourceEvents {
public:
    virtual ~IImageSourceEvents() = default;
    virtual void OnImageRow(const std::string& row) = 0;
    // The image that was ready can no longer be sent (another was read, or refused).
    virtual void OnImageDropped() = 0;
    virtual void OnImageNotice(NoticeKind kind, const std::string& text,
                               const std::string& detail) = 0;
    virtual void OnImageRefused(ImageRefusal why, const std::string& text) = 0;
    // A checked image may be sent to the unit.
    virtual void OnImageAccepted() = 0;
    virtual void OnWebStatus(const std::string& text, bool bNewLine) = 0;
    // Whether `ticket` still holds (the request's status is shown only then).
    virtual bool TicketHolds(const EngineTicket& ticket) const = 0;
    // Why an answer for `ticket` can no longer be used; empty while it can.
    virtual std::string WhyTicketLapsed(const EngineTicket& ticket) const = 0;
    // A request started or ended.
    virtual void OnRequestChanged() = 0;
};

class CImageSource {
public:
    CImageSource(IImageSourceEvents& events, WebRequestFactory webFactory)
        : m_events(events), m_webFactory(std::move(webFactory))
    {
    }
    // Lets every request go at once: the program is ending.
    void Shutdown();

    void SetSupportLog(CSupportLog* pLog) { m_pSupportLog = pLog; }
    void SetWebBaseUrl(const std::string& url) { m_strWebBaseUrl = url; }
    const std::string& WebBaseUrl() const { return m_strWebBaseUrl; }
    void SetWebRequestFactory(WebRequestFactory factory) { m_webFactory = std::move(factory); }

    // --- the image ---
    // Reads and checks a programming file for `model`; true when it was accepted.
    bool LoadFile(const std::string& path, const std::string& model);
    // Asks the service for the image that suits the unit of `ticket`.
    void Fetch(const EngineTicket& ticket);
    // A running fetch is let go; strWhy completes the row that says its image was not used.
    void CancelFetch(const std::string& strWhy);
    // A unit was identified: the row for an image fetched for another unit, once.
    void NoteIdentified(const DeviceIdentity& unit);
    // Says in a row that the image asked for `unit` was not used, and why.
    void LogUnused(const char* what, const DeviceIdentity& unit, const std::string& strWhy);
    // The data lines go to a run.
    std::deque<std::string> TakeLines();

    const FirmwareImage& Image() const { return m_image; }
    // The file's path, or the service's address.
    const std::string& Source() const { return m_strSource; }
    bool IsFetching() const { return m_pFetch != nullptr; }
    bool IsReportRunning() const { return m_pReport && !m_pReport->IsDone(); }

    // --- the completion report ---
    // A run starts: no report is owed until it is whole.
    void ForgetReport() { m_bReportOwed = false; }
    // Every line of a web image reached `unit`: the report is owed from now on.
    void OweReport(const DeviceIdentity& unit);
    // Reports the version now installed, once: on the unit's first answer after the run, or,
    // when none comes, before the link is let go.
    void Report();

private:
    bool ReadFile(const std::string& path);
    bool Validate(const std::string& model);
    void Refuse(ImageRefusal why, const std::string& notice);
    void OnAnswer(const EngineTicket& ticket, bool bDownloaded, std::string& body,
                  const std::string& strUrl);

    IImageSourceEvents& m_events;
    WebRequestFactory m_webFactory;
    CSupportLog* m_pSupportLog = nullptr;
    FirmwareImage m_image;
    std::string m_strSource;
    std::string m_strWebBaseUrl;
    std::unique_ptr<IWebRequest> m_pFetch;
    // The fetch whose answer was delivered last: kept until the next ends, since the answer
    // comes from inside the request.
    std::unique_ptr<IWebRequest> m_pFetchDone;
    std::vector<std::unique_ptr<IWebRequest>> m_retired; // cancelled, still ending
    std::unique_ptr<IWebRequest> m_pReport;
    EngineTicket m_fetchTicket;   // the running fetch's
    bool m_bFetchDropped = false; // a fetch was cancelled since the last identification
    DeviceIdentity m_droppedUnit; // the unit it was for
    bool m_bReportOwed = false;
    DeviceIdentity m_updatedUnit; // the unit the owed report names
};
