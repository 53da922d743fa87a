// The SNMPv3 dialog driven through its fields: users made from what was
// typed, secrets that do not stay in the fields, errors in Japanese that
// leave the buttons where they were.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include <algorithm>

#include "console/V3Dialog.h"

namespace quillet {
namespace {

void Type(V3Dialog& d, const char* name, int level, const char* auth, const char* authSecret, const char* priv,
          const char* privSecret) {
    d.UserEdit->setText(QString::fromUtf8(name));
    d.LevelBox->setCurrentIndex(level);
    d.AuthBox->setCurrentIndex(d.AuthBox->findText(QString::fromLatin1(auth)));
    d.AuthSecretEdit->setText(QString::fromUtf8(authSecret));
    d.PrivBox->setCurrentIndex(d.PrivBox->findText(QString::fromLatin1(priv)));
    d.PrivSecretEdit->setText(QString::fromUtf8(privSecret));
}

std::vector<std::string> ListTexts(const V3Dialog& d) {
    std::vector<std::string> texts;
    for (int i = 0; i < d.UserList->count(); ++i) texts.push_back(d.UserList->item(i)->text().toStdString());
    return texts;
}

TEST(V3Dialog, UsersTypedInTheFieldsAreMadeAndTheirSecretsLeaveTheFields) {
    V3Dialog dialog(nullptr);
    Type(dialog, "ruser", 2, "SHA", "authpass123", "AES-256-C", "privpass123");
    dialog.AddButton->click();
    EXPECT_TRUE(dialog.AuthSecretEdit->text().isEmpty());
    EXPECT_TRUE(dialog.PrivSecretEdit->text().isEmpty());
    Type(dialog, "nuser", 0, "MD5", "", "DES", "");
    dialog.AddButton->click();
    Type(dialog, "waiting", 1, "SHA-256", "", "DES", "");
    // A master key in hex: its field says so.
    dialog.AuthKindBox->setCurrentIndex(static_cast<int>(KeyKind::MasterKey));
    const auto labels = dialog.findChildren<QLabel*>();
    EXPECT_TRUE(std::any_of(labels.begin(), labels.end(),
                            [](QLabel* l) { return l->text() == QStringLiteral("認証キー(16進)"); }));
    dialog.UserList->setCurrentRow(1);
    dialog.RequestButton->click();
    EXPECT_EQ(ListTexts(dialog), (std::vector<std::string>{
                                     "ruser  authPriv  SHA / AES-256-C",
                                     "nuser  noAuthNoPriv  【要求】",
                                     "waiting  authNoPriv  SHA-256  【パスフレーズ（キー）未入力】",
                                 }));
    dialog.accept();
    const std::shared_ptr<V3Config> config = dialog.TakeConfig();
    ASSERT_NE(config, nullptr);
    ASSERT_NE(config->RequestUser(), nullptr);
    EXPECT_EQ(config->RequestUser()->name, "nuser");
    const UsmUser* ruser = config->users.Named("ruser");
    ASSERT_NE(ruser, nullptr);
    EXPECT_EQ(ruser->level, SecurityLevel::AuthPriv);
    EXPECT_EQ(ruser->priv, PrivProtocol::Aes256);
    EXPECT_EQ(ruser->extension, KeyExtension::Reeder);
    EXPECT_EQ(config->users.Named("waiting"), nullptr);  // no secret typed yet
    for (const V3UserValues& user : dialog.Accepted().users) EXPECT_TRUE(user.authSecret.empty());

    // Opened again with those keys held: ruser needs nothing more, until its
    // protocol changes, which its keys no longer fit.
    dialog.SetValues(dialog.Accepted(), config);
    EXPECT_EQ(ListTexts(dialog)[0], "ruser  authPriv  SHA / AES-256-C");
    EXPECT_EQ(dialog.AuthSecretEdit->placeholderText().toStdString(), "入力済み（変更する時だけ入力）");
    dialog.PrivBox->setCurrentIndex(dialog.PrivBox->findText(QStringLiteral("AES-256")));
    EXPECT_EQ(ListTexts(dialog)[0], "ruser  authPriv  SHA / AES-256  【パスフレーズ（キー）未入力】");
}

TEST(V3Dialog, ErrorsAreJapaneseAndTheButtonsStayWhereTheyWere) {
    V3Dialog dialog(nullptr);
    dialog.show();
    QApplication::processEvents();
    const QPoint ok = dialog.OkButton->mapTo(&dialog, QPoint(0, 0));
    const QSize size = dialog.size();
    const std::string name(32, 'n');
    struct Fault {
        const char* fault;
        const char* authSecret;
        int privKind;
        const char* privSecret;
        std::string error;
    };
    const Fault faults[] = {
        {"a short pass phrase", "short", 0, "privpass123", "ユーザー「" + name + "」：認証パスフレーズは8文字以上で入力して下さい。"},
        {"a localised key of a wrong length", "authpass123", 2, "00 11 22",
         "ユーザー「" + name + "」：暗号キーは20バイトか32バイトの16進数で入力して下さい。"},
    };
    for (const Fault& f : faults) {
        SCOPED_TRACE(f.fault);
        Type(dialog, name.c_str(), 2, "SHA", f.authSecret, "AES-256-C", f.privSecret);
        dialog.PrivKindBox->setCurrentIndex(f.privKind);
        dialog.KeysEngineIdEdit->setText(QStringLiteral("80 00 1F 88 04 71"));
        dialog.accept();
        QApplication::processEvents();
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_EQ(dialog.ErrorLabel->text().toStdString(), f.error);
        EXPECT_EQ(dialog.OkButton->mapTo(&dialog, QPoint(0, 0)), ok);
        EXPECT_EQ(dialog.size(), size);
        EXPECT_LE(dialog.ErrorLabel->heightForWidth(dialog.ErrorLabel->width()), dialog.ErrorLabel->height());
    }
    Type(dialog, "u", 0, "SHA", "", "AES", "");
    dialog.AddButton->click();
    Type(dialog, "u", 0, "SHA", "", "AES", "");
    dialog.accept();
    EXPECT_EQ(dialog.ErrorLabel->text().toStdString(), "ユーザー名「u」が重複しています。");
    EXPECT_EQ(dialog.OkButton->mapTo(&dialog, QPoint(0, 0)), ok);
}

}  // namespace
}  // namespace quillet
