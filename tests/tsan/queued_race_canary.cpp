// The ThreadSanitizer canary: a deliberate data race inside a queued call.
// A queued lambda on the main thread writes a plain int that another thread
// writes too, with nothing ordering the two writes. ThreadSanitizer must
// report it under the suppressions of tests/tsan.supp: its CTest tests pass
// only on that report. A suppression broad enough to hide a race in any
// lambda slot or queued call hides this one too, and fails the stage.
//
// usage: tsan_queued_race_canary in-call | captures
//   in-call   the lambda's body writes: the race's stack holds the frames
//             under every queued lambda's body (the slot object's call,
//             QObject::event, the event loop)
//   captures  a capture of the lambda writes as it is destroyed after the
//             call: the stack holds the slot object's destructor as well
#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>
#include <QTimer>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <thread>

namespace {

int shared = 0;  // the raced memory: plain, no lock
// Lets the queued call wait until the other thread has written, without
// ordering the writes: a relaxed atomic is no synchronisation to TSan.
std::atomic<bool> written{false};

void WriteFromOtherThread() {
    shared = 1;
    written.store(true, std::memory_order_relaxed);
}

// Waits until the other thread has written, then writes the raced int.
void WriteInQueuedCall() {
    while (!written.load(std::memory_order_relaxed)) std::this_thread::yield();
    shared = 2;
}

// A capture that writes the raced int when the last of its copies, the one
// inside the queued call, is destroyed.
struct WritesWhenDestroyed {
    WritesWhenDestroyed() = default;
    WritesWhenDestroyed(const WritesWhenDestroyed&) = delete;
    WritesWhenDestroyed(WritesWhenDestroyed&& other) noexcept : armed(other.armed) { other.armed = false; }
    ~WritesWhenDestroyed() {
        if (armed) WriteInQueuedCall();
    }
    bool armed = true;
};

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const bool captures = argc > 1 && std::strcmp(argv[1], "captures") == 0;
    QObject target;
    std::thread other(WriteFromOtherThread);
    if (captures) {
        QMetaObject::invokeMethod(
            &target, [probe = WritesWhenDestroyed{}, &app] { app.quit(); }, Qt::QueuedConnection);
    } else {
        QMetaObject::invokeMethod(
            &target,
            [&app] {
                WriteInQueuedCall();
                app.quit();
            },
            Qt::QueuedConnection);
    }
    // Bounded: a queued call that never runs ends the program all the same.
    QTimer::singleShot(10000, &app, [&app] { app.exit(2); });
    const int result = app.exec();
    other.join();
    std::printf("canary ended: %d\n", shared + result);
    return result;
}
