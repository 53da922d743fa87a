#include "platform/LogFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>

namespace quillet {
namespace {

constexpr mode_t kDirectoryMode = 0700;
constexpr mode_t kFileMode = 0600;
// Permission bits of the group and of others.
constexpr mode_t kSharedBits = 0077;

// Closes a descriptor at the end of a scope unless it is released.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int Get() const { return fd_; }
    int Release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    void Reset(int fd) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }

private:
    int fd_;
};

std::string AbsolutePath(const std::string& path) {
    if (!path.empty() && path.front() == '/') return path;
    char cwd[PATH_MAX];
    if (::getcwd(cwd, sizeof cwd) == nullptr) return path;
    std::string absolute(cwd);
    if (absolute.back() != '/') absolute.push_back('/');
    return absolute + path;
}

// Free space is asked for again after this much was written.
constexpr std::int64_t kRecheckBytes = 1 << 20;
constexpr std::int64_t kRecheckMs = 1000;

std::int64_t SteadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Renames `name` in `directory` to the first free one of name + suffix,
// name + suffix + ".2", ... Returns the new name, empty when none could be
// taken (errno tells why).
std::string MoveAside(int directory, const std::string& name) {
    for (int k = 1; k <= 100; ++k) {
        const std::string aside = name + kMovedAsideSuffix + (k == 1 ? "" : "." + std::to_string(k));
        if (::renameat2(directory, name.c_str(), directory, aside.c_str(), RENAME_NOREPLACE) == 0) return aside;
        if (errno == EEXIST) continue;
        if (errno != EINVAL) return std::string();
        // A file system that cannot refuse to replace: the directory is the
        // user's own (0700) by now, so nobody else can take the name between
        // this look and the rename.
        struct stat seen {};
        if (::fstatat(directory, aside.c_str(), &seen, AT_SYMLINK_NOFOLLOW) == 0) continue;
        if (::renameat(directory, name.c_str(), directory, aside.c_str()) == 0) return aside;
        return std::string();
    }
    errno = EEXIST;
    return std::string();
}

LogOpenResult Failed(LogOpenFailure failure, const std::string& path, int error = 0, uid_t owner = 0) {
    LogOpenResult result;
    result.failure = failure;
    result.error = error;
    result.owner = owner;
    result.path = path;
    return result;
}

}  // namespace

LogFile::~LogFile() { Close(); }

