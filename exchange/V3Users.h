// The SNMPv3 users and context the dialog configured, handed from the
// window to the threads that open and build messages. The configuration is
// handed out whole and never changed once handed out: a new one replaces
// it, so that a listener keeps reading the one it took.
#pragma once

#include <memory>
#include <mutex>

#include <string>
#include <vector>

#include "snmpv3/UsmUser.h"

namespace quillet {

// The users the listeners open messages with, the one requests go as (at
// its own level, UsmUser::level), and the context of requests. Made whole by
// the window and handed over through V3Users::SetConfig; never changed
// after that, so a thread that holds it reads it without a lock. Its keys
// are wiped when the last holder lets it go.
struct V3Config {
    // Every configured user whose secrets were given in this run (and every
    // noAuthNoPriv user); a configured user still waiting for its secrets
    // is not here.
    UsmUserTable users;
    // The name of the user requests go as; empty when none is chosen.
    std::string requestUser;
    // The request user, or null when none is chosen or its secrets have not
    // been given in this run (then nothing can be sent as it).
    const UsmUser* RequestUser() const { return requestUser.empty() ? nullptr : users.Named(requestUser); }
    std::string contextName;
    std::vector<std::uint8_t> contextEngineId;  // empty: the agent's engine ID
};

class V3Users {
public:
    void SetConfig(std::shared_ptr<const V3Config> config) {
        std::lock_guard<std::mutex> lock(mutex_);
        config_ = std::move(config);
    }
    // Null until the dialog has given a user.
    std::shared_ptr<const V3Config> Config() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return config_;
    }

private:
    mutable std::mutex mutex_;
    std::shared_ptr<const V3Config> config_;
};

}  // namespace quillet
