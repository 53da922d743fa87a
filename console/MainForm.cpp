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
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionButton>

#include <algorithm>
#include <vector>

#include "console/BindFailureText.h"
#include "console/Cp932.h"
#include "console/MessageBoxReporter.h"
#include "console/UpDown.h"
#include "console/platform/LocalTime.h"
#include "console/platform/ThreadScheduling.h"
#include "console/platform/PortHolders.h"
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

constexpr const char* kNoCp932Message =
    "CP932 iconv=NG  日本語はログに?で記録され、コミュニティ名と送信データには使えません。";

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

// The largest pixel size, from the design's 12 down to 8, at which `text`
// in `font`'s family is at most `width` pixels wide. The design's fonts are
// narrower than the ones a Linux desktop has; a smaller size keeps a caption
// inside its design rectangle instead of running it under its neighbour.
QFont FittingFont(QFont font, const QString& text, int width) {
    for (int pixels = 12; pixels >= 8; --pixels) {
        font.setPixelSize(pixels);
        if (QFontMetrics(font).horizontalAdvance(text) <= width) break;
    }
    return font;
}

// A caption at (x, y) in a rectangle `width` pixels wide, up to its
// right-hand neighbour (or its frame), one line high.
QLabel* MakeLabel(QWidget* parent, int x, int y, int width, const QString& text) {
    auto* label = new QLabel(text, parent);
    label->setFont(FittingFont(parent->font(), text, width));
    label->setGeometry(x, y, width, QFontMetrics(label->font()).height());
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
// The caption sits on the frame's top line, as on the design's desktop, so
// that the items have the box's height to themselves; each item is one row
// whose indicator is sized to the row, so no circle is cut by its row or by
// the frame.
QGroupBox* MakeRadioGroup(QWidget* parent, int x, int y, int w, int h, const QString& caption,
                          const QStringList& items, QButtonGroup** group) {
    auto* box = new QGroupBox(caption, parent);
    box->setGeometry(x, y, w, h);
    box->setFont(FittingFont(parent->font(), caption, w - 12));
    const int titleHeight = QFontMetrics(box->font()).height();
    box->setStyleSheet(QStringLiteral("QGroupBox { border: 1px solid palette(mid); border-radius: 2px;"
                                      " margin-top: %1px; }"
                                      "QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left;"
                                      " left: 6px; padding: 0px 2px; }")
                           .arg(titleHeight / 2));
    *group = new QButtonGroup(box);
    const int top = titleHeight;
    const int step = (h - top - 3) / static_cast<int>(items.size());
    const int indicator = std::min(13, step - 1);
    const int textWidth = w - 10 - indicator - 4;
    for (int i = 0; i < items.size(); ++i) {
        auto* radio = new QRadioButton(items[i], box);
        radio->setStyleSheet(QStringLiteral("QRadioButton { spacing: 3px; }"
                                            "QRadioButton::indicator { width: %1px; height: %1px; }")
                                 .arg(indicator));
        radio->setFont(FittingFont(parent->font(), items[i], textWidth));
        radio->setGeometry(6, top + i * step, w - 9, step);
        (*group)->addButton(radio, i);
    }
    (*group)->button(0)->setChecked(true);
    return box;
}

// The checked item of a radio group takes the focus by Tab, the others only
// by a click or an arrow key, so Tab lands on the group once, at its choice.
void TabStopAtCheckedItem(QButtonGroup* group) {
    for (QAbstractButton* item : group->buttons())
        item->setFocusPolicy(item->isChecked() ? Qt::StrongFocus : Qt::ClickFocus);
}

void SetReadOnlyField(QLineEdit* edit) {
    edit->setReadOnly(true);
}

void SetNoTabStop(QWidget* widget) { widget->setFocusPolicy(Qt::ClickFocus); }

// The local address of socket entry `index`: all interfaces (or the test's
// address), port 161 + index by default.
Ipv4Endpoint LocalAddressOf(const ConsoleConfig& config, int index) {
    Ipv4Endpoint local = config.bindAddress;
    local.port = index == 0 ? config.requestPort : config.trapPort;
    return local;
}

// Check boxes of the design width: a narrow gap between box and caption, so
// that "PDU表示" fits with the fonts found on Linux too.
void TightenCheckBox(QCheckBox* box) {
    box->setStyleSheet(QStringLiteral("QCheckBox { spacing: 2px; }"));
    QStyleOptionButton option;
    option.initFrom(box);
    const int indicator = box->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, box).width();
    box->setFont(FittingFont(box->font(), box->text(), box->width() - indicator - 3));
}

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
    // The window's thread takes short slices of the processor, so that a
    // listener's thread that must drain its socket is not kept waiting a
    // long slice behind a pane update.
    AskShortSlices();
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
    // Without code page 932 the log and the wire could only get stand-ins
    // for every Japanese character: say so once, after the other boxes.
    if (!Cp932Available()) reporter_->ShowError(kNoCp932Message);
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

    // Each caption's width runs to the control on its right (or to its frame).
    CommunityLabel = MakeLabel(client, 16, 16, 225, QStringLiteral("コミュニティ名"));
    IpLabel = MakeLabel(client, 16, 56, 160, QStringLiteral("エージェントIPアドレス"));  // PingButton at 176
    OID1_Label = MakeLabel(client, 16, 117, 56, QStringLiteral("(Non)OID1"));  // the OID fields at 72
    OID2_Label = MakeLabel(client, 16, 133, 56, QStringLiteral("(Non)OID2"));
    OID3_Label = MakeLabel(client, 16, 151, 56, QStringLiteral("(Non)OID3"));
    DataLabel = MakeLabel(client, 16, 256, 225, QStringLiteral("データ入力欄"));
    NonLabel = MakeLabel(client, 24, 464, 120, QStringLiteral("Non-Repeaters"));  // MaxLabel at 144
    MaxLabel = MakeLabel(client, 144, 464, 97, QStringLiteral("Max-Repetitions"));
    MaxOID1_Label = MakeLabel(client, 24, 514, 56, QStringLiteral("Max OID1"));  // the Max OID fields at 80
    MaxOID2_Label = MakeLabel(client, 24, 530, 56, QStringLiteral("Max OID2"));
    MaxOID3_Label = MakeLabel(client, 24, 546, 56, QStringLiteral("Max OID3"));
    Label2 = MakeLabel(client, 264, 592, 48, QStringLiteral("送信回数"));  // SendEdit at 312
    Label3 = MakeLabel(client, 376, 592, 48, QStringLiteral("受信回数"));  // RecvEdit at 424
    Label1 = MakeLabel(client, 488, 592, 56, QStringLiteral("TRAP回数"));  // TrapEdit at 544
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

    // Keyboard order of the controls that take the focus by Tab. A radio
    // group is one stop: all its items stand together at the group's place,
    // and only the checked one is a tab stop (the arrow keys move within the
    // group). The up-down counters are stops of their own and answer the
    // Up and Down keys.
    std::vector<QWidget*> tabOrder = {CommunityEdit, IpEdit, PingButton, OID1Edit, OID2Edit, OID3Edit};
    for (QAbstractButton* item : DataTypeButtons->buttons()) tabOrder.push_back(item);
    tabOrder.push_back(InMemo);
    for (QAbstractButton* item : VerButtons->buttons()) tabOrder.push_back(item);
    tabOrder.insert(tabOrder.end(), {dataDisplayCheckBox, SetButton, GETButton, GETNEXTButton, BulkButton,
                                     NonOID_C_Edit, MaxEdit, MaxOID_C_Edit, MaxOID1Edit, MaxOID2Edit, MaxOID3Edit,
                                     MaxOIDUpDown, NonOIDUpDown, ClrButton, nodisplay_CheckBox});
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
    output_.OnLogWriteFailure([this] {
        QMetaObject::invokeMethod(this, [this] { ShowLogWriteNotice(); }, Qt::QueuedConnection);
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
    const int socketLayer = config_.prebound != nullptr ? config_.prebound->socketLayerResult : StartSocketLayer();
    if (socketLayer != 0) reporter_->ShowError("WSAStartup=NG");
    SetupSocket(0);
    SetupSocket(1);
    if (config_.startListeners) StartListeners();

    // Centred on the desktop.
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(kClientWidth / 2, kClientHeight / 2));
    }
}

