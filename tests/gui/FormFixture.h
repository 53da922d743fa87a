// Shared pieces of the window tests: a reporter that records instead of
// showing boxes, and a window bound to ephemeral loopback ports.
#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QThread>

#include <unistd.h>

#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "output/ErrorReporter.h"
#include "console/MainForm.h"
#include "tests/net/Loopback.h"

namespace quillet::testing {

class RecordingReporter : public ErrorReporter {
public:
    void ShowError(const std::string& text) override {
        std::lock_guard<std::mutex> lock(mutex_);
        errors_.push_back(text);
    }
    void ShowNotice(const std::string& text) override {
        std::lock_guard<std::mutex> lock(mutex_);
        notices_.push_back(text);
    }
    std::vector<std::string> Errors() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return errors_;
    }
    std::vector<std::string> Notices() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return notices_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> errors_;
    std::vector<std::string> notices_;
};

// A settings file of this test process alone, made afresh and removed at
// exit: windows remember their fields when they close, and no test may
// start from what another left.
inline std::string TestSettingsFile() {
    struct File {
        std::string name = "quillet-test-settings-" + std::to_string(::getpid()) + ".ini";
        File() { std::remove(name.c_str()); }
        ~File() { std::remove(name.c_str()); }
    };
    static const File file;
    return file.name;
}

inline ConsoleConfig LoopbackConfig(ErrorReporter* reporter, std::uint16_t requestPort = 0, std::uint16_t trapPort = 0) {
    ConsoleConfig config;
    config.requestPort = requestPort;
    config.trapPort = trapPort;
    config.bindAddress = Loopback();
    config.reporter = reporter;
    // Never the user's own settings: a file of the test run's.
    config.settingsFile = TestSettingsFile();
    return config;
}

// The pane's lines, the initial line included.
inline std::vector<std::string> PaneLines(const TMainForm& form) {
    std::vector<std::string> lines;
    for (const QString& line : form.OutMemo->toPlainText().split(QLatin1Char('\n'))) lines.push_back(line.toStdString());
    return lines;
}

// Runs the event loop until `done` holds or `ms` milliseconds have passed.
template <typename Predicate>
bool WaitFor(Predicate done, int ms = 3000) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) {
        QApplication::processEvents(QEventLoop::AllEvents, 5);
        if (done()) return true;
        QThread::msleep(2);
    }
    return done();
}

}  // namespace quillet::testing
