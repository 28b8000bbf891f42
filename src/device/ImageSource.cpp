#include "device/ImageSource.h"

#include "platform/SupportLog.h"
#include "web/WebBody.h"
#include "web/WebFailure.h"
#include "web/WebQuery.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <utility>

namespace {
constexpr std::size_t READ_BLOCK_BYTES = 64 * 1024;
const char* const FILE_OPEN_ERROR = "File Error - Unable to open selected file, try again";
const char* const FILE_TOO_LARGE =
    "File Error - The selected file is too large to be a programming file, please check "
    "programming file\n\nPress OK";
constexpr const char* TEXT_CANNOT_DOWNLOAD = "Cannot download firmware.  Check firewall";
constexpr const char* TEXT_NO_SERVICE =
    "No firmware service is set: choose Firmware Service\u2026 in the window menu, set FIRMWARE "
    "SERVICE= in Kestova.ini, or pass --service.";
} // namespace

void CImageSource::Shutdown()
{
    m_pFetch.reset();
    m_pFetchDone.reset();
    m_retired.clear();
}

std::deque<std::string> CImageSource::TakeLines() { return std::exchange(m_image.m_lines, {}); }

// --- a programming file ---

bool CImageSource::LoadFile(const std::string& path, const std::string& model)
{
    struct stat info {};
    const bool bFound = stat(path.c_str(), &info) == 0;
    if (bFound && S_ISREG(info.st_mode) && info.st_size > MAX_PROGRAMMING_FILE_BYTES) {
        Refuse(ImageRefusal::TooLarge, FILE_TOO_LARGE);
        return false;
    }
    // Only a plain file is read: a pipe or a device would hold the thread until it delivers.
    if (!bFound || !S_ISREG(info.st_mode) || !ReadFile(path)) {
        Refuse(ImageRefusal::Unreadable, FILE_OPEN_ERROR);
        return false;
    }
    if (!Validate(model))
        return false;
    m_image.m_bFromWeb = false;
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
    m_strSource = ec ? path : absolute.lexically_normal().string();
    m_events.OnImageAccepted();
    return true;
}

bool CImageSource::ReadFile(const std::string& path)
{
    std::ifstream file(path, std::ios::in | std::ios::binary);
    if (!file.is_open())
        return false;
    std::string content;
    std::string block(READ_BLOCK_BYTES, '\0');
    while (file.read(block.data(), static_cast<std::streamsize>(block.size())) ||
           file.gcount() > 0) {
        content.append(block.data(), static_cast<size_t>(file.gcount()));
        if (static_cast<long long>(content.size()) > MAX_PROGRAMMING_FILE_BYTES)
            break; // grew while being read: what was read is validated and rejected
    }
    m_image.m_lines = SplitImageLines(content);
    return true;
}

void CImageSource::Refuse(ImageRefusal why, const std::string& notice)
{
    m_events.OnImageDropped();
    m_events.OnImageNotice(NoticeKind::FileUnusable, notice, {});
    m_events.OnImageRefused(why, notice);
}

bool CImageSource::Validate(const std::string& model)
{
    const ImageVerdict verdict = CheckImage(m_image, model);
    for (const auto& line : verdict.logLines)
        m_events.OnImageRow(line);
    if (verdict.nControlByteLine > 0 && m_pSupportLog != nullptr)
        m_pSupportLog->Note("The image was refused: line " +
                            std::to_string(verdict.nControlByteLine) +
                            " holds a control byte in its data.");
    if (!verdict.bAccepted) {
        m_events.OnImageDropped();
        std::string why;
        for (const auto& line : verdict.logLines)
            why += (why.empty() ? "" : " ") + line;
        m_events.OnImageRefused(ImageRefusal::NotSuitable, why);
        return false;
    }
    m_image.m_nTotalLines = static_cast<int>(m_image.m_lines.size());
    return true;
}

// --- the web service: neither request holds the thread, so the unit is kept talking while the
// service answers ---

