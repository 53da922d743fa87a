#include "console/MainForm.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFrame>
#include <QGroupBox>
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
#include "platform/LocalTime.h"
#include "snmpv3/LocalEngine.h"
#include "text/Cp932.h"

namespace quillet {
namespace {

// The address requests go to until the first accepted request replaces it,
// and the text IpEdit shows at start.
constexpr const char* kPlaceholderAgentAddress = "127.0.0.1";
constexpr const char* kInitialIpText = "192.168.1.1";

// The day's log files lie in this directory below the working directory.
constexpr const char* kLogDirectory = "LOG";

const QColor kCyan(0, 255, 255);

// What the title adds while a port cannot receive, for the run's whole life.
constexpr const char* kDeafSigns[2] = {"  【ポート161使用不可：応答を受信できません】",
                                        "  【ポート162使用不可：TRAPを受信できません】"};

constexpr const char* kNoCp932Message =
    "CP932 iconv=NG  日本語はログに?で記録され、コミュニティ名と送信データには使えません。";

void SetReadOnlyField(QLineEdit* edit) { edit->setReadOnly(true); }

V3DialogValues ValuesOf(const Settings::V3Choices& choices) {
    V3DialogValues values;
    values.userName = choices.userName.toStdString();
    values.level = static_cast<SecurityLevel>(std::clamp(choices.level, 0, 2));
    values.auth = static_cast<AuthProtocol>(std::clamp(choices.auth, 1, 6));
    values.priv = static_cast<PrivProtocol>(std::clamp(choices.priv, 1, 4));
    values.contextName = choices.contextName.toStdString();
    values.contextEngineIdHex = choices.contextEngineId.toStdString();
    return values;
}


}  // namespace

TMainForm::TMainForm(const ConsoleConfig& config, QWidget* parent)
    : QMainWindow(parent),
      config_(config),
      settings_(config.settingsFile),
      output_([this] { pane_->Schedule(); }),
      sockets_(config),
      agentAddressText_(kPlaceholderAgentAddress) {
    if (config_.reporter != nullptr) {
        reporter_ = config_.reporter;
    } else {
        ownReporter_ = std::make_unique<MessageBoxReporter>();
        ownReporter_->SetWindow(this);
        reporter_ = ownReporter_.get();
    }
    CreateControls();
    ConnectHandlers();
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
    setWindowTitle(title);
}

void TMainForm::CreateControls() {
    ShowTitle();
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
    setFont(WindowFont());

    auto* client = new QWidget(this);
    setCentralWidget(client);
    setMinimumSize(kClientSize);
    resize(kClientSize);

    // Frames first, so that the controls lie above them.
    for (int i = 0; i < 5; ++i) Frames[i] = MakeFrame(client, static_cast<Control>(static_cast<int>(Control::Frame0) + i));

    CommunityEdit = MakeEdit(client, Control::CommunityEdit, QStringLiteral("ravine"),
                             QStringLiteral("エージェントのコミュニティ名を入力します。"));
    IpEdit = MakeEdit(client, Control::IpEdit, QString::fromLatin1(kInitialIpText),
                      QStringLiteral("エージェントのIPアドレスを入力します。"));
    ipText_ = kInitialIpText;
    PingButton = MakeButton(client, Control::PingButton, QStringLiteral("P i n g"),
                            QStringLiteral("指定IPアドレスに　ping を送信します。(Win95非対応)"));
    {
        QFont impact = ImpactFont(12);
        impact.setWeight(QFont::Black);
        PingButton->setFont(impact);
    }
    OID1Edit = MakeEdit(client, Control::OID1Edit, QStringLiteral("1.3.6.1.4.1"),
                        QStringLiteral("set , get するMIBのオブジェクトIDを入力します。"));
    OID2Edit = MakeEdit(client, Control::OID2Edit, QString(), QStringLiteral("getNext するMIBのオブジェクトIDを入力します。"));
    OID3Edit = MakeEdit(client, Control::OID3Edit, QString(), QStringLiteral("getNext するMIBのオブジェクトIDを入力します。"));
    DataTypeGroup = MakeRadioGroup(client, Control::DataTypeGroup, QStringLiteral("入力データタイプ選択"),
                                   {QStringLiteral("integer"), QStringLiteral("IpAddress"),
                                    QStringLiteral("OCTET STRING(HEX 形式)"), QStringLiteral("OCTET STRING(ASCII 形式)"),
                                    QStringLiteral("Unsigned32/Gauge32"), QStringLiteral("TimeTicks"),
                                    QStringLiteral("Counter32"), QStringLiteral("Counter64"),
                                    QStringLiteral("OBJECT IDENTIFIER")},
                                   &DataTypeButtons);
    InMemo = new QPlainTextEdit(client);
    Place(InMemo, Control::InMemo);
    InMemo->setToolTip(QStringLiteral("set 時のデータを入力します。"));
    InMemo->setTabChangesFocus(true);
    VerRadioGroup = MakeRadioGroup(client, Control::VerRadioGroup, QStringLiteral("SNMPバージョン"),
                                   {QStringLiteral("SNMPv1"), QStringLiteral("SNMPv2"), QStringLiteral("SNMPv3")},
                                   &VerButtons);
    V3SettingsButton = MakeButton(client, Control::V3SettingsButton, QStringLiteral("設定"),
                                  QStringLiteral("SNMPv3のユーザー、認証・暗号の設定を開きます。"));
    V3SettingsButton->setFont(FittingFont(V3SettingsButton->font(), V3SettingsButton->text(),
                                          V3SettingsButton->width() - 6));
    v3Dialog_ = new V3Dialog(this);
    // The remembered choices; the pass phrases are asked again each run.
    v3Dialog_->SetValues(ValuesOf(settings_.V3()));
    dataDisplayCheckBox =
        MakeCheckBox(client, Control::dataDisplayCheckBox, QStringLiteral("PDU表示"),
                     QStringLiteral("チェックすると送受信PDUデータを表示します。チェックしないと表示しません。"));
    dataDisplayCheckBox->setChecked(true);
    detailDisplayCheckBox = MakeCheckBox(
        client, Control::detailDisplayCheckBox, QStringLiteral("詳細表示"),
        QStringLiteral("チェックすると送受信の相手・時刻、トラップの全項目、応答なしなどの詳細も表示・記録します。"));
    detailDisplayCheckBox->setChecked(settings_.Details());
    SetButton = MakeButton(client, Control::SetButton, QStringLiteral("SetRequest"), QStringLiteral("set request を送信します。"));
    MessageEdit = MakeEdit(client, Control::MessageEdit, QString());
    SetReadOnlyField(MessageEdit);
    MessageEdit->setFrame(false);
    SetNoTabStop(MessageEdit);
    {
        QPalette palette = MessageEdit->palette();
        palette.setColor(QPalette::Text, Qt::red);
        palette.setColor(QPalette::Base, palette.color(QPalette::Window));
        MessageEdit->setPalette(palette);
    }
    GETButton = MakeButton(client, Control::GETButton, QStringLiteral("GetRequest"), QStringLiteral("get request を送信します。"));
    GETNEXTButton = MakeButton(client, Control::GETNEXTButton, QStringLiteral("GetNextRequest"),
                               QStringLiteral("get next request を送信します。"));
    BulkButton = MakeButton(client, Control::BulkButton, QStringLiteral("GetBulkRequest"),
                            QStringLiteral("getBulkRequestを送信します。"));
    NonOID_C_Edit = MakeEdit(client, Control::NonOID_C_Edit, QStringLiteral("0"),
                             QStringLiteral("Non-Repeatersを要求するOID数を入力します。"));
    SetReadOnlyField(NonOID_C_Edit);
    MaxEdit = MakeEdit(client, Control::MaxEdit, QStringLiteral("0"), QStringLiteral("Max-Repetitions数を入力します。"));
    MaxOID_C_Edit = MakeEdit(client, Control::MaxOID_C_Edit, QStringLiteral("0"),
                             QStringLiteral("Max-Repetitionsを要求するOID数を入力します。"));
    SetReadOnlyField(MaxOID_C_Edit);
    const QString maxOidHint = QStringLiteral("Max-RepetitionsのOIDを入力します。");
    MaxOID1Edit = MakeEdit(client, Control::MaxOID1Edit, QStringLiteral("1.3.6.1.4.1"), maxOidHint);
    MaxOID2Edit = MakeEdit(client, Control::MaxOID2Edit, QStringLiteral("1.3.6.1.4.1"), maxOidHint);
    MaxOID3Edit = MakeEdit(client, Control::MaxOID3Edit, QStringLiteral("1.3.6.1.4.1"), maxOidHint);
    MaxOIDUpDown = new UpDown(client, MaxOID_C_Edit, 0, 3, 0);
    Place(MaxOIDUpDown, Control::MaxOIDUpDown);
    NonOIDUpDown = new UpDown(client, NonOID_C_Edit, 0, 3, 0);
    Place(NonOIDUpDown, Control::NonOIDUpDown);
    TrapEdit = MakeEdit(client, Control::TrapEdit, QStringLiteral("0"));
    SetReadOnlyField(TrapEdit);
    SetNoTabStop(TrapEdit);
    ClrButton = MakeButton(client, Control::ClrButton, QStringLiteral("Clr"), QStringLiteral("送受信回数をクリアします。"));
    nodisplay_CheckBox = MakeCheckBox(client, Control::nodisplay_CheckBox, QStringLiteral("全非表示"),
                                      QStringLiteral("チェックすると何も表示しません。"));
    SendEdit = MakeEdit(client, Control::SendEdit, QStringLiteral("0"));
    SetReadOnlyField(SendEdit);
    SetNoTabStop(SendEdit);
    RecvEdit = MakeEdit(client, Control::RecvEdit, QStringLiteral("0"));
    SetReadOnlyField(RecvEdit);
    SetNoTabStop(RecvEdit);
    OutMemo = new QPlainTextEdit(client);
    Place(OutMemo, Control::OutMemo);
    OutMemo->setReadOnly(true);
    OutMemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    OutMemo->setFont(PaneFont());
    OutMemo->setUndoRedoEnabled(false);
    // A dump line is 68 characters; keep the text margin small so that a
    // whole line fits the pane's width and never wraps.
    OutMemo->document()->setDocumentMargin(1);
    SetNoTabStop(OutMemo);
    OutMemo->setPlainText(QStringLiteral("Quillet   V6.10"));
    pane_ = new OutputPane(output_, OutMemo, {SendEdit, RecvEdit, TrapEdit, OID1Edit, OID2Edit, OID3Edit}, this);

    CommunityLabel = MakeLabel(client, Control::CommunityLabel, QStringLiteral("コミュニティ名"));
    IpLabel = MakeLabel(client, Control::IpLabel, QStringLiteral("エージェントIPアドレス"));
    OID1_Label = MakeLabel(client, Control::OID1_Label, QStringLiteral("(Non)OID1"));
    OID2_Label = MakeLabel(client, Control::OID2_Label, QStringLiteral("(Non)OID2"));
    OID3_Label = MakeLabel(client, Control::OID3_Label, QStringLiteral("(Non)OID3"));
    DataLabel = MakeLabel(client, Control::DataLabel, QStringLiteral("データ入力欄"));
    NonLabel = MakeLabel(client, Control::NonLabel, QStringLiteral("Non-Repeaters"));
    MaxLabel = MakeLabel(client, Control::MaxLabel, QStringLiteral("Max-Repetitions"));
    MaxOID1_Label = MakeLabel(client, Control::MaxOID1_Label, QStringLiteral("Max OID1"));
    MaxOID2_Label = MakeLabel(client, Control::MaxOID2_Label, QStringLiteral("Max OID2"));
    MaxOID3_Label = MakeLabel(client, Control::MaxOID3_Label, QStringLiteral("Max OID3"));
    Label2 = MakeLabel(client, Control::Label2, QStringLiteral("送信回数"));
    Label3 = MakeLabel(client, Control::Label3, QStringLiteral("受信回数"));
    Label1 = MakeLabel(client, Control::Label1, QStringLiteral("TRAP回数"));
    Label4 = new QLabel(QStringLiteral("ZEL"), client);
    Place(Label4, Control::Label4);
    {
        QFont logo = ImpactFont(32);
        logo.setBold(true);
        Label4->setFont(logo);
        // The desktop background colour of the classic Windows scheme.
        QPalette palette = Label4->palette();
        palette.setColor(QPalette::WindowText, QColor(0x3A, 0x6E, 0xA5));
        Label4->setPalette(palette);
    }
    // Keyboard order of the controls that take the focus by Tab. A radio
    // group is one stop: all its items stand together at the group's place,
    // and only the checked one is a tab stop (the arrow keys move within the
    // group). The up-down counters are stops of their own and answer the
    // Up and Down keys.
    std::vector<QWidget*> tabOrder = {CommunityEdit, IpEdit, PingButton, OID1Edit, OID2Edit, OID3Edit};
    for (QAbstractButton* item : DataTypeButtons->buttons()) tabOrder.push_back(item);
    tabOrder.push_back(InMemo);
    for (QAbstractButton* item : VerButtons->buttons()) tabOrder.push_back(item);
    tabOrder.insert(tabOrder.end(), {V3SettingsButton, dataDisplayCheckBox, SetButton, GETButton, GETNEXTButton, BulkButton,
                                     NonOID_C_Edit, MaxEdit, MaxOID_C_Edit, MaxOID1Edit, MaxOID2Edit, MaxOID3Edit,
                                     MaxOIDUpDown, NonOIDUpDown, ClrButton, nodisplay_CheckBox,
                                     detailDisplayCheckBox});
    MaxOIDUpDown->setFocusPolicy(Qt::StrongFocus);
    NonOIDUpDown->setFocusPolicy(Qt::StrongFocus);
    for (std::size_t i = 0; i + 1 < tabOrder.size(); ++i) setTabOrder(tabOrder[i], tabOrder[i + 1]);
    for (QButtonGroup* group : {DataTypeButtons, VerButtons}) {
        TabStopAtCheckedItem(group);
        connect(group, &QButtonGroup::idToggled, this, [group] { TabStopAtCheckedItem(group); });
    }

    // The GetBulk group starts disabled: "SNMPv1" is selected.
    VerRadioGroupClick();
}

void TMainForm::ConnectHandlers() {
    // A failed log write is told once per run, in a box that waits for
    // nobody: the listeners go on and the log picks up again when it can.
    output_.OnLogWriteFailure([this] { reporter_->ShowNotice(kLogWriteNotice); });
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
    auto switches = [this] { output_.SetSwitches(dataDisplayCheckBox->isChecked(), nodisplay_CheckBox->isChecked()); };
    connect(dataDisplayCheckBox, &QCheckBox::toggled, this, switches);
    connect(nodisplay_CheckBox, &QCheckBox::toggled, this, switches);
    switches();
    output_.SetDetails(detailDisplayCheckBox->isChecked());
    connect(detailDisplayCheckBox, &QCheckBox::toggled, this, [this](bool on) {
        output_.SetDetails(on);
        settings_.SetDetails(on);
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
        output_.WriteLogMark(StartMark, CurrentLocalTime());
    } else {
        reporter_->ShowError(LogOpenFailureMessage(log));
    }
    const int socketLayer = config_.prebound != nullptr ? config_.prebound->socketLayerResult : StartSocketLayer();
    if (socketLayer != 0) reporter_->ShowError("WSAStartup=NG");
    SetupSocket(0);
    SetupSocket(1);
    // The console's own SNMP engine (for the informs sent to it): its ID made
    // once and kept, its boots one more at each start.
    engineId_ = settings_.EngineId();
    if (engineId_.size() < static_cast<qsizetype>(kMinEngineIdLength)) {
        LocalEngineId id;
        if (MakeLocalEngineId(id)) engineId_ = QByteArray(reinterpret_cast<const char*>(id.data()), id.size());
        settings_.SetEngineId(engineId_);
    }
    engineBoots_ = settings_.NextEngineBoots();
    if (config_.startListeners)
        sockets_.StartListeners(
            output_, *reporter_, request_, tracker_, equipmentFlag_, v3_,
            [this](const V3Report& report) {
                QMetaObject::invokeMethod(this, [this, report] { OnV3Report(report); }, Qt::QueuedConnection);
            },
            ByteSpan(reinterpret_cast<const std::uint8_t*>(engineId_.constData()),
                     static_cast<std::size_t>(engineId_.size())),
            engineBoots_);

    // Centred on the desktop.
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(kClientSize.width() / 2, kClientSize.height() / 2));
    }
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

void TMainForm::SetAgentAddress(const std::string& text, const std::uint8_t octets[4]) {
    agentAddressText_ = text.substr(0, 15);
    sockets_.SetAgent(octets);
}

bool TMainForm::SendDatagram(int index, const std::uint8_t* data, int length) {
    int error = 0;
    const bool sent = sockets_.Send(index, data, length, error);
    OutputBatch batch;
    if (sent)
        batch.CountDatagram(Counter::Send);
    else
        ReportNotSent(SocketErrorText(error), batch);
    output_.Commit(batch);
    FlushPane();
    if (!sent) reporter_->ShowError("sendto=NG  当プログラムを既に起動していませんか？ ");
    return sent;
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


void TMainForm::V3SettingsButtonClick() {
    if (v3Dialog_->exec() != QDialog::Accepted) return;
    std::string error;
    ApplyV3Settings(v3Dialog_->Values(), error);
}

bool TMainForm::ApplyV3Settings(const V3DialogValues& values, std::string& error) {
    auto config = std::make_shared<V3Config>();
    if (!MakeV3Config(values, *config, error)) return false;
    v3_.SetConfig(std::move(config));
    v3Dialog_->SetValues(values);
    Settings::V3Choices choices;
    choices.userName = QString::fromStdString(values.userName);
    choices.level = static_cast<int>(values.level);
    choices.auth = static_cast<int>(values.auth);
    choices.priv = static_cast<int>(values.priv);
    choices.contextName = QString::fromStdString(values.contextName);
    choices.contextEngineId = QString::fromStdString(values.contextEngineIdHex);
    settings_.SetV3(choices);
    return true;
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
    if (OutMemo == nullptr) return;  // before the controls exist
    const int dw = std::max(0, width() - kClientSize.width());
    const int dh = std::max(0, height() - kClientSize.height());
    const auto widgetOf = [this](Control control) {
        return findChild<QWidget*>(QString::fromLatin1(PlaceOf(control).name));
    };
    for (Control grows : {Control::Frame4, Control::OutMemo})
        widgetOf(grows)->setGeometry(PlaceOf(grows).rect.adjusted(0, 0, dw, dh));
    for (Control below : {Control::Label2, Control::SendEdit, Control::Label3, Control::RecvEdit, Control::Label1,
                          Control::TrapEdit, Control::ClrButton})
        widgetOf(below)->move(PlaceOf(below).rect.topLeft() + QPoint(0, dh));
    widgetOf(Control::Label4)->move(PlaceOf(Control::Label4).rect.topLeft() + QPoint(dw, dh));
}

void TMainForm::closeEvent(QCloseEvent* event) {
    FormClose();
    event->accept();
}

void TMainForm::FormClose() {
    if (closed_) return;
    closed_ = true;
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
