// Calls handed from another thread to the GUI thread: run there, in order,
// and (in the ThreadSanitizer stage) without a race that Qt's invisible
// locks would leave between the posting thread's writes and the call.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <memory>
#include <thread>
#include <vector>

#include "console/QueuedCalls.h"

namespace quillet {
namespace {

TEST(QueuedCalls, CallsFromAnotherThreadRunOnTheObjectsThreadInOrderAndAreDroppedWithIt) {
    QObject owner;
    auto* calls = new QueuedCalls(&owner);
    // Plain, unguarded state: each call reads what the posting thread wrote
    // into its capture and appends to what only the GUI thread touches. The
    // GUI thread is kept busy while they come, so most posts do not wake it
    // through its event descriptor and only the hand-off orders them.
    constexpr int kCalls = 2000;
    std::vector<int> seen;
    bool offThread = false;
    std::thread poster([&] {
        for (int i = 0; i < kCalls; ++i) {
            auto payload = std::make_shared<std::vector<int>>(8, i);
            calls->Post([&, payload] {
                offThread |= QThread::currentThread() != owner.thread();
                seen.push_back(payload->back());
            });
        }
    });
    QElapsedTimer bound;
    bound.start();
    while (static_cast<int>(seen.size()) < kCalls && bound.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    poster.join();
    ASSERT_EQ(kCalls, static_cast<int>(seen.size()));
    EXPECT_FALSE(offThread);
    for (int i = 0; i < kCalls; ++i) ASSERT_EQ(i, seen[static_cast<std::size_t>(i)]);

    // A call still pending when its object goes is dropped, not run on a
    // destroyed receiver.
    calls->Post([&] { seen.clear(); });
    delete calls;
    QCoreApplication::processEvents();
    EXPECT_EQ(kCalls, static_cast<int>(seen.size()));
}

}  // namespace
}  // namespace quillet