void TMainForm::BindSocketTable(const ConsoleConfig& config, PreboundSockets& sockets) {
    sockets.socketLayerResult = StartSocketLayer();
    for (int index = 0; index < 2; ++index) {
        PreboundSocket& entry = sockets.entries[index];
        entry.created = entry.socket.Create();
        entry.bound = entry.socket.BindTo(LocalAddressOf(config, index), config.receiveBuffer);
    }
}

void TMainForm::SetupSocket(int index) {
    SocketEntry& entry = SocketTable[index];
    entry.local = LocalAddressOf(config_, index);
    std::copy(std::begin(kPlaceholderOctets), std::end(kPlaceholderOctets), entry.destination.octets);
    entry.destination.port = static_cast<std::uint16_t>(config_.agentPort + index);
    bool created;
    bool bound;
    if (config_.prebound != nullptr) {
        PreboundSocket& made = config_.prebound->entries[index];
        entry.socket.TakeOver(made.socket);
        created = made.created;
        bound = made.bound;
    } else {
        created = entry.socket.Create();
        bound = entry.socket.BindTo(entry.local, config_.receiveBuffer);
    }
    entry.socket.SetDestination(entry.destination);
    if (!created) reporter_->ShowError("recv socket=NG  当プログラムを既に起動していませんか？ ");
    if (!bound) reporter_->ShowError(BindFailureMessage(DescribeBindFailure(entry.local.port, entry.socket.LastError())));
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

void TMainForm::ShowLogWriteNotice() {
    ++logWriteNotices_;
    auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("ERROR"), QString::fromUtf8(kLogWriteNotice),
                                QMessageBox::Ok, this);
    box->setObjectName(QStringLiteral("LogWriteNotice"));
    box->setWindowModality(Qt::NonModal);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->show();
}

void TMainForm::closeEvent(QCloseEvent* event) {
    FormClose();
    event->accept();
}

void TMainForm::FormClose() {
    if (closed_) return;
    closed_ = true;
    // One step: a listener's batch cannot land between the stop mark and
    // the end of the log.
    output_.WriteStopMarkAndDetach(CurrentLocalTime());
    logFile_.Close();
    if (ownReporter_) ownReporter_->SetClosing();
    StopPing();
    StopListeners();
}

}  // namespace quillet
