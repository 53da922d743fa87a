#include "console/QueuedCalls.h"

#include <QCoreApplication>
#include <QEvent>

#include <utility>

#include "listener/ThreadHandOff.h"

namespace quillet {
namespace {

const QEvent::Type kQueuedCallType = static_cast<QEvent::Type>(QEvent::registerEventType());

class QueuedCallEvent final : public QEvent {
public:
    explicit QueuedCallEvent(std::function<void()> call) : QEvent(kQueuedCallType), call_(std::move(call)) {}
    void Run() { call_(); }

private:
    std::function<void()> call_;
};

}  // namespace

QueuedCalls::QueuedCalls(QObject* parent) : QObject(parent) {}

void QueuedCalls::Post(std::function<void()> call) {
    auto* queued = new QueuedCallEvent(std::move(call));
    AnnounceHandOff(queued);
    // The event loop owns the event from here and deletes it after event().
    QCoreApplication::postEvent(this, queued);
}

bool QueuedCalls::event(QEvent* event) {
    // Accepted before the event is looked at at all: its type was written on
    // the posting thread too.
    AcceptHandOff(event);
    if (event->type() != kQueuedCallType) return QObject::event(event);
    static_cast<QueuedCallEvent*>(event)->Run();
    return true;
}

}  // namespace quillet
