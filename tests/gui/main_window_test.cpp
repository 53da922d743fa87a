// The main window: controls, enabling rules, counters, writers and start-up.
#include <gtest/gtest.h>

#include <QButtonGroup>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>

#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>

#include "platform/LocalTime.h"
#include "text/Cp932.h"
#include "console/UpDown.h"
#include "console/ControlLayout.h"
#include "tests/gui/FormFixture.h"
#include "tests/net/Loopback.h"

namespace quillet {
namespace {

using testing::LoopbackConfig;
using testing::PaneLines;
using testing::RecordingReporter;

std::string Text(QWidget* w) {
    if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text().toStdString();
    if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->text().toStdString();
    if (auto* l = qobject_cast<QLabel*>(w)) return l->text().toStdString();
    if (auto* g = qobject_cast<QGroupBox*>(w)) return g->title().toStdString();
    if (auto* m = qobject_cast<QPlainTextEdit*>(w)) return m->toPlainText().toStdString();
    return {};
}

std::string ReadFile(const std::string& path) {
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readAll().toStdString();
}

class MainWindow : public ::testing::Test {
protected:
    void SetUp() override {
        QDir().mkpath(QStringLiteral("run"));
        form = std::make_unique<TMainForm>(LoopbackConfig(&reporter));
    }
    RecordingReporter reporter;
    std::unique_ptr<TMainForm> form;
};

TEST_F(MainWindow, ControlsHaveTheirPositionsTextsAndStates) {
    TMainForm& f = *form;
    // Every control sits where the layout table puts it; a caption's row
    // gives its position and the width up to its right-hand neighbour.
    for (const ControlPlace& place : kControlLayout) {
        SCOPED_TRACE(place.name);
        auto* widget = f.findChild<QWidget*>(QString::fromLatin1(place.name));
        ASSERT_NE(widget, nullptr);
        if (place.rect.height() == 0) {
            EXPECT_EQ(widget->pos(), place.rect.topLeft());
            EXPECT_EQ(widget->width(), place.rect.width());
        } else {
            EXPECT_EQ(widget->geometry(), place.rect);
        }
    }
    struct Case {
        QWidget* widget;
        std::string text;
        bool enabled;
    };
    const Case cases[] = {
        {f.CommunityEdit, "ravine", true},
        {f.PingButton, "P i n g", true},
        {f.OID1Edit, "1.3.6.1.4.1", true},
        {f.OID2Edit, "", true},
        {f.OID3Edit, "", true},
        {f.DataTypeGroup, "入力データタイプ選択", true},
        {f.InMemo, "", true},
        {f.VerRadioGroup, "SNMPバージョン", true},
        {f.dataDisplayCheckBox, "PDU表示", true},
        {f.SetButton, "SetRequest", true},
        {f.MessageEdit, "", true},
        {f.GETButton, "GetRequest", true},
        {f.GETNEXTButton, "GetNextRequest", true},
        {f.BulkButton, "GetBulkRequest", false},
        {f.NonOID_C_Edit, "0", false},
        {f.MaxEdit, "0", false},
        {f.MaxOID_C_Edit, "0", false},
        {f.MaxOID1Edit, "1.3.6.1.4.1", false},
        {f.MaxOID2Edit, "1.3.6.1.4.1", false},
        {f.MaxOID3Edit, "1.3.6.1.4.1", false},
        {f.MaxOIDUpDown, "", false},
        {f.NonOIDUpDown, "", false},
        {f.TrapEdit, "0", true},
        {f.ClrButton, "Clr", true},
        {f.nodisplay_CheckBox, "全非表示", true},
        {f.SendEdit, "0", true},
        {f.RecvEdit, "0", true},
        {f.OutMemo, "Quillet   V6.10", true},
        {f.Label4, "ZEL", true},
        {f.CommunityLabel, "コミュニティ名", true},
        {f.IpLabel, "エージェントIPアドレス", true},
        {f.OID1_Label, "(Non)OID1", true},
        {f.OID2_Label, "(Non)OID2", true},
        {f.OID3_Label, "(Non)OID3", true},
        {f.DataLabel, "データ入力欄", true},
        {f.NonLabel, "Non-Repeaters", false},
        {f.MaxLabel, "Max-Repetitions", false},
        {f.MaxOID1_Label, "Max OID1", false},
        {f.MaxOID2_Label, "Max OID2", false},
        {f.MaxOID3_Label, "Max OID3", false},
        {f.Label2, "送信回数", true},
        {f.Label3, "受信回数", true},
        {f.Label1, "TRAP回数", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.widget->objectName().toStdString() + " " + c.text);
        EXPECT_EQ(Text(c.widget), c.text);
        EXPECT_EQ(c.widget->isEnabled(), c.enabled);
    }
    // The identifier fields of the GetBulk group lie apart, inside their frame.
    const QWidget* maxOids[] = {f.MaxOID1Edit, f.MaxOID2Edit, f.MaxOID3Edit};
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(f.Frames[2]->geometry().contains(maxOids[i]->geometry())) << i;
        if (i > 0) {
            EXPECT_FALSE(maxOids[i]->geometry().intersects(maxOids[i - 1]->geometry())) << i;
        }
    }
    EXPECT_EQ(f.size(), kClientSize);
    EXPECT_EQ(f.minimumSize(), kClientSize);
    EXPECT_EQ(f.windowTitle().toStdString(), "Quillet v2c  V6.10" + std::string(65, ' ') + "SNMP v1 , v2c");
    EXPECT_TRUE(f.dataDisplayCheckBox->isChecked());
    EXPECT_FALSE(f.nodisplay_CheckBox->isChecked());
    EXPECT_EQ(f.DataType(), 0);
    EXPECT_EQ(f.Version(), 0);
    for (QLineEdit* readOnly : {f.MessageEdit, f.NonOID_C_Edit, f.MaxOID_C_Edit, f.TrapEdit, f.SendEdit, f.RecvEdit})
        EXPECT_TRUE(readOnly->isReadOnly());
    EXPECT_TRUE(f.OutMemo->isReadOnly());
    EXPECT_FALSE(f.CommunityEdit->isReadOnly());
    EXPECT_EQ(f.MessageEdit->palette().color(QPalette::Text), QColor(Qt::red));
    QStringList dataTypes;
    for (QAbstractButton* b : f.DataTypeButtons->buttons()) dataTypes << b->text();
    EXPECT_EQ(dataTypes, QStringList({"integer", "IpAddress", "OCTET STRING(HEX 形式)", "OCTET STRING(ASCII 形式)",
                                      "Unsigned32/Gauge32", "TimeTicks", "Counter32", "Counter64", "OBJECT IDENTIFIER"}));
    EXPECT_FALSE(f.detailDisplayCheckBox->isChecked());
}

TEST_F(MainWindow, AnEnlargedWindowGivesThePaneTheRoomAndKeepsTheControlsInPlace) {
    TMainForm& f = *form;
    f.show();
    f.resize(kClientSize + QSize(300, 200));
    QApplication::processEvents();
    EXPECT_EQ(f.OutMemo->geometry(), PlaceOf(Control::OutMemo).rect.adjusted(0, 0, 300, 200));
    EXPECT_EQ(f.Frames[4]->geometry(), PlaceOf(Control::Frame4).rect.adjusted(0, 0, 300, 200));
    EXPECT_EQ(f.CommunityEdit->geometry(), PlaceOf(Control::CommunityEdit).rect);
    EXPECT_EQ(f.MessageEdit->geometry(), PlaceOf(Control::MessageEdit).rect);
    EXPECT_EQ(f.TrapEdit->pos(), PlaceOf(Control::TrapEdit).rect.topLeft() + QPoint(0, 200));
    EXPECT_EQ(f.Label4->pos(), PlaceOf(Control::Label4).rect.topLeft() + QPoint(300, 200));
    f.resize(kClientSize);
    QApplication::processEvents();
    EXPECT_EQ(f.OutMemo->geometry(), PlaceOf(Control::OutMemo).rect);
}

V3UserValues User(const char* name, SecurityLevel level, AuthProtocol auth, const char* authSecret, PrivProtocol priv,
                  KeyExtension extension, const char* privSecret) {
    V3UserValues user;
    user.profile.name = name;
    user.profile.level = level;
    user.profile.auth = auth;
    user.profile.priv = priv;
    user.profile.extension = extension;
    user.authSecret = authSecret;
    user.privSecret = privSecret;
    return user;
}

TEST(MainWindowSettings, TheSnmpv3UsersAreRememberedButNeverTheirSecrets) {
    RecordingReporter reporter;
    ConsoleConfig config = LoopbackConfig(&reporter);
    config.settingsFile = "v3-settings.ini";
    QFile::remove(QString::fromStdString(config.settingsFile));
    V3DialogValues values;
    values.users.push_back(User("quser", SecurityLevel::AuthPriv, AuthProtocol::Sha512, "auth-secret-1",
                                PrivProtocol::Aes256, KeyExtension::Reeder, "priv-secret-2"));
    values.users.push_back(User("tuser", SecurityLevel::AuthNoPriv, AuthProtocol::Md5, "auth-secret-3",
                                PrivProtocol::Aes128, KeyExtension::Blumenthal, ""));
    values.users.push_back(User("nuser", SecurityLevel::NoAuthNoPriv, AuthProtocol::Sha1, "", PrivProtocol::Des,
                                KeyExtension::Blumenthal, ""));
    values.users[1].profile.authKind = KeyKind::LocalizedKey;
    values.users[1].profile.keysEngineId = {0x80, 0x00, 0x1F, 0x88, 0x04, 0x71};
    values.users[1].authSecret = "00112233445566778899aabbccddeeff";
    values.requestUser = "quser";
    values.contextName = "bridge1";
    values.contextEngineIdHex = "80 00 1F 88 04 71";
    QByteArray engineId;
    {
        TMainForm first(config);
        EXPECT_EQ(first.VerButtons->buttons().size(), 3);
        EXPECT_EQ(first.VerButtons->button(2)->text().toStdString(), "SNMPv3");
        std::string error;
        V3DialogValues tooShort = values;
        tooShort.users[0].authSecret = "short";
        EXPECT_FALSE(first.ApplyV3Settings(tooShort, error));
        EXPECT_EQ(error, "ユーザー「quser」：認証パスフレーズは8文字以上で入力して下さい。");
        EXPECT_TRUE(first.ApplyV3Settings(values, error)) << error;
        // Holding keys, the process leaves no core.
        EXPECT_EQ(::prctl(PR_GET_DUMPABLE), 0);
        ASSERT_NE(first.V3Configuration()->RequestUser(), nullptr);
        EXPECT_EQ(first.V3Configuration()->RequestUser()->extension, KeyExtension::Reeder);
        first.VerButtons->button(2)->click();
        EXPECT_TRUE(first.BulkButton->isEnabled());  // GetBulk exists in SNMPv3 too
        engineId = first.LocalEngineId();
        first.close();
    }
    QFile file(QString::fromStdString(config.settingsFile));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray stored = file.readAll();
    for (const char* secret : {"auth-secret-1", "priv-secret-2", "auth-secret-3", "00112233445566778899"})
        EXPECT_FALSE(stored.contains(secret)) << secret;
    TMainForm second(config);
    const V3DialogValues& shown = second.V3Values();
    ASSERT_EQ(shown.users.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(shown.users[i].profile, values.users[i].profile) << i;
        EXPECT_TRUE(shown.users[i].authSecret.empty());
        EXPECT_TRUE(shown.users[i].privSecret.empty());
    }
    EXPECT_EQ(shown.requestUser, "quser");
    EXPECT_EQ(shown.contextName, "bridge1");
    EXPECT_EQ(shown.contextEngineIdHex, "80 00 1F 88 04 71");
    // Only the noAuthNoPriv user is usable before secrets are typed, and a
    // request as the request user says what is missing.
    const std::shared_ptr<const V3Config> held = second.V3Configuration();
    ASSERT_NE(held, nullptr);
    EXPECT_NE(held->users.Named("nuser"), nullptr);
    EXPECT_EQ(held->users.Named("quser"), nullptr);
    EXPECT_EQ(held->RequestUser(), nullptr);
    second.VerButtons->button(2)->click();
    second.IpEdit->setText(QStringLiteral("127.0.0.1"));
    second.OID1Edit->setText(QStringLiteral("1.3.6.1.2.1.1.5.0"));
    second.GETButton->click();
    EXPECT_EQ(second.MessageEdit->text().toStdString(),
              "SNMPv3ユーザー「quser」のパスフレーズ（キー）が未入力です。設定で入力して下さい。");
    // The console's own engine: the same ID, boots one more.
    EXPECT_EQ(second.LocalEngineId(), engineId);
    EXPECT_EQ(second.LocalEngineBoots(), 2u);
    EXPECT_GE(engineId.size(), 5);
}

TEST(MainWindowSettings, TheDetailsStateIsRememberedAcrossRuns) {
    RecordingReporter reporter;
    ConsoleConfig config = LoopbackConfig(&reporter);
    config.settingsFile = "details-settings.ini";
    QFile::remove(QString::fromStdString(config.settingsFile));
    for (const bool on : {true, false}) {
        {
            TMainForm first(config);
            first.detailDisplayCheckBox->setChecked(on);
            EXPECT_EQ(first.Output().Details(), on);
            first.close();
        }
        TMainForm second(config);
        EXPECT_EQ(second.detailDisplayCheckBox->isChecked(), on);
        EXPECT_EQ(second.Output().Details(), on);
    }
}

TEST_F(MainWindow, HintsAndTabOrder) {
    EXPECT_EQ(form->PingButton->toolTip().toStdString(), "指定IPアドレスに　ping を送信します。(Win95非対応)");
    EXPECT_EQ(form->dataDisplayCheckBox->toolTip().toStdString(),
              "チェックすると送受信PDUデータを表示します。チェックしないと表示しません。");
    EXPECT_EQ(form->BulkButton->toolTip().toStdString(), "getBulkRequestを送信します。");
    EXPECT_EQ(form->OID1Edit->toolTip().toStdString(), "set , get するMIBのオブジェクトIDを入力します。");
    EXPECT_EQ(form->ClrButton->toolTip().toStdString(), "送受信回数をクリアします。");
    EXPECT_TRUE(form->TrapEdit->toolTip().isEmpty());
    for (QWidget* noTab : {static_cast<QWidget*>(form->MessageEdit), static_cast<QWidget*>(form->OutMemo),
                           static_cast<QWidget*>(form->SendEdit), static_cast<QWidget*>(form->RecvEdit),
                           static_cast<QWidget*>(form->TrapEdit)})
        EXPECT_FALSE(noTab->focusPolicy() & Qt::TabFocus);
}

// Presses a key on the widget that has the focus, as the keyboard would.
void PressKey(int key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(QApplication::focusWidget(), &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
    QApplication::sendEvent(QApplication::focusWidget(), &release);
}

std::string Name(QWidget* w) {
    if (w == nullptr) return "(none)";
    const std::string text = Text(w);
    return std::string(w->metaObject()->className()) + (text.empty() ? "" : " " + text);
}

// The widgets Tab visits from CommunityEdit until it comes back to it.
std::vector<QWidget*> TabChain(TMainForm& f) {
    f.CommunityEdit->setFocus(Qt::TabFocusReason);
    std::vector<QWidget*> chain{QApplication::focusWidget()};
    for (int i = 0; i < 40; ++i) {
        PressKey(Qt::Key_Tab);
        if (QApplication::focusWidget() == f.CommunityEdit) break;
        chain.push_back(QApplication::focusWidget());
    }
    return chain;
}

TEST_F(MainWindow, TabVisitsEachControlOnceInTheTableOrderAndEachRadioGroupAtItsCheckedItem) {
    TMainForm& f = *form;
    f.show();
    f.activateWindow();
    ASSERT_TRUE(testing::WaitFor([&] { return QApplication::activeWindow() == &f; }));
    struct Case {
        int version, dataType;
        std::vector<QWidget*> bulk;  // the GetBulk part of the chain
    };
    const Case cases[] = {
        {0, 0, {f.WalkButton, f.TransportButton}},
        {1, 2, {f.BulkButton, f.WalkButton, f.TransportButton, f.NonOID_C_Edit, f.MaxEdit, f.MaxOID_C_Edit,
                f.MaxOID1Edit, f.MaxOID2Edit, f.MaxOID3Edit, f.MaxOIDUpDown, f.NonOIDUpDown}},
    };
    for (const Case& c : cases) {
        f.VerButtons->button(c.version)->click();
        f.DataTypeButtons->button(c.dataType)->click();
        std::vector<QWidget*> expected = {f.CommunityEdit, f.IpEdit, f.PingButton, f.OID1Edit, f.OID2Edit, f.OID3Edit,
                                          f.DataTypeButtons->button(c.dataType), f.InMemo, f.VerButtons->button(c.version),
                                          f.V3SettingsButton, f.dataDisplayCheckBox, f.SetButton, f.GETButton, f.GETNEXTButton};
        expected.insert(expected.end(), c.bulk.begin(), c.bulk.end());
        expected.insert(expected.end(), {f.ClrButton, f.nodisplay_CheckBox, f.detailDisplayCheckBox});
        std::vector<std::string> want, got;
        for (QWidget* w : expected) want.push_back(Name(w));
        for (QWidget* w : TabChain(f)) got.push_back(Name(w));
        EXPECT_EQ(got, want) << "version " << c.version;
    }
}

TEST_F(MainWindow, ArrowKeysMoveWithinARadioGroupAndStepTheUpDownCounters) {
    TMainForm& f = *form;
    f.show();
    f.activateWindow();
    ASSERT_TRUE(testing::WaitFor([&] { return QApplication::activeWindow() == &f; }));
    f.DataTypeButtons->button(1)->setFocus(Qt::TabFocusReason);
    f.DataTypeButtons->button(1)->click();
    PressKey(Qt::Key_Down);
    EXPECT_EQ(f.DataType(), 2);
    EXPECT_EQ(QApplication::focusWidget(), f.DataTypeButtons->button(2));
    PressKey(Qt::Key_Up);
    PressKey(Qt::Key_Up);
    EXPECT_EQ(f.DataType(), 0);

    f.VerButtons->button(0)->setFocus(Qt::TabFocusReason);
    PressKey(Qt::Key_Down);
    EXPECT_EQ(f.Version(), 1);
    EXPECT_TRUE(f.BulkButton->isEnabled());  // the version rule ran

    struct Step {
        UpDown* counter;
        QLineEdit* field;
        int key;
        const char* shown;
    };
    const Step steps[] = {
        {f.MaxOIDUpDown, f.MaxOID_C_Edit, Qt::Key_Up, "1"},   {f.MaxOIDUpDown, f.MaxOID_C_Edit, Qt::Key_Up, "2"},
        {f.MaxOIDUpDown, f.MaxOID_C_Edit, Qt::Key_Down, "1"}, {f.NonOIDUpDown, f.NonOID_C_Edit, Qt::Key_Down, "0"},
        {f.NonOIDUpDown, f.NonOID_C_Edit, Qt::Key_Up, "1"},
    };
    for (const Step& s : steps) {
        s.counter->setFocus(Qt::TabFocusReason);
        PressKey(s.key);
        EXPECT_EQ(s.field->text().toStdString(), s.shown);
    }
    EXPECT_EQ(f.OID1Edit->palette().color(QPalette::Active, QPalette::Base), QColor(0, 255, 255));  // clicked() ran

    // Enter and Return press the focused button, as Space does.
    for (const int key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space}) {
        f.ClrButton->setFocus(Qt::TabFocusReason);
        int clicks = 0;
        const QMetaObject::Connection counting =
            QObject::connect(f.ClrButton, &QPushButton::clicked, [&clicks] { ++clicks; });
        PressKey(key);
        EXPECT_TRUE(testing::WaitFor([&] { return clicks == 1; }, 1000)) << key;
        QObject::disconnect(counting);
    }
}

TEST_F(MainWindow, EveryCaptionFitsItsPlaceAndNoneRunsUnderAControl) {
    TMainForm& f = *form;
    f.show();  // captions are measured as drawn, style sheets applied
    QWidget* controls[] = {f.CommunityEdit, f.IpEdit,       f.PingButton,    f.OID1Edit,      f.OID2Edit,
                           f.OID3Edit,      f.DataTypeGroup, f.InMemo,       f.VerRadioGroup, f.dataDisplayCheckBox,
                           f.SetButton,     f.MessageEdit,  f.GETButton,     f.GETNEXTButton, f.BulkButton,
                           f.NonOID_C_Edit, f.MaxEdit,      f.MaxOID_C_Edit, f.MaxOID1Edit,   f.MaxOID2Edit,
                           f.MaxOID3Edit,   f.MaxOIDUpDown, f.NonOIDUpDown,  f.TrapEdit,      f.ClrButton,
                           f.nodisplay_CheckBox, f.SendEdit, f.RecvEdit,    f.OutMemo,       f.Label4};
    QLabel* labels[] = {f.CommunityLabel, f.IpLabel,       f.OID1_Label,    f.OID2_Label,    f.OID3_Label,
                        f.DataLabel,      f.NonLabel,      f.MaxLabel,      f.MaxOID1_Label, f.MaxOID2_Label,
                        f.MaxOID3_Label,  f.Label2,        f.Label3,        f.Label1};
    const QRect client(QPoint(0, 0), kClientSize);
    for (QLabel* label : labels) {
        SCOPED_TRACE(label->text().toStdString());
        const QFontMetrics metrics(label->font());
        EXPECT_LE(metrics.horizontalAdvance(label->text()), label->contentsRect().width());
        EXPECT_LE(metrics.height(), label->height());
        EXPECT_TRUE(client.contains(label->geometry()));
        for (QWidget* control : controls)
            EXPECT_FALSE(label->geometry().intersects(control->geometry())) << Name(control);
    }
    // Radio items and check boxes: the indicator whole inside the item, the
    // text within the room the style leaves it, the item inside its frame.
    for (QButtonGroup* group : {f.DataTypeButtons, f.VerButtons}) {
        auto* box = static_cast<QGroupBox*>(group->button(0)->parentWidget());
        EXPECT_LE(QFontMetrics(box->font()).horizontalAdvance(box->title()), box->width() - 8) << Name(box);
        for (QAbstractButton* item : group->buttons()) {
            SCOPED_TRACE(item->text().toStdString());
            QStyleOptionButton option;
            option.initFrom(item);
            option.text = item->text();
            const QRect indicator = item->style()->subElementRect(QStyle::SE_RadioButtonIndicator, &option, item);
            const QRect contents = item->style()->subElementRect(QStyle::SE_RadioButtonContents, &option, item);
            EXPECT_TRUE(item->rect().contains(indicator)) << indicator.y() << "+" << indicator.height();
            EXPECT_LE(QFontMetrics(item->font()).horizontalAdvance(item->text()), contents.width());
            EXPECT_TRUE(box->contentsRect().contains(item->geometry()));
        }
    }
    {
        // The 設定 button sits beside the SNMPv3 item's caption, not over it.
        QAbstractButton* v3 = f.VerButtons->button(2);
        QStyleOptionButton option;
        option.initFrom(v3);
        option.text = v3->text();
        const QRect contents = v3->style()->subElementRect(QStyle::SE_RadioButtonContents, &option, v3);
        const int captionEnd =
            v3->mapTo(f.centralWidget(), contents.topLeft()).x() + QFontMetrics(v3->font()).horizontalAdvance(v3->text());
        EXPECT_LT(captionEnd, f.V3SettingsButton->x());
        EXPECT_TRUE(f.VerRadioGroup->geometry().contains(f.V3SettingsButton->geometry()));
    }
    for (QCheckBox* check : {f.dataDisplayCheckBox, f.nodisplay_CheckBox}) {
        QStyleOptionButton option;
        option.initFrom(check);
        option.text = check->text();
        const QRect indicator = check->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, check);
        const QRect contents = check->style()->subElementRect(QStyle::SE_CheckBoxContents, &option, check);
        EXPECT_TRUE(check->rect().contains(indicator)) << check->text().toStdString();
        EXPECT_LE(QFontMetrics(check->font()).horizontalAdvance(check->text()), contents.width())
            << check->text().toStdString();
    }
    for (QPushButton* button : {f.SetButton, f.GETButton, f.GETNEXTButton, f.BulkButton, f.ClrButton, f.PingButton})
        EXPECT_LE(QFontMetrics(button->font()).horizontalAdvance(button->text()), button->width() - 4)
            << button->text().toStdString();
}

