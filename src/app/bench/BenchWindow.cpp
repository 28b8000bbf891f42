#include "app/bench/BenchWindow.h"

#include "app/Announcer.h"
#include "app/NativeWindowWatch.h"
#include "app/bench/BenchCsv.h"
#include "app/bench/BenchImage.h"
#include "app/bench/BenchPorts.h"
#include "app/bench/BenchTableModel.h"
#include "device/UpdateEngine.h"
#include "link/ComPortEnum.h"
#include "link/HotplugMonitor.h"
#include "link/PortDescription.h"
#include "platform/SignalPipe.h"
#include "platform/SleepInhibitor.h"
#include "platform/SupportLog.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QShortcut>
#include <QSocketNotifier>
#include <QTableView>
#include <QVBoxLayout>
#include <QWindow>

#include <csignal>

#include <cstdlib>
#include <fstream>

namespace {
constexpr int CONTROLS_INTERVAL_MS = 250;
constexpr int DEFAULT_WIDTH = 1040;
constexpr int DEFAULT_HEIGHT = 420;

QString QStr(const std::string& text) { return QString::fromStdString(text); }

std::string ShownName(const std::string& name) { return BenchPortName(name); }

std::string LastingNameOf(const std::string& shown)
{
    if (shown == CUpdateEngine::USB_PORT_NAME)
        return shown;
    SystemRoots roots;
    roots.sys = ComPortSysfsRoot();
    return StablePortIdentity(shown, roots);
}
} // namespace

CBenchWindow::CBenchWindow(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Kestova Service Bench"));
    setAccessibleName(QStringLiteral("Kestova Service Bench"));
    setWindowFlag(Qt::WindowMaximizeButtonHint, true);
    resize(DEFAULT_WIDTH, DEFAULT_HEIGHT);
    BuildControls();
    m_announce.setInterval(ANNOUNCE_INTERVAL_MS);
    connect(&m_announce, &QTimer::timeout, this, [this] { AnnounceNext(); });
    m_controls.setSingleShot(true);
    m_controls.setInterval(CONTROLS_INTERVAL_MS);
    connect(&m_controls, &QTimer::timeout, this, [this] { UpdateControls(); });
}

CBenchWindow::~CBenchWindow()
{
    // The table asks its model for rows while Qt deletes this window's children, when the
    // channels the model reads are gone already: both go first.
    delete m_table;
    m_table = nullptr;
    delete m_model;
    m_model = nullptr;
    for (auto& channel : m_channels)
        channel->Shutdown();
}

QPushButton* CBenchWindow::Button(const QString& text, const QKeySequence& key)
{
    auto* button = new QPushButton(text, this);
    button->setAutoDefault(false);
    if (!key.isEmpty()) {
        auto* shortcut = new QShortcut(key, this);
        connect(shortcut, &QShortcut::activated, button, &QPushButton::click);
        button->setToolTip(text.section(QChar(0x2026), 0, 0).remove(QChar('&')) +
                           QStringLiteral(" (") + key.toString(QKeySequence::NativeText) +
                           QStringLiteral(")"));
    }
    return button;
}

