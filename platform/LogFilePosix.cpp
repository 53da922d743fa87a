#include "platform/LogFile.h"

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
    struct stat status {};
    if (::fstat(fd, &status) != 0) {
        ::close(fd);
        return false;
    }
    fd_ = fd;
    size_ = status.st_size;
    return true;
}

bool LogFile::Write(const char* data, std::size_t length) {
    if (fd_ < 0) return false;
    std::size_t written = 0;
    while (written < length) {
        const ssize_t rc = ::write(fd_, data + written, length - written);
        if (rc > 0) {
            written += static_cast<std::size_t>(rc);  // a short write goes on from there
            continue;
        }
        if (rc < 0 && errno == EINTR) continue;
        // Disk full, I/O error, or no progress: take back the part of the
        // batch that did land, so the file holds whole records only.
        if (written > 0 && ::ftruncate(fd_, size_) != 0) size_ += static_cast<off_t>(written);
        return false;
    }
    size_ += static_cast<off_t>(length);
    return true;
}

void LogFile::Close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

}  // namespace quillet
