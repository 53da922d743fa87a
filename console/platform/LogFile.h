// The day's log file: opened once, written only at its end, one write call
// per record batch, closed at shutdown.
#pragma once

#include <cstddef>
#include <string>

#include "console/ConsoleOutput.h"

namespace quillet {

// Creates the directory; an existing directory or any failure is ignored.
void MakeDirectory(const std::string& path);

class LogFile : public LogSink {
public:
    LogFile() = default;
    ~LogFile() override;
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;

    // Opens the file for appending, creating it if missing. The file is held
    // exclusively: a second holder (another copy of the console) fails.
    // Returns false on failure; the object then stays closed.
    bool Open(const std::string& path);
    bool IsOpen() const { return fd_ >= 0; }
    // Appends the bytes in one write call; the result is not reported (a
    // closed file or a failed write loses the record silently).
    void Write(const char* data, std::size_t length) override;
    void Close();

private:
    int fd_ = -1;
};

}  // namespace quillet