void CBenchWindow::BuildControls()
{
    auto* layout = new QVBoxLayout(this);
    auto* imageRow = new QHBoxLayout;
    m_image = new QLabel(QStringLiteral("No image chosen"), this);
    m_image->setAccessibleName(QStringLiteral("Image"));
    m_image->setTextInteractionFlags(Qt::TextSelectableByKeyboard | Qt::TextSelectableByMouse);
    imageRow->addWidget(m_image, 1);
    QPushButton* openFile =
        Button(QStringLiteral("&Open File\u2026"), QKeySequence(Qt::CTRL | Qt::Key_O));
    QPushButton* fromWeb =
        Button(QStringLiteral("From the &Web"), QKeySequence(Qt::CTRL | Qt::Key_G));
    QPushButton* addPort =
        Button(QStringLiteral("Add &Port\u2026"), QKeySequence(Qt::CTRL | Qt::Key_P));
    imageRow->addWidget(openFile);
    imageRow->addWidget(fromWeb);
    imageRow->addWidget(addPort);
    layout->addLayout(imageRow);
    m_notes = new QLabel(this);
    m_notes->setWordWrap(true);
    m_notes->setAccessibleName(QStringLiteral("Release notes"));
    m_notes->hide();
    layout->addWidget(m_notes);

    auto* options = new QHBoxLayout;
    m_autoStart = new QCheckBox(QStringLiteral("&Start each unit when it is identified"), this);
    m_alsoCurrent = new QCheckBox(QStringLiteral("Also update units that are &current"), this);
    options->addWidget(m_autoStart);
    options->addWidget(m_alsoCurrent);
    options->addStretch(1);
    layout->addLayout(options);

    m_model = new CBenchTableModel([this](int i) -> const CBenchRow& { return RowAt(i); },
                                   [this] { return ChannelCount(); }, this);
    m_table = new QTableView(this);
    m_table->setModel(m_model);
    m_table->setAccessibleName(QStringLiteral("Channels"));
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_table->horizontalHeader()->setSectionResizeMode(CBenchTableModel::Result,
                                                      QHeaderView::Stretch);
    m_table->setWordWrap(false);
    layout->addWidget(m_table, 1);
    connect(m_model, &QAbstractItemModel::dataChanged, this, [this] {
        if (!m_controls.isActive())
            m_controls.start();
    });

    m_summary = new QLabel(QStringLiteral("no units"), this);
    m_summary->setAccessibleName(QStringLiteral("Summary"));
    m_summary->setObjectName(QStringLiteral("summary"));
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(m_summary, 1);
    m_updateAll = Button(QStringLiteral("&Update All"), QKeySequence(Qt::CTRL | Qt::Key_U));
    QPushButton* stopRow = Button(QStringLiteral("S&top"), QKeySequence(Qt::CTRL | Qt::Key_T));
    m_stopAll = Button(QStringLiteral("Stop &All"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_T));
    QPushButton* exportCsv =
        Button(QStringLiteral("&Export\u2026"), QKeySequence(Qt::CTRL | Qt::Key_E));
    QPushButton* close = Button(QStringLiteral("Close"), {});
    stopRow->setToolTip(
        QStringLiteral("Stop the selected row's update after the line in flight (Ctrl+T)"));
    for (QPushButton* button : {m_updateAll, stopRow, m_stopAll, exportCsv, close})
        bottom->addWidget(button);
    layout->addLayout(bottom);
    m_pAnnouncer = new CAnnouncer(this);

    connect(openFile, &QPushButton::clicked, this, [this] { OnOpenFile(); });
    connect(fromWeb, &QPushButton::clicked, this, [this] { UseWebImages(); });
    connect(addPort, &QPushButton::clicked, this, [this] { OnAddPort(); });
    connect(m_updateAll, &QPushButton::clicked, this, [this] { UpdateAll(); });
    connect(stopRow, &QPushButton::clicked, this, [this] {
        if (m_table->currentIndex().isValid())
            StopRow(m_table->currentIndex().row());
    });
    connect(m_stopAll, &QPushButton::clicked, this, [this] { StopAll(); });
    connect(exportCsv, &QPushButton::clicked, this, [this] { OnExport(); });
    connect(close, &QPushButton::clicked, this, [this] { reject(); });
    connect(m_autoStart, &QCheckBox::toggled, this,
            [this](bool bOn) { m_policy.bAutoStart = bOn; });
    connect(m_alsoCurrent, &QCheckBox::toggled, this, [this](bool bOn) { SetAlsoCurrent(bOn); });
    UpdateControls();
}

void CBenchWindow::SetStopSignals(CSignalPipe* pSignals)
{
    m_pSignals = pSignals;
    delete m_pSignalNotifier;
    m_pSignalNotifier = nullptr;
    if (pSignals == nullptr || !pSignals->IsOpen())
        return;
    m_pSignalNotifier = new QSocketNotifier(pSignals->ReadFd(), QSocketNotifier::Read, this);
    connect(m_pSignalNotifier, &QSocketNotifier::activated, this, [this] { OnStopSignals(); });
}

// --- channels ---

void CBenchWindow::DiscoverChannels()
{
    for (const std::string& name : FindBenchPorts())
        AddChannel(name);
    if (IsD2xxLibraryThere())
        AddChannel(CUpdateEngine::USB_PORT_NAME);
    StartHotplug();
}

void CBenchWindow::AddChannel(const std::string& name)
{
    const std::string shown = ShownName(name);
    if (FindChannel(shown, LastingNameOf(shown)) != nullptr)
        return;
    AddChannelNamed(name);
}

