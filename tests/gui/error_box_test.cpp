// The real error boxes: a listener's box gives way when the window closes,
// a notice blocks nobody, and an exception that escapes a handler becomes a
// box while the event loop goes on.
#include <gtest/gtest.h>

#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

#include <atomic>
#include <stdexcept>
#include <thread>

#include "console/MessageBoxReporter.h"
#include "tests/gui/FormFixture.h"

namespace quillet {
namespace {

using testing::LoopbackConfig;
using testing::RecordingReporter;
using testing::WaitFor;

QMessageBox* OpenBox() { return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()); }

// Calls `onBox` once, from inside the event loop of the first box that opens.
class BoxWatch {
public:
    template <typename OnBox>
    explicit BoxWatch(OnBox onBox) {
        QObject::connect(&timer_, &QTimer::timeout, [this, onBox] {
            if (QMessageBox* box = OpenBox()) {
                timer_.stop();
                onBox(box);
            }
        });
        timer_.start(5);
    }

private:
    QTimer timer_;
};

TEST(ErrorBoxes, AListenerWaitingOnItsBoxIsLetGoWhenTheWindowClosesInsideThatBox) {
    MessageBoxReporter reporter;
    std::atomic<bool> returned{false};
    const std::string text = "PORT162受信エラー： Ether Port 162aを使用するプログラムを起動していませんか？ ";
    std::thread listener([&] {
        reporter.ShowError(text);
        returned = true;
    });
    QString shown;
    QString title;
    bool letGo = false;
    bool boxClosed = false;
    // The window closes from inside the box's own event loop (a signal, or
    // a close that waits for the listeners, runs there) and waits for the
    // listener as FormClose does.
    BoxWatch watch([&](QMessageBox* box) {
        shown = box->text();
        title = box->windowTitle();
        reporter.SetClosing();
        letGo = WaitFor([&] { return returned.load(); }, 2000);
        QPointer<QMessageBox> still(box);
        QApplication::processEvents();
        boxClosed = still.isNull() || !still->isVisible();
        if (!letGo && still) still->done(0);  // let the test end either way
    });
    ASSERT_TRUE(WaitFor([&] { return returned.load(); }, 6000));
    listener.join();
    EXPECT_TRUE(letGo);
    EXPECT_TRUE(boxClosed);
    EXPECT_EQ(shown.toStdString(), text);
    EXPECT_EQ(title.toStdString(), "ERROR");

    // From then on no box is shown, on any thread.
    bool anotherBox = false;
    BoxWatch again([&](QMessageBox* box) {
        anotherBox = true;
        box->done(0);
    });
    reporter.ShowError("sendto=NG  当プログラムを既に起動していませんか？ ");
    std::thread late([&] { reporter.ShowError("PORT161受信エラー： Ether Port 161を使用するプログラムを起動していませんか？ "); });
    late.join();
    QApplication::processEvents();
    EXPECT_FALSE(anotherBox);
}

TEST(ErrorBoxes, AnExceptionEscapingAHandlerIsShownAndTheEventLoopGoesOn) {
    RecordingReporter reporter;
    TMainForm form(LoopbackConfig(&reporter));
    form.show();
    QObject::connect(form.ClrButton, &QPushButton::clicked, &form,
                     [] { throw std::runtime_error("Clr を押せません"); });
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    BoxWatch watch([&](QMessageBox* box) {
        title = box->windowTitle();
        text = box->text();
        icon = box->icon();
        box->button(QMessageBox::Ok)->click();
    });
    // A queued click reaches the handler through the application's event
    // delivery, as a real one does.
    QMetaObject::invokeMethod(form.ClrButton, &QPushButton::click, Qt::QueuedConnection);
    bool later = false;
    QTimer::singleShot(50, &form, [&] { later = true; });
    ASSERT_TRUE(WaitFor([&] { return later; }));
    EXPECT_EQ(title.toStdString(), "Quillet");
    EXPECT_EQ(text.toStdString(), "Clr を押せません");
    EXPECT_EQ(icon, QMessageBox::Critical);
    EXPECT_TRUE(form.isVisible());
    EXPECT_TRUE(reporter.Errors().empty());
}

TEST(ErrorBoxes, ANoticeFromAnyThreadIsAChildOfTheWindowAndBlocksNobody) {
    MessageBoxReporter reporter;
    QWidget window;
    reporter.SetWindow(&window);
    std::thread writer([&] { reporter.ShowNotice(kLogWriteNotice); });
    writer.join();  // returned without anyone closing a box
    QMessageBox* box = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (box = window.findChild<QMessageBox*>(QStringLiteral("Notice"))) != nullptr; }));
    EXPECT_TRUE(box->isVisible());
    EXPECT_FALSE(box->isModal());
    EXPECT_EQ(box->windowTitle().toStdString(), "ERROR");
    EXPECT_EQ(box->text().toStdString(), kLogWriteNotice);
}

}  // namespace
}  // namespace quillet
