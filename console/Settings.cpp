#include "console/Settings.h"

#include <algorithm>

#include "platform/PrivateFile.h"
#include "snmpv3/V3Lines.h"

namespace quillet {
namespace {

const QString kDetailsKey = QStringLiteral("display/details");
const QString kV3Users = QStringLiteral("snmpv3/users");
const QString kV3RequestUser = QStringLiteral("snmpv3/requestUser");
const QString kV3Context = QStringLiteral("snmpv3/contextName");
const QString kV3ContextEngine = QStringLiteral("snmpv3/contextEngineId");
const QString kPort = QStringLiteral("agent/port");
const QString kTimeoutMs = QStringLiteral("agent/timeoutMs");
const QString kRetries = QStringLiteral("agent/retries");
const QString kFields = QStringLiteral("fields/");
const QString kEngineId = QStringLiteral("engine/engineId");
const QString kEngineBoots = QStringLiteral("engine/engineBoots");
// One user per array entry.
const QString kName = QStringLiteral("name");
const QString kLevel = QStringLiteral("securityLevel");
const QString kAuth = QStringLiteral("authProtocol");
const QString kPriv = QStringLiteral("privProtocol");
const QString kExtension = QStringLiteral("keyExtension");
const QString kAuthKind = QStringLiteral("authKeyKind");
const QString kPrivKind = QStringLiteral("privKeyKind");
const QString kKeysEngine = QStringLiteral("keysEngineId");
// The one user of an earlier version.
const QString kOldUser = QStringLiteral("snmpv3/userName");
const QString kOldLevel = QStringLiteral("snmpv3/securityLevel");
const QString kOldAuth = QStringLiteral("snmpv3/authProtocol");
const QString kOldPriv = QStringLiteral("snmpv3/privProtocol");

// An enumerator from a number in the file, or `fallback` when out of range.
template <typename Enum>
Enum Ranged(const QVariant& value, int low, int high, Enum fallback) {
    bool number = false;
    const int n = value.toInt(&number);
    return number && n >= low && n <= high ? static_cast<Enum>(n) : fallback;
}

std::vector<std::uint8_t> OctetsOfHex(const QString& text) {
    std::uint8_t octets[kMaxEngineIdLength];
    std::size_t length = 0;
    if (!ParseHexOctets(text.toStdString(), octets, sizeof octets, length)) return {};
    return {octets, octets + length};
}

QString HexOfOctets(const std::vector<std::uint8_t>& octets) {
    std::string text;
    AppendHexOctets(text, octets.data(), octets.size());
    return QString::fromStdString(text);
}

}  // namespace

Settings::Settings(const std::string& file) {
    fileName_ = file.empty() ? QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Quillet"),
                                         QStringLiteral("quillet"))
                                   .fileName()
                             : QString::fromStdString(file);
    if (!MakePrivateFile(fileName_.toStdString(), problem_)) {
        kept_ = false;
        return;
    }
    settings_ = std::make_unique<QSettings>(fileName_, QSettings::IniFormat);
}

bool Settings::Save() {
    if (settings_ == nullptr) return false;
    settings_->sync();
    std::string why;
    if (settings_->status() != QSettings::NoError) {
        why = "書き込みに失敗しました: " + fileName_.toStdString();
    } else if (MakePrivateFile(fileName_.toStdString(), why)) {
        return true;
    }
    if (kept_) problem_ = why;
    kept_ = false;
    return false;
}

bool Settings::Details() const { return settings_ != nullptr && settings_->value(kDetailsKey, false).toBool(); }

bool Settings::SetDetails(bool on) {
    if (settings_ == nullptr) return false;
    settings_->setValue(kDetailsKey, on);
    return Save();
}

AgentTransport Settings::Transport(const AgentTransport& defaults) const {
    AgentTransport transport = defaults;
    if (settings_ == nullptr) return transport;
    bool good = false;
    const int port = settings_->value(kPort, transport.port).toInt(&good);
    if (good && port >= 1 && port <= 65535) transport.port = static_cast<std::uint16_t>(port);
    const int timeout = settings_->value(kTimeoutMs, transport.timeoutMs).toInt(&good);
    if (good && timeout >= kMinTimeoutMs && timeout <= kMaxTimeoutMs) transport.timeoutMs = timeout;
    const int retries = settings_->value(kRetries, transport.retries).toInt(&good);
    if (good && retries >= 0 && retries <= kMaxRetries) transport.retries = retries;
    return transport;
}

bool Settings::SetTransport(const AgentTransport& transport) {
    if (settings_ == nullptr) return false;
    settings_->setValue(kPort, transport.port);
    settings_->setValue(kTimeoutMs, transport.timeoutMs);
    settings_->setValue(kRetries, transport.retries);
    return Save();
}

Settings::Fields Settings::RequestFields() const {
    Fields fields;
    if (settings_ == nullptr) return fields;
    const auto text = [&](const char* key) {
        return settings_->value(kFields + QLatin1String(key)).toString().left(200).toStdString();
    };
    const auto number = [&](const char* key, int last) {
        bool good = false;
        const int value = settings_->value(kFields + QLatin1String(key), -1).toInt(&good);
        return good && value >= 0 && value <= last ? value : -1;
    };
    fields.agentAddress = text("agentAddress");
    fields.oid1 = text("oid1");
    fields.oid2 = text("oid2");
    fields.oid3 = text("oid3");
    fields.maxOid1 = text("maxOid1");
    fields.maxOid2 = text("maxOid2");
    fields.maxOid3 = text("maxOid3");
    fields.maxRepetitions = text("maxRepetitions");
    fields.version = number("version", 2);
    fields.dataType = number("dataType", 8);
    fields.nonRepeaters = number("nonRepeaters", 3);
    fields.repeaters = number("repeaters", 3);
    return fields;
}