void CBenchWindow::AddChannelNamed(const std::string& openName)
{
    const std::string shown = ShownName(openName);
    IBenchChannelListener& listener = *this;
    auto channel = std::make_unique<CBenchChannel>(openName, LastingNameOf(shown), m_policy,
                                                   listener, m_pLog, m_pHistory);
    CBenchChannel& added = *channel;
    m_channels.push_back(std::move(channel));
    m_model->RowAdded();
    const int row = ChannelCount() - 1;
    auto* stop = new QPushButton(QStringLiteral("Stop"), m_table);
    // Always enabled: eight buttons turning on and off together would flood a screen reader;
    // a row that is not sending is left as it is.
    stop->setAccessibleName(QStringLiteral("Stop ") + QStr(shown));
    connect(stop, &QPushButton::clicked, this, [this, row] { StopRow(row); });
    m_table->setIndexWidget(m_model->index(row, CBenchTableModel::Stop), stop);
    if (m_pLog != nullptr)
        m_pLog->Note("Bench channel " + shown + " added.");
    added.Open();
    UpdateControls();
}

void CBenchWindow::StartHotplug()
{
    if (m_pHotplug != nullptr)
        return;
    m_tetherixDevices = FindTetherixDevices(ComPortSysfsRoot());
    m_pHotplug = m_pHotplugSource ? new CHotplugMonitor(std::move(m_pHotplugSource), this)
                                  : new CHotplugMonitor(this);
    connect(m_pHotplug, &CHotplugMonitor::portAppeared, this,
            [this](const QString& tty) { OnPortPlugged(tty.toStdString(), true); });
    connect(m_pHotplug, &CHotplugMonitor::portDisappeared, this,
            [this](const QString& tty) { OnPortPlugged(tty.toStdString(), false); });
    connect(m_pHotplug, &CHotplugMonitor::usbDeviceAppeared, this,
            [this](const UsbPlugFacts& device) {
                if (MayBeTetherixDevice(device, m_tetherixDevices) && IsD2xxLibraryThere())
                    OnPortPlugged(CUpdateEngine::USB_PORT_NAME, true);
            });
    connect(m_pHotplug, &CHotplugMonitor::usbDeviceDisappeared, this,
            [this](const UsbPlugFacts& device) {
                if (IsTetherixDevice(device, m_tetherixDevices))
                    OnPortPlugged(CUpdateEngine::USB_PORT_NAME, false);
            });
}

CBenchChannel* CBenchWindow::FindChannel(const std::string& openName,
                                         const std::string& lastingName)
{
    for (auto& channel : m_channels) {
        if (ShownName(channel->OpenName()) == openName || channel->LastingName() == lastingName)
            return channel.get();
    }
    return nullptr;
}

void CBenchWindow::OnPortPlugged(const std::string& name, bool bAppeared)
{
    if (!bAppeared) {
        // The port's sysfs entry and lasting name are gone: it is known by its name now.
        for (auto& channel : m_channels) {
            if (ShownName(channel->OpenName()) == name)
                channel->SetGone(true);
        }
        return;
    }
    const std::string lasting = LastingNameOf(name);
    if (CBenchChannel* channel = FindChannel(name, lasting)) {
        channel->SetGone(false, name);
        return;
    }
    if (name == CUpdateEngine::USB_PORT_NAME || IsBenchPort(name))
        AddChannelNamed(name);
}

void CBenchWindow::OnAddPort()
{
    QStringList items;
    for (const auto& [name, description] : ListAllPorts())
        items << QStr(description);
    items << QStr(CUpdateEngine::USB_PORT_NAME);
    bool bOk = false;
    const QString chosen = QInputDialog::getItem(
        this, QStringLiteral("Add Port"),
        QStringLiteral("Port (a name from the list, or a device):"), items, 0, true, &bOk);
    if (!bOk || chosen.trimmed().isEmpty())
        return;
    // "ttyUSB0 – FTDI TTL-232R (A10K3B2C)": the name is the first word.
    AddChannel(chosen.trimmed().section(QChar(' '), 0, 0).toStdString());
}

// --- the image and starting ---

void CBenchWindow::SetImageFile(const std::string& path)
{
    m_policy.strFile = path;
    m_policy.bFromWeb = false;
    ImageChanged();
}

void CBenchWindow::UseWebImages()
{
    m_policy.strFile.clear();
    m_policy.bFromWeb = true;
    ImageChanged();
}

