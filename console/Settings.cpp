#include "console/Settings.h"

namespace quillet {
namespace {

const QString kDetailsKey = QStringLiteral("display/details");

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

}  // namespace quillet