LogOpenResult LogFile::Open(const std::string& directory, const std::string& name) {
    Close();
    const std::string directoryPath = AbsolutePath(directory);
    const std::string filePath = directoryPath + (directoryPath.back() == '/' ? "" : "/") + name;
    const uid_t self = ::geteuid();

    const bool madeDirectory = ::mkdir(directory.c_str(), kDirectoryMode) == 0;
    const int makeError = madeDirectory ? 0 : errno;
    // From here on only the descriptor counts: whatever the name points to
    // later, the checks and the file are those of the directory held.
    Descriptor dir(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (dir.Get() < 0) {
        const int error = errno;
        if (error == ENOENT && makeError != 0 && makeError != EEXIST)
            return Failed(LogOpenFailure::DirectoryNotMade, directoryPath, makeError);
        // What the name is, only to say why (nothing is opened through it).
        struct stat seen {};
        if (::lstat(directory.c_str(), &seen) == 0) {
            if (S_ISLNK(seen.st_mode)) return Failed(LogOpenFailure::DirectoryIsLink, directoryPath);
            if (!S_ISDIR(seen.st_mode)) return Failed(LogOpenFailure::DirectoryNotDirectory, directoryPath);
        }
        return Failed(LogOpenFailure::DirectoryUnusable, directoryPath, error);
    }
    struct stat status {};
    if (::fstat(dir.Get(), &status) != 0) return Failed(LogOpenFailure::DirectoryUnusable, directoryPath, errno);
    if (status.st_uid != self) return Failed(LogOpenFailure::DirectoryNotOwned, directoryPath, 0, status.st_uid);
    // A directory of the user's own that others may enter or write to is
    // tightened (an older run, or a umask of 002), never refused for it; a
    // new one gets exactly 0700 whatever the umask took away.
    if ((madeDirectory || (status.st_mode & kSharedBits) != 0) && ::fchmod(dir.Get(), kDirectoryMode) != 0)
        return Failed(LogOpenFailure::DirectoryUnusable, directoryPath, errno);

    // O_EXCL tells a new file from an old one; O_NONBLOCK keeps a pipe put
    // in the file's place from holding the open up (it is refused below).
    constexpr int kFlags = O_WRONLY | O_APPEND | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK | O_CLOEXEC;
    int fd = ::openat(dir.Get(), name.c_str(), kFlags | O_CREAT | O_EXCL, kFileMode);
    bool madeFile = fd >= 0;
    if (fd < 0 && errno == EEXIST) fd = ::openat(dir.Get(), name.c_str(), kFlags);
    Descriptor file(fd);
    if (fd < 0) {
        const int error = errno;
        struct stat seen {};
        if (::fstatat(dir.Get(), name.c_str(), &seen, AT_SYMLINK_NOFOLLOW) == 0) {
            if (S_ISLNK(seen.st_mode)) return Failed(LogOpenFailure::FileIsLink, filePath);
            if (!S_ISREG(seen.st_mode)) return Failed(LogOpenFailure::FileNotRegular, filePath);
        }
        return Failed(LogOpenFailure::FileUnusable, filePath, error);
    }
    std::string movedAside;
    for (int round = 0; round < 2; ++round) {
        if (::fstat(file.Get(), &status) != 0) return Failed(LogOpenFailure::FileUnusable, filePath, errno);
        if (!S_ISREG(status.st_mode)) return Failed(LogOpenFailure::FileNotRegular, filePath);
        if (status.st_uid != self) return Failed(LogOpenFailure::FileNotOwned, filePath, 0, status.st_uid);
        // A second name of the file may lie anywhere on the file system: in
        // another user's home, for one.
        if (status.st_nlink != 1) return Failed(LogOpenFailure::FileLinked, filePath);
        if (madeFile || (status.st_mode & kSharedBits) == 0) break;
        // Others could use this file: whoever opened it then may still hold
        // it, reading what is written and adding lines. A second console
        // holding it keeps it as before; otherwise it is closed to new
        // openers, moved aside, and a fresh file is started.
        if (::flock(file.Get(), LOCK_EX | LOCK_NB) != 0) return Failed(LogOpenFailure::FileInUse, filePath, errno);
        if (::fchmod(file.Get(), kFileMode) != 0) return Failed(LogOpenFailure::FileUnusable, filePath, errno);
        movedAside = MoveAside(dir.Get(), name);
        if (movedAside.empty()) return Failed(LogOpenFailure::FileUnusable, filePath, errno);
        Descriptor old(file.Release());
        fd = ::openat(dir.Get(), name.c_str(), kFlags | O_CREAT | O_EXCL, kFileMode);
        if (fd < 0) return Failed(LogOpenFailure::FileUnusable, filePath, errno);
        file.Reset(fd);
        madeFile = true;
    }
    if (madeFile && ::fchmod(file.Get(), kFileMode) != 0) return Failed(LogOpenFailure::FileUnusable, filePath, errno);
    const int flags = ::fcntl(file.Get(), F_GETFL);
    if (flags < 0 || ::fcntl(file.Get(), F_SETFL, flags & ~O_NONBLOCK) != 0)
        return Failed(LogOpenFailure::FileUnusable, filePath, errno);
    // No sharing: another process holding the day's file keeps us out.
    if (::flock(file.Get(), LOCK_EX | LOCK_NB) != 0) return Failed(LogOpenFailure::FileInUse, filePath, errno);

    fd_ = file.Release();
    size_ = status.st_size;
    headroom_ = -1;
    wanting_ = false;
    EndCutRecord(dir.Get(), name);
    LogOpenResult opened{LogOpenFailure::None, 0, 0, filePath, movedAside};
    return opened;
}

void LogFile::EndCutRecord(int directory, const std::string& name) {
    if (size_ == 0) return;
    // The held descriptor writes only; the last octets are read through a
    // second one, checked to be the same file.
    Descriptor reader(::openat(directory, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat held {}, read {};
    if (reader.Get() < 0 || ::fstat(fd_, &held) != 0 || ::fstat(reader.Get(), &read) != 0 ||
        held.st_dev != read.st_dev || held.st_ino != read.st_ino)
        return;
    char tail[2] = {};
    const off_t from = size_ >= 2 ? size_ - 2 : 0;
    const ssize_t got = ::pread(reader.Get(), tail, static_cast<std::size_t>(size_ - from), from);
    if (got == 2 && tail[0] == '\r' && tail[1] == '\n') return;
    if (got <= 0) return;
    Write("\r\n", 2);
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
    writtenSince_ += static_cast<std::int64_t>(length);
    return true;
}

bool LogFile::HasRoomFor(std::size_t length) {
    if (fd_ < 0) return true;
    const std::int64_t bytes = static_cast<std::int64_t>(length);
    const std::int64_t now = SteadyMs();
    bool measure;
    if (headroom_ < 0) {
        measure = true;
    } else if (wanting_ || headroom_ - writtenSince_ < bytes) {
        measure = now - measuredMs_ >= kRecheckQuietMs;
    } else {
        measure = now - measuredMs_ >= kRecheckMs || writtenSince_ >= kRecheckBytes ||
                  writtenSince_ + bytes > headroom_ / 2;
    }
    if (measure) MeasureHeadroom();
    const std::int64_t spare = headroom_ - writtenSince_ - bytes;
    wanting_ = spare < (wanting_ ? resumeMargin_ : 0);
    return !wanting_;
}

void LogFile::MeasureHeadroom() {
    measuredMs_ = SteadyMs();
    writtenSince_ = 0;
    struct statvfs disk {};
    if (::fstatvfs(fd_, &disk) != 0 || disk.f_frsize == 0) {
        // A file system that cannot tell keeps no reserve we could honour.
        headroom_ = INT64_MAX / 2;
        return;
    }
    const std::uint64_t size = static_cast<std::uint64_t>(disk.f_blocks) * disk.f_frsize;
    const std::uint64_t free = static_cast<std::uint64_t>(disk.f_bavail) * disk.f_frsize;
    const std::uint64_t reserve = LogReserveBytes(size);
    resumeMargin_ = static_cast<std::int64_t>(
        std::clamp<std::uint64_t>(size / 100, std::uint64_t{16} << 10, std::uint64_t{1} << 20));
    headroom_ = free > reserve ? static_cast<std::int64_t>(std::min<std::uint64_t>(free - reserve, INT64_MAX / 2)) : 0;
}

void LogFile::Close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

}  // namespace quillet
