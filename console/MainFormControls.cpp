// The window's controls: each made, placed from the geometry table, given
// its text and hint, and put in the keyboard order.
#include <QButtonGroup>
#include <QCheckBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include <algorithm>
#include <vector>

#include "console/ControlFactory.h"
#include "console/MainForm.h"
#include "console/OutputPane.h"
#include "console/UpDown.h"

namespace quillet {
namespace {

// The text IpEdit shows at start.
constexpr const char* kInitialIpText = "192.168.1.1";

void SetReadOnlyField(QLineEdit* edit) { edit->setReadOnly(true); }

V3DialogValues ValuesOf(const Settings::V3Choices& choices) {
    V3DialogValues values;
    for (const UsmUserProfile& profile : choices.users) {
        V3UserValues user;
        user.profile = profile;
        values.users.push_back(user);
    }
    values.requestUser = choices.requestUser;
    values.contextName = choices.contextName;
    values.contextEngineIdHex = choices.contextEngineIdHex;
    return values;
}

}  // namespace

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
    // The users kept from the last run, without their secrets: requests as
    // one of them say that its secrets are still to be typed, and
    // noAuthNoPriv users work at once.
    v3Values_ = ValuesOf(settings_.V3());
    auto v3Config = std::make_shared<V3Config>();
    std::string v3Error;
    if (MakeV3Config(v3Values_, nullptr, *v3Config, v3Error)) v3Users_.SetConfig(std::move(v3Config));
    v3Dialog_->SetValues(v3Values_, v3Users_.Config());
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
    // A message is read from its beginning: setText leaves the cursor at the
    // end, which would scroll a long message to its end.
    connect(MessageEdit, &QLineEdit::textChanged, MessageEdit, [edit = MessageEdit] { edit->setCursorPosition(0); });
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
    WalkButton = MakeButton(client, Control::WalkButton, QStringLiteral("WALK"),
                            QStringLiteral("OID1の配下をすべて取得します（SNMPv1はGetNext、SNMPv2/v3はGetBulk）。"
                                           "取得中にもう一度押すと停止します。"));
    TransportButton = MakeButton(client, Control::TransportButton, QStringLiteral("通信設定"),
                                 QStringLiteral("エージェントのポート、タイムアウト、再送回数を設定します。"));
    AgentTransport defaults;
    defaults.port = config_.agentPort;  // 161 but in tests and tools
    transport_ = settings_.Transport(defaults);
    transportDialog_ = new TransportDialog(this);
    transportDialog_->SetValues(transport_);
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
    pane_ = new OutputPane(output_, OutMemo, {SendEdit, RecvEdit, TrapEdit, OID1Edit, OID2Edit, OID3Edit}, this);
    {
        // The banner is the pane's first line, and its oldest to go: it
        // reaches the pane through the hub, which counts what the pane holds.
        OutputBatch banner;
        banner.PaneLine("Quillet   V6.10");
        output_.Commit(banner);
        pane_->Flush();
    }
    CreatePaneActions();

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
                                     WalkButton, TransportButton,
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

}  // namespace quillet