void CImageSource::Fetch(const EngineTicket& ticket)
{
    // Nothing is asked of a service that was never named; the user is told how to name one.
    if (m_strWebBaseUrl.empty()) {
        m_events.OnImageNotice(NoticeKind::NoService, TEXT_NO_SERVICE, {});
        m_events.OnImageRefused(ImageRefusal::NotFetched, TEXT_NO_SERVICE);
        return;
    }
    // Enabled means it works: a request still running gives way to the new one.
    CancelFetch("Get from Web was pressed again");
    m_bFetchDropped = false;
    // The line that every status text of the request replaces.
    m_events.OnWebStatus(std::string(), true);
    const DeviceIdentity& unit = ticket.unit;
    const std::string strUrl =
        BuildFirmwareUrl(m_strWebBaseUrl, unit.m_strSerialNumber, unit.m_strAppVersion,
                         unit.m_strLoaderVersion, false);
    m_fetchTicket = ticket;
    m_pFetch = m_webFactory(
        [this, ticket](const std::string& text) {
            if (m_events.TicketHolds(ticket))
                m_events.OnWebStatus(text, false);
        },
        [this, ticket, strUrl](bool bDownloaded, std::string& body) {
            OnAnswer(ticket, bDownloaded, body, strUrl);
        });
    // Nothing that would start another conversation with the unit while the request runs.
    m_events.OnRequestChanged();
    m_pFetch->Start(strUrl);
}

void CImageSource::OnAnswer(const EngineTicket& ticket, bool bDownloaded, std::string& body,
                            const std::string& strUrl)
{
    // This handler runs inside the request's own delivery: the request is kept (until the next
    // one ends, or the engine goes) rather than destroyed under its own feet.
    m_pFetchDone = std::move(m_pFetch);
    if (const std::string why = m_events.WhyTicketLapsed(ticket); !why.empty()) {
        LogUnused("fetched", ticket.unit, why);
        return;
    }
    m_events.OnRequestChanged();
    // An answer with an error status carries no image either: its reason is said instead of
    // the image checks' complaints about the error page.
    const WebFailure& outcome = m_pFetchDone->Outcome();
    if (!bDownloaded || outcome.IsHttpError()) {
        const std::string reason = WebFailureReason(outcome);
        const std::string text = std::string(TEXT_CANNOT_DOWNLOAD) + "\n\nReason: " + reason +
                                 "\nAddress tried: " + strUrl;
        m_events.OnImageNotice(NoticeKind::DownloadFailed, text, reason);
        m_events.OnImageRefused(ImageRefusal::NotFetched, text);
        return;
    }
    m_image.m_lines = SplitWebBody(body);
    // Nothing goes to the unit here; an accepted image owes the service a report once sent.
    if (Validate(ticket.unit.m_strModel)) {
        m_image.m_bFromWeb = true;
        m_strSource = m_strWebBaseUrl;
        m_events.OnImageAccepted();
    }
}

// A cancelled request is kept until nothing runs for it any more, so that nothing here waits
// for the network.
void CImageSource::CancelFetch(const std::string& strWhy)
{
    if (!m_pFetch)
        return;
    m_pFetch->Cancel();
    std::erase_if(m_retired, [](const auto& old) { return old->IsFinished(); });
    m_retired.push_back(std::move(m_pFetch));
    m_bFetchDropped = true;
    m_droppedUnit = m_fetchTicket.unit;
    LogUnused("fetched", m_fetchTicket.unit, strWhy);
}

void CImageSource::NoteIdentified(const DeviceIdentity& unit)
{
    if (m_bFetchDropped && m_droppedUnit.m_strSerialNumber != unit.m_strSerialNumber)
        LogUnused("fetched", m_droppedUnit, "another unit is connected");
    m_bFetchDropped = false;
}

void CImageSource::LogUnused(const char* what, const DeviceIdentity& unit,
                             const std::string& strWhy)
{
    m_events.OnImageRow(std::string("The image ") + what + " for " + unit.m_strModel + " serial " +
                        unit.m_strSerialNumber + " was not used: " + strWhy + ".");
}

void CImageSource::OweReport(const DeviceIdentity& unit)
{
    m_bReportOwed = m_image.m_bFromWeb;
    m_updatedUnit = unit;
}

void CImageSource::Report()
{
    if (!m_image.m_bFromWeb || !m_bReportOwed)
        return;
    m_image.m_bFromWeb = false;
    m_bReportOwed = false;
    const std::string strUrl = BuildFirmwareUrl(m_strWebBaseUrl, m_updatedUnit.m_strSerialNumber,
                                                m_image.m_version.value_or(std::string()),
                                                m_updatedUnit.m_strLoaderVersion, true);
    m_pReport = m_webFactory(nullptr, nullptr);
    m_pReport->Start(strUrl);
}
