#include "console/MainForm.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>

#include <algorithm>
#include <vector>

#include "console/ControlFactory.h"
#include "console/MessageBoxReporter.h"
#include "console/OutputPane.h"
#include "console/UpDown.h"
#include "platform/CoreDumps.h"
#include "platform/LocalTime.h"
#include "platform/ReservedMemory.h"
#include "snmpv3/Libcrypto.h"
#include "snmpv3/LocalEngine.h"
#include "snmpv3/V3Lines.h"
#include "text/Cp932.h"

namespace quillet {
namespace {

// The address requests go to until the first accepted request replaces it.
constexpr const char* kPlaceholderAgentAddress = "127.0.0.1";

// The day's log files lie in this directory below the working directory.
constexpr const char* kLogDirectory = "LOG";

const QColor kCyan(0, 255, 255);

// What the title adds while a port cannot receive, for the run's whole life.
constexpr const char* kDeafSigns[2] = {"  【ポート161使用不可：応答を受信できません】",
                                        "  【ポート162使用不可：TRAPを受信できません】"};
// What the title adds while appending to the log is stopped for the disk's
// reserve of free space (ConsoleOutput::kLogStoppedLine).
constexpr const char* kLogStoppedSign = "  【ディスク空き不足：LOG記録停止中】";

// What the title adds once the settings file cannot be kept.
constexpr const char* kSettingsLostSign = "  【設定を保存できません】";

constexpr const char* kNoCp932Message =
    "CP932 iconv=NG  日本語はログに?で記録され、コミュニティ名と送信データには使えません。";

}  // namespace

TMainForm::TMainForm(const ConsoleConfig& config, QWidget* parent)
    : QMainWindow(parent),
      config_(config),
      settings_(config.settingsFile),
      output_([this] { pane_->Schedule(); }),
      sockets_(config),
      agentAddressText_(kPlaceholderAgentAddress) {
    BoundHeapGrowth();
    if (config_.reporter != nullptr) {
        reporter_ = config_.reporter;
    } else {
        ownReporter_ = std::make_unique<MessageBoxReporter>();
        ownReporter_->SetWindow(this);
        reporter_ = ownReporter_.get();
    }
    CreateControls();
    ConnectHandlers();
    RestoreFields();
    StartUp();
    // Without code page 932 the log and the wire could only get stand-ins
    // for every Japanese character: say so once, after the other boxes.
    if (!Cp932Available()) reporter_->ShowError(kNoCp932Message);
}

TMainForm::~TMainForm() { FormClose(); }

void TMainForm::ShowTitle() {
    QString title = QStringLiteral("Quillet v2c  V6.10") + QString(65, QLatin1Char(' ')) + QStringLiteral("SNMP v1 , v2c");
    for (int index = 0; index < 2; ++index)
        if (deaf_[index]) title += QString::fromUtf8(kDeafSigns[index]);
    if (logStopped_) title += QString::fromUtf8(kLogStoppedSign);
    if (settingsLost_) title += QString::fromUtf8(kSettingsLostSign);
    setWindowTitle(title);
}

void TMainForm::ConnectHandlers() {
    // A failed log write is told once per run, in a box that waits for
    // nobody: the listeners go on and the log picks up again when it can.
    output_.OnLogWriteFailure([this] { reporter_->ShowNotice(kLogWriteNotice); });
    // The title says so while appending waits for the disk's reserve.
    output_.OnLogKeptFree([this](bool stopped) {
        calls_.Post([this, stopped] {
            logStopped_ = stopped;
            ShowTitle();
        });
    });
    connect(VerButtons, &QButtonGroup::idClicked, this, [this](int) { VerRadioGroupClick(); });
    connect(NonOIDUpDown, &UpDown::clicked, this, [this] { NonOIDUpDownClick(); });
    connect(MaxOIDUpDown, &UpDown::clicked, this, [this] { MaxOIDUpDownClick(); });
    connect(ClrButton, &QPushButton::clicked, this, [this] { ClrButtonClick(); });
    connect(SetButton, &QPushButton::clicked, this, [this] { SetButtonClick(); });
    connect(GETButton, &QPushButton::clicked, this, [this] { GETButtonClick(); });
    connect(GETNEXTButton, &QPushButton::clicked, this, [this] { GETNEXTButtonClick(); });
    connect(BulkButton, &QPushButton::clicked, this, [this] { BulkButtonClick(); });
    connect(PingButton, &QPushButton::clicked, this, [this] { PingButtonClick(); });
    connect(V3SettingsButton, &QPushButton::clicked, this, [this] { V3SettingsButtonClick(); });
    connect(WalkButton, &QPushButton::clicked, this, [this] { WalkButtonClick(); });
    connect(TransportButton, &QPushButton::clicked, this, [this] { TransportButtonClick(); });
    auto switches = [this] { output_.SetSwitches(dataDisplayCheckBox->isChecked(), nodisplay_CheckBox->isChecked()); };
    connect(dataDisplayCheckBox, &QCheckBox::toggled, this, switches);
    connect(nodisplay_CheckBox, &QCheckBox::toggled, this, switches);
    switches();
    output_.SetDetails(detailDisplayCheckBox->isChecked());
    connect(detailDisplayCheckBox, &QCheckBox::toggled, this, [this](bool on) {
        output_.SetDetails(on);
        if (!settings_.SetDetails(on)) SaySettingsLost();
    });
    connect(IpEdit, &QLineEdit::textChanged, this, [this](const QString& text) {
        std::lock_guard<std::mutex> lock(ipTextMutex_);
        ipText_ = text.toStdString();
    });
}

void TMainForm::StartUp() {
    const LocalDateTime today = CurrentLocalTime();
    logFileName_ = quillet::LogFileName(kLogDirectory, today);
    const LogOpenResult log = logFile_.Open(kLogDirectory, logFileName_.substr(logFileName_.rfind('/') + 1));
    if (log.Opened()) {
        output_.SetLogSink(&logFile_);
        // A day file others could use was moved aside: the fresh file's
        // first line says where it went, and a box says why.
        if (!log.movedAsideName.empty()) output_.WriteLogOnly(LogMovedAsideLine(log));
        output_.WriteLogMark(StartMark, CurrentLocalTime());
        if (!log.movedAsideName.empty()) reporter_->ShowNotice(LogMovedAsideNotice(log));
    } else {
        reporter_->ShowError(LogOpenFailureMessage(log));
    }
    const int socketLayer = config_.prebound != nullptr ? config_.prebound->socketLayerResult : StartSocketLayer();
    if (socketLayer != 0) reporter_->ShowError("WSAStartup=NG");
    SetupSocket(0);
    SetupSocket(1);
    StartLocalEngine();
    if (config_.startListeners)
        sockets_.StartListeners(
            output_, *reporter_, request_, tracker_, equipmentFlag_, v3Requests_,
            [this](V3Taken&& taken) {
                auto followup = std::make_shared<V3Taken>(std::move(taken));
                calls_.Post([this, followup] { OnV3Followup(*followup); });
            },
            [this](std::vector<std::uint8_t>&& answer) {
                auto datagram = std::make_shared<std::vector<std::uint8_t>>(std::move(answer));
                calls_.Post([this, datagram] { OnWalkAnswer(datagram->data(), 0, datagram->size(), 1); });
            },
            v3Users_,
            ByteSpan(reinterpret_cast<const std::uint8_t*>(engineId_.constData()),
                     static_cast<std::size_t>(engineId_.size())),
            engineBoots_);

    // Centred on the desktop.
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(kClientSize.width() / 2, kClientSize.height() / 2));
    }
}