TEST_F(MainWindow, ADisabledIdentifierFieldLooksDisabledAndGetsItsColourBack) {
    form->VerButtons->button(1)->click();
    form->MaxOIDUpDown->Click(UpDown::Up);
    form->MaxOIDUpDown->Click(UpDown::Up);
    const QColor cyan(0, 255, 255);
    EXPECT_EQ(form->MaxOID2Edit->palette().color(QPalette::Active, QPalette::Base), cyan);
    form->VerButtons->button(0)->click();
    for (QLineEdit* edit : {form->MaxOID1Edit, form->MaxOID2Edit, form->MaxOID3Edit}) {
        EXPECT_FALSE(edit->isEnabled());
        EXPECT_NE(edit->palette().color(QPalette::Disabled, QPalette::Base), cyan);
        EXPECT_EQ(edit->palette().color(QPalette::Disabled, QPalette::Base),
                  QApplication::palette(edit).color(QPalette::Disabled, QPalette::Base));
    }
    form->VerButtons->button(1)->click();
    EXPECT_EQ(form->MaxOID1Edit->palette().color(QPalette::Base), cyan);
    EXPECT_EQ(form->MaxOID3Edit->palette().color(QPalette::Base),
              QApplication::palette(form->MaxOID3Edit).color(QPalette::Active, QPalette::Base));
}