void CBenchWindow::ImageChanged()
{
    ShowImage();
    if (m_pLog != nullptr)
        m_pLog->Note(
            "Bench image: " +
            (m_policy.bFromWeb ? "each unit's own from " + m_policy.strService : m_policy.strFile) +
            ".");
    for (auto& channel : m_channels)
        channel->ImageChanged();
}

void CBenchWindow::ShowImage()
{
    if (m_policy.bFromWeb) {
        m_image->setText(QStringLiteral("Each unit's own image from the firmware service"));
        m_notes->hide();
        return;
    }
    const BenchImageFacts facts = ReadBenchImage(m_policy.strFile);
    m_image->setText(QStr(BenchImageText(m_policy.strFile, facts)));
    m_notes->setText(QStr(facts.strNotes));
    m_notes->setVisible(!facts.strNotes.empty());
}

void CBenchWindow::SetAutoStart(bool bAuto)
{
    m_autoStart->setChecked(bAuto);
    m_policy.bAutoStart = bAuto;
}

void CBenchWindow::SetAlsoCurrent(bool bAlso)
{
    if (m_alsoCurrent->isChecked() != bAlso)
        m_alsoCurrent->setChecked(bAlso);
    m_policy.bAlsoCurrent = bAlso;
}

void CBenchWindow::OnOpenFile()
{
    const QString path =
        QFileDialog::getOpenFileName(this, QStringLiteral("Open Programming File"), {},
                                     QStringLiteral("Programming files (*.fwr);;All files (*)"));
    if (!path.isEmpty())
        SetImageFile(path.toStdString());
}

int CBenchWindow::UpdateAll()
{
    if (m_bStopping)
        return 0;
    int started = 0;
    for (auto& channel : m_channels)
        started += channel->Start() ? 1 : 0;
    return started;
}

void CBenchWindow::StopRow(int nRow)
{
    if (nRow >= 0 && nRow < ChannelCount())
        m_channels[static_cast<std::size_t>(nRow)]->Stop();
}

void CBenchWindow::StopAll()
{
    for (auto& channel : m_channels)
        channel->Stop();
}

std::string CBenchWindow::SummaryText() const
{
    std::vector<const CBenchRow*> rows;
    for (const auto& channel : m_channels)
        rows.push_back(&channel->Row());
    return BenchSummary(rows);
}

bool CBenchWindow::ExportCsv(const std::string& path) const
{
    std::vector<const CBenchRow*> rows;
    for (const auto& channel : m_channels)
        rows.push_back(&channel->Row());
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << BenchCsv(rows);
    file.close();
    return !file.fail();
}

void CBenchWindow::OnExport()
{
    const QString path = QFileDialog::getSaveFileName(
        this, QStringLiteral("Export the Bench"), QStringLiteral("bench.csv"),
        QStringLiteral("CSV files (*.csv);;All files (*)"));
    if (path.isEmpty())
        return;
    if (!ExportCsv(path.toStdString()))
        QMessageBox::warning(this, QStringLiteral("Kestova"),
                             QStringLiteral("The bench could not be written to %1.").arg(path));
}

void CBenchWindow::OnSecondStart(const std::string& path)
{
    showNormal();
    raise();
    activateWindow();
    if (!path.empty())
        SetImageFile(path);
}

// --- what the channels report ---

int CBenchWindow::IndexOf(const CBenchChannel& channel) const
{
    for (std::size_t i = 0; i < m_channels.size(); ++i) {
        if (m_channels[i].get() == &channel)
            return static_cast<int>(i);
    }
    return -1;
}

void CBenchWindow::OnChannelChanged(CBenchChannel& channel, bool bMilestone)
{
    const int row = IndexOf(channel);
    if (row < 0)
        return;
    m_model->RowChanged(row, false);
    if (bMilestone) {
        const std::string milestone = channel.Row().Milestone();
        if (!milestone.empty() && (m_told.empty() || m_told.back() != milestone) &&
            (m_toTell.empty() || m_toTell.back() != milestone)) {
            m_toTell.push_back(milestone);
            if (!m_announce.isActive()) {
                AnnounceNext();
                m_announce.start();
            }
        }
    }
    if (m_bStopping && !IsAnyWriting())
        QTimer::singleShot(0, this, [this] { FinishStop(); });
}

