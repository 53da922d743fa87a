// What the console remembers for the user between runs: the window's
// remembered choices, in one settings file under the user's configuration
// directory (~/.config/Quillet/quillet.ini on Linux). It is the only file
// the console reads besides its log. GUI thread only.
#pragma once

#include <QSettings>
#include <QString>

#include <memory>
#include <string>

namespace quillet {

class Settings {
public:
    // `file` empty: the user's settings file; else that file (tests).
    explicit Settings(const std::string& file);

    bool Details() const;
    void SetDetails(bool on);

    // The file's path, for the README and the tests.
    QString FileName() const { return settings_->fileName(); }
    QSettings& Raw() { return *settings_; }

private:
    std::unique_ptr<QSettings> settings_;
};

}  // namespace quillet