TEST_F(MainWindow, VersionRuleTogglesTheBulkGroupAndKeepsItsValues) {
    QWidget* bulkGroup[] = {form->BulkButton,  form->NonLabel,      form->NonOID_C_Edit, form->NonOIDUpDown,
                            form->MaxLabel,    form->MaxEdit,       form->MaxOID_C_Edit, form->MaxOIDUpDown,
                            form->MaxOID1Edit, form->MaxOID2Edit,   form->MaxOID3Edit,   form->MaxOID1_Label,
                            form->MaxOID2_Label, form->MaxOID3_Label};
    form->VerButtons->button(1)->click();
    for (QWidget* w : bulkGroup) EXPECT_TRUE(w->isEnabled());
    EXPECT_EQ(form->Version(), 1);
    form->MaxEdit->setText(QStringLiteral("7"));
    form->MaxOIDUpDown->Click(UpDown::Up);
    form->VerButtons->button(0)->click();
    for (QWidget* w : bulkGroup) EXPECT_FALSE(w->isEnabled());
    EXPECT_TRUE(form->SetButton->isEnabled());
    form->VerButtons->button(1)->click();
    EXPECT_EQ(form->MaxEdit->text(), QStringLiteral("7"));
    EXPECT_EQ(form->MaxOID_C_Edit->text(), QStringLiteral("1"));
    EXPECT_EQ(form->MaxOID1Edit->palette().color(QPalette::Base), QColor(0, 255, 255));
}

