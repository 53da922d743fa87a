// The console window on a disk that fills up, for log_full_test.sh: a trap
// flood on loopback fills the log's file system down to the log's reserve of
// free space, the harness waits until the window's title says the log
// stopped, frees the room the script set aside, sends a few traps of another
// kind once the log may go on, and closes the window (the stop mark).
//
// usage: log_full_harness --flood=TRAP.bin --after=TRAP.bin --filler=PATH [--after-count=N]
//
// Run it in the folder whose LOG/ is to fill up. The traps go from a loopback
// socket to the window's trap port (an ephemeral loopback port); each chunk
// of the flood waits until the trap listener has counted it, so the kernel
// never drops one.
//
// stdout: "full after N traps" once the title says the log stopped, "freed
// PATH", then "notices=K traps=T title_back=B" after the window has closed
// (B: 1 when the title no longer said so after the room was freed).
// Exit status: 0 when the title said so and every trap was counted, 1
// otherwise, 2 for bad arguments.
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QThread>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "output/ErrorReporter.h"
#include "console/MainForm.h"

namespace {

constexpr int kChunk = 50;
constexpr int kMaxFloodTraps = 200000;
constexpr int kWaitMs = 10000;

class StderrReporter : public quillet::ErrorReporter {
public:
    void ShowError(const std::string& text) override {
        std::fprintf(stderr, "error box: %s\n", text.c_str());
        ++count;
    }
    void ShowNotice(const std::string& text) override {
        std::fprintf(stderr, "notice box: %s\n", text.c_str());
        ++notices;
    }
    int count = 0;
    std::atomic<int> notices{0};
};

std::vector<std::uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Runs the event loop until TrapEdit shows `count` or the time is up.
bool WaitForTraps(quillet::TMainForm& form, int count) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < kWaitMs) {
        QApplication::processEvents(QEventLoop::AllEvents, 5);
        form.FlushPane();
        if (form.TrapEdit->text().toInt() >= count) return true;
        QThread::msleep(1);
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    std::map<std::string, std::string> options{{"after-count", "20"}};
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const std::size_t equals = arg.find('=');
        if (arg.rfind("--", 0) != 0 || equals == std::string::npos) {
            std::fprintf(stderr, "log_full_harness: bad argument %s\n", arg.c_str());
            return 2;
        }
        options[arg.substr(2, equals - 2)] = arg.substr(equals + 1);
    }
    const std::vector<std::uint8_t> flood = ReadBytes(options["flood"]);
    const std::vector<std::uint8_t> after = ReadBytes(options["after"]);
    if (flood.empty() || after.empty() || options["filler"].empty()) {
        std::fprintf(stderr, "log_full_harness: --flood, --after and --filler are needed\n");
        return 2;
    }
    const int afterCount = std::stoi(options["after-count"]);

    StderrReporter reporter;
    quillet::ConsoleConfig config;
    config.requestPort = 0;
    config.trapPort = 0;
    config.bindAddress.address[0] = 127;
    config.bindAddress.address[3] = 1;
    config.reporter = &reporter;
    quillet::TMainForm form(config);
    form.show();
    QApplication::processEvents();
    if (!form.LogOpen()) {
        std::fprintf(stderr, "log_full_harness: no log file\n");
        return 1;
    }

    quillet::UdpSocket sender;
    const std::uint8_t loopbackOctets[4] = {127, 0, 0, 1};
    const quillet::Endpoint loopback = quillet::Endpoint::V4(loopbackOctets, 0);
    if (!sender.Create() || !sender.BindTo(loopback)) return 1;
    quillet::Endpoint trapPort = loopback;
    trapPort.port = form.Sockets().At(1).socket.LocalPort();
    sender.SetDestination(trapPort);

    const QString stopped = QStringLiteral("LOG記録停止中");
    int sent = 0;
    bool ok = true;
    while (!form.windowTitle().contains(stopped) && sent < kMaxFloodTraps && ok) {
        for (int i = 0; i < kChunk; ++i, ++sent) sender.Send(flood.data(), flood.size());
        ok = WaitForTraps(form, sent);
    }
    if (!form.windowTitle().contains(stopped) || !ok) {
        std::fprintf(stderr, "log_full_harness: the log did not stop after %d traps\n", sent);
        return 1;
    }
    std::printf("full after %d traps\n", sent);
    if (std::remove(options["filler"].c_str()) != 0) {
        std::fprintf(stderr, "log_full_harness: cannot remove %s\n", options["filler"].c_str());
        return 1;
    }
    std::printf("freed %s\n", options["filler"].c_str());
    std::fflush(stdout);
    // The log asks the file system for its free space again this soon.
    QThread::msleep(3 * quillet::LogFile::kRecheckQuietMs);

    for (int i = 0; i < afterCount; ++i, ++sent) {
        sender.Send(after.data(), after.size());
        ok &= WaitForTraps(form, sent + 1);
    }
    QApplication::processEvents();
    const bool titleBack = !form.windowTitle().contains(stopped);
    form.close();
    QApplication::processEvents();
    std::printf("notices=%d traps=%s title_back=%d\n", reporter.notices.load(),
                form.TrapEdit->text().toStdString().c_str(), titleBack ? 1 : 0);
    return ok && reporter.count == 0 ? 0 : 1;
}
