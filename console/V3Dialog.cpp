#include "console/V3Dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

#include "snmpv3/Libcrypto.h"
#include "snmpv3/V3Lines.h"

namespace quillet {
namespace {

constexpr const char* kContextEngineIdError = "コンテキストエンジンIDは5～32バイトの16進数で入力して下さい（省略可）。";
constexpr const char* kHeldPlaceholder = "入力済み（変更する時だけ入力）";
constexpr const char* kMissingPlaceholder = "未入力";
// Rows the list shows without a scroll bar, and lines the error keeps room
// for, so that nothing below them moves when either fills.
constexpr int kListRows = 5;
constexpr int kErrorLines = 3;
constexpr int kListColumns = 72;

const char* const kLevelNames[] = {"noAuthNoPriv", "authNoPriv", "authPriv"};
const char* const kKindNames[] = {"パスフレーズ", "マスターキー(16進)", "ローカライズ済みキー(16進)"};

// The privacy box's item data: the protocol, and the extension above it.
int PrivData(PrivProtocol priv, KeyExtension extension) {
    return static_cast<int>(priv) | static_cast<int>(extension) << 8;
}

bool UsesLocalizedKey(const UsmUserProfile& profile) {
    return (NeedsAuthSecret(profile) && profile.authKind == KeyKind::LocalizedKey) ||
           (NeedsPrivSecret(profile) && profile.privKind == KeyKind::LocalizedKey);
}

// The user of `config` whose keys still serve `profile`, or null.
const UsmUser* HeldUserFor(const V3Config* config, const UsmUserProfile& profile) {
    if (config == nullptr) return nullptr;
    const UsmUser* user = config->users.Named(profile.name);
    if (user == nullptr) return nullptr;
    const bool auth = NeedsAuthSecret(profile);
    const bool priv = NeedsPrivSecret(profile);
    if (user->level != profile.level || user->auth != (auth ? profile.auth : AuthProtocol::None) ||
        user->priv != (priv ? profile.priv : PrivProtocol::None))
        return nullptr;
    if (priv && IsExtensible(profile.priv) && user->extension != profile.extension) return nullptr;
    const bool localised = UsesLocalizedKey(profile);
    if (localised ? user->keysEngineId != profile.keysEngineId : !user->keysEngineId.empty()) return nullptr;
    return user;
}

// Takes the text of a secret field into `out` (replacing and wiping what
// `out` held) and empties the field. Wiped here: the field's text buffer,
// which this code holds alone once the field is emptied, and the UTF-8
// copy. Not reachable from here: the buffers the field let go of while the
// operator typed, the characters its undo history recorded (freed, not
// wiped, when the text is set), and whatever input methods kept.
void TakeSecret(QLineEdit* edit, std::string& out) {
    QString text = edit->text();
    if (text.isEmpty()) return;
    // setText, not clear(): clear() records every removed character in the
    // undo history; setText drops the history.
    edit->setText(QString());
    QByteArray utf8 = text.toUtf8();
    WipeString(out);
    out.assign(utf8.constData(), static_cast<std::size_t>(utf8.size()));
    WipeOctets(utf8.data(), static_cast<std::size_t>(utf8.size()));
    WipeOctets(text.data(), static_cast<std::size_t>(text.size()) * sizeof(QChar));
}

// Clears a secret field, wiping its text as TakeSecret does.
void WipeField(QLineEdit* edit) {
    std::string discarded;
    TakeSecret(edit, discarded);
    WipeString(discarded);
}

std::vector<std::uint8_t> OctetsOfHex(const std::string& text, bool& valid) {
    std::uint8_t octets[kMaxEngineIdLength];
    std::size_t length = 0;
    valid = ParseHexOctets(text, octets, sizeof octets, length);
    return {octets, octets + length};
}

std::string HexOf(const std::vector<std::uint8_t>& octets) {
    std::string text;
    AppendHexOctets(text, octets.data(), octets.size());
    return text;
}

}  // namespace

V3UserValues::~V3UserValues() {
    WipeString(authSecret);
    WipeString(privSecret);
}

bool HoldsUser(const V3Config* config, const UsmUserProfile& profile) {
    return HeldUserFor(config, profile) != nullptr;
}

bool MakeV3Config(const V3DialogValues& values, const V3Config* held, V3Config& config, std::string& error,
                  int* badUser) {
    config = V3Config{};
    error.clear();
    if (badUser != nullptr) *badUser = -1;
    const auto fail = [&](int index, std::string text) {
        error = std::move(text);
        if (badUser != nullptr) *badUser = index;
        return false;
    };
    for (std::size_t i = 0; i < values.users.size(); ++i) {
        const V3UserValues& entry = values.users[i];
        const UsmUserProfile& profile = entry.profile;
        const int index = static_cast<int>(i);
        if (profile.name.empty() || profile.name.size() > kMaxUserNameLength)
            return fail(index, "ユーザー名は1～32バイトで入力して下さい。");
        for (std::size_t j = 0; j < i; ++j)
            if (values.users[j].profile.name == profile.name)
                return fail(index, "ユーザー名「" + profile.name + "」が重複しています。");
        const bool typed = !entry.authSecret.empty() || !entry.privSecret.empty();
        if (typed || !NeedsAuthSecret(profile)) {
            UsmUser user;
            std::string why;
            if (!MakeUser(profile, entry.authSecret, entry.privSecret, user, why))
                return fail(index, "ユーザー「" + profile.name + "」：" + why);
            config.users.Add(std::move(user));
        } else if (const UsmUser* kept = HeldUserFor(held, profile)) {
            config.users.Add(*kept);
        }
    }
    bool valid = false;
    config.contextEngineId = OctetsOfHex(values.contextEngineIdHex, valid);
    if (!valid || (!config.contextEngineId.empty() && (config.contextEngineId.size() < kMinEngineIdLength ||
                                                        config.contextEngineId.size() > kMaxEngineIdLength)))
        return fail(-1, kContextEngineIdError);
    config.requestUser = values.requestUser;
    config.contextName = values.contextName;
    return true;
}

V3Dialog::V3Dialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("SNMPv3設定"));
    UserList = new QListWidget(this);
    UserList->setFixedHeight(UserList->fontMetrics().lineSpacing() * kListRows + 2 * UserList->frameWidth() + 4);
    // Wide enough for a 32-octet name with its level, protocols and marks.
    UserList->setMinimumWidth(UserList->fontMetrics().horizontalAdvance(QString(kListColumns, QLatin1Char('n'))));
    AddButton = new QPushButton(QStringLiteral("追加"), this);
    RemoveButton = new QPushButton(QStringLiteral("削除"), this);
    RequestButton = new QPushButton(QStringLiteral("要求に使う"), this);
    RequestButton->setToolTip(QStringLiteral("選んだユーザーでGET等の要求を送ります。"));
    auto* listButtons = new QVBoxLayout;
    for (QPushButton* button : {AddButton, RemoveButton, RequestButton}) listButtons->addWidget(button);
    listButtons->addStretch();
    auto* listRow = new QHBoxLayout;
    listRow->addWidget(UserList, 1);
    listRow->addLayout(listButtons);

    UserEdit = new QLineEdit(this);
    LevelBox = new QComboBox(this);
    for (const char* name : kLevelNames) LevelBox->addItem(QString::fromLatin1(name));
    AuthBox = new QComboBox(this);
    for (AuthProtocol p : {AuthProtocol::Md5, AuthProtocol::Sha1, AuthProtocol::Sha224, AuthProtocol::Sha256,
                           AuthProtocol::Sha384, AuthProtocol::Sha512})
        AuthBox->addItem(QString::fromLatin1(AuthProtocolName(p)), static_cast<int>(p));
    const auto makeKindBox = [this] {
        auto* box = new QComboBox(this);
        for (const char* name : kKindNames) box->addItem(QString::fromUtf8(name));
        return box;
    };
    AuthKindBox = makeKindBox();
    AuthSecretEdit = new QLineEdit(this);
    PrivBox = new QComboBox(this);
    for (const auto& [p, e] : {std::pair{PrivProtocol::Des, KeyExtension::Blumenthal},
                               {PrivProtocol::Aes128, KeyExtension::Blumenthal},
                               {PrivProtocol::Aes192, KeyExtension::Blumenthal},
                               {PrivProtocol::Aes256, KeyExtension::Blumenthal},
                               {PrivProtocol::Aes192, KeyExtension::Reeder},
                               {PrivProtocol::Aes256, KeyExtension::Reeder}})
        PrivBox->addItem(QString::fromLatin1(PrivProtocolName(p, e)), PrivData(p, e));
    PrivBox->setToolTip(QStringLiteral("AES-192/AES-256はBlumenthal方式、AES-192-C/AES-256-CはReeder方式で"
                                       "短い鍵を延長します（net-snmpの-xと同じ名前）。"));
    PrivKindBox = makeKindBox();
    PrivSecretEdit = new QLineEdit(this);
    for (QLineEdit* secret : {AuthSecretEdit, PrivSecretEdit}) secret->setEchoMode(QLineEdit::Password);
    KeysEngineIdEdit = new QLineEdit(this);
    KeysEngineIdEdit->setPlaceholderText(QStringLiteral("ローカライズ済みキーのとき"));
    auto* userForm = userForm_ = new QFormLayout;
    userForm->addRow(QStringLiteral("ユーザー名"), UserEdit);
    userForm->addRow(QStringLiteral("セキュリティレベル"), LevelBox);
    userForm->addRow(QStringLiteral("認証プロトコル"), AuthBox);
    userForm->addRow(QStringLiteral("認証キーの種類"), AuthKindBox);
    userForm->addRow(QStringLiteral("認証パスフレーズ"), AuthSecretEdit);
    userForm->addRow(QStringLiteral("暗号プロトコル"), PrivBox);
    userForm->addRow(QStringLiteral("暗号キーの種類"), PrivKindBox);
    userForm->addRow(QStringLiteral("暗号パスフレーズ"), PrivSecretEdit);
    userForm->addRow(QStringLiteral("キーのエンジンID(16進)"), KeysEngineIdEdit);

    ContextNameEdit = new QLineEdit(this);
    ContextEngineIdEdit = new QLineEdit(this);
    ContextEngineIdEdit->setPlaceholderText(QStringLiteral("省略時はエージェントのエンジンID"));
    userForm->addRow(QStringLiteral("コンテキスト名"), ContextNameEdit);
    userForm->addRow(QStringLiteral("コンテキストエンジンID(16進)"), ContextEngineIdEdit);

    ErrorLabel = new QLabel(this);
    QPalette palette = ErrorLabel->palette();
    palette.setColor(QPalette::WindowText, Qt::red);
    ErrorLabel->setPalette(palette);
    ErrorLabel->setWordWrap(true);
    ErrorLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // Room for the longest error kept whether one is shown or not: the
    // buttons below never move.
    ErrorLabel->setFixedHeight(ErrorLabel->fontMetrics().lineSpacing() * kErrorLines);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    OkButton = buttons->button(QDialogButtonBox::Ok);
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("キャンセル"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("ユーザー一覧"), this));
    layout->addLayout(listRow);
    layout->addLayout(userForm);
    layout->addWidget(ErrorLabel);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(UserList, &QListWidget::currentRowChanged, this, [this](int row) {
        if (loading_ || row < 0 || row == current_) return;
        CommitEditor();
        current_ = row;
        LoadEditor();
        ShowList();
    });
    connect(AddButton, &QPushButton::clicked, this, [this] {
        CommitEditor();
        users_.emplace_back();
        if (requestRow_ < 0) requestRow_ = static_cast<int>(users_.size()) - 1;
        Select(static_cast<int>(users_.size()) - 1);
        UserEdit->setFocus();
    });
    connect(RemoveButton, &QPushButton::clicked, this, [this] {
        if (current_ < 0) return;
        WipeField(AuthSecretEdit);
        WipeField(PrivSecretEdit);
        users_.erase(users_.begin() + current_);
        if (requestRow_ == current_) requestRow_ = users_.empty() ? -1 : 0;
        else if (requestRow_ > current_) --requestRow_;
        // One empty user stays, to be typed into.
        if (users_.empty()) users_.emplace_back();
        if (requestRow_ < 0) requestRow_ = 0;
        current_ = -1;
        Select(0);
    });
    connect(RequestButton, &QPushButton::clicked, this, [this] {
        CommitEditor();
        requestRow_ = current_;
        ShowList();
    });
    const auto edited = [this] {
        if (loading_) return;
        CommitProfile();
        EnableFields();
        ShowList();
        ShowPlaceholders();
    };
    connect(UserEdit, &QLineEdit::textEdited, this, edited);
    connect(KeysEngineIdEdit, &QLineEdit::textEdited, this, edited);
    for (QComboBox* box : {LevelBox, AuthBox, AuthKindBox, PrivBox, PrivKindBox})
        connect(box, &QComboBox::currentIndexChanged, this, edited);
    SetValues(V3DialogValues{});
}