TEST_F(MainWindow, UpDownStepsWithinLimitsAndColoursTheFirstFields) {
    form->VerButtons->button(1)->click();
    const QColor cyan(0, 255, 255);
    const QColor normal = form->CommunityEdit->palette().color(QPalette::Base);
    form->NonOIDUpDown->Click(UpDown::Down);  // at 0: stays
    EXPECT_EQ(form->NonOID_C_Edit->text(), QStringLiteral("0"));
    EXPECT_EQ(form->OID1Edit->palette().color(QPalette::Base), normal);
    for (int n = 1; n <= 4; ++n) {
        form->NonOIDUpDown->Click(UpDown::Up);
        const int expected = n > 3 ? 3 : n;
        EXPECT_EQ(form->NonOID_C_Edit->text().toInt(), expected);
        QLineEdit* fields[] = {form->OID1Edit, form->OID2Edit, form->OID3Edit};
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(fields[i]->palette().color(QPalette::Base), i < expected ? cyan : normal) << n << " " << i;
    }
    form->MaxOIDUpDown->Click(UpDown::Up);
    form->MaxOIDUpDown->Click(UpDown::Up);
    EXPECT_EQ(form->MaxOID2Edit->palette().color(QPalette::Base), cyan);
    EXPECT_EQ(form->MaxOID3Edit->palette().color(QPalette::Base), normal);
    EXPECT_EQ(form->OID3Edit->palette().color(QPalette::Base), cyan);  // the other counter is untouched
}

