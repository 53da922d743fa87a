// The console's entry: the application, the main window, and the event loop
// until the window closes. SIGINT and SIGTERM close the window the way the
// operator would, so the day's log still gets its stop mark.
#include <QApplication>
#include <QSocketNotifier>

#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include "console/MainForm.h"

namespace {

int signalPipe[2] = {-1, -1};

void OnSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t rc = ::write(signalPipe[1], &byte, 1);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillet"));

    quillet::TMainForm mainForm;

    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) == 0) {
        auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
        QObject::connect(notifier, &QSocketNotifier::activated, &mainForm, [&mainForm] {
            char byte;
            [[maybe_unused]] const ssize_t rc = ::read(signalPipe[0], &byte, 1);
            mainForm.close();
        });
        struct sigaction action {};
        action.sa_handler = OnSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        sigaction(SIGINT, &action, nullptr);
        sigaction(SIGTERM, &action, nullptr);
    }

    mainForm.show();
    return app.exec();
}
