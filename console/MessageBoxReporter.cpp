#include "console/MessageBoxReporter.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>

#include <algorithm>

namespace quillet {

// A box asked for by another thread: done once it has been closed (or was
// never shown because the window is closing).
struct MessageBoxReporter::Pending {
    bool done = false;  // under MessageBoxReporter::mutex_
};

// The object the other threads' requests are posted to, on the GUI thread.
// The requests themselves travel in requests_, under the reporter's mutex,
// and the posted event carries nothing: what the GUI thread reads was handed
// over by a lock that every thread, and ThreadSanitizer, can see.
class MessageBoxReporter::GuiContext : public QObject {
public:
    explicit GuiContext(MessageBoxReporter& reporter) : reporter_(reporter) {}
    bool event(QEvent* event) override {
        reporter_.ShowRequested();
        return QObject::event(event);
    }

private:
    MessageBoxReporter& reporter_;
};

MessageBoxReporter::MessageBoxReporter() : guiContext_(std::make_unique<GuiContext>(*this)) {}

MessageBoxReporter::~MessageBoxReporter() { SetClosing(); }

void MessageBoxReporter::Show(const QString& title, const QString& text, int icon) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (closing_) return;
    }
    QMessageBox box(static_cast<QMessageBox::Icon>(icon), title, text, QMessageBox::Ok);
    openBoxes_.push_back(&box);
    box.exec();
    openBoxes_.erase(std::remove(openBoxes_.begin(), openBoxes_.end(), &box), openBoxes_.end());
}

void MessageBoxReporter::ShowError(const std::string& text) {
    const QString message = QString::fromStdString(text);
    if (QCoreApplication::instance() == nullptr) return;
    if (QThread::currentThread() == guiContext_->thread()) {
        Show(QStringLiteral("ERROR"), message, QMessageBox::NoIcon);
        return;
    }
    // Another thread: the GUI thread shows the box, this one waits on a
    // condition that the box's end or the window's closing fulfils. A
    // blocking queued call could not be given up when the window closes.
    auto pending = std::make_shared<Pending>();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (closing_) return;
    }
    Post(Request{message, pending});
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this, &pending] { return pending->done || closing_; });
}

void MessageBoxReporter::Post(Request request) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        requests_.push_back(std::move(request));
    }
    QCoreApplication::postEvent(guiContext_.get(), new QEvent(QEvent::User));
}

void MessageBoxReporter::ShowRequested() {
    for (;;) {
        Request request;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (requests_.empty()) return;
            request = std::move(requests_.front());
            requests_.pop_front();
        }
        if (!request.pending) {
            ShowNoticeBox(request.text);
            continue;
        }
        // A box's own event loop may show the next request's box meanwhile.
        Show(QStringLiteral("ERROR"), request.text, QMessageBox::NoIcon);
        std::lock_guard<std::mutex> lock(mutex_);
        request.pending->done = true;
        changed_.notify_all();
    }
}

void MessageBoxReporter::ShowNotice(const std::string& text) {
    if (QCoreApplication::instance() == nullptr) return;
    Post(Request{QString::fromStdString(text), nullptr});
}

void MessageBoxReporter::ShowNoticeBox(const QString& text) {
    auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("ERROR"), text, QMessageBox::Ok, window_);
    box->setObjectName(QStringLiteral("Notice"));
    box->setWindowModality(Qt::NonModal);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->show();
}

void MessageBoxReporter::SetClosing() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closing_ = true;
    }
    changed_.notify_all();
    // Each box's event loop ends once the code running inside it (perhaps
    // this very close) has returned to it.
    const std::vector<QMessageBox*> open = openBoxes_;
    for (QMessageBox* box : open) box->done(QMessageBox::Ok);
}

}  // namespace quillet