TEST_F(MainWindow, ClrButtonZeroesTheCountersAndLeavesThePane) {
    OutputBatch batch;
    batch.CountDatagram(Counter::Recv);
    batch.CountDatagram(Counter::Trap);
    batch.CountDatagram(Counter::Trap);
    form->Output().Commit(batch);
    form->Output().WriteLine("a line", SummaryLine);
    form->FlushPane();
    EXPECT_EQ(form->TrapEdit->text(), QStringLiteral("2"));
    form->ClrButton->click();
    EXPECT_EQ(form->TrapEdit->text(), QStringLiteral("0"));
    EXPECT_EQ(form->RecvEdit->text(), QStringLiteral("0"));
    EXPECT_EQ(form->SendEdit->text(), QStringLiteral("0"));
    EXPECT_EQ(PaneLines(*form), (std::vector<std::string>{"Quillet   V6.10", "a line"}));
    form->Output().Commit(batch);
    form->FlushPane();
    EXPECT_EQ(form->RecvEdit->text(), QStringLiteral("1"));
}

TEST_F(MainWindow, WritersFollowTheCheckBoxesAndChargesNeverEmptyThePane) {
    form->dataDisplayCheckBox->setChecked(false);
    form->Output().WriteLine("hidden pdu", PduLine);
    form->Output().WriteLine("shown summary", SummaryLine);
    form->FlushPane();
    EXPECT_EQ(PaneLines(*form), (std::vector<std::string>{"Quillet   V6.10", "shown summary"}));
    form->nodisplay_CheckBox->setChecked(true);
    form->Output().WriteLine("hidden summary", SummaryLine);
    form->Output().ChargeOutput(40000);
    form->FlushPane();
    EXPECT_EQ(PaneLines(*form).size(), 2u);
    form->nodisplay_CheckBox->setChecked(false);
    form->Output().ChargeOutput(26215);  // what once emptied the pane
    form->FlushPane();
    EXPECT_EQ(PaneLines(*form), (std::vector<std::string>{"Quillet   V6.10", "shown summary"}));
}

