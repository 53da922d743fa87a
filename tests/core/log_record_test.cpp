// Records of the day's log file: marks, line ends and the file's name.
#include <gtest/gtest.h>

#include <string>

#include "output/LogRecord.h"
#include "text/Cp932.h"

namespace quillet {
namespace {

TEST(LogRecord, MarksAre46And48BytesAndTheStopMarkEndsWithAnEmptyLine) {
    const LocalDateTime when{2005, 3, 7, 9, 5, 0};
    std::string start, stop, other;
    AppendLogMarkRecord(start, StartMark, when);
    AppendLogMarkRecord(stop, StopMark, when);
    AppendLogMarkRecord(other, static_cast<LogMark>(3), when);
    EXPECT_EQ(start, ToCp932("++LOGGING START  2005年03月07日 09時05分00秒") + "\r\n");
    EXPECT_EQ(start.size(), 46u);
    EXPECT_EQ(stop, ToCp932("--LOGGING STOP   2005年03月07日 09時05分00秒") + "\r\n\r\n");
    EXPECT_EQ(stop.size(), 48u);
    EXPECT_TRUE(other.empty());
}

TEST(LogRecord, LinesEndInCrLfAndLongLinesAreKeptWhole) {
    std::string out;
    AppendLogRecord(out, "  受信DATA=");
    EXPECT_EQ(out, "  \x8E\xF3\x90\x4D" "DATA=\r\n");
    out.clear();
    AppendLogRecord(out, std::string(5000, 'x'));
    EXPECT_EQ(out.size(), 5002u);
    EXPECT_EQ(LogFileName("LOG", LocalDateTime{2005, 3, 7}), "LOG/20050307.LOG");
}

}  // namespace
}  // namespace quillet
