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

MessageBoxReporter::MessageBoxReporter() : guiContext_(std::make_unique<QObject>()) {}

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
    QMetaObject::invokeMethod(
        guiContext_.get(),
        [this, pending, message] {
            Show(QStringLiteral("ERROR"), message, QMessageBox::NoIcon);
            std::lock_guard<std::mutex> lock(mutex_);
            pending->done = true;
            changed_.notify_all();
        },
        Qt::QueuedConnection);
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this, &pending] { return pending->done || closing_; });
}

void MessageBoxReporter::ShowNotice(const std::string& text) {
    if (QCoreApplication::instance() == nullptr) return;
    const QString message = QString::fromStdString(text);
    QMetaObject::invokeMethod(
        guiContext_.get(),
        [this, message] {
            auto* box =
                new QMessageBox(QMessageBox::Warning, QStringLiteral("ERROR"), message, QMessageBox::Ok, window_);
            box->setObjectName(QStringLiteral("Notice"));
            box->setWindowModality(Qt::NonModal);
            box->setAttribute(Qt::WA_DeleteOnClose);
            box->show();
        },
        Qt::QueuedConnection);
}

void MessageBoxReporter::ShowConversionError(const std::string& text) {
    Show(QCoreApplication::applicationName(), QString::fromStdString(ConversionErrorMessage(text)),
         QMessageBox::Critical);
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