TEST(MainWindowLog, RunsOfOneDayAppendMarksAndLinesInCodePage932) {
    QDir::current().mkpath(QStringLiteral("logrun"));
    const QString previous = QDir::currentPath();
    QDir::setCurrent(QStringLiteral("logrun"));
    RecordingReporter reporter;
    std::string fileName;
    {
        TMainForm form(LoopbackConfig(&reporter));
        fileName = form.LogFileName();
        form.Output().WriteLine("  受信DATA=", PduLine);
        form.close();
    }
    {
        TMainForm form(LoopbackConfig(&reporter));
        form.close();
    }
    const std::string log = ReadFile(fileName);
    QDir::setCurrent(previous);
    EXPECT_TRUE(reporter.Errors().empty());
    EXPECT_EQ(fileName.substr(0, 4), "LOG/");
    ASSERT_EQ(log.size(), 46u + 13u + 48u + 46u + 48u);
    EXPECT_EQ(log.substr(0, 17), "++LOGGING START  ");
    EXPECT_EQ(log.substr(46, 13), "  \x8E\xF3\x90\x4D" "DATA=\r\n");
    EXPECT_EQ(log.substr(59, 17), "--LOGGING STOP   ");
    EXPECT_EQ(log.substr(59 + 44, 4), "\r\n\r\n");
    EXPECT_EQ(log.substr(107, 17), "++LOGGING START  ");
    EXPECT_EQ(log.substr(log.size() - 4), "\r\n\r\n");
}

TEST(MainWindowLog, ADayFileOthersCouldUseIsMovedAsideSaidInABoxAndInTheFreshFilesFirstLine) {
    QDir::current().mkpath(QStringLiteral("asiderun/LOG"));
    const QString previous = QDir::currentPath();
    QDir::setCurrent(QStringLiteral("asiderun"));
    const std::string day = LogFileName("LOG", CurrentLocalTime());
    const std::string name = day.substr(4);
    QFile::remove(QString::fromStdString(day));
    { std::ofstream(day, std::ios::binary) << "theirs\r\n"; }
    ::chmod(day.c_str(), 0666);
    RecordingReporter reporter;
    {
        TMainForm form(LoopbackConfig(&reporter));
        form.close();
    }
    const std::string fresh = ReadFile(day);
    const std::string aside = ReadFile(day + kMovedAsideSuffix);
    QDir::setCurrent(previous);
    const std::string asideName = name + kMovedAsideSuffix;
    EXPECT_EQ(reporter.Notices(),
              (std::vector<std::string>{"LOGファイル " + name + " は他のユーザーも読み書きできる状態でした。"
                                        "開いたままのプログラムが記録を読み、行を書き足すおそれがあるため、" + asideName +
                                        " に移して新しいLOGファイルを作成しました。"}));
    EXPECT_EQ(aside, "theirs\r\n");
    const std::string first = ToCp932("前のLOGファイルは他のユーザーも読み書きできる状態だったため " + asideName + " に移しました") + "\r\n";
    ASSERT_GT(fresh.size(), first.size());
    EXPECT_EQ(fresh.substr(0, first.size()), first);
    EXPECT_EQ(fresh.substr(first.size(), 17), "++LOGGING START  ");
}

TEST(MainWindowLog, ALogFolderThatIsALinkIsRefusedInTheOpenBoxAndNothingIsLogged) {
    QDir::current().mkpath(QStringLiteral("linkrun/elsewhere"));
    const QString previous = QDir::currentPath();
    QDir::setCurrent(QStringLiteral("linkrun"));
    const std::string here = QDir::currentPath().toStdString();
    QFile::remove(QStringLiteral("LOG"));
    ASSERT_EQ(::symlink("elsewhere", "LOG"), 0);
    RecordingReporter reporter;
    {
        TMainForm form(LoopbackConfig(&reporter));
        form.show();
        EXPECT_TRUE(form.isVisible());
        EXPECT_FALSE(form.LogOpen());
        form.Output().WriteLine("TRAP受信  SIZE=0", SummaryLine);
        form.close();
    }
    const bool logged = QDir(QStringLiteral("elsewhere")).entryList(QDir::Files).isEmpty();
    QFile::remove(QStringLiteral("LOG"));
    QDir::setCurrent(previous);
    EXPECT_EQ(reporter.Errors(), (std::vector<std::string>{"FILEのOPENに失敗しました。\nLOGフォルダがシンボリックリンクのため"
                                                           "使用しません: " + here + "/LOG"}));
    EXPECT_TRUE(logged);
}

std::string OwnProcessName() {
    std::string name = ReadFile("/proc/self/comm");
    while (!name.empty() && name.back() == '\n') name.pop_back();
    return name;
}

TEST_F(MainWindow, AFailedLogWriteIsToldOnceInABoxThatBlocksNobody) {
    struct FullDisk : LogSink {
        bool Write(const char*, std::size_t) override { return false; }
    } full;
    form->Output().SetLogSink(&full);
    form->Output().WriteLine("lost", SummaryLine);
    ASSERT_TRUE(testing::WaitFor([&] { return reporter.Notices().size() == 1; }));
    EXPECT_EQ(reporter.Notices()[0], kLogWriteNotice);
    form->Output().WriteLine("lost too", SummaryLine);
    QApplication::processEvents();
    EXPECT_EQ(reporter.Notices().size(), 1u);
    EXPECT_TRUE(reporter.Errors().empty());
    form->Output().SetLogSink(nullptr);
}

TEST_F(MainWindow, TheTitleSaysSoWhileTheLogWaitsForItsDisksReserve) {
    struct Reserve : LogSink {
        bool Write(const char*, std::size_t) override { return true; }
        bool HasRoomFor(std::size_t) override { return room; }
        bool room = false;
    } reserve;
    const QString sign = QStringLiteral("【ディスク空き不足：LOG記録停止中】");
    form->Output().SetLogSink(&reserve);
    form->Output().WriteLine("held", SummaryLine);
    form->Output().WriteLine("held too", SummaryLine);
    EXPECT_TRUE(testing::WaitFor([&] { return form->windowTitle().endsWith(sign); }));
    reserve.room = true;
    form->Output().WriteLine("logged", SummaryLine);
    EXPECT_TRUE(testing::WaitFor([&] { return !form->windowTitle().contains(sign); }));
    form->FlushPane();
    const std::vector<std::string> lines = PaneLines(*form);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), std::string(ConsoleOutput::kLogStoppedLine)), 1);
    EXPECT_EQ(lines.back(), "logged");
    form->Output().SetLogSink(nullptr);
}