void TMainForm::WriteStartUpLine(const std::string& line) {
    OutputBatch batch;
    batch.WriteLine(line, SummaryLine);
    output_.Commit(batch);
}

void TMainForm::SaySettingsLost() {
    if (settingsLost_) return;
    settingsLost_ = true;
    ShowTitle();
    WriteStartUpLine("設定ファイルに保存できません：" + settings_.Problem());
}

namespace {

// A new engine ID as bytes; empty when the random source fails.
QByteArray NewEngineId() {
    LocalEngineId id;
    if (!MakeLocalEngineId(id)) return {};
    return QByteArray(reinterpret_cast<const char*>(id.data()), static_cast<qsizetype>(id.size()));
}

}  // namespace

void TMainForm::StartLocalEngine() {
    // The console's own SNMP engine, for the informs sent to it: its ID made
    // once and kept, its boots one more at each start. Boots that run out
    // give the engine a new ID (RFC 3414 2.2.2), kept with boots 1.
    engineId_ = settings_.EngineId();
    std::uint32_t boots = 0;
    bool kept = settings_.Kept();
    if (kept && (engineId_.size() < static_cast<qsizetype>(kMinEngineIdLength) || !settings_.NextEngineBoots(boots))) {
        const QByteArray fresh = NewEngineId();
        kept = !fresh.isEmpty() && settings_.SetNewEngine(fresh);
        if (kept) {
            engineId_ = fresh;
            boots = 1;
        }
    }
    if (!settings_.Kept()) SaySettingsLost();
    if (kept) {
        engineBoots_ = boots;
        return;
    }
    // Boots that cannot be kept would come round again in the next run, and
    // an inform captured in this run would then be in time again. An engine
    // ID of this run alone makes every message localised to an earlier ID,
    // or to a later one, unknown to it: informs of other runs are refused.
    engineId_ = NewEngineId();
    engineBoots_ = 1;
    if (engineId_.isEmpty()) {
        WriteStartUpLine("SNMPv3エンジンIDを作れません（乱数の異常）。この実行ではINFORMに応答しません。");
        return;
    }
    std::string hex;
    AppendHexOctets(hex, reinterpret_cast<const std::uint8_t*>(engineId_.constData()),
                    static_cast<std::size_t>(engineId_.size()));
    WriteStartUpLine("SNMPv3エンジンのbootsを保存できないため、この実行に限り新しいエンジンIDを使います：" + hex +
                     "（以前の実行に送られたINFORMは受け付けません）");
}

