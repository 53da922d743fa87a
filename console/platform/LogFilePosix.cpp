#include "console/platform/LogFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace quillet {

void MakeDirectory(const std::string& path) { ::mkdir(path.c_str(), 0777); }

LogFile::~LogFile() { Close(); }

bool LogFile::Open(const std::string& path) {
    Close();
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    // No sharing: another process holding the day's file keeps us out.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    fd_ = fd;
    return true;
}

void LogFile::Write(const char* data, std::size_t length) {
    if (fd_ < 0) return;
    // One write call per record batch; a short write (disk full) is not retried
    // except when a signal interrupted it before anything was written.
    ssize_t rc;
    do {
        rc = ::write(fd_, data, length);
    } while (rc < 0 && errno == EINTR);
}

void LogFile::Close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

}  // namespace quillet