void CBenchWindow::AnnounceNext()
{
    if (m_toTell.empty()) {
        m_announce.stop();
        return;
    }
    const std::string sentence = m_toTell.front();
    m_toTell.pop_front();
    m_told.push_back(sentence);
    if (m_pLog != nullptr)
        m_pLog->Note("Bench: " + sentence);
    m_pAnnouncer->Announce(QStr(sentence));
}

void CBenchWindow::OnChannelWriting(CBenchChannel&)
{
    const bool bWriting = IsAnyWriting();
    // A desktop session has a session bus, where the portal may also hold off logging out.
    if (!m_pInhibitor)
        m_pInhibitor = std::make_unique<CSleepInhibitor>(
            m_pLog, std::getenv("DBUS_SESSION_BUS_ADDRESS") != nullptr);
    int writing = 0;
    for (const auto& channel : m_channels)
        writing += channel->IsWriting() ? 1 : 0;
    m_pInhibitor->SetHeld(bWriting, "Updating the firmware of " + std::to_string(writing) +
                                        (writing == 1 ? " unit" : " units") +
                                        " on the service bench");
}

bool CBenchWindow::IsAnyWriting() const
{
    for (const auto& channel : m_channels) {
        if (channel->IsWriting() || channel->Row().State() == CBenchRow::EState::Sending)
            return true;
    }
    return false;
}

void CBenchWindow::UpdateControls()
{
    m_summary->setText(QStr(SummaryText()));
    bool bAnyStartable = false;
    for (const auto& channel : m_channels)
        bAnyStartable = bAnyStartable || channel->Row().CanStart();
    m_updateAll->setEnabled(!m_bStopping && bAnyStartable);
    m_stopAll->setEnabled(IsAnyWriting());
}

// --- ending ---

void CBenchWindow::OnStopSignals()
{
    int sig = 0;
    const int count = m_pSignals != nullptr ? m_pSignals->TakeSignals(&sig) : 0;
    for (int i = 0; i < count && i < 2 && !m_bEnded; ++i)
        RequestStop(EXIT_SIGNAL_BASE + sig, std::string(SignalName(sig)) + " was received");
}

void CBenchWindow::RequestStop(int nExitStatus, const std::string& why)
{
    if (m_bEnded)
        return;
    m_nExitStatus = nExitStatus;
    if (m_bStopping || !IsAnyWriting()) {
        if (m_bStopping && m_pLog != nullptr)
            m_pLog->Note("Bench: stopped at once (" + why + ").");
        else if (m_pLog != nullptr)
            m_pLog->Note("Bench ending: " + why + ".");
        FinishStop();
        return;
    }
    m_bStopping = true;
    if (m_pLog != nullptr)
        m_pLog->Note("Bench: stopping every update after the line in flight: " + why + ".");
    StopAll();
    UpdateControls();
}

void CBenchWindow::FinishStop()
{
    if (m_bEnded)
        return;
    m_bEnded = true;
    for (auto& channel : m_channels) {
        if (m_pLog != nullptr && channel->Row().Percent() >= 0)
            m_pLog->Note("Bench: " + channel->Row().Sentence());
        channel->Shutdown();
    }
    if (m_pInhibitor)
        m_pInhibitor->SetHeld(false, {});
    if (m_pLog != nullptr) {
        m_pLog->Note("The bench ends with status " + std::to_string(m_nExitStatus) + ".");
        m_pLog->Flush();
    }
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* dialog = qobject_cast<QDialog*>(widget);
        if (dialog != nullptr && dialog != this && dialog != parentWidget() &&
            dialog->isVisible() && dialog->parentWidget() == this)
            dialog->reject();
    }
    QDialog::reject();
}

void CBenchWindow::reject()
{
    // Closing while units are written to stops every run after its line in flight.
    RequestStop(IsAnyWriting() ? EXIT_CLOSED_MID_UPDATE : m_nExitStatus, "the window was closed");
}

void CBenchWindow::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (m_pNativeWatch)
        return;
    m_pNativeWatch = std::make_unique<CNativeWindowWatch>([this](unsigned long windowId) {
        const QWindow* window = windowHandle();
        if (m_bEnded || window == nullptr || window->handle() == nullptr ||
            window->winId() != windowId)
            return;
        QTimer::singleShot(0, this, [this] {
            RequestStop(EXIT_SIGNAL_BASE + SIGTERM, "the window was destroyed");
        });
    });
}

void CBenchWindow::closeEvent(QCloseEvent* event)
{
    if (m_bEnded) {
        event->accept();
        return;
    }
    event->ignore();
    reject();
}
