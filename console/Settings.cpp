#include "console/Settings.h"

namespace quillet {
namespace {

const QString kDetailsKey = QStringLiteral("display/details");
const QString kV3User = QStringLiteral("snmpv3/userName");
const QString kV3Level = QStringLiteral("snmpv3/securityLevel");
const QString kV3Auth = QStringLiteral("snmpv3/authProtocol");
const QString kV3Priv = QStringLiteral("snmpv3/privProtocol");
const QString kV3Context = QStringLiteral("snmpv3/contextName");
const QString kV3ContextEngine = QStringLiteral("snmpv3/contextEngineId");
const QString kEngineId = QStringLiteral("engine/engineId");
const QString kEngineBoots = QStringLiteral("engine/engineBoots");

}  // namespace

Settings::Settings(const std::string& file)
    : settings_(file.empty()
                    ? std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Quillet"),
                                                  QStringLiteral("quillet"))
                    : std::make_unique<QSettings>(QString::fromStdString(file), QSettings::IniFormat)) {}

bool Settings::Details() const { return settings_->value(kDetailsKey, false).toBool(); }

void Settings::SetDetails(bool on) {
    settings_->setValue(kDetailsKey, on);
    settings_->sync();
}

Settings::V3Choices Settings::V3() const {
    V3Choices choices;
    choices.userName = settings_->value(kV3User).toString();
    choices.level = settings_->value(kV3Level, choices.level).toInt();
    choices.auth = settings_->value(kV3Auth, choices.auth).toInt();
    choices.priv = settings_->value(kV3Priv, choices.priv).toInt();
    choices.contextName = settings_->value(kV3Context).toString();
    choices.contextEngineId = settings_->value(kV3ContextEngine).toString();
    return choices;
}

void Settings::SetV3(const V3Choices& choices) {
    settings_->setValue(kV3User, choices.userName);
    settings_->setValue(kV3Level, choices.level);
    settings_->setValue(kV3Auth, choices.auth);
    settings_->setValue(kV3Priv, choices.priv);
    settings_->setValue(kV3Context, choices.contextName);
    settings_->setValue(kV3ContextEngine, choices.contextEngineId);
    settings_->sync();
}

QByteArray Settings::EngineId() const { return QByteArray::fromHex(settings_->value(kEngineId).toByteArray()); }

void Settings::SetEngineId(const QByteArray& id) {
    settings_->setValue(kEngineId, QString::fromLatin1(id.toHex()));
    settings_->sync();
}

std::uint32_t Settings::NextEngineBoots() {
    const std::uint32_t boots = settings_->value(kEngineBoots, 0u).toUInt() + 1;
    settings_->setValue(kEngineBoots, boots);
    settings_->sync();
    return boots;
}

}  // namespace quillet
