// The console's application object. Beyond QApplication it
// - speaks Japanese in Qt's own texts too (the standard context menus, the
//   buttons and captions of standard dialogs), from Qt's translations
//   (qtbase_ja.qm in Qt's translations folder; Debian's
//   qt6-translations-l10n): without them, those texts stay in English;
// - shows an exception that escapes an event handler in an error box (title
//   the application's name, the exception's text, an OK button) and lets
//   the event loop go on;
// - on SIGINT, SIGTERM or SIGHUP (its terminal closed; not when started
//   with SIGHUP ignored, as by nohup) closes the main window the way the
//   operator would, so the day's log gets its stop mark, and ends the
//   process at once when the close cannot return to the main event loop (a
//   box is open, or the window is still being built).
#pragma once

#include <QApplication>

#include <string>

namespace quillet {

class ConsoleApplication : public QApplication {
    Q_OBJECT
public:
    ConsoleApplication(int& argc, char** argv);
    ~ConsoleApplication() override;

    bool notify(QObject* receiver, QEvent* event) override;

    // Installs the SIGINT/SIGTERM/SIGHUP handling. Call it right after the
    // application exists, before the window is built, so that a signal that
    // comes while a start-up box is open is handled too.
    void StopOnSignals();

    // Runs the main event loop until the main window has closed.
    int Run();

    // Whether Qt's Japanese translations were found and installed.
    bool QtTranslated() const { return qtTranslated_; }

    // The error box for an exception: modal, titled with the application's
    // name, `text` as its message, OK only.
    static void ShowException(const std::string& text);

private:
    void OnStopSignal();

    bool mainLoopRunning_ = false;
    bool qtTranslated_ = false;
};

}  // namespace quillet
