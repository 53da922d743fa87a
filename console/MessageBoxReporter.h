// Error boxes shown with the toolkit: modal, titled "ERROR", OK only. A call
// from a listener thread is carried out on the GUI thread and waits there
// until the operator has closed the box, or until the window is closing.
// A notice is shown the same way but waits for nobody.
#pragma once

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include <QString>

#include "output/ErrorReporter.h"

class QMessageBox;
class QObject;
class QWidget;

namespace quillet {

class MessageBoxReporter : public ErrorReporter {
public:
    // Made on the GUI thread, which shows every box.
    MessageBoxReporter();
    ~MessageBoxReporter() override;

    void ShowError(const std::string& text) override;
    // A notice is a child of `window` (GUI thread; null: a window of its own),
    // so that it closes with it.
    void SetWindow(QWidget* window) { window_ = window; }
    void ShowNotice(const std::string& text) override;

    // The window is closing (GUI thread): closes every open box, wakes every
    // thread waiting for one, and shows no box from then on, so that nothing
    // holds up the shutdown, not even a listener whose box is open while the
    // close runs inside that box's own event loop.
    void SetClosing();

private:
    struct Pending;
    class GuiContext;
    // A box another thread asked for: an error box it waits for (`pending`),
    // or a notice nobody waits for.
    struct Request {
        QString text;
        std::shared_ptr<Pending> pending;  // null: a notice
    };

    // GUI thread: shows one box until the operator or SetClosing closes it.
    void Show(const QString& title, const QString& text, int icon);
    // Any thread: queues the request and wakes the GUI thread, which shows it.
    void Post(Request request);
    // GUI thread: shows the boxes the other threads asked for, in order.
    void ShowRequested();
    void ShowNoticeBox(const QString& text);

    std::mutex mutex_;
    std::condition_variable changed_;
    bool closing_ = false;                          // under mutex_
    std::deque<Request> requests_;                  // under mutex_
    std::vector<QMessageBox*> openBoxes_;           // GUI thread only
    QWidget* window_ = nullptr;                     // GUI thread only
    std::unique_ptr<QObject> guiContext_;           // queued calls die with the reporter
};

}  // namespace quillet