bool Settings::SetRequestFields(const Fields& fields) {
    if (settings_ == nullptr) return false;
    const auto text = [&](const char* key, const std::string& value) {
        settings_->setValue(kFields + QLatin1String(key), QString::fromStdString(value));
    };
    text("agentAddress", fields.agentAddress);
    text("oid1", fields.oid1);
    text("oid2", fields.oid2);
    text("oid3", fields.oid3);
    text("maxOid1", fields.maxOid1);
    text("maxOid2", fields.maxOid2);
    text("maxOid3", fields.maxOid3);
    text("maxRepetitions", fields.maxRepetitions);
    settings_->setValue(kFields + QLatin1String("version"), fields.version);
    settings_->setValue(kFields + QLatin1String("dataType"), fields.dataType);
    settings_->setValue(kFields + QLatin1String("nonRepeaters"), fields.nonRepeaters);
    settings_->setValue(kFields + QLatin1String("repeaters"), fields.repeaters);
    return Save();
}

Settings::V3Choices Settings::V3() const {
    V3Choices choices;
    if (settings_ == nullptr) return choices;
    const UsmUserProfile defaults;
    const int count = settings_->beginReadArray(kV3Users);
    for (int i = 0; i < count; ++i) {
        settings_->setArrayIndex(i);
        UsmUserProfile user;
        user.name = settings_->value(kName).toString().toStdString();
        user.level = Ranged(settings_->value(kLevel), 0, 2, defaults.level);
        user.auth = Ranged(settings_->value(kAuth), 1, 6, defaults.auth);
        user.priv = Ranged(settings_->value(kPriv), 1, 4, defaults.priv);
        user.extension = Ranged(settings_->value(kExtension), 0, 1, defaults.extension);
        user.authKind = Ranged(settings_->value(kAuthKind), 0, 2, defaults.authKind);
        user.privKind = Ranged(settings_->value(kPrivKind), 0, 2, defaults.privKind);
        user.keysEngineId = OctetsOfHex(settings_->value(kKeysEngine).toString());
        choices.users.push_back(std::move(user));
    }
    settings_->endArray();
    choices.requestUser = settings_->value(kV3RequestUser).toString().toStdString();
    const QString oldName = settings_->value(kOldUser).toString();
    if (count == 0 && !oldName.isEmpty()) {
        UsmUserProfile user;
        user.name = oldName.toStdString();
        user.level = Ranged(settings_->value(kOldLevel), 0, 2, SecurityLevel::NoAuthNoPriv);
        user.auth = Ranged(settings_->value(kOldAuth), 1, 6, defaults.auth);
        user.priv = Ranged(settings_->value(kOldPriv), 1, 4, defaults.priv);
        choices.users.push_back(user);
        choices.requestUser = user.name;
    }
    choices.contextName = settings_->value(kV3Context).toString().toStdString();
    choices.contextEngineIdHex = settings_->value(kV3ContextEngine).toString().toStdString();
    return choices;
}

bool Settings::SetV3(const V3Choices& choices) {
    if (settings_ == nullptr) return false;
    for (const QString& old : {kOldUser, kOldLevel, kOldAuth, kOldPriv}) settings_->remove(old);
    settings_->remove(kV3Users);
    settings_->beginWriteArray(kV3Users, static_cast<int>(choices.users.size()));
    for (std::size_t i = 0; i < choices.users.size(); ++i) {
        const UsmUserProfile& user = choices.users[i];
        settings_->setArrayIndex(static_cast<int>(i));
        settings_->setValue(kName, QString::fromStdString(user.name));
        settings_->setValue(kLevel, static_cast<int>(user.level));
        settings_->setValue(kAuth, static_cast<int>(user.auth));
        settings_->setValue(kPriv, static_cast<int>(user.priv));
        settings_->setValue(kExtension, static_cast<int>(user.extension));
        settings_->setValue(kAuthKind, static_cast<int>(user.authKind));
        settings_->setValue(kPrivKind, static_cast<int>(user.privKind));
        settings_->setValue(kKeysEngine, HexOfOctets(user.keysEngineId));
    }
    settings_->endArray();
    settings_->setValue(kV3RequestUser, QString::fromStdString(choices.requestUser));
    settings_->setValue(kV3Context, QString::fromStdString(choices.contextName));
    settings_->setValue(kV3ContextEngine, QString::fromStdString(choices.contextEngineIdHex));
    return Save();
}

QByteArray Settings::EngineId() const {
    if (settings_ == nullptr) return {};
    return QByteArray::fromHex(settings_->value(kEngineId).toByteArray());
}

bool Settings::NextEngineBoots(std::uint32_t& boots) {
    boots = 0;
    if (settings_ == nullptr) return false;
    const std::uint32_t kept = settings_->value(kEngineBoots, 0u).toUInt();
    if (kept >= kMaxEngineCounter - 1) return false;
    settings_->setValue(kEngineBoots, kept + 1);
    if (!Save()) return false;
    boots = kept + 1;
    return true;
}

bool Settings::SetNewEngine(const QByteArray& id) {
    if (settings_ == nullptr) return false;
    settings_->setValue(kEngineId, QString::fromLatin1(id.toHex()));
    settings_->setValue(kEngineBoots, 1u);
    return Save();
}

}  // namespace quillet
