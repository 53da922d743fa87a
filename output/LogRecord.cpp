#include "output/LogRecord.h"

#include <cstdio>

#include "text/Cp932.h"

namespace quillet {

void AppendLogRecord(std::string& out, std::string_view utf8Line) {
    AppendCp932(out, utf8Line);
    out.append("\r\n");
}

void AppendLogMarkRecord(std::string& out, LogMark which, const LocalDateTime& when) {
    const char* mark = nullptr;
    if (which == StartMark) mark = "++LOGGING START  ";
    else if (which == StopMark) mark = "--LOGGING STOP   ";
    else return;
    char text[160];
    std::snprintf(text, sizeof text, "%s%d年%02d月%02d日 %02d時%02d分%02d秒", mark, when.year, when.month, when.day,
                  when.hour, when.minute, when.second);
    // The mark holds exactly 44 bytes of text; a year past 9999 is cut there.
    std::string bytes = ToCp932(text);
    bytes.resize(Cp932PrefixLength(bytes, 44));
    out.append(bytes);
    out.append(which == StopMark ? "\r\n\r\n" : "\r\n");
}

std::string LogFileName(std::string_view directory, const LocalDateTime& day) {
    char name[32];
    std::snprintf(name, sizeof name, "%04d%02d%02d.LOG", day.year, day.month, day.day);
    std::string path(directory);
    if (!path.empty() && path.back() != '/') path.push_back('/');
    return path + name;
}

}  // namespace quillet
