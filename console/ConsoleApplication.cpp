#include "console/ConsoleApplication.h"

#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QSocketNotifier>
#include <QThread>
#include <QTranslator>
#include <QWidget>

#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <exception>

#include "console/MainForm.h"

namespace quillet {
namespace {

// The signal handler only writes a byte; the GUI thread reads it through a
// socket notifier, which every event loop serves, a box's included.
int signalPipe[2] = {-1, -1};

void OnSignal(int) {
    const int savedErrno = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t rc = ::write(signalPipe[1], &byte, 1);
    errno = savedErrno;
}

}  // namespace

ConsoleApplication::ConsoleApplication(int& argc, char** argv) : QApplication(argc, argv) {
    // Japanese whatever the desktop's language: every other text of the
    // console is.
    auto* translator = new QTranslator(this);
    qtTranslated_ = translator->load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"),
                                     QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    if (qtTranslated_) installTranslator(translator);
    else delete translator;
}

ConsoleApplication::~ConsoleApplication() = default;

bool ConsoleApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        ShowException(error.what());
    } catch (...) {
        ShowException("Unknown exception");
    }
    return false;
}

void ConsoleApplication::ShowException(const std::string& text) {
    QMessageBox box(QMessageBox::Critical, QCoreApplication::applicationName(), QString::fromStdString(text),
                    QMessageBox::Ok);
    box.exec();
}

void ConsoleApplication::StopOnSignals() {
    if (signalPipe[0] >= 0) return;
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, signalPipe) != 0) {
        std::perror("quillet: socketpair");
        return;
    }
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this] {
        char byte;
        while (::read(signalPipe[0], &byte, 1) > 0) {
        }
        OnStopSignal();
    });
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    // The terminal that started the console closing ends it as a kill
    // does, with the stop mark. Started with SIGHUP ignored (nohup), the
    // console outlives its terminal, as asked.
    struct sigaction hangUp {};
    if (sigaction(SIGHUP, nullptr, &hangUp) == 0 && hangUp.sa_handler != SIG_IGN) sigaction(SIGHUP, &action, nullptr);
}

void ConsoleApplication::OnStopSignal() {
    // Inside a box's event loop, or while the window's constructor waits on
    // a start-up box, closing the window cannot bring the main loop to an
    // end: once the close has written the stop mark, the process ends here.
    const bool nested = !mainLoopRunning_ || QThread::currentThread()->loopLevel() > 1;
    for (QWidget* widget : topLevelWidgets()) {
        if (auto* form = qobject_cast<TMainForm*>(widget)) form->close();
    }
    if (nested) {
        std::fflush(nullptr);
        ::_exit(0);
    }
    quit();
}

int ConsoleApplication::Run() {
    mainLoopRunning_ = true;
    const int result = exec();
    mainLoopRunning_ = false;
    return result;
}

}  // namespace quillet