void TMainForm::SetupSocket(int index) {
    const std::vector<std::string> boxes = sockets_.Setup(index, *reporter_);
    if (boxes.empty()) return;
    // The run's log says why it holds no answers or no traps.
    OutputBatch batch;
    for (const std::string& box : boxes) {
        std::size_t start = 0;
        for (std::size_t end; (end = box.find('\n', start)) != std::string::npos; start = end + 1)
            batch.WriteLine(std::string_view(box).substr(start, end - start), SummaryLine);
        batch.WriteLine(std::string_view(box).substr(start), SummaryLine);
    }
    output_.Commit(batch);
    deaf_[index] = true;
    ShowTitle();
}

void TMainForm::SetAgentAddress(const std::string& text, const Endpoint& agent) {
    agentAddressText_ = text;
    agent_ = agent;
    agent_->port = transport_.port;
    sockets_.SetAgent(*agent_);
}

bool TMainForm::SendDatagram(int index, const std::uint8_t* data, int length, const Endpoint* to) {
    int error = 0;
    const bool sent = sockets_.Send(index, data, length, error, to);
    OutputBatch batch;
    if (sent)
        batch.CountDatagram(Counter::Send);
    else
        ReportNotSent(SocketErrorText(error), batch);
    output_.Commit(batch);
    FlushPane();
    if (!sent) {
        reporter_->ShowError("sendto=NG  当プログラムを既に起動していませんか？ ");
        return false;
    }
    // An agent on the same link has often answered while the request's
    // lines went into the pane: show that answer now, with the request,
    // rather than at the pace the pane keeps in a storm.
    FlushPane();
    return true;
}

int TMainForm::Version() const {
    const int id = VerButtons->checkedId();
    return id == 1 || id == 2 ? id : 0;
}

int TMainForm::DataType() const {
    const int id = DataTypeButtons->checkedId();
    return id < 0 ? 0 : id;
}

