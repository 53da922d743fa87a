// The SNMPv3 settings of the console: the user, its security level, the
// authentication and privacy protocols with their pass phrases, the context
// name and an optional context engine ID. Opened by the button beside the
// version group; its OK makes the user's keys and hands them to the window.
#pragma once

#include <QDialog>

#include <string>

#include "request/V3Session.h"

class QComboBox;
class QLabel;
class QLineEdit;

namespace quillet {

// What the dialog holds, pass phrases included (they stay in memory).
struct V3DialogValues {
    std::string userName;
    SecurityLevel level = SecurityLevel::AuthPriv;
    AuthProtocol auth = AuthProtocol::Sha256;
    std::string authPassPhrase;
    PrivProtocol priv = PrivProtocol::Aes128;
    std::string privPassPhrase;
    std::string contextName;
    std::string contextEngineIdHex;  // may be empty
};

// Makes the configuration the values describe. False, with a sentence for
// the operator in `error`, when they do not make a usable user: no name or
// one over 32 octets, a pass phrase under 8 characters for a level that
// uses it, or a context engine ID that is not 5 to 32 octets of hex.
bool MakeV3Config(const V3DialogValues& values, V3Config& config, std::string& error);

class V3Dialog : public QDialog {
public:
    explicit V3Dialog(QWidget* parent);

    void SetValues(const V3DialogValues& values);
    V3DialogValues Values() const;

    QLineEdit* UserEdit;
    QComboBox* LevelBox;
    QComboBox* AuthBox;
    QLineEdit* AuthPassEdit;
    QComboBox* PrivBox;
    QLineEdit* PrivPassEdit;
    QLineEdit* ContextNameEdit;
    QLineEdit* ContextEngineIdEdit;
    QLabel* ErrorLabel;

    // The configuration made by the last OK.
    const V3Config& Config() const { return config_; }

    void accept() override;

private:
    void EnableByLevel();

    V3Config config_;
};

}  // namespace quillet
