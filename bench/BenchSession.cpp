#include "BenchSession.h"

#include "GeneratedImage.h"
#include "SimCableClient.h"
#include "link/UsbCableLink.h"
#include "web/WebBody.h"
#include "WindowPage.h"

#include <QListWidget>
#include <QPushButton>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {
constexpr int START_LIMIT_MS = 10000;
constexpr int IDENTIFY_LIMIT_MS = 15000;
constexpr const char* SUCCESS_LINE = "Programming successful. ";
} // namespace

CBenchSession::CBenchSession()
{
    char pattern[] = "/tmp/kx-bench-XXXXXX";
    m_dir = mkdtemp(pattern);
    m_timingPath = m_dir + "/timing.txt";
}

CBenchSession::~CBenchSession()
{
    if (m_dlg) {
        m_dlg->Engine().Shutdown();
        m_dlg.reset();
    }
    m_supportLog.reset();
    if (m_unit.state() != QProcess::NotRunning) {
        m_unit.kill();
        m_unit.waitForFinished(START_LIMIT_MS);
    }
    std::filesystem::remove_all(m_dir);
}

bool CBenchSession::Start(bool bPaced)
{
    QStringList arguments{QStringLiteral("--timing"), QString::fromStdString(m_timingPath)};
    if (bPaced)
        arguments << QStringLiteral("--baud-pace");
    m_unit.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_unit.start(QStringLiteral(KX410_SIM_PATH), arguments);
    if (!m_unit.waitForStarted(START_LIMIT_MS) || !m_unit.waitForReadyRead(START_LIMIT_MS)) {
        std::fprintf(stderr, "kx-update-bench: kx410-sim did not start\n");
        return false;
    }
    const std::string port = m_unit.readLine().trimmed().toStdString().substr(5); // "/dev/"
    setenv("KX_EXTRA_COM_PORTS", port.c_str(), 1);
    return StartDialog(port);
}

bool CBenchSession::StartUsb(bool bLatencyPinned)
{
    // The hold keeps the simulated cable's settings while the dialog loads and unloads it.
    m_pCable = std::make_unique<CSimCableClient>(KX_SIM_FTD2XX);
    if (!m_pCable->IsLoaded()) {
        std::fprintf(stderr, "kx-update-bench: cannot load %s\n", KX_SIM_FTD2XX);
        return false;
    }
    m_pCable->Reset();
    m_pCable->SetMode("unit");
    m_pCable->SetPaced(true);
    m_pCable->PinLatencyTimer(bLatencyPinned);
    CUsbCableLink::SetDriverLibraryName(KX_SIM_FTD2XX);
    return StartDialog("USB");
}

long long CBenchSession::SupportLogFileBytes()
{
    m_supportLog->Flush();
    long long bytes = 0;
    for (const auto& entry : std::filesystem::directory_iterator(m_dir + "/state"))
        bytes += static_cast<long long>(entry.file_size());
    return bytes;
}

bool CBenchSession::StartDialog(const std::string& port)
{
    std::ofstream(m_dir + "/Kestova.ini") << "[Settings]\nCOM PORT=" << port << "\n";
    m_supportLog = std::make_unique<CSupportLog>(m_dir + "/state/downloader.log");
    m_dlg = std::make_unique<CDownloaderDlg>();
    m_dlg->SetSupportLog(m_supportLog.get());
    m_dlg->SetProgramDirOverride(m_dir);
    m_dlg->OnInitDialog();
    m_dlg->show();
    if (!SpinUntil([&] { return m_dlg->Engine().Phase() == EnginePhase::Identified; }, IDENTIFY_LIMIT_MS)) {
        std::fprintf(stderr, "kx-update-bench: the unit was not identified on %s\n", port.c_str());
        return false;
    }
    return true;
}

bool CBenchSession::LoadImage(int dataLines)
{
    const std::string text = GenerateImageText(dataLines);
    m_exchangedBytes = 0;
    for (const std::string& line : SplitWebBody(text))
        if (line.rfind(':', 0) == 0)
            m_exchangedBytes += static_cast<long long>(line.size()) + 3;
    const std::string path = m_dir + "/image.fwr";
    std::ofstream(path, std::ios::binary) << text;
    if (m_dlg->Engine().LoadImageFile(path) && CWindowPage(*m_dlg).Send()->isEnabled())
        return true;
    std::fprintf(stderr, "kx-update-bench: the image was refused:\n");
    for (int row = 0; row < CWindowPage(*m_dlg).List()->count(); ++row)
        std::fprintf(stderr, "  %s\n", CWindowPage(*m_dlg).List()->item(row)->text().toUtf8().constData());
    return false;
}

CBenchSession::Clock::duration CBenchSession::SendAndWait(Clock::duration limit)
{
    // The success line is caught as it is inserted: the window's thread may pause after it.
    Clock::time_point finished{};
    QListWidget* list = CWindowPage(*m_dlg).List();
    const QMetaObject::Connection watch = QObject::connect(
        list->model(), &QAbstractItemModel::rowsInserted, list, [&](const QModelIndex&, int, int last) {
            if (list->item(last)->text() == QLatin1String(SUCCESS_LINE))
                finished = Clock::now();
        });
    const Clock::time_point start = Clock::now();
    CWindowPage(*m_dlg).Send()->click();
    const int limitMs =
        static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(limit).count());
    const bool bDone = SpinUntil([&] { return finished != Clock::time_point{}; }, limitMs);
    QObject::disconnect(watch);
    return bDone ? finished - start : Clock::duration(-1);
}

std::vector<double> CBenchSession::StopUnitAndReadTurnarounds()
{
    m_unit.terminate();
    m_unit.waitForFinished(START_LIMIT_MS);
    std::vector<double> samples;
    std::ifstream in(m_timingPath);
    for (double value = 0; in >> value;)
        samples.push_back(value);
    return samples;
}
