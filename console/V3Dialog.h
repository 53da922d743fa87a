// The SNMPv3 settings of the console: a list of users that the operator
// adds, edits and removes, the one requests go as, and the context name and
// context engine ID of requests. Opened by the button beside the version
// group; its OK makes the users' keys.
//
// Each user has a name, a security level, an authentication protocol with a
// pass phrase or a key in hex, a privacy protocol (DES, AES, and AES-192 and
// AES-256 with either key extension, named as net-snmp names them:
// "AES-192"/"AES-256" Blumenthal, "AES-192-C"/"AES-256-C" Reeder) with a
// pass phrase or a key, and for localised keys the engine they are for. The
// level is the one its requests use and the least taken from its
// notifications.
//
// Secrets are typed once per run: a user whose keys the window holds shows
// its secret fields empty ("入力済み"), one whose secrets were not typed in
// this run is marked in the list. A secret is read from its field when the
// operator leaves the user (another user, Add, OK); the field is then
// cleared and its text wiped as far as the toolkit lets us reach it.
#pragma once

#include <QDialog>

#include <memory>
#include <string>
#include <vector>

#include "exchange/V3Users.h"

class QComboBox;
class QFormLayout;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace quillet {

// One user as the dialog holds it: its profile, and the secrets typed for
// it since the dialog was opened (empty: none typed). Every copy wipes its
// secrets when it ends.
struct V3UserValues {
    UsmUserProfile profile;
    std::string authSecret;
    std::string privSecret;

    V3UserValues() = default;
    V3UserValues(const V3UserValues&) = default;
    V3UserValues& operator=(const V3UserValues&) = default;
    ~V3UserValues();
};

// What the dialog holds.
struct V3DialogValues {
    std::vector<V3UserValues> users;
    std::string requestUser;  // a name among `users`, or empty
    std::string contextName;
    std::string contextEngineIdHex;  // may be empty
};

// Makes the configuration the values describe. A user with secrets typed is
// made from them; a user without is given the keys `held` (the window's
// configuration, may be null) has for it while its profile still fits them
// (the same name, level, protocols, extension and key engine), and is left
// out of config.users until its secrets are typed otherwise; a noAuthNoPriv
// user needs none. False, with a sentence for the operator in `error` and
// the user's index in `badUser` (-1 when it is no user's fault), for a user
// whose secrets make no key (MakeUser), two users of one name, or a context
// engine ID that is not 5 to 32 octets of hex.
bool MakeV3Config(const V3DialogValues& values, const V3Config* held, V3Config& config, std::string& error,
                  int* badUser = nullptr);

// Whether `config` holds the user `profile` describes, keys included: its
// secrets were given in this run.
bool HoldsUser(const V3Config* config, const UsmUserProfile& profile);

class V3Dialog : public QDialog {
public:
    explicit V3Dialog(QWidget* parent);
    ~V3Dialog() override;

    // Shows `values` (their secrets, if any, are kept as typed), marking each
    // user by whether `held` holds its keys.
    void SetValues(const V3DialogValues& values, std::shared_ptr<const V3Config> held = nullptr);
    // What the dialog holds, the editor's fields taken into the selected user.
    V3DialogValues Values();

    QListWidget* UserList;
    QPushButton* AddButton;
    QPushButton* RemoveButton;
    QPushButton* RequestButton;
    QLineEdit* UserEdit;
    QComboBox* LevelBox;
    QComboBox* AuthBox;
    QComboBox* AuthKindBox;
    QLineEdit* AuthSecretEdit;
    QComboBox* PrivBox;  // protocol and extension together, as net-snmp's -x names them
    QComboBox* PrivKindBox;
    QLineEdit* PrivSecretEdit;
    QLineEdit* KeysEngineIdEdit;
    QLineEdit* ContextNameEdit;
    QLineEdit* ContextEngineIdEdit;
    QLabel* ErrorLabel;
    QPushButton* OkButton;

    // The configuration the last OK made; null before. Taking it leaves null.
    std::shared_ptr<V3Config> TakeConfig() { return std::move(config_); }
    // The values of the last OK, without their secrets.
    const V3DialogValues& Accepted() const { return accepted_; }

    void accept() override;

private:
    // The editor's fields into the selected user (secrets typed move into it
    // and the fields are wiped), and the list's text of that user.
    void CommitEditor();
    // The editor's fields but the secrets into the selected user's profile.
    void CommitProfile();
    void ShowPlaceholders();
    void LoadEditor();
    void ShowList();
    void Select(int row);
    void EnableFields();

    QFormLayout* userForm_ = nullptr;
    std::vector<V3UserValues> users_;
    int current_ = -1;
    int requestRow_ = -1;
    std::shared_ptr<const V3Config> held_;
    std::shared_ptr<V3Config> config_;
    V3DialogValues accepted_;
    bool loading_ = false;
};

}  // namespace quillet
