// console_bench: the console's main window, run offscreen on loopback ports,
// with the instruments the storm runs read.
//
//   console_bench --dir DIR --trap-port P --request-port Q --agent-port R [--trace-stalls]
//                 [--receive-buffer BYTES] [--queue-entries N] [--queue-bytes BYTES]
//                 [--bind A.B.C.D] [--agent A.B.C.D]
//
// --trace-stalls prints every stall of the event loop over 10 ms to stderr,
// with the time it ended (CLOCK_MONOTONIC seconds). --receive-buffer asks
// for that receive buffer instead of the console's own (212992 models a
// stock system's net.core.rmem_max, which cannot be set inside a network
// namespace); --queue-entries and --queue-bytes bound the listeners' queues
// (a tiny bound forces losses). --bind is the local address of both ports
// and --agent the address the GetRequests go to (both 127.0.0.1 unless the
// bench runs between two network namespaces).
//
// The window is the shipped TMainForm; only its ports and bind address
// differ (127.0.0.1 or --bind, high ports), and its error boxes are printed instead of
// shown. The log goes to DIR/LOG/<date>.LOG. Instruments:
//   - a 1 ms timer on the GUI thread: the longest gap between two of its
//     ticks is the worst stall of the event loop;
//   - every 100 ms a mouse click posted on the "SNMPv1" radio button (which
//     is already selected, so its handler changes nothing): the time until
//     the handler ran is how long the window keeps an operator waiting;
//   - process CPU time (getrusage) and resident memory (VmRSS, and VmHWM,
//     the most since the last `peak reset`).
//
// Commands, one a line on standard input; every answer is one line:
//   stats          "stats traps=.. responses=.. stall_ms=.. clicks=.. click_max_ms=..
//                   click_waiting=.. cpu_ms=.. gui_cpu_ms=.. rss_kb=.. peak_rss_kb=.. hwm_kb=..
//                   pane_lines=.. pane_chars=.. trap_shown=.. most_queued=.."; the stall and click
//                   figures cover the time since the previous stats; peak_rss_kb is the most
//                   resident memory so far (getrusage), hwm_kb the most since the last
//                   `peak reset`, pane_chars the pane's characters (UTF-16), trap_shown what
//                   TrapEdit shows, most_queued the most traps that ever waited in the trap
//                   listener's queue
//   peak reset     starts hwm_kb afresh from the present resident memory (the kernel's
//                   high-water mark, reset through /proc/self/clear_refs);
//                   "peak reset rss_kb=.." ("peak reset failed" where the kernel refuses)
//   caught_up N SINCE TIMEOUT_MS
//                  waits until TrapEdit shows N or more and the hub holds no pane work
//                   (the pane has every line committed so far), then prints
//                   "caught_up ok=1 ms=.."; ms counts from SINCE, a CLOCK_REALTIME time in
//                   seconds (bash's $EPOCHREALTIME), so that the wait is told from the moment
//                   the script saw the sender end, however late the command was read. After
//                   TIMEOUT_MS from SINCE it gives up with ok=0
//   count          "count traps=.. responses=.." (resets nothing)
//   probe on|off   starts or stops the 1 ms timer and the clicks (off for CPU runs)
//   gets N         presses GETButton N times, one after another; each time waits
//                   until the answer's update reached the pane (RecvEdit shows the
//                   new count, set in the same pane flush as the answer's lines)
//                   and prints "gets sent=.. answered=.. median_ms=.. p99_ms=.. max_ms=.."
//   quit           closes the window (stop mark) and ends
#include <QApplication>
#include <QButtonGroup>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSocketNotifier>
#include <QTextDocument>
#include <QTimer>

#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "output/ErrorReporter.h"
#include "console/MainForm.h"

namespace {

using quillet::ConsoleConfig;
using quillet::Counter;
using quillet::TMainForm;

class PrintingReporter : public quillet::ErrorReporter {
public:
    void ShowError(const std::string& text) override { std::fprintf(stderr, "error box: %s\n", text.c_str()); }
    void ShowNotice(const std::string& text) override { std::fprintf(stderr, "notice box: %s\n", text.c_str()); }
};

long CpuMicroseconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1'000'000L + usage.ru_utime.tv_usec +
           usage.ru_stime.tv_usec;
}

// CPU time of the calling thread; Stats runs on the GUI thread.
long ThreadCpuMicroseconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1'000'000L + ts.tv_nsec / 1000;
}

long StatusKilobytes(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::size_t length = std::strlen(field);
    while (std::getline(status, line))
        if (line.compare(0, length, field) == 0) return std::strtol(line.c_str() + length, nullptr, 10);
    return -1;
}

double RealtimeSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

long PeakResidentKilobytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