V3Dialog::~V3Dialog() {
    WipeField(AuthSecretEdit);
    WipeField(PrivSecretEdit);
}

void V3Dialog::SetValues(const V3DialogValues& values, std::shared_ptr<const V3Config> held) {
    WipeField(AuthSecretEdit);
    WipeField(PrivSecretEdit);
    held_ = std::move(held);
    users_ = values.users;
    requestRow_ = -1;
    for (std::size_t i = 0; i < users_.size(); ++i)
        if (users_[i].profile.name == values.requestUser) requestRow_ = static_cast<int>(i);
    if (users_.empty()) users_.emplace_back();
    if (requestRow_ < 0 && values.requestUser.empty() && users_.size() == 1) requestRow_ = 0;
    loading_ = true;
    ContextNameEdit->setText(QString::fromStdString(values.contextName));
    ContextEngineIdEdit->setText(QString::fromStdString(values.contextEngineIdHex));
    loading_ = false;
    ErrorLabel->clear();
    current_ = -1;
    Select(0);
}

V3DialogValues V3Dialog::Values() {
    CommitEditor();
    V3DialogValues values;
    values.users = users_;
    if (requestRow_ >= 0 && requestRow_ < static_cast<int>(users_.size()))
        values.requestUser = users_[static_cast<std::size_t>(requestRow_)].profile.name;
    values.contextName = ContextNameEdit->text().toStdString();
    values.contextEngineIdHex = ContextEngineIdEdit->text().toStdString();
    return values;
}

