#include "console/MainForm.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>

#include "console/MessageBoxReporter.h"
#include "console/UpDown.h"
#include "console/platform/LocalTime.h"
#include "response/T_Port161.h"
#include "trap/T_Port162.h"

namespace quillet {
namespace {

// Client area of the window at 96 dpi.
constexpr int kClientWidth = 727;
constexpr int kClientHeight = 617;

// The address requests go to until the first accepted request replaces it,
// and the text IpEdit shows at start.
constexpr const char* kPlaceholderAgentAddress = "127.0.0.1";
constexpr std::uint8_t kPlaceholderOctets[4] = {127, 0, 0, 1};
constexpr const char* kInitialIpText = "192.168.1.1";

const QColor kCyan(0, 255, 255);

QFont WindowFont() {
    QFont font;
    // The design font first, then Japanese proportional fonts of the same kind.
    font.setFamilies({QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("MS PGothic"), QStringLiteral("IPAPGothic"),
                      QStringLiteral("IPA Pゴシック"), QStringLiteral("Noto Sans CJK JP")});
    font.setPixelSize(12);
    return font;
}

QFont PaneFont() {
    QFont font;
    font.setFamilies({QStringLiteral("ＭＳ ゴシック"), QStringLiteral("MS Gothic"), QStringLiteral("IPAGothic"),
                      QStringLiteral("IPAゴシック"), QStringLiteral("Noto Sans Mono CJK JP")});
    font.setStyleHint(QFont::Monospace);
    font.setFixedPitch(true);
    font.setPixelSize(12);
    return font;
}

QLineEdit* MakeEdit(QWidget* parent, int x, int y, int w, int h, const QString& text, const QString& hint = {}) {
    auto* edit = new QLineEdit(text, parent);
    edit->setGeometry(x, y, w, h);
    if (!hint.isEmpty()) edit->setToolTip(hint);
    edit->setCursorPosition(0);
    return edit;
}

QLabel* MakeLabel(QWidget* parent, int x, int y, const QString& text) {
    auto* label = new QLabel(text, parent);
    label->move(x, y);
    label->adjustSize();
    return label;
}

QPushButton* MakeButton(QWidget* parent, int x, int y, int w, int h, const QString& text, const QString& hint) {
    auto* button = new QPushButton(text, parent);
    button->setGeometry(x, y, w, h);
    button->setToolTip(hint);
    button->setAutoDefault(false);
    return button;
}

// A radio group: a framed box with a caption and its items stacked evenly.
QGroupBox* MakeRadioGroup(QWidget* parent, int x, int y, int w, int h, const QString& caption,
                          const QStringList& items, QButtonGroup** group) {
    auto* box = new QGroupBox(caption, parent);
    box->setGeometry(x, y, w, h);
    *group = new QButtonGroup(box);
    const int top = 14;
    const int step = (h - top - 2) / items.size();
    for (int i = 0; i < items.size(); ++i) {
        auto* radio = new QRadioButton(items[i], box);
        radio->setGeometry(8, top + i * step, w - 12, step);
        (*group)->addButton(radio, i);
    }
    (*group)->button(0)->setChecked(true);
    return box;
}

void SetReadOnlyField(QLineEdit* edit) {
    edit->setReadOnly(true);
}

void SetNoTabStop(QWidget* widget) { widget->setFocusPolicy(Qt::ClickFocus); }

// Check boxes of the design width: a narrow gap between box and caption, so
// that "PDU表示" fits with the fonts found on Linux too.
void TightenCheckBox(QCheckBox* box) { box->setStyleSheet(QStringLiteral("QCheckBox { spacing: 2px; }")); }

}  // namespace

TMainForm::TMainForm(const ConsoleConfig& config, QWidget* parent)
    : QMainWindow(parent),
      config_(config),
      output_([this] { SchedulePaneFlush(); }),
      agentAddressText_(kPlaceholderAgentAddress) {
    if (config_.reporter != nullptr) {
        reporter_ = config_.reporter;
    } else {
        ownReporter_ = std::make_unique<MessageBoxReporter>();
        reporter_ = ownReporter_.get();
    }
    paneTimer_.setSingleShot(true);
    connect(&paneTimer_, &QTimer::timeout, this, [this] {
        // More work may have come since the timer was armed: look again
        // later if the pane's pace does not allow it yet.
        if (const int wait = PaneDelayMs(); wait > 0) {
            paneTimer_.start(wait);
            return;
        }
        // Only an update that applied something counts toward the steady
        // rate: a handler may have flushed the work since the timer was armed.
        if (FlushPane()) panePacer_.Paced(std::chrono::steady_clock::now());
    });

    CreateControls();
    ConnectHandlers();
    StartUp();
}

TMainForm::~TMainForm() {
    FormClose();
}

void TMainForm::CreateControls() {
    setWindowTitle(QStringLiteral("Quillet v2c  V6.10") + QString(65, QLatin1Char(' ')) +
                   QStringLiteral("SNMP v1 , v2c"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFont(WindowFont());

    auto* client = new QWidget(this);
    setCentralWidget(client);
    setFixedSize(kClientWidth, kClientHeight);

    // Frames first, so that the controls lie above them.
    const QRect frameRects[5] = {{8, 8, 241, 91}, {8, 104, 241, 217}, {8, 376, 241, 201}, {128, 333, 121, 36},
                                 {256, 8, 465, 569}};
    for (int i = 0; i < 5; ++i) {
        Frames[i] = new QFrame(client);
        Frames[i]->setFrameStyle(QFrame::Box | QFrame::Sunken);
        Frames[i]->setGeometry(frameRects[i]);
    }

    CommunityEdit = MakeEdit(client, 16, 32, 225, 20, QStringLiteral("ravine"),
                             QStringLiteral("エージェントのコミュニティ名を入力します。"));
    IpEdit = MakeEdit(client, 16, 72, 145, 20, QString::fromLatin1(kInitialIpText),
                      QStringLiteral("エージェントのIPアドレスを入力します。"));
    ipText_ = kInitialIpText;
    PingButton = MakeButton(client, 176, 64, 65, 28, QStringLiteral("P i n g"),
                            QStringLiteral("指定IPアドレスに　ping を送信します。(Win95非対応)"));
    {
        QFont impact;
        impact.setFamilies({QStringLiteral("Impact"), QStringLiteral("Haettenschweiler"),
                            QStringLiteral("DejaVu Sans Condensed")});
        impact.setPixelSize(12);
        impact.setWeight(QFont::Black);
        PingButton->setFont(impact);
    }
    OID1Edit = MakeEdit(client, 72, 112, 169, 20, QStringLiteral("1.3.6.1.4.1"),
                        QStringLiteral("set , get するMIBのオブジェクトIDを入力します。"));
    OID2Edit = MakeEdit(client, 72, 130, 169, 20, QString(), QStringLiteral("getNext するMIBのオブジェクトIDを入力します。"));
    OID3Edit = MakeEdit(client, 72, 148, 169, 20, QString(), QStringLiteral("getNext するMIBのオブジェクトIDを入力します。"));
    DataTypeGroup = MakeRadioGroup(client, 16, 176, 225, 73, QStringLiteral("入力データタイプ選択"),
                                   {QStringLiteral("integer"), QStringLiteral("IpAddress"),
                                    QStringLiteral("OCTET STRING(HEX 形式)"), QStringLiteral("OCTET STRING(ASCII 形式)")},
                                   &DataTypeButtons);
    InMemo = new QPlainTextEdit(client);
    InMemo->setGeometry(16, 272, 225, 41);
    InMemo->setToolTip(QStringLiteral("set 時のデータを入力します。"));
    InMemo->setTabChangesFocus(true);
    VerRadioGroup = MakeRadioGroup(client, 8, 328, 105, 41, QStringLiteral("SNMPバージョン"),
                                   {QStringLiteral("SNMPv1"), QStringLiteral("SNMPv2")}, &VerButtons);
    dataDisplayCheckBox = new QCheckBox(QStringLiteral("PDU表示"), client);
    dataDisplayCheckBox->setGeometry(138, 336, 65, 17);
    TightenCheckBox(dataDisplayCheckBox);
    dataDisplayCheckBox->setChecked(true);
    dataDisplayCheckBox->setToolTip(
        QStringLiteral("チェックすると送受信PDUデータを表示します。チェックしないと表示しません。"));
    SetButton = MakeButton(client, 24, 385, 97, 32, QStringLiteral("SetRequest"), QStringLiteral("set request を送信します。"));
    MessageEdit = MakeEdit(client, 16, 584, 225, 20, QString());
    SetReadOnlyField(MessageEdit);
    MessageEdit->setFrame(false);
    SetNoTabStop(MessageEdit);
    {
        QPalette palette = MessageEdit->palette();
        palette.setColor(QPalette::Text, Qt::red);
        palette.setColor(QPalette::Base, palette.color(QPalette::Window));
        MessageEdit->setPalette(palette);
    }
    GETButton = MakeButton(client, 136, 385, 97, 32, QStringLiteral("GetRequest"), QStringLiteral("get request を送信します。"));
    GETNEXTButton = MakeButton(client, 24, 424, 97, 33, QStringLiteral("GetNextRequest"),
                               QStringLiteral("get next request を送信します。"));
    BulkButton = MakeButton(client, 136, 424, 97, 33, QStringLiteral("GetBulkRequest"),
                            QStringLiteral("getBulkRequestを送信します。"));
    NonOID_C_Edit = MakeEdit(client, 24, 480, 17, 20, QStringLiteral("0"),
                             QStringLiteral("Non-Repeatersを要求するOID数を入力します。"));
    SetReadOnlyField(NonOID_C_Edit);
    MaxEdit = MakeEdit(client, 144, 480, 33, 20, QStringLiteral("0"), QStringLiteral("Max-Repetitions数を入力します。"));
    MaxOID_C_Edit = MakeEdit(client, 200, 480, 17, 20, QStringLiteral("0"),
                             QStringLiteral("Max-Repetitionsを要求するOID数を入力します。"));
    SetReadOnlyField(MaxOID_C_Edit);
    const QString maxOidHint = QStringLiteral("Max-RepetitionsのOIDを入力します。");
    MaxOID1Edit = MakeEdit(client, 80, 512, 161, 20, QStringLiteral("1.3.6.1.4.1"), maxOidHint);
    MaxOID2Edit = MakeEdit(client, 80, 528, 161, 20, QStringLiteral("1.3.6.1.4.1"), maxOidHint);
    MaxOID3Edit = MakeEdit(client, 80, 544, 161, 20, QStringLiteral("1.3.6.1.4.1"), maxOidHint);
    MaxOIDUpDown = new UpDown(client, MaxOID_C_Edit, 0, 3, 0);
    MaxOIDUpDown->setGeometry(217, 480, 15, 20);
    NonOIDUpDown = new UpDown(client, NonOID_C_Edit, 0, 3, 0);
    NonOIDUpDown->setGeometry(41, 480, 15, 20);
    TrapEdit = MakeEdit(client, 544, 588, 57, 20, QStringLiteral("0"));
    SetReadOnlyField(TrapEdit);
    SetNoTabStop(TrapEdit);
    ClrButton = MakeButton(client, 608, 589, 41, 17, QStringLiteral("Clr"), QStringLiteral("送受信回数をクリアします。"));
    nodisplay_CheckBox = new QCheckBox(QStringLiteral("全非表示"), client);
    nodisplay_CheckBox->setGeometry(138, 350, 65, 17);
    TightenCheckBox(nodisplay_CheckBox);
    nodisplay_CheckBox->setToolTip(QStringLiteral("チェックすると何も表示しません。"));
    SendEdit = MakeEdit(client, 312, 588, 57, 20, QStringLiteral("0"));
    SetReadOnlyField(SendEdit);
    SetNoTabStop(SendEdit);
    RecvEdit = MakeEdit(client, 424, 588, 57, 20, QStringLiteral("0"));
    SetReadOnlyField(RecvEdit);
    SetNoTabStop(RecvEdit);
    OutMemo = new QPlainTextEdit(client);
    OutMemo->setGeometry(264, 16, 449, 553);
    OutMemo->setReadOnly(true);
    OutMemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    OutMemo->setFont(PaneFont());
    OutMemo->setUndoRedoEnabled(false);
    // A dump line is 68 characters; keep the text margin small so that a
    // whole line fits the pane's width and never wraps.
    OutMemo->document()->setDocumentMargin(1);
    SetNoTabStop(OutMemo);
    OutMemo->setPlainText(QStringLiteral("Quillet   V6.10"));

    CommunityLabel = MakeLabel(client, 16, 16, QStringLiteral("コミュニティ名"));
    IpLabel = MakeLabel(client, 16, 56, QStringLiteral("エージェントIPアドレス"));
    OID1_Label = MakeLabel(client, 16, 117, QStringLiteral("(Non)OID1"));
    OID2_Label = MakeLabel(client, 16, 133, QStringLiteral("(Non)OID2"));
    OID3_Label = MakeLabel(client, 16, 151, QStringLiteral("(Non)OID3"));
    DataLabel = MakeLabel(client, 16, 256, QStringLiteral("データ入力欄"));
    NonLabel = MakeLabel(client, 24, 464, QStringLiteral("Non-Repeaters"));
    MaxLabel = MakeLabel(client, 144, 464, QStringLiteral("Max-Repetitions"));
    MaxOID1_Label = MakeLabel(client, 24, 514, QStringLiteral("Max OID1"));
    MaxOID2_Label = MakeLabel(client, 24, 530, QStringLiteral("Max OID2"));
    MaxOID3_Label = MakeLabel(client, 24, 546, QStringLiteral("Max OID3"));
    Label2 = MakeLabel(client, 264, 592, QStringLiteral("送信回数"));
    Label3 = MakeLabel(client, 376, 592, QStringLiteral("受信回数"));
    Label1 = MakeLabel(client, 488, 592, QStringLiteral("TRAP回数"));
    Label4 = new QLabel(QStringLiteral("ZEL"), client);
    Label4->setGeometry(664, 582, 53, 33);
    {
        QFont logo;
        logo.setFamilies({QStringLiteral("Impact"), QStringLiteral("Haettenschweiler"),
                          QStringLiteral("DejaVu Sans Condensed")});
        logo.setPixelSize(32);
        logo.setBold(true);
        Label4->setFont(logo);
        // The desktop background colour of the classic Windows scheme.
        QPalette palette = Label4->palette();
        palette.setColor(QPalette::WindowText, QColor(0x3A, 0x6E, 0xA5));
        Label4->setPalette(palette);
    }

    // Keyboard order of the controls that take the focus by Tab.
    QWidget* tabOrder[] = {CommunityEdit, IpEdit, PingButton, OID1Edit, OID2Edit, OID3Edit,
                           DataTypeButtons->button(0), InMemo, VerButtons->button(0), dataDisplayCheckBox,
                           SetButton, GETButton, GETNEXTButton, BulkButton, NonOID_C_Edit, MaxEdit,
                           MaxOID_C_Edit, MaxOID1Edit, MaxOID2Edit, MaxOID3Edit, MaxOIDUpDown, NonOIDUpDown,
                           ClrButton, nodisplay_CheckBox};
    MaxOIDUpDown->setFocusPolicy(Qt::TabFocus);
    NonOIDUpDown->setFocusPolicy(Qt::TabFocus);
    for (std::size_t i = 0; i + 1 < std::size(tabOrder); ++i) setTabOrder(tabOrder[i], tabOrder[i + 1]);

    // The GetBulk group starts disabled: "SNMPv1" is selected.
    VerRadioGroupClick();
}

void TMainForm::ConnectHandlers() {
    connect(VerButtons, &QButtonGroup::idClicked, this, [this](int) { VerRadioGroupClick(); });
    connect(NonOIDUpDown, &UpDown::clicked, this, [this] { NonOIDUpDownClick(); });
    connect(MaxOIDUpDown, &UpDown::clicked, this, [this] { MaxOIDUpDownClick(); });
    connect(ClrButton, &QPushButton::clicked, this, [this] { ClrButtonClick(); });
    connect(SetButton, &QPushButton::clicked, this, [this] { SetButtonClick(); });
    connect(GETButton, &QPushButton::clicked, this, [this] { GETButtonClick(); });
    connect(GETNEXTButton, &QPushButton::clicked, this, [this] { GETNEXTButtonClick(); });
    connect(BulkButton, &QPushButton::clicked, this, [this] { BulkButtonClick(); });
    connect(PingButton, &QPushButton::clicked, this, [this] { PingButtonClick(); });
    auto switches = [this] { output_.SetSwitches(dataDisplayCheckBox->isChecked(), nodisplay_CheckBox->isChecked()); };
    connect(dataDisplayCheckBox, &QCheckBox::toggled, this, switches);
    connect(nodisplay_CheckBox, &QCheckBox::toggled, this, switches);
    switches();
    connect(IpEdit, &QLineEdit::textChanged, this, [this](const QString& text) {
        std::lock_guard<std::mutex> lock(ipTextMutex_);
        ipText_ = text.toStdString();
    });
}

void TMainForm::StartUp() {
    const LocalDateTime today = CurrentLocalTime();
    MakeDirectory("LOG");
    logFileName_ = quillet::LogFileName("LOG", today);
    if (logFile_.Open(logFileName_)) {
        output_.SetLogSink(&logFile_);
        WriteLogMark(StartMark);
    } else {
        reporter_->ShowError("FILEのOPENに失敗しました。");
    }
    if (StartSocketLayer() != 0) reporter_->ShowError("WSAStartup=NG");
    SetupSocket(0);
    SetupSocket(1);
    if (config_.startListeners) StartListeners();

    // Centred on the desktop.
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(kClientWidth / 2, kClientHeight / 2));
    }
}

void TMainForm::SetupSocket(int index) {
    SocketEntry& entry = SocketTable[index];
    entry.local = config_.bindAddress;
    entry.local.port = index == 0 ? config_.requestPort : config_.trapPort;
    std::copy(std::begin(kPlaceholderOctets), std::end(kPlaceholderOctets), entry.destination.octets);
    entry.destination.port = static_cast<std::uint16_t>(config_.agentPort + index);
    entry.socket.SetDestination(entry.destination);
    if (!entry.socket.Create()) reporter_->ShowError("recv socket=NG  当プログラムを既に起動していませんか？ ");
    if (!entry.socket.BindTo(entry.local, config_.receiveBuffer))
        reporter_->ShowError("recv bind=NG  当プログラムを既に起動していませんか？ ");
}

void TMainForm::SetAgentAddress(const std::string& text, const std::uint8_t octets[4]) {
    agentAddressText_ = text.substr(0, 15);
    SocketEntry& entry = SocketTable[0];
    std::copy(octets, octets + 4, entry.destination.octets);
    entry.socket.SetDestination(entry.destination);
}

void TMainForm::SendDatagram(int index, const std::uint8_t* data, int length) {
    const int sent = SocketTable[index].socket.Send(data, static_cast<std::size_t>(length));
    if (sent == length) {
        OutputBatch batch;
        batch.CountDatagram(Counter::Send);
        output_.Commit(batch);
        FlushPane();
    } else {
        reporter_->ShowError("sendto=NG  当プログラムを既に起動していませんか？ ");
    }
}

void TMainForm::StartListeners() {
    port161_ = new T_Port161(SocketTable[0].socket, output_, *reporter_, request_, config_.listenerQueue);
    port161_->start();
    port162_ = new T_Port162(SocketTable[1].socket, output_, *reporter_, equipmentFlag_, config_.listenerQueue);
    port162_->start();
}

std::size_t TMainForm::TrapListenerMostQueued() const { return port162_ != nullptr ? port162_->MostQueued() : 0; }

void TMainForm::StopListeners() {
    for (ListenerThread* listener : {static_cast<ListenerThread*>(port161_), static_cast<ListenerThread*>(port162_)}) {
        if (listener == nullptr) continue;
        listener->Stop();
        delete listener;
    }
    port161_ = nullptr;
    port162_ = nullptr;
}

void TMainForm::WriteLogMark(int which) { output_.WriteLogMark(which, CurrentLocalTime()); }

int TMainForm::Version() const { return VerButtons->checkedId() == 1 ? 1 : 0; }

int TMainForm::DataType() const {
    const int id = DataTypeButtons->checkedId();
    return id < 0 ? 0 : id;
}

void TMainForm::VerRadioGroupClick() {
    const bool bulk = Version() == 1;
    QWidget* group[] = {BulkButton,  NonLabel,    NonOID_C_Edit, NonOIDUpDown,  MaxLabel,
                        MaxEdit,     MaxOID_C_Edit, MaxOIDUpDown, MaxOID1Edit,  MaxOID2Edit,
                        MaxOID3Edit, MaxOID1_Label, MaxOID2_Label, MaxOID3_Label};
    for (QWidget* widget : group) widget->setEnabled(bulk);
}

void TMainForm::ColourByPosition(int position, QLineEdit* first, QLineEdit* second, QLineEdit* third) {
    QLineEdit* edits[3] = {first, second, third};
    for (int i = 0; i < 3; ++i) {
        QPalette palette = edits[i]->palette();
        palette.setColor(QPalette::Base, i < position ? kCyan : QApplication::palette(edits[i]).color(QPalette::Base));
        edits[i]->setPalette(palette);
    }
}

void TMainForm::NonOIDUpDownClick() { ColourByPosition(NonOIDUpDown->Position(), OID1Edit, OID2Edit, OID3Edit); }

void TMainForm::MaxOIDUpDownClick() {
    ColourByPosition(MaxOIDUpDown->Position(), MaxOID1Edit, MaxOID2Edit, MaxOID3Edit);
}

void TMainForm::ClrButtonClick() {
    output_.ResetCounters();
    FlushPane();
}

std::string TMainForm::IpText() const {
    std::lock_guard<std::mutex> lock(ipTextMutex_);
    return ipText_;
}

void TMainForm::SchedulePaneFlush() {
    // Called from any thread: hop to the GUI thread and apply the pending
    // work at most once a frame, so a storm of lines costs one repaint each.
    // Work after a quiet spell is applied at once; a stream of it is paced,
    // and more so while applying it is costly (ConsoleOutput's rules).
    QMetaObject::invokeMethod(
        this,
        [this] {
            // Nothing to arm for when a handler has flushed the work already.
            if (!paneTimer_.isActive() && output_.Pending().any)
                paneTimer_.start(PaneDelayMs());
        },
        Qt::QueuedConnection);
}

bool TMainForm::FlushPane() {
    const auto started = std::chrono::steady_clock::now();
    // Whatever is pending is applied now; work committed from here on wakes
    // the GUI thread again and arms the timer afresh.
    paneTimer_.stop();
    if (!output_.TakePaneText(paneUpdate_)) return false;
    if (paneUpdate_.clearFirst) OutMemo->clear();
    if (paneUpdate_.lineCount != 0) {
        OutMemo->appendPlainText(
            QString::fromUtf8(paneUpdate_.text.data(), static_cast<qsizetype>(paneUpdate_.text.size())));
        OutMemo->verticalScrollBar()->setValue(OutMemo->verticalScrollBar()->maximum());
    }
    QLineEdit* fields[] = {SendEdit, RecvEdit, TrapEdit, OID1Edit, OID2Edit, OID3Edit};
    for (int i = 0; i < static_cast<int>(Field::Count); ++i) {
        if (paneUpdate_.fields[i]) fields[i]->setText(QString::fromStdString(*paneUpdate_.fields[i]));
    }
    panePacer_.Applied(paneUpdate_.lineCount, paneUpdate_.clearFirst, started, std::chrono::steady_clock::now() - started);
    return true;
}

int TMainForm::PaneDelayMs() {
    const PendingPane pending = output_.Pending();
    return panePacer_.DelayMs(pending.lineCount, pending.clearFirst, std::chrono::steady_clock::now());
}

void TMainForm::closeEvent(QCloseEvent* event) {
    FormClose();
    event->accept();
}

void TMainForm::FormClose() {
    if (closed_) return;
    closed_ = true;
    WriteLogMark(StopMark);
    output_.SetLogSink(nullptr);
    logFile_.Close();
    if (ownReporter_) ownReporter_->SetClosing();
    StopPing();
    StopListeners();
}

}  // namespace quillet