void Say(const std::string& text) {
    std::fputs(text.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

std::string Ms(double ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", ms);
    return text;
}

class Bench : public QObject {
public:
    static constexpr std::int64_t kTracedStallNs = 10'000'000;

    Bench(TMainForm& form, bool traceStalls, QString agent)
        : form_(form), traceStalls_(traceStalls), agent_(std::move(agent)) {
        clock_.start();
        probe_.setTimerType(Qt::PreciseTimer);
        probe_.setInterval(1);
        connect(&probe_, &QTimer::timeout, this, [this] { ProbeTick(); });
        clicker_.setInterval(100);
        connect(&clicker_, &QTimer::timeout, this, [this] { PostClick(); });
        connect(form_.VerButtons, &QButtonGroup::idClicked, this, [this](int) { ClickAnswered(); });
        connect(form_.RecvEdit, &QLineEdit::textChanged, this, [this] { ResponseShown(); });
        getTimeout_.setSingleShot(true);
        connect(&getTimeout_, &QTimer::timeout, this, [this] { NextGet(); });
        caughtUpPoll_.setTimerType(Qt::PreciseTimer);
        caughtUpPoll_.setInterval(2);
        connect(&caughtUpPoll_, &QTimer::timeout, this, [this] { CheckCaughtUp(); });

        stdin_ = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, this);
        connect(stdin_, &QSocketNotifier::activated, this, [this] { ReadCommands(); });
        SetProbe(true);
    }

private:
    std::int64_t NowNs() const { return clock_.nsecsElapsed(); }

    void SetProbe(bool on) {
        if (on) {
            lastTick_ = NowNs();
            worstGap_ = 0;
            probe_.start();
            clicker_.start();
        } else {
            probe_.stop();
            clicker_.stop();
        }
    }

    void ProbeTick() {
        const std::int64_t now = NowNs();
        worstGap_ = std::max(worstGap_, now - lastTick_);
        // The end of a traced stall is given on the system's monotonic clock,
        // so that it can be matched against the host's steal time.
        if (traceStalls_ && now - lastTick_ > kTracedStallNs)
            std::fprintf(stderr, "stall %.1f ms ending at %.3f\n", static_cast<double>(now - lastTick_) / 1e6,
                         std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count());
        lastTick_ = now;
    }

    void PostClick() {
        if (clickPostedAt_ >= 0) {
            // The last click has not been answered yet; it keeps waiting.
            return;
        }
        QAbstractButton* button = form_.VerButtons->button(0);
        const QPointF local(button->width() / 2.0, button->height() / 2.0);
        const QPointF global = button->mapToGlobal(local);
        clickPostedAt_ = NowNs();
        QCoreApplication::postEvent(button, new QMouseEvent(QEvent::MouseButtonPress, local, global, Qt::LeftButton,
                                                            Qt::LeftButton, Qt::NoModifier));
        QCoreApplication::postEvent(button, new QMouseEvent(QEvent::MouseButtonRelease, local, global,
                                                            Qt::LeftButton, Qt::NoButton, Qt::NoModifier));
    }

    void ClickAnswered() {
        if (clickPostedAt_ < 0) return;
        worstClick_ = std::max(worstClick_, NowNs() - clickPostedAt_);
        ++clicks_;
        clickPostedAt_ = -1;
    }

    void Stats() {
        // A stall still going on counts up to now.
        ProbeTick();
        const bool waiting = clickPostedAt_ >= 0;
        if (waiting) worstClick_ = std::max(worstClick_, NowNs() - clickPostedAt_);
        std::string line = "stats traps=" + std::to_string(form_.Output().CounterValue(Counter::Trap)) +
                           " responses=" + std::to_string(form_.Output().CounterValue(Counter::Recv)) +
                           " stall_ms=" + Ms(probe_.isActive() ? worstGap_ / 1e6 : 0) +
                           " clicks=" + std::to_string(clicks_) + " click_max_ms=" + Ms(worstClick_ / 1e6) +
                           " click_waiting=" + (waiting ? "1" : "0") + " cpu_ms=" + Ms(CpuMicroseconds() / 1e3) +
                           " gui_cpu_ms=" + Ms(ThreadCpuMicroseconds() / 1e3) +
                           " rss_kb=" + std::to_string(StatusKilobytes("VmRSS:")) +
                           " peak_rss_kb=" + std::to_string(PeakResidentKilobytes()) +
                           " hwm_kb=" + std::to_string(StatusKilobytes("VmHWM:")) +
                           " pane_lines=" + std::to_string(form_.OutMemo->blockCount()) +
                           " pane_chars=" + std::to_string(form_.OutMemo->document()->characterCount()) +
                           " trap_shown=" + form_.TrapEdit->text().toStdString() +
                           " most_queued=" + std::to_string(form_.Sockets().TrapListenerMostQueued());
        Say(line);
        worstGap_ = 0;
        worstClick_ = 0;
        clicks_ = 0;
    }

    void Count() {
        Say("count traps=" + std::to_string(form_.Output().CounterValue(Counter::Trap)) +
            " responses=" + std::to_string(form_.Output().CounterValue(Counter::Recv)));
    }

    void ResetPeak() {
        // "5" resets the high-water mark of resident memory (Linux 4.0 on).
        std::ofstream clear("/proc/self/clear_refs");
        clear << "5" << std::flush;
        Say(clear ? "peak reset rss_kb=" + std::to_string(StatusKilobytes("VmRSS:")) : "peak reset failed");
    }

    void StartCaughtUp(const std::string& arguments) {
        long shown = 0, timeoutMs = 0;
        double since = 0;
        if (std::sscanf(arguments.c_str(), "%ld %lf %ld", &shown, &since, &timeoutMs) != 3) {
            Say("caught_up ok=0 ms=0 bad arguments");
            return;
        }
        caughtUpShown_ = shown;
        caughtUpSince_ = since;
        caughtUpTimeoutMs_ = timeoutMs;
        caughtUpPoll_.start();
        CheckCaughtUp();
    }

    void CheckCaughtUp() {
        if (!caughtUpPoll_.isActive()) return;
        const double ms = (RealtimeSeconds() - caughtUpSince_) * 1e3;
        const bool caughtUp = form_.TrapEdit->text().toLong() >= caughtUpShown_ && !form_.Output().Pending().any;
        if (!caughtUp && ms < static_cast<double>(caughtUpTimeoutMs_)) return;
        caughtUpPoll_.stop();
        Say(std::string("caught_up ok=") + (caughtUp ? "1" : "0") + " ms=" + Ms(ms));
    }

    void StartGets(int count) {
        getsLeft_ = count;
        getsSent_ = 0;
        latencies_.clear();
        form_.IpEdit->setText(agent_);
        form_.OID1Edit->setText(QStringLiteral("1.3.6.1.2.1.1.1.0"));
        NextGet();
    }

    void NextGet() {
        getTimeout_.stop();
        waitingFor_ = -1;
        if (getsLeft_ <= 0) {
            FinishGets();
            return;
        }
        --getsLeft_;
        ++getsSent_;
        waitingFor_ = form_.Output().CounterValue(Counter::Recv) + 1;
        getSentAt_ = NowNs();
        // The operator's press: the button's own click path, handler included.
        form_.GETButton->click();
        getTimeout_.start(1000);
    }

    void ResponseShown() {
        if (waitingFor_ < 0) return;
        if (form_.RecvEdit->text().toLong() < waitingFor_) return;
        latencies_.push_back(static_cast<double>(NowNs() - getSentAt_) / 1e6);
        waitingFor_ = -1;
        getTimeout_.stop();
        // Next press from a fresh event-loop turn, as an operator's would be.
        QTimer::singleShot(0, this, [this] { NextGet(); });
    }

    void FinishGets() {
        std::vector<double> sorted = latencies_;
        std::sort(sorted.begin(), sorted.end());
        auto at = [&](double q) {
            if (sorted.empty()) return 0.0;
            std::size_t i = static_cast<std::size_t>(q * static_cast<double>(sorted.size() - 1) + 0.5);
            return sorted[std::min(i, sorted.size() - 1)];
        };
        Say("gets sent=" + std::to_string(getsSent_) + " answered=" + std::to_string(sorted.size()) +
            " median_ms=" + Ms(at(0.5)) + " p99_ms=" + Ms(at(0.99)) +
            " max_ms=" + Ms(sorted.empty() ? 0 : sorted.back()));
    }

    void ReadCommands() {
        char chunk[4096];
        const ssize_t n = ::read(STDIN_FILENO, chunk, sizeof chunk);
        if (n <= 0) {
            stdin_->setEnabled(false);
            Quit();
            return;
        }
        pendingInput_.append(chunk, static_cast<std::size_t>(n));
        std::size_t end;
        while ((end = pendingInput_.find('\n')) != std::string::npos) {
            const std::string command = pendingInput_.substr(0, end);
            pendingInput_.erase(0, end + 1);
            Run(command);
        }
    }

    void Run(const std::string& command) {
        if (command == "stats") Stats();
        else if (command == "count") Count();
        else if (command == "probe on") SetProbe(true), Say("probe on");
        else if (command == "probe off") SetProbe(false), Say("probe off");
        else if (command.rfind("gets ", 0) == 0) StartGets(std::atoi(command.c_str() + 5));
        else if (command == "peak reset") ResetPeak();
        else if (command.rfind("caught_up ", 0) == 0) StartCaughtUp(command.substr(10));
        else if (command == "quit") Quit();
        else if (!command.empty()) Say("unknown " + command);
    }

    void Quit() {
        SetProbe(false);
        form_.close();
        QCoreApplication::quit();
    }

    TMainForm& form_;
    bool traceStalls_;
    QString agent_;
    QElapsedTimer clock_;
    QTimer probe_;
    QTimer clicker_;
    QTimer getTimeout_;
    QTimer caughtUpPoll_;
    long caughtUpShown_ = 0;
    double caughtUpSince_ = 0;
    long caughtUpTimeoutMs_ = 0;
    QSocketNotifier* stdin_ = nullptr;
    std::string pendingInput_;
    std::int64_t lastTick_ = 0;
    std::int64_t worstGap_ = 0;
    std::int64_t clickPostedAt_ = -1;
    std::int64_t worstClick_ = 0;
    long clicks_ = 0;
    int getsLeft_ = 0;
    int getsSent_ = 0;
    long waitingFor_ = -1;
    std::int64_t getSentAt_ = 0;
    std::vector<double> latencies_;
};

[[noreturn]] void Usage() {
    std::fprintf(stderr,
                 "usage: console_bench --dir DIR --trap-port P --request-port Q --agent-port R [--trace-stalls]\n"
                 "                     [--receive-buffer BYTES] [--queue-entries N] [--queue-bytes BYTES]\n"
                 "                     [--bind A.B.C.D] [--agent A.B.C.D]\n");
    std::exit(2);
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    std::string dir;
    long trapPort = 0, requestPort = 0, agentPort = 0;
    bool traceStalls = false;
    long receiveBuffer = 0, queueEntries = 0, queueBytes = 0;
    std::string bind = "127.0.0.1", agent = "127.0.0.1";
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--trace-stalls") {
            traceStalls = true;
            continue;
        }
        if (i + 1 >= argc) Usage();
        if (arg == "--dir") dir = argv[++i];
        else if (arg == "--trap-port") trapPort = std::strtol(argv[++i], nullptr, 10);
        else if (arg == "--request-port") requestPort = std::strtol(argv[++i], nullptr, 10);
        else if (arg == "--agent-port") agentPort = std::strtol(argv[++i], nullptr, 10);
        else if (arg == "--receive-buffer") receiveBuffer = std::strtol(argv[++i], nullptr, 10);
        else if (arg == "--queue-entries") queueEntries = std::strtol(argv[++i], nullptr, 10);
        else if (arg == "--queue-bytes") queueBytes = std::strtol(argv[++i], nullptr, 10);
        else if (arg == "--bind") bind = argv[++i];
        else if (arg == "--agent") agent = argv[++i];
        else Usage();
    }
    if (dir.empty() || trapPort <= 0 || trapPort > 65535 || requestPort <= 0 || requestPort > 65535 ||
        agentPort <= 0 || agentPort > 65535)
        Usage();
    if (::chdir(dir.c_str()) != 0) {
        std::perror(dir.c_str());
        return 2;
    }

    QApplication app(argc, argv);
    PrintingReporter reporter;
    ConsoleConfig config;
    config.requestPort = static_cast<std::uint16_t>(requestPort);
    config.trapPort = static_cast<std::uint16_t>(trapPort);
    config.agentPort = static_cast<std::uint16_t>(agentPort);
    unsigned octets[4];
    char end;
    if (std::sscanf(bind.c_str(), "%u.%u.%u.%u%c", &octets[0], &octets[1], &octets[2], &octets[3], &end) != 4 ||
        octets[0] > 255 || octets[1] > 255 || octets[2] > 255 || octets[3] > 255)
        Usage();
    for (int k = 0; k < 4; ++k) config.bindAddress.octets[k] = static_cast<std::uint8_t>(octets[k]);
    config.reporter = &reporter;
    if (receiveBuffer > 0) config.receiveBuffer = static_cast<int>(receiveBuffer);
    if (queueEntries > 0) config.listenerQueue.entries = static_cast<std::size_t>(queueEntries);
    if (queueBytes > 0) config.listenerQueue.bytes = static_cast<std::size_t>(queueBytes);

    auto form = std::make_unique<TMainForm>(config);
    form->show();
    Bench bench(*form, traceStalls, QString::fromStdString(agent));
    Say("ready log=" + dir + "/" + form->LogFileName() + " rss_kb=" + std::to_string(StatusKilobytes("VmRSS:")) +
        " receive_buffer=" + std::to_string(form->Sockets().At(1).socket.ReceiveBufferBytes()));
    const int rc = app.exec();
    form.reset();
    return rc;
}
