// The console's entry. In this order:
// 0. Without a display (and no platform asked for), say so and end.
// 1. Bind the two UDP sockets of the socket table (ports 161 and 162): the
//    only step that may need a privilege (cap_net_bind_service on the
//    program, for an ordinary user).
// 2. Give up every capability unless the process runs as root, before the
//    toolkit reads any plugin path or loads any plugin.
// 3. The application object, whose SIGINT/SIGTERM/SIGHUP handling is in place
//    before the window is built.
// 4. The main window, which reports the outcome of step 1 at the point of
//    its start-up where the sockets are set up, then the event loop until
//    the window closes.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>

#include "console/ConsoleApplication.h"
#include "console/MainForm.h"
#include "platform/Privileges.h"

namespace {

bool Set(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

bool HasDisplay() { return Set("DISPLAY") || Set("WAYLAND_DISPLAY") || Set("QT_QPA_PLATFORM"); }

}  // namespace

int main(int argc, char** argv) {
    // Without a desktop session the toolkit would abort with a message about
    // reinstalling the application: say what is missing instead. (The tests
    // run the window offscreen, which needs no display.)
    if (!HasDisplay()) {
        std::fprintf(stderr,
                     "quillet: no display: neither DISPLAY nor WAYLAND_DISPLAY is set; start the console from a "
                     "desktop session (X11 or Wayland)\n");
        return 1;
    }
    quillet::PreboundSockets sockets;
    quillet::SocketTable::Bind(quillet::ConsoleConfig{}, sockets);

    const quillet::PrivilegeDrop drop = quillet::DropPrivilegesUnlessRoot();
    if (!drop.done) {
        // Going on would run the toolkit and its plugins with a privilege.
        std::fprintf(stderr, "quillet: cannot give up privileges (%s)\n", drop.failure.c_str());
        return 1;
    }

    quillet::ConsoleApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillet"));
    app.StopOnSignals();

    quillet::ConsoleConfig config;
    config.prebound = &sockets;
    std::unique_ptr<quillet::TMainForm> mainForm;
    try {
        mainForm = std::make_unique<quillet::TMainForm>(config);
    } catch (const std::exception& error) {
        quillet::ConsoleApplication::ShowException(error.what());
        return 1;
    } catch (...) {
        quillet::ConsoleApplication::ShowException("Unknown exception");
        return 1;
    }
    mainForm->show();
    return app.Run();
}
