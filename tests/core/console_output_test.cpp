// The output hub: display switches, the pane's bound, counters and log records.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "output/ConsoleOutput.h"
#include "text/Cp932.h"

namespace quillet {
namespace {

class RecordingSink : public LogSink {
public:
    bool Write(const char* data, std::size_t length) override {
        ++writes;
        if (full) return false;
        bytes.append(data, length);
        return true;
    }
    bool HasRoomFor(std::size_t length) override { return room < 0 || static_cast<long>(length) <= room; }
    bool full = false;
    long room = -1;  // bytes above the disk's reserve; < 0: no reserve
    std::string bytes;
    int writes = 0;
};

struct Hub {
    RecordingSink sink;
    ConsoleOutput output;
    PaneUpdate update;
    Hub() { output.SetLogSink(&sink); }
    std::vector<std::string> TakeLines() {
        output.TakePaneUpdate(update);
        return update.lines;
    }
};

TEST(ConsoleOutput, DisplaySwitchesDecideThePaneButEveryLineIsLogged) {
    struct Case {
        bool pdu, none;
        std::vector<std::string> pane;
    };
    const Case cases[] = {
        {true, false, {"pdu", "summary"}},
        {false, false, {"summary"}},
        {true, true, {}},
        {false, true, {}},
    };
    for (const Case& c : cases) {
        Hub hub;
        hub.output.SetSwitches(c.pdu, c.none);
        hub.output.WriteLine("pdu", PduLine);
        hub.output.WriteLine("summary", SummaryLine);
        EXPECT_EQ(hub.TakeLines(), c.pane) << "pdu=" << c.pdu << " none=" << c.none;
        EXPECT_EQ(hub.sink.bytes, "pdu\r\nsummary\r\n");
    }
}

// The widget's lines as the window keeps them, from the updates it takes.
void Apply(const PaneUpdate& update, std::vector<std::string>& widget) {
    if (update.clearFirst) widget.clear();
    ASSERT_LE(update.dropLines, widget.size());
    widget.erase(widget.begin(), widget.begin() + static_cast<std::ptrdiff_t>(update.dropLines));
    widget.insert(widget.end(), update.lines.begin(), update.lines.end());
}

// Datagram k: "TRAP k" and 100 lines of 4,000 bytes, some 400,100 bytes
// with their line breaks: five fit the 2 MiB bound, six do not, and past it
// two go to bring the text below 1.75 MiB.
void CommitDatagram(ConsoleOutput& output, int k) {
    OutputBatch batch;
    batch.WriteLine("TRAP " + std::to_string(k), SummaryLine);
    for (int i = 0; i < 100; ++i) batch.WriteLine(std::string(4000, 'a'), PduLine);
    batch.ChargeOutput(100);
    output.Commit(batch);
}

TEST(ConsoleOutput, PastItsBoundThePaneDropsItsOldestDatagramsWhole) {
    Hub hub;
    std::vector<std::string> widget;
    const struct { std::size_t dropLines; const char* front; std::size_t datagrams; } steps[] = {
        {0, "TRAP 1", 1}, {0, "TRAP 1", 2}, {0, "TRAP 1", 3}, {0, "TRAP 1", 4}, {0, "TRAP 1", 5},
        {202, "TRAP 3", 4}, {0, "TRAP 3", 5}, {202, "TRAP 5", 4}, {0, "TRAP 5", 5}, {202, "TRAP 7", 4},
    };
    int k = 0;
    for (const auto& step : steps) {
        CommitDatagram(hub.output, ++k);
        hub.output.TakePaneUpdate(hub.update);
        EXPECT_EQ(hub.update.dropLines, step.dropLines) << k;
        Apply(hub.update, widget);
        EXPECT_EQ(widget.front(), step.front);
        EXPECT_EQ(widget.size(), step.datagrams * 101);
    }
    // A window too slow for the datagrams: those that would be dropped at
    // once never reach it, and a widget whose every datagram goes is emptied.
    for (k = 11; k <= 20; ++k) CommitDatagram(hub.output, k);
    EXPECT_EQ(hub.output.Pending().lineCount, 4u * 101);
    hub.output.TakePaneUpdate(hub.update);
    EXPECT_TRUE(hub.update.clearFirst);
    Apply(hub.update, widget);
    EXPECT_EQ(widget.front(), "TRAP 17");
    EXPECT_EQ(widget.size(), 4u * 101);
    // The charges bound nothing; the log has every line.
    EXPECT_EQ(hub.output.OutputTotal(), 2000);
    EXPECT_EQ(hub.sink.bytes.size(), 20u * 100 * 4002 + 9 * 8 + 11 * 9);
}

TEST(ConsoleOutput, LongLinesAreShownCutAndLoggedWhole) {
    Hub hub;
    // A line past the line bound: cut in the pane where a character begins,
    // marked, and whole in the log.
    std::string longLine = "x" + std::string(3000, 'a');
    for (int i = 0; i < 400; ++i) longLine += "受";  // three bytes each: 4201 bytes
    hub.output.WriteLine(longLine, SummaryLine);
    const std::vector<std::string> shown = hub.TakeLines();
    ASSERT_EQ(shown.size(), 1u);
    const std::string head = shown[0].substr(0, shown[0].size() - ConsoleOutput::kCutMark.size());
    EXPECT_LE(head.size(), ConsoleOutput::kPaneLineLimit);
    EXPECT_EQ(head, longLine.substr(0, head.size()));
    EXPECT_EQ(shown[0].substr(head.size()), ConsoleOutput::kCutMark);
    EXPECT_EQ(hub.sink.bytes.size(), ToCp932(longLine).size() + 2);
}

TEST(ConsoleOutput, NothingIsChargedWhileAllOutputIsHidden) {
    Hub hub;
    hub.output.SetSwitches(true, true);
    hub.output.ChargeOutput(30000);
    EXPECT_EQ(hub.output.OutputTotal(), 0);
    hub.output.SetSwitches(true, false);
    hub.output.ChargeOutput(100);
    EXPECT_EQ(hub.output.OutputTotal(), 100);
}

TEST(ConsoleOutput, ABatchIsOneLogWriteInCodePage932) {
    Hub hub;
    OutputBatch batch;
    batch.WriteLine("TRAP受信  SIZE=3", SummaryLine);
    const std::uint8_t bytes[] = {0x41, 0x42, 0x43};
    batch.DumpPdu(bytes, 3, PduLine);
    hub.output.Commit(batch);
    EXPECT_EQ(hub.sink.writes, 1);
    EXPECT_EQ(hub.sink.bytes, ToCp932("TRAP受信  SIZE=3") + "\r\n  41 42 43 " + std::string(41, ' ') + "ABC\r\n");
}

TEST(ConsoleOutput, CountersShowTheirLatestValueAndResetQueuesZeros) {
    Hub hub;
    OutputBatch batch;
    batch.CountDatagram(Counter::Recv);
    batch.CountDatagram(Counter::Recv);
    batch.CountDatagram(Counter::Trap);
    hub.output.Commit(batch);
    hub.output.TakePaneUpdate(hub.update);
    EXPECT_EQ(*hub.update.fields[static_cast<int>(Field::RecvEdit)], "2");
    EXPECT_EQ(*hub.update.fields[static_cast<int>(Field::TrapEdit)], "1");
    EXPECT_FALSE(hub.update.fields[static_cast<int>(Field::SendEdit)].has_value());

    hub.output.Commit(batch);  // RecvEdit 4 queued ...
    hub.output.ResetCounters();  // ... then the reset: the zero wins
    hub.output.TakePaneUpdate(hub.update);
    for (Field f : {Field::SendEdit, Field::RecvEdit, Field::TrapEdit})
        EXPECT_EQ(*hub.update.fields[static_cast<int>(f)], "0");
    EXPECT_EQ(hub.output.CounterValue(Counter::Recv), 0);
    EXPECT_TRUE(hub.sink.bytes.empty());  // counters are not logged
}

TEST(ConsoleOutput, PaneOnlyLinesAreNeitherLoggedNorCharged) {
    Hub hub;
    hub.output.SetSwitches(false, true);  // shown whatever the switches say
    OutputBatch batch;
    batch.PaneLine("Pinging was finished");
    hub.output.Commit(batch);
    EXPECT_EQ(hub.TakeLines(), std::vector<std::string>{"Pinging was finished"});
    EXPECT_TRUE(hub.sink.bytes.empty());
    EXPECT_EQ(hub.output.OutputTotal(), 0);
}

TEST(ConsoleOutput, LinesOfConcurrentBatchesNeverInterleave) {
    Hub hub;
    constexpr int kBatches = 2000;
    auto writer = [&hub](const char* tag) {
        OutputBatch batch;
        for (int i = 0; i < kBatches; ++i) {
            batch.Clear();
            for (int line = 0; line < 3; ++line) batch.WriteLine(std::string(tag) + std::to_string(line), SummaryLine);
            hub.output.Commit(batch);
        }
    };
    // Four writers, as the listeners and the ping worker commit, while this
    // thread takes the pane's updates as the window does.
    const char* tags[] = {"a", "b", "c", "d"};
    std::vector<std::thread> writers;
    for (const char* tag : tags) writers.emplace_back(writer, tag);
    std::size_t paneLines = 0;
    for (int i = 0; i < 200; ++i) paneLines += hub.TakeLines().size();
    for (std::thread& t : writers) t.join();
    paneLines += hub.TakeLines().size();
    EXPECT_GT(paneLines, 0u);
    // Every batch is three consecutive records of one writer.
    const std::string& log = hub.sink.bytes;
    ASSERT_EQ(log.size(), static_cast<std::size_t>(4 * kBatches * 3 * 4));
    for (std::size_t pos = 0; pos < log.size(); pos += 12) {
        const char tag = log[pos];
        EXPECT_EQ(log.substr(pos, 12), std::string(1, tag) + "0\r\n" + tag + "1\r\n" + tag + "2\r\n");
    }
}

TEST(ConsoleOutput, NothingOfARunIsLoggedAfterItsStopMark) {
    // Writers keep committing while the window closes: the stop mark and its
    // empty line must be the last bytes, with only whole records before.
    Hub hub;
    std::atomic<bool> stop{false};
    auto writer = [&hub, &stop](const char* tag) {
        OutputBatch batch;
        batch.WriteLine(tag, SummaryLine);
        batch.WriteLine(tag, SummaryLine);
        while (!stop) hub.output.Commit(batch);
    };
    std::thread a(writer, "a"), b(writer, "b");
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const LocalDateTime when{2005, 3, 7, 23, 59, 59};
    hub.output.WriteStopMarkAndDetach(when);
    std::string mark;
    AppendLogMarkRecord(mark, StopMark, when);
    const std::string atClose = hub.sink.bytes;
    stop = true;
    a.join();
    b.join();
    EXPECT_EQ(hub.sink.bytes, atClose);
    ASSERT_GE(hub.sink.bytes.size(), mark.size());
    EXPECT_EQ(hub.sink.bytes.substr(hub.sink.bytes.size() - mark.size()), mark);
    for (std::size_t pos = 0; pos + mark.size() < hub.sink.bytes.size(); pos += 6) {
        const std::string pair = hub.sink.bytes.substr(pos, 6);
        ASSERT_TRUE(pair == "a\r\na\r\n" || pair == "b\r\nb\r\n") << pos;
    }
}

TEST(ConsoleOutput, AFailedLogWriteIsToldOnceAndWritingGoesOn) {
    Hub hub;
    int notices = 0;
    hub.output.OnLogWriteFailure([&notices] { ++notices; });
    hub.output.WriteLine("before", SummaryLine);
    hub.sink.full = true;
    hub.output.WriteLine("lost 1", SummaryLine);
    hub.output.WriteLogMark(StartMark, LocalDateTime{2005, 3, 7});
    hub.output.WriteLine("lost 2", SummaryLine);
    hub.sink.full = false;
    hub.output.WriteLine("after", SummaryLine);
    hub.sink.full = true;
    hub.output.WriteLine("lost 3", SummaryLine);
    EXPECT_EQ(notices, 1);
    EXPECT_EQ(hub.sink.bytes, "before\r\nafter\r\n");
    EXPECT_EQ(hub.TakeLines(), (std::vector<std::string>{"before", "lost 1", "lost 2", "after", "lost 3"}));
}

TEST(ConsoleOutput, BelowTheDisksReserveWholeBatchesWaitCountedAndTheCountComesFirstAfter) {
    Hub hub;
    std::vector<bool> told;
    hub.output.OnLogKeptFree([&told](bool stopped) { told.push_back(stopped); });
    hub.sink.room = 10;
    hub.output.WriteLine("fits", SummaryLine);  // 6 bytes
    OutputBatch batch;  // 3 records, 17 bytes: held back whole, never cut
    batch.WriteLine("a1", SummaryLine);
    batch.WriteLine("a2", PduLine);
    batch.WriteLine("a3 tail", SummaryLine);
    hub.output.Commit(batch);
    hub.output.WriteLogMark(StopMark, LocalDateTime{2005, 3, 7});  // 2 records
    hub.output.WriteLine("b", SummaryLine);  // 3 bytes, but the count's line must fit with it
    hub.sink.room = -1;
    hub.output.WriteLine("after", SummaryLine);
    hub.output.WriteLine("later", SummaryLine);
    const std::string resumed = std::string(ConsoleOutput::kLogResumedHead) + "6";
    EXPECT_EQ(hub.sink.bytes, "fits\r\n" + ToCp932(resumed) + "\r\nafter\r\nlater\r\n");
    EXPECT_EQ(told, (std::vector<bool>{true, false}));
    // The pane says so once where the log stopped, and gives the count where
    // it went on.
    EXPECT_EQ(hub.TakeLines(), (std::vector<std::string>{"fits", std::string(ConsoleOutput::kLogStoppedLine), "a1",
                                                         "a2", "a3 tail", "b", resumed, "after", "later"}));
}

TEST(ConsoleOutput, WakesTheGuiOnlyWhenWorkBecomesPending) {
    int wakes = 0;
    ConsoleOutput output([&wakes] { ++wakes; });
    output.WriteLine("one", SummaryLine);
    output.WriteLine("two", SummaryLine);
    EXPECT_EQ(wakes, 1);
    PaneUpdate update;
    output.TakePaneUpdate(update);
    output.WriteLine("three", SummaryLine);
    EXPECT_EQ(wakes, 2);
}

}  // namespace
}  // namespace quillet
