// Time services of the platform layer.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "platform/LocalTime.h"

namespace quillet {
namespace {

TEST(SleepMs, EndsWhenTheSleepItselfFails) {
    // A negative time makes nanosleep fail with EINVAL on every call: the
    // pause must end instead of retrying for ever. The sleeper runs apart so
    // that a pause that never ends shows as a failure, not as a hung test.
    struct Case {
        int ms;
        int atLeastMs;
    };
    const Case cases[] = {{-1, 0}, {-1500, 0}, {0, 0}, {30, 30}};
    for (const Case& c : cases) {
        auto done = std::make_shared<std::atomic<bool>>(false);
        const auto start = std::chrono::steady_clock::now();
        std::thread([done, ms = c.ms] {
            SleepMs(ms);
            *done = true;
        }).detach();
        while (!*done && std::chrono::steady_clock::now() - start < std::chrono::seconds(3))
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ASSERT_TRUE(*done) << "SleepMs(" << c.ms << ") did not return";
        EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(c.atLeastMs)) << c.ms;
    }
}

}  // namespace
}  // namespace quillet
