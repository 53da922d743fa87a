// What the console remembers for the user between runs: the window's
// remembered choices, in one settings file under the user's configuration
// directory (~/.config/Quillet/quillet.ini on Linux). It is the only file
// the console reads besides its log. GUI thread only.
#pragma once

#include <QSettings>
#include <QString>

#include <cstdint>
#include <memory>
#include <string>

namespace quillet {

class Settings {
public:
    // `file` empty: the user's settings file; else that file (tests).
    explicit Settings(const std::string& file);

    bool Details() const;
    void SetDetails(bool on);

    // The SNMPv3 dialog's choices, without its pass phrases, which are never
    // written anywhere.
    struct V3Choices {
        QString userName;
        int level = 0;         // SecurityLevel
        int auth = 4;          // AuthProtocol (SHA-256)
        int priv = 2;          // PrivProtocol (AES-128)
        QString contextName;
        QString contextEngineId;  // hex, may be empty
    };
    V3Choices V3() const;
    void SetV3(const V3Choices& choices);

    // The console's own SNMP engine ID (made once, from random octets, and
    // kept), and its boots, counted up by one at each start.
    QByteArray EngineId() const;
    void SetEngineId(const QByteArray& id);
    std::uint32_t NextEngineBoots();

    // The file's path, for the README and the tests.
    QString FileName() const { return settings_->fileName(); }
    QSettings& Raw() { return *settings_; }

private:
    std::unique_ptr<QSettings> settings_;
};

}  // namespace quillet