void V3Dialog::CommitEditor() {
    if (current_ < 0 || current_ >= static_cast<int>(users_.size())) return;
    CommitProfile();
    V3UserValues& user = users_[static_cast<std::size_t>(current_)];
    TakeSecret(AuthSecretEdit, user.authSecret);
    TakeSecret(PrivSecretEdit, user.privSecret);
    ShowPlaceholders();
}

void V3Dialog::CommitProfile() {
    if (current_ < 0 || current_ >= static_cast<int>(users_.size())) return;
    UsmUserProfile& profile = users_[static_cast<std::size_t>(current_)].profile;
    profile.name = UserEdit->text().toStdString();
    profile.level = static_cast<SecurityLevel>(std::max(0, LevelBox->currentIndex()));
    profile.auth = static_cast<AuthProtocol>(AuthBox->currentData().toInt());
    profile.authKind = static_cast<KeyKind>(std::max(0, AuthKindBox->currentIndex()));
    const int priv = PrivBox->currentData().toInt();
    profile.priv = static_cast<PrivProtocol>(priv & 0xFF);
    profile.extension = static_cast<KeyExtension>(priv >> 8);
    profile.privKind = static_cast<KeyKind>(std::max(0, PrivKindBox->currentIndex()));
    bool valid = false;
    profile.keysEngineId = OctetsOfHex(KeysEngineIdEdit->text().toStdString(), valid);
}