TEST_F(MainWindow, ALargeUpdateGoesInSlicesWithItsCountersAfterItsLastLine) {
    // 12,000 lines of 70 characters, with the trap counter: far more than a
    // slice (kSliceMs) takes, and two of them below the pane's text bound.
    auto bigUpdate = [&](char fill) {
        OutputBatch batch;
        for (int i = 0; i < 12000; ++i) batch.WriteLine(std::string(1, fill) + std::to_string(i) + std::string(64, fill), PduLine);
        batch.CountDatagram(Counter::Trap);
        form->Output().Commit(batch);
    };
    bigUpdate('a');
    ASSERT_TRUE(testing::WaitFor([&] { return form->OutMemo->blockCount() > 1; }));
    EXPECT_LT(form->OutMemo->blockCount(), 12001);
    EXPECT_EQ(form->TrapEdit->text(), "0");
    ASSERT_TRUE(testing::WaitFor([&] { return form->TrapEdit->text() == "1"; }, 20000));
    const std::vector<std::string> lines = PaneLines(*form);
    ASSERT_EQ(lines.size(), 12001u);
    EXPECT_EQ(lines[1], "a0" + std::string(64, 'a'));
    EXPECT_EQ(lines.back(), "a11999" + std::string(64, 'a'));
    // An update that empties the pane (the clear action): what is left of
    // the one under way is skipped, its counter still shown; and a handler's
    // flush takes the rest whole.
    bigUpdate('b');
    ASSERT_TRUE(testing::WaitFor([&] { return form->OutMemo->blockCount() > 12001; }));
    form->Output().ClearPane();
    form->Output().WriteLine("after the emptying", SummaryLine);
    ASSERT_TRUE(testing::WaitFor([&] { return form->TrapEdit->text() == "2"; }, 20000));
    form->FlushPane();
    EXPECT_EQ(PaneLines(*form), (std::vector<std::string>{"after the emptying"}));
}

TEST(MainWindowStartUp, AMissingCodePage932ConverterIsToldOnce) {
    RecordingReporter reporter;
    ASSERT_EQ(ToCp932("受"), "\x8E\xF3");  // this thread's converter stays the real one
    UseCp932CharsetNameForTesting("QUILLET-NO-SUCH-CHARSET");
    {
        TMainForm form(LoopbackConfig(&reporter));
        form.close();
    }
    UseCp932CharsetNameForTesting("CP932");
    const auto errors = reporter.Errors();
    EXPECT_EQ(std::count(errors.begin(), errors.end(),
                         "CP932 iconv=NG  日本語はログに?で記録され、コミュニティ名と送信データには使えません。"),
              1);
    RecordingReporter normal;
    TMainForm form(LoopbackConfig(&normal));
    EXPECT_TRUE(normal.Errors().empty());
}

TEST(MainWindowStartUp, PortsHeldByAnotherProgramGiveTheBindBoxesAndTheWindowStillOpens) {
    RecordingReporter first;
    TMainForm running(LoopbackConfig(&first));
    const std::uint16_t requestPort = running.Sockets().At(0).socket.LocalPort();
    const std::uint16_t trapPort = running.Sockets().At(1).socket.LocalPort();
    ASSERT_NE(requestPort, 0);

    // The window binds its sockets itself, or takes them bound before it
    // existed (the shipped program): the same boxes in the same order.
    for (const bool prebound : {false, true}) {
        SCOPED_TRACE(prebound ? "pre-bound sockets" : "sockets bound by the window");
        RecordingReporter second;
        ConsoleConfig config = LoopbackConfig(&second, requestPort, trapPort);
        PreboundSockets sockets;
        if (prebound) {
            SocketTable::Bind(config, sockets);
            config.prebound = &sockets;
        }
        TMainForm copy(config);
        copy.show();
        // The day's log is held by the first copy; both ports are taken, by
        // this very process, which the second line names.
        const std::string bind = "recv bind=NG  当プログラムを既に起動していませんか？ \n";
        const std::string holder = "は " + OwnProcessName() + " (PID " + std::to_string(::getpid()) + ") が使用しています。";
        const auto errors = second.Errors();
        ASSERT_GE(errors.size(), 3u);
        EXPECT_EQ(errors[0], "FILEのOPENに失敗しました。\nログファイルは他のプログラムが使用中です（当プログラムを既に起動"
                             "していませんか？）: " + QDir::currentPath().toStdString() + "/" + running.LogFileName());
        EXPECT_EQ(errors[1], bind + "UDPポート" + std::to_string(requestPort) + holder);
        EXPECT_EQ(errors[2], bind + "UDPポート" + std::to_string(trapPort) + holder);
        EXPECT_TRUE(copy.isVisible());
        EXPECT_FALSE(copy.LogOpen());
        // The listeners of the copy report their failed receive once each.
        EXPECT_TRUE(testing::WaitFor([&] { return second.Errors().size() == 5u; }));
        const auto all = second.Errors();
        std::vector<std::string> receive(all.begin() + 3, all.end());
        std::sort(receive.begin(), receive.end());
        EXPECT_EQ(receive[0], "PORT161受信エラー： Ether Port 161を使用するプログラムを起動していませんか？ ");
        EXPECT_EQ(receive[1], "PORT162受信エラー： Ether Port 162aを使用するプログラムを起動していませんか？ ");
        QApplication::processEvents();
        EXPECT_EQ(second.Errors().size(), 5u);  // once per run, however often the receive fails
        copy.close();
        EXPECT_EQ(second.Errors().size(), 5u);  // closing without a log shows nothing more
    }
}

TEST(MainWindowStartUp, APortThatCannotReceiveIsShownAllRunLongAndItsBoxLinesAreLogged) {
    QDir::current().mkpath(QStringLiteral("deafrun"));
    const QString previous = QDir::currentPath();
    QDir::setCurrent(QStringLiteral("deafrun"));
    UdpSocket holder;  // another program on the trap port
    ASSERT_TRUE(holder.Create() && holder.BindTo(Loopback()));
    RecordingReporter reporter;
    std::string fileName;
    std::string bindBox;
    {
        TMainForm form(LoopbackConfig(&reporter, 0, holder.LocalPort()));
        fileName = form.LogFileName();
        ASSERT_FALSE(reporter.Errors().empty());
        bindBox = reporter.Errors()[0];
        const std::string title = form.windowTitle().toStdString();
        EXPECT_EQ(title.find("ポート161"), std::string::npos);
        EXPECT_NE(title.find("【ポート162使用不可：TRAPを受信できません】"), std::string::npos);
        form.close();
    }
    const std::string log = Cp932ToUtf8(ReadFile(fileName));
    QDir::setCurrent(previous);
    const std::size_t split = bindBox.find('\n');
    ASSERT_NE(split, std::string::npos);
    EXPECT_NE(log.find(bindBox.substr(0, split) + "\r\n" + bindBox.substr(split + 1) + "\r\n"), std::string::npos)
        << log;
}