void TMainForm::VerRadioGroupClick() {
    // GetBulkRequest exists from SNMPv2 on.
    const bool bulk = Version() >= 1;
    QWidget* group[] = {BulkButton,  NonLabel,    NonOID_C_Edit, NonOIDUpDown,  MaxLabel,
                        MaxEdit,     MaxOID_C_Edit, MaxOIDUpDown, MaxOID1Edit,  MaxOID2Edit,
                        MaxOID3Edit, MaxOID1_Label, MaxOID2_Label, MaxOID3_Label};
    for (QWidget* widget : group) widget->setEnabled(bulk);
}

void TMainForm::ColourByPosition(int position, QLineEdit* first, QLineEdit* second, QLineEdit* third) {
    QLineEdit* edits[3] = {first, second, third};
    for (int i = 0; i < 3; ++i) {
        // Cyan only while the field is enabled: a disabled field keeps the
        // desktop's disabled look (its grey text is unreadable on cyan) and
        // shows its colour again when it is enabled.
        const QPalette normal = QApplication::palette(edits[i]);
        QPalette palette = edits[i]->palette();
        for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive})
            palette.setColor(group, QPalette::Base, i < position ? kCyan : normal.color(group, QPalette::Base));
        palette.setColor(QPalette::Disabled, QPalette::Base, normal.color(QPalette::Disabled, QPalette::Base));
        edits[i]->setPalette(palette);
    }
}

void TMainForm::NonOIDUpDownClick() { ColourByPosition(NonOIDUpDown->Position(), OID1Edit, OID2Edit, OID3Edit); }

void TMainForm::MaxOIDUpDownClick() {
    ColourByPosition(MaxOIDUpDown->Position(), MaxOID1Edit, MaxOID2Edit, MaxOID3Edit);
}


void TMainForm::ForbidCoreDumpsOnce() {
    if (coreDumpsForbidden_) return;
    coreDumpsForbidden_ = true;
    std::string why;
    if (!ForbidCoreDumps(why)) WriteStartUpLine("コアダンプを禁止できません：" + why);
}

void TMainForm::V3SettingsButtonClick() {
    // Secrets may be typed from here on.
    ForbidCoreDumpsOnce();
    v3Dialog_->SetValues(v3Values_, v3Users_.Config());
    const bool accepted = v3Dialog_->exec() == QDialog::Accepted;
    std::shared_ptr<V3Config> config = v3Dialog_->TakeConfig();
    if (accepted && config != nullptr) {
        InstallV3Config(std::move(config), v3Dialog_->Accepted());
        return;
    }
    // Cancelled: whatever was typed is dropped (and its secrets wiped).
    v3Dialog_->SetValues(v3Values_, v3Users_.Config());
}

bool TMainForm::ApplyV3Settings(const V3DialogValues& values, std::string& error) {
    ForbidCoreDumpsOnce();
    auto config = std::make_shared<V3Config>();
    if (!MakeV3Config(values, v3Users_.Config().get(), *config, error)) return false;
    InstallV3Config(std::move(config), values);
    return true;
}

void TMainForm::InstallV3Config(std::shared_ptr<V3Config> config, const V3DialogValues& values) {
    v3Users_.SetConfig(std::move(config));
    v3Values_ = values;
    Settings::V3Choices choices;
    for (V3UserValues& user : v3Values_.users) {
        WipeString(user.authSecret);
        WipeString(user.privSecret);
        choices.users.push_back(user.profile);
    }
    v3Dialog_->SetValues(v3Values_, v3Users_.Config());
    choices.requestUser = v3Values_.requestUser;
    choices.contextName = v3Values_.contextName;
    choices.contextEngineIdHex = v3Values_.contextEngineIdHex;
    if (!settings_.SetV3(choices)) SaySettingsLost();
}

void TMainForm::ClrButtonClick() {
    output_.ResetCounters();
    FlushPane();
}

std::string TMainForm::IpText() const {
    std::lock_guard<std::mutex> lock(ipTextMutex_);
    return ipText_;
}

bool TMainForm::FlushPane() { return pane_->Flush(); }

