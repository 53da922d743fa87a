// Records of the daily log file: code page 932 text ended by CR LF, and the
// time-stamped start and stop marks of a run.
#pragma once

#include <string>
#include <string_view>

namespace quillet {

struct LocalDateTime {
    int year = 0;
    int month = 0;   // 1..12
    int day = 0;     // 1..31
    int hour = 0;    // 0..23
    int minute = 0;
    int second = 0;
    int millisecond = 0;  // 0..999; the marks do not show it
};

enum LogMark : int { StartMark = 1, StopMark = 2 };

// Appends one log record: the code page 932 bytes of the UTF-8 line, then
// CR LF. Lines of any length are written whole.
void AppendLogRecord(std::string& out, std::string_view utf8Line);

// Appends the mark record: 44 bytes of text ("++LOGGING START  " or
// "--LOGGING STOP   ", then e.g. "2005年03月07日 09時05分00秒"), CR LF, and for
// the stop mark a second CR LF (46 or 48 bytes with a four-digit year). Any
// other `which` appends nothing.
void AppendLogMarkRecord(std::string& out, LogMark which, const LocalDateTime& when);

// "LOG/" + YYYYMMDD + ".LOG" for the given day, below `directory`.
std::string LogFileName(std::string_view directory, const LocalDateTime& day);

}  // namespace quillet
