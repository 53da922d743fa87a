#include "console/V3Dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace quillet {
namespace {

// Hex text of 2 to 64 digits, blanks allowed between octets; false otherwise.
bool ParseHexOctets(const std::string& text, std::vector<std::uint8_t>& octets) {
    octets.clear();
    int high = -1;
    for (char c : text) {
        if (c == ' ' || c == ':') continue;
        int nibble;
        if (c >= '0' && c <= '9') nibble = c - '0';
        else if (c >= 'a' && c <= 'f') nibble = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F') nibble = c - 'A' + 10;
        else return false;
        if (high < 0) {
            high = nibble;
        } else {
            octets.push_back(static_cast<std::uint8_t>(high << 4 | nibble));
            high = -1;
        }
    }
    return high < 0;
}

}  // namespace

bool MakeV3Config(const V3DialogValues& values, V3Config& config, std::string& error) {
    const bool auth = values.level != SecurityLevel::NoAuthNoPriv;
    const bool priv = values.level == SecurityLevel::AuthPriv;
    if (values.userName.empty() || values.userName.size() > kMaxUserNameLength) {
        error = "ユーザー名は1～32バイトで入力して下さい。";
        return false;
    }
    UsmUser user;
    if (!MakeUserFromPassPhrases(values.userName, auth ? values.auth : AuthProtocol::None, values.authPassPhrase,
                                 priv ? values.priv : PrivProtocol::None, values.privPassPhrase, user, error))
        return false;
    std::vector<std::uint8_t> contextEngineId;
    if (!ParseHexOctets(values.contextEngineIdHex, contextEngineId) ||
        (!contextEngineId.empty() &&
         (contextEngineId.size() < kMinEngineIdLength || contextEngineId.size() > kMaxEngineIdLength))) {
        error = "コンテキストエンジンIDは5～32バイトの16進数で入力して下さい（省略可）。";
        return false;
    }
    config.users = UsmUserTable();
    config.requestUser = user.name;
    config.users.Add(user);
    config.contextName = values.contextName;
    config.contextEngineId = contextEngineId;
    error.clear();
    return true;
}

V3Dialog::V3Dialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("SNMPv3設定"));
    auto* form = new QFormLayout;
    UserEdit = new QLineEdit(this);
    LevelBox = new QComboBox(this);
    LevelBox->addItems({QStringLiteral("noAuthNoPriv"), QStringLiteral("authNoPriv"), QStringLiteral("authPriv")});
    AuthBox = new QComboBox(this);
    for (AuthProtocol p : {AuthProtocol::Md5, AuthProtocol::Sha1, AuthProtocol::Sha224, AuthProtocol::Sha256,
                           AuthProtocol::Sha384, AuthProtocol::Sha512})
        AuthBox->addItem(QString::fromLatin1(AuthProtocolName(p)), static_cast<int>(p));
    AuthPassEdit = new QLineEdit(this);
    AuthPassEdit->setEchoMode(QLineEdit::Password);
    PrivBox = new QComboBox(this);
    for (PrivProtocol p : {PrivProtocol::Des, PrivProtocol::Aes128, PrivProtocol::Aes192, PrivProtocol::Aes256})
        PrivBox->addItem(QString::fromLatin1(PrivProtocolName(p)), static_cast<int>(p));
    PrivPassEdit = new QLineEdit(this);
    PrivPassEdit->setEchoMode(QLineEdit::Password);
    ContextNameEdit = new QLineEdit(this);
    ContextEngineIdEdit = new QLineEdit(this);
    ContextEngineIdEdit->setPlaceholderText(QStringLiteral("省略時はエージェントのエンジンID"));
    form->addRow(QStringLiteral("ユーザー名"), UserEdit);
    form->addRow(QStringLiteral("セキュリティレベル"), LevelBox);
    form->addRow(QStringLiteral("認証プロトコル"), AuthBox);
    form->addRow(QStringLiteral("認証パスフレーズ"), AuthPassEdit);
    form->addRow(QStringLiteral("暗号プロトコル"), PrivBox);
    form->addRow(QStringLiteral("暗号パスフレーズ"), PrivPassEdit);
    form->addRow(QStringLiteral("コンテキスト名"), ContextNameEdit);
    form->addRow(QStringLiteral("コンテキストエンジンID(16進)"), ContextEngineIdEdit);
    ErrorLabel = new QLabel(this);
    QPalette palette = ErrorLabel->palette();
    palette.setColor(QPalette::WindowText, Qt::red);
    ErrorLabel->setPalette(palette);
    ErrorLabel->setWordWrap(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("キャンセル"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(ErrorLabel);
    layout->addWidget(buttons);
    connect(LevelBox, &QComboBox::currentIndexChanged, this, [this] { EnableByLevel(); });
    SetValues(V3DialogValues{});
}

void V3Dialog::SetValues(const V3DialogValues& values) {
    UserEdit->setText(QString::fromStdString(values.userName));
    LevelBox->setCurrentIndex(static_cast<int>(values.level));
    AuthBox->setCurrentIndex(std::max(0, AuthBox->findData(static_cast<int>(values.auth))));
    AuthPassEdit->setText(QString::fromStdString(values.authPassPhrase));
    PrivBox->setCurrentIndex(std::max(0, PrivBox->findData(static_cast<int>(values.priv))));
    PrivPassEdit->setText(QString::fromStdString(values.privPassPhrase));
    ContextNameEdit->setText(QString::fromStdString(values.contextName));
    ContextEngineIdEdit->setText(QString::fromStdString(values.contextEngineIdHex));
    EnableByLevel();
}

V3DialogValues V3Dialog::Values() const {
    V3DialogValues values;
    values.userName = UserEdit->text().toStdString();
    values.level = static_cast<SecurityLevel>(LevelBox->currentIndex());
    values.auth = static_cast<AuthProtocol>(AuthBox->currentData().toInt());
    values.authPassPhrase = AuthPassEdit->text().toStdString();
    values.priv = static_cast<PrivProtocol>(PrivBox->currentData().toInt());
    values.privPassPhrase = PrivPassEdit->text().toStdString();
    values.contextName = ContextNameEdit->text().toStdString();
    values.contextEngineIdHex = ContextEngineIdEdit->text().toStdString();
    return values;
}

void V3Dialog::EnableByLevel() {
    const int level = LevelBox->currentIndex();
    AuthBox->setEnabled(level >= 1);
    AuthPassEdit->setEnabled(level >= 1);
    PrivBox->setEnabled(level >= 2);
    PrivPassEdit->setEnabled(level >= 2);
}

void V3Dialog::accept() {
    std::string error;
    V3Config config;
    if (!MakeV3Config(Values(), config, error)) {
        ErrorLabel->setText(QString::fromStdString(error));
        return;
    }
    config_ = config;
    ErrorLabel->clear();
    QDialog::accept();
}

}  // namespace quillet