void TMainForm::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    if (FindBar == nullptr) return;  // before the controls exist
    const int dw = std::max(0, width() - kClientSize.width());
    const int dh = std::max(0, height() - kClientSize.height());
    const auto widgetOf = [this](Control control) {
        return findChild<QWidget*>(QString::fromLatin1(PlaceOf(control).name));
    };
    Frames[4]->setGeometry(PlaceOf(Control::Frame4).rect.adjusted(0, 0, dw, dh));
    PlacePane();
    for (Control below : {Control::Label2, Control::SendEdit, Control::Label3, Control::RecvEdit, Control::Label1,
                          Control::TrapEdit, Control::ClrButton})
        widgetOf(below)->move(PlaceOf(below).rect.topLeft() + QPoint(0, dh));
    widgetOf(Control::Label4)->move(PlaceOf(Control::Label4).rect.topLeft() + QPoint(dw, dh));
}

void TMainForm::closeEvent(QCloseEvent* event) {
    FormClose();
    event->accept();
}

void TMainForm::ApplyTransport(const AgentTransport& transport) {
    transport_ = transport;
    transportDialog_->SetValues(transport);
    // A request whose address passed its check aimed the socket; until then
    // the next request aims it with the new port.
    if (agent_) {
        agent_->port = transport.port;
        sockets_.SetAgent(*agent_);
    }
    settings_.SetTransport(transport);
}

void TMainForm::RememberFields() {
    Settings::Fields fields;
    fields.agentAddress = IpEdit->text().toStdString();
    fields.oid1 = OID1Edit->text().toStdString();
    fields.oid2 = OID2Edit->text().toStdString();
    fields.oid3 = OID3Edit->text().toStdString();
    fields.maxOid1 = MaxOID1Edit->text().toStdString();
    fields.maxOid2 = MaxOID2Edit->text().toStdString();
    fields.maxOid3 = MaxOID3Edit->text().toStdString();
    fields.maxRepetitions = MaxEdit->text().toStdString();
    fields.version = Version();
    fields.dataType = DataType();
    fields.nonRepeaters = NonOIDUpDown->Position();
    fields.repeaters = MaxOIDUpDown->Position();
    settings_.SetRequestFields(fields);
}

void TMainForm::RestoreFields() {
    const Settings::Fields fields = settings_.RequestFields();
    const auto text = [](QLineEdit* edit, const std::string& value) {
        if (!value.empty()) edit->setText(QString::fromStdString(value));
    };
    text(IpEdit, fields.agentAddress);
    text(OID1Edit, fields.oid1);
    OID2Edit->setText(QString::fromStdString(fields.oid2));
    OID3Edit->setText(QString::fromStdString(fields.oid3));
    text(MaxOID1Edit, fields.maxOid1);
    text(MaxOID2Edit, fields.maxOid2);
    text(MaxOID3Edit, fields.maxOid3);
    text(MaxEdit, fields.maxRepetitions);
    if (fields.version >= 0) VerButtons->button(fields.version)->setChecked(true);
    if (fields.dataType >= 0) DataTypeButtons->button(fields.dataType)->setChecked(true);
    // The GetBulk counters move only while the version allows GetBulk; each
    // click also colours the fields it counts, as the operator's does.
    VerRadioGroupClick();
    for (int i = 0; i < 3 && fields.nonRepeaters > NonOIDUpDown->Position(); ++i) NonOIDUpDown->Click(UpDown::Up);
    for (int i = 0; i < 3 && fields.repeaters > MaxOIDUpDown->Position(); ++i) MaxOIDUpDown->Click(UpDown::Up);
}

void TMainForm::FormClose() {
    if (closed_) return;
    closed_ = true;
    RememberFields();
    if (ownReporter_) ownReporter_->SetClosing();
    StopPing();
    // The listeners first: the datagrams they had queued when the stop began
    // are reported (or said lost) before the stop mark, and once they have
    // ended no other thread writes to the log.
    sockets_.StopListeners();
    // One step all the same: nothing can land between the stop mark and
    // the end of the log.
    output_.WriteStopMarkAndDetach(CurrentLocalTime());
    logFile_.Close();
}

}  // namespace quillet
