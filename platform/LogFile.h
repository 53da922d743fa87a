// The day's log file: opened once, written only at its end, one record batch
// at a time (whole batches or none), closed at shutdown.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>

#include "output/LogSink.h"

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
    // Appends the bytes, whole or not at all: a short write is carried on
    // until everything is written; a write that fails (disk full, I/O error)
    // cuts the file back to its size before this call, so no part of a
    // record stays for the next one to run into. True when all bytes were
    // written; false on a failure or a closed file.
    bool Write(const char* data, std::size_t length) override;
    void Close();

private:
    int fd_ = -1;
    // Size of the file as this holder wrote it (nobody else writes to it
    // while the lock is held): where a failed write is cut back to.
    off_t size_ = 0;
};

}  // namespace quillet
