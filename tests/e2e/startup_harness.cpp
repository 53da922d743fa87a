// The shipped console's start-up with its real error boxes, watched from
// inside, for the scripts that check the boxes and the stop signals
// (bind_boxes_test.sh, stop_signal_test.sh). It is main.cpp's program but
// for one thing: it binds its sockets in the window's start-up instead of
// before the application (so whoever runs it needs the privilege itself),
// and a watcher prints every box and may close the first ones, as an
// operator would.
//
// usage: startup_harness [--close-boxes=N] [--send-to=ADDRESS]
//
// --close-boxes=N  presses OK on the first N boxes once printed (default 0:
//                  every box stays open until the process ends).
// --send-to=ADDR   once the window is up and the first N boxes are closed,
//                  types ADDR into the agent address and presses GetRequest
//                  (a send that fails opens a box).
//
// stdout, one line each, flushed:
//   "box: TEXT"    a box opened; its lines joined by " | ", e.g.
//                  "box: recv bind=NG  当プログラムを既に起動していませんか？  | UDPポート162は ..."
//   "closed box"   the watcher pressed OK on it
//   "window up"    the window's constructor has returned and it is shown
// SIGINT, SIGTERM and SIGHUP are handled as in the shipped program.
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <cstdio>
#include <string>

#include "console/ConsoleApplication.h"
#include "console/MainForm.h"

namespace {

void Say(const QString& line) {
    std::printf("%s\n", line.toStdString().c_str());
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    quillet::ConsoleApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillet"));
    app.StopOnSignals();

    int boxesToClose = 0;
    QString sendTo;
    for (int i = 1; i < argc; ++i) {
        const QString arg = QString::fromLocal8Bit(argv[i]);
        if (arg.startsWith(QStringLiteral("--close-boxes="))) {
            boxesToClose = arg.section(QLatin1Char('='), 1).toInt();
        } else if (arg.startsWith(QStringLiteral("--send-to="))) {
            sendTo = arg.section(QLatin1Char('='), 1);
        } else {
            std::fprintf(stderr, "startup_harness: bad argument %s\n", argv[i]);
            return 2;
        }
    }

    quillet::TMainForm* form = nullptr;
    bool sent = false;
    const auto sendWhenDue = [&] {
        if (sendTo.isEmpty() || sent || form == nullptr || boxesToClose > 0) return;
        sent = true;
        QTimer::singleShot(0, form, [form, sendTo] {
            form->IpEdit->setText(sendTo);
            form->GETButton->click();
        });
    };

    // Runs in every event loop, the boxes' own included.
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || box->property("quilletSeen").toBool()) return;
        box->setProperty("quilletSeen", true);
        Say(QStringLiteral("box: ") + box->text().split(QLatin1Char('\n')).join(QStringLiteral(" | ")));
        if (boxesToClose > 0) {
            --boxesToClose;
            box->button(QMessageBox::Ok)->click();
            Say(QStringLiteral("closed box"));
            sendWhenDue();
        }
    });
    watcher.start(10);

    quillet::TMainForm mainForm;
    mainForm.show();
    form = &mainForm;
    Say(QStringLiteral("window up"));
    sendWhenDue();
    return app.Run();
}