void V3Dialog::ShowPlaceholders() {
    if (current_ < 0 || current_ >= static_cast<int>(users_.size())) return;
    const V3UserValues& user = users_[static_cast<std::size_t>(current_)];
    const bool held = HoldsUser(held_.get(), user.profile);
    AuthSecretEdit->setPlaceholderText(QString::fromUtf8(held || !user.authSecret.empty() ? kHeldPlaceholder
                                                                                          : kMissingPlaceholder));
    PrivSecretEdit->setPlaceholderText(QString::fromUtf8(held || !user.privSecret.empty() ? kHeldPlaceholder
                                                                                          : kMissingPlaceholder));
}

void V3Dialog::LoadEditor() {
    if (current_ < 0 || current_ >= static_cast<int>(users_.size())) return;
    const UsmUserProfile& profile = users_[static_cast<std::size_t>(current_)].profile;
    loading_ = true;
    UserEdit->setText(QString::fromStdString(profile.name));
    LevelBox->setCurrentIndex(static_cast<int>(profile.level));
    AuthBox->setCurrentIndex(std::max(0, AuthBox->findData(static_cast<int>(profile.auth))));
    AuthKindBox->setCurrentIndex(static_cast<int>(profile.authKind));
    PrivBox->setCurrentIndex(std::max(0, PrivBox->findData(PrivData(profile.priv, profile.extension))));
    PrivKindBox->setCurrentIndex(static_cast<int>(profile.privKind));
    KeysEngineIdEdit->setText(QString::fromStdString(HexOf(profile.keysEngineId)));
    loading_ = false;
    ShowPlaceholders();
    EnableFields();
}