TEST(MainWindowStartUp, PreboundSocketsAreTheOnesTheWindowUses) {
    RecordingReporter reporter;
    ConsoleConfig config = LoopbackConfig(&reporter);
    PreboundSockets sockets;
    SocketTable::Bind(config, sockets);
    ASSERT_TRUE(sockets.entries[0].bound && sockets.entries[1].bound);
    const std::uint16_t ports[2] = {sockets.entries[0].socket.LocalPort(), sockets.entries[1].socket.LocalPort()};
    config.prebound = &sockets;
    TMainForm form(config);
    EXPECT_TRUE(reporter.Errors().empty());
    for (int index = 0; index < 2; ++index) {
        EXPECT_EQ(form.Sockets().At(index).socket.LocalPort(), ports[index]);
        EXPECT_TRUE(form.Sockets().At(index).socket.IsBound());
        EXPECT_EQ(sockets.entries[index].socket.LocalPort(), 0);  // taken over, not shared
    }
}

// Opens SENDER on loopback towards the window's socket INDEX (0 answers, 1 traps).
bool OpenSenderTo(UdpSocket& sender, TMainForm& form, int index) {
    if (!sender.Create() || !sender.BindTo(Loopback())) return false;
    sender.SetDestination(Loopback(form.Sockets().At(index).socket.LocalPort()));
    return true;
}

TEST(MainWindowListeners, DatagramsOnBothPortsAreCountedAndShownInOrder) {
    RecordingReporter reporter;
    TMainForm form(LoopbackConfig(&reporter));
    UdpSocket sender;
    ASSERT_TRUE(OpenSenderTo(sender, form, 1));
    const std::uint8_t empty[1] = {0};
    ASSERT_EQ(sender.Send(empty, 0), 0);
    ASSERT_TRUE(testing::WaitFor([&] { return form.TrapEdit->text() == QStringLiteral("1"); }));
    EXPECT_EQ(PaneLines(form), (std::vector<std::string>{"Quillet   V6.10", "TRAP受信  SIZE=0", "  TRAP-TYPE=",
                                                         "  受信DATA=", "  受信フレーム異常！"}));

    // A GetResponse: version 0, request-id 1234, one binding sysDescr.0 = "ab".
    const std::uint8_t response[] = {0x30, 0x29, 0x02, 0x01, 0x00, 0x04, 0x06, 'r', 'a', 'v', 'i', 'n', 'e', 0xA2,
                                     0x1C, 0x02, 0x02, 0x04, 0xD2, 0x02, 0x01, 0x00, 0x02, 0x01, 0x00, 0x30, 0x10,
                                     0x30, 0x0E, 0x06, 0x08, 0x2B, 0x06, 0x01, 0x02, 0x01, 0x01, 0x01, 0x00, 0x04,
                                     0x02, 'a', 'b'};
    ASSERT_EQ(sizeof response, 43u);
    sender.SetDestination(Loopback(form.Sockets().At(0).socket.LocalPort()));
    ASSERT_EQ(sender.Send(response, sizeof response), static_cast<int>(sizeof response));
    ASSERT_TRUE(testing::WaitFor([&] { return form.RecvEdit->text() == QStringLiteral("1"); }));
    form.FlushPane();
    const auto lines = PaneLines(form);
    ASSERT_GE(lines.size(), 13u);
    EXPECT_EQ(lines[5], "get response 受信 request ID=1234  SIZE=43");
    EXPECT_EQ(lines[6], "  受信DATA=");
    EXPECT_EQ(lines[10], "  object ID =1.3.6.1.2.1.1.1.0");
    EXPECT_EQ(lines[11], "  応答データ(OCTET STRING  SIZE=2)=");
    EXPECT_EQ(form.OID1Edit->text(), QStringLiteral("1.3.6.1.2.1.1.1.0"));
    EXPECT_TRUE(reporter.Errors().empty());
}

// What the hostile-flood bench counts on, with datagrams of 65,000 bytes
// that are no message: once TrapEdit shows a datagram's number its lines are
// all in the pane, the oldest datagrams go whole, and the pane never holds
// more text than its bound.
TEST(MainWindowListeners, LargeDatagramsKeepThePaneWithinItsBoundAndTrapEditNeverRunsAhead) {
    RecordingReporter reporter;
    TMainForm form(LoopbackConfig(&reporter));
    UdpSocket sender;
    ASSERT_TRUE(OpenSenderTo(sender, form, 1));
    const std::string banner = PaneLines(form).front();
    std::vector<std::uint8_t> noise(65000);
    for (std::size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<std::uint8_t>(0xFF - i % 7);
    bool dropped = false;
    for (int k = 1; k <= 10; ++k) {
        SCOPED_TRACE(k);
        const int size = 65000 - k;  // each datagram told by its SIZE line
        ASSERT_EQ(sender.Send(noise.data(), size), size);
        ASSERT_TRUE(testing::WaitFor([&] { return form.TrapEdit->text().toInt() == k; }, 10000));
        const std::vector<std::string> lines = PaneLines(form);
        const auto header = std::find_if(lines.rbegin(), lines.rend(),
                                          [](const std::string& line) { return line.rfind("TRAP受信", 0) == 0; });
        ASSERT_NE(header, lines.rend());
        EXPECT_EQ(*header, "TRAP受信  SIZE=" + std::to_string(size));
        EXPECT_EQ(header - lines.rbegin(), 3 + (size + 15) / 16);  // the dump's lines, then the frame error
        EXPECT_EQ(lines.back(), "  受信フレーム異常！");
        if (lines.front() != banner) {  // the oldest dropped, a datagram's lines from the first
            dropped = true;
            EXPECT_EQ(lines.front().rfind("TRAP受信  SIZE=", 0), 0u);
            EXPECT_GT(form.OutMemo->blockCount(), 4 + (size + 15) / 16) << "more than the newest datagram";
        }
        EXPECT_LE(form.OutMemo->toPlainText().toUtf8().size() + 1, static_cast<qsizetype>(ConsoleOutput::kPaneTextLimit));
    }
    EXPECT_TRUE(dropped);
    EXPECT_TRUE(reporter.Errors().empty());
}

}  // namespace
}  // namespace quillet
