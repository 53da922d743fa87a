// The SNMPv3 users and context the dialog configured, handed from the
// window to the threads that open and build messages. The configuration is
// handed out whole and never changed once handed out: a new one replaces
// it, so that a listener keeps reading the one it took.
#pragma once

#include <memory>
#include <mutex>

#include "request/V3Session.h"

namespace quillet {

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
