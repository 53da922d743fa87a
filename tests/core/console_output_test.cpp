// The output hub: display switches, pane budget, counters and log records.
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

TEST(ConsoleOutput, PaneIsEmptiedBeforeADatagramThatWouldTakeItAbove26214) {
    Hub hub;
    hub.output.WriteLine("before", SummaryLine);
    hub.output.ChargeOutput(26000);
    hub.output.WriteLine("kept", SummaryLine);
    hub.output.ChargeOutput(214);  // 26214: not above the limit
    EXPECT_EQ(hub.output.OutputTotal(), 26214);
    hub.output.TakePaneUpdate(hub.update);
    EXPECT_FALSE(hub.update.clearFirst);
    EXPECT_EQ(hub.update.lines, (std::vector<std::string>{"before", "kept"}));

    // Two datagrams in one batch: the first one's charge crosses the bound,
    // so the pane is emptied before its lines, never between them.
    OutputBatch batch;
    batch.StartDatagram();
    batch.WriteLine("get response", SummaryLine);
    batch.ChargeOutput(100);
    batch.WriteLine("  object ID =1.3", SummaryLine);
    batch.ChargeOutput(100);
    batch.StartDatagram();
    batch.WriteLine("TRAP", SummaryLine);
    batch.ChargeOutput(100);
    hub.output.Commit(batch);
    hub.output.TakePaneUpdate(hub.update);
    EXPECT_TRUE(hub.update.clearFirst);
    EXPECT_EQ(hub.update.lines, (std::vector<std::string>{"get response", "  object ID =1.3", "TRAP"}));
    EXPECT_EQ(hub.output.OutputTotal(), 300);
    EXPECT_EQ(hub.sink.bytes, "before\r\nkept\r\nget response\r\n  object ID =1.3\r\nTRAP\r\n");
}

TEST(ConsoleOutput, ThePaneTextIsBoundedInBytesAndLongLinesAreShownCut) {
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
    // Datagrams of big dumps charged little: the text bound empties the pane
    // before the one that would pass it, and no more text than it waits.
    std::vector<std::uint8_t> datagram(60000, 0x41);
    OutputBatch batch;
    std::size_t pending = 0;
    bool emptied = false;
    for (int i = 0; i < 12; ++i) {
        batch.Clear();
        batch.WriteLine("TRAP", SummaryLine);
        batch.DumpPdu(datagram.data(), datagram.size(), PduLine);
        batch.ChargeOutput(100);
        hub.output.Commit(batch);
        hub.output.TakePaneText(hub.update);
        emptied |= hub.update.clearFirst;
        pending = hub.update.clearFirst ? hub.update.text.size() : pending + hub.update.text.size();
        EXPECT_LE(pending, ConsoleOutput::kPaneTextLimit);
    }
    EXPECT_TRUE(emptied);
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
