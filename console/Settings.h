// What the console remembers for the user between runs: the window's
// remembered choices, in one settings file under the user's configuration
// directory (~/.config/Quillet/quillet.ini on Linux). It is the only file
// the console reads besides its log. GUI thread only.
//
// The folder is kept 0700 and the file 0600 whatever the umask
// (platform/PrivateFile.h), checked again after every save. A file that
// cannot be made private (another user's, a link, not writable) is neither
// read nor written: every value is then its default and every save fails.
// Nothing secret is ever written: no pass phrase, no key.
#pragma once

#include <QByteArray>
#include <QSettings>
#include <QString>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "request/AgentTransport.h"
#include "snmpv3/UsmUser.h"

namespace quillet {

class Settings {
public:
    // `file` empty: the user's settings file; else that file (tests).
    explicit Settings(const std::string& file);

    // False once the file could not be made private or a save did not
    // hold; Problem() then says why, for the window and the log.
    bool Kept() const { return kept_; }
    const std::string& Problem() const { return problem_; }

    bool Details() const;
    bool SetDetails(bool on);

    // The SNMPv3 dialog's choices, without a secret: every user's profile,
    // the one requests go as, and the context.
    struct V3Choices {
        std::vector<UsmUserProfile> users;
        std::string requestUser;
        std::string contextName;
        std::string contextEngineIdHex;  // may be empty
    };
    // Values out of range in the file (edited by hand) fall back to the
    // defaults of UsmUserProfile. A file of an earlier version, with one
    // user, gives that user as the request user.
    V3Choices V3() const;
    bool SetV3(const V3Choices& choices);

    // The agent's port, the timeout and the retries; those of `defaults`
    // where the file holds none or holds values out of their bounds.
    AgentTransport Transport(const AgentTransport& defaults = {}) const;
    bool SetTransport(const AgentTransport& transport);

    // The request fields as the operator left them, for the next start;
    // never a community. Empty texts (and -1 numbers) where the file holds
    // none: the window then keeps its defaults.
    struct Fields {
        std::string agentAddress;
        std::string oid1, oid2, oid3;
        std::string maxOid1, maxOid2, maxOid3;
        std::string maxRepetitions;
        int version = -1;          // VerRadioGroup item
        int dataType = -1;         // DataTypeGroup item
        int nonRepeaters = -1;     // NonOIDUpDown's position
        int repeaters = -1;        // MaxOIDUpDown's position
    };
    Fields RequestFields() const;
    bool SetRequestFields(const Fields& fields);

    // The console's own SNMP engine ID (made once, from random octets, and
    // kept) and its boots.
    QByteArray EngineId() const;
    // The next boots, one more than the one kept, and keeps it. False when
    // it cannot be kept (the file), or when it would reach 2^31-1, where an
    // engine must be given a new ID (RFC 3414 2.2.2).
    bool NextEngineBoots(std::uint32_t& boots);
    // Keeps a new engine ID with boots 1; false when it cannot be kept.
    bool SetNewEngine(const QByteArray& id);

    // The file's path, for the README and the tests.
    QString FileName() const { return fileName_; }

private:
    // Writes what changed and keeps the file private; false (and Kept()
    // false) when either fails.
    bool Save();

    std::unique_ptr<QSettings> settings_;  // null when the file is not used
    QString fileName_;
    bool kept_ = true;
    std::string problem_;
};

}  // namespace quillet