void V3Dialog::ShowList() {
    loading_ = true;
    UserList->clear();
    for (std::size_t i = 0; i < users_.size(); ++i) {
        const V3UserValues& user = users_[i];
        const UsmUserProfile& p = user.profile;
        std::string text = p.name.empty() ? "（名前なし）" : p.name;
        text += std::string("  ") + kLevelNames[static_cast<int>(p.level)];
        if (NeedsAuthSecret(p)) text += std::string("  ") + AuthProtocolName(p.auth);
        if (NeedsPrivSecret(p)) text += std::string(" / ") + PrivProtocolName(p.priv, p.extension);
        if (static_cast<int>(i) == requestRow_) text += "  【要求】";
        const bool typed = !user.authSecret.empty() && (!NeedsPrivSecret(p) || !user.privSecret.empty());
        if (NeedsAuthSecret(p) && !typed && !HoldsUser(held_.get(), p)) text += "  【パスフレーズ（キー）未入力】";
        UserList->addItem(QString::fromStdString(text));
    }
    UserList->setCurrentRow(current_);
    loading_ = false;
}

void V3Dialog::Select(int row) {
    CommitEditor();
    current_ = std::clamp(row, 0, static_cast<int>(users_.size()) - 1);
    LoadEditor();
    ShowList();
}

void V3Dialog::EnableFields() {
    const int level = LevelBox->currentIndex();
    for (QWidget* field : {static_cast<QWidget*>(AuthBox), static_cast<QWidget*>(AuthKindBox),
                           static_cast<QWidget*>(AuthSecretEdit)})
        field->setEnabled(level >= 1);
    for (QWidget* field : {static_cast<QWidget*>(PrivBox), static_cast<QWidget*>(PrivKindBox),
                           static_cast<QWidget*>(PrivSecretEdit)})
        field->setEnabled(level >= 2);
    const auto localised = [](QComboBox* box) { return box->currentIndex() == static_cast<int>(KeyKind::LocalizedKey); };
    KeysEngineIdEdit->setEnabled((level >= 1 && localised(AuthKindBox)) || (level >= 2 && localised(PrivKindBox)));
    // The secret's label names what is typed: a pass phrase or a key.
    const auto name = [this](QComboBox* kind, QLineEdit* secret, const char* which) {
        auto* label = qobject_cast<QLabel*>(userForm_->labelForField(secret));
        const bool phrase = kind->currentIndex() == static_cast<int>(KeyKind::PassPhrase);
        if (label != nullptr)
            label->setText(QString::fromUtf8(which) + (phrase ? QStringLiteral("パスフレーズ") : QStringLiteral("キー(16進)")));
    };
    name(AuthKindBox, AuthSecretEdit, "認証");
    name(PrivKindBox, PrivSecretEdit, "暗号");
    RemoveButton->setEnabled(current_ >= 0);
    RequestButton->setEnabled(current_ >= 0);
}

void V3Dialog::accept() {
    const V3DialogValues values = Values();
    std::string error;
    auto config = std::make_shared<V3Config>();
    int bad = -1;
    if (!MakeV3Config(values, held_.get(), *config, error, &bad)) {
        ErrorLabel->setText(QString::fromStdString(error));
        if (bad >= 0) Select(bad);
        return;
    }
    config_ = std::move(config);
    accepted_ = values;
    for (V3UserValues& user : accepted_.users) {
        WipeString(user.authSecret);
        WipeString(user.privSecret);
    }
    for (V3UserValues& user : users_) {
        WipeString(user.authSecret);
        WipeString(user.privSecret);
    }
    ErrorLabel->clear();
    QDialog::accept();
}

}  // namespace quillet
