// Calls handed from any thread to the thread of a QObject (the GUI thread),
// run there in the order they were posted.
//
// QMetaObject::invokeMethod with a lambda does the same, but the block that
// holds the lambda is written on the posting thread and read on the GUI
// thread with only Qt's own locks between them. ThreadSanitizer cannot see
// those, so it reports every such call whose post did not happen to wake the
// GUI thread through its event file descriptor. Here the call is built in an
// event of our own, the hand-off is announced once it is whole, and accepted
// before the GUI thread touches it. Outside a ThreadSanitizer build this is
// a plain posted event.
//
// Calls still pending when the object is destroyed are dropped with it.
#pragma once

#include <QObject>

#include <functional>

namespace quillet {

class QueuedCalls final : public QObject {
public:
    explicit QueuedCalls(QObject* parent);

    // Any thread: `call` runs on this object's thread, after the calls
    // posted before it.
    void Post(std::function<void()> call);

protected:
    bool event(QEvent* event) override;
};

}  // namespace quillet
