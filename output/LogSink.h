// Where the output hub writes log records: the day's log file in the
// program (platform/LogFile.h), a recorder in tests.
#pragma once

#include <cstddef>

namespace quillet {

// Where log records go; the platform layer provides the file.
class LogSink {
public:
    virtual ~LogSink() = default;
    // Appends the bytes, whole records or none: true when all of them were
    // written, false when none remain (a write that failed halfway, for a
    // full disk or an I/O error, is taken back).
    virtual bool Write(const char* data, std::size_t length) = 0;
    // Whether `length` more bytes may be appended without taking the free
    // space the sink keeps in reserve on its disk. Asked before each Write;
    // a sink with no such reserve always has room.
    virtual bool HasRoomFor(std::size_t /*length*/) { return true; }
};

}  // namespace quillet
