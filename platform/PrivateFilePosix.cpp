#include "platform/PrivateFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace quillet {
namespace {

constexpr mode_t kFolderMode = 0700;
constexpr mode_t kFileMode = 0600;

std::string SystemReason(const std::string& what, const std::string& path) {
    return what + ": " + path + "（" + std::strerror(errno) + "）";
}

// Makes the folder `path` and its missing parents, each 0700 (whatever the
// umask takes away from 0700 is nothing).
bool MakeFolders(const std::string& path, std::string& why) {
    struct stat seen {};
    if (::stat(path.c_str(), &seen) == 0) return true;
    const std::size_t slash = path.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !MakeFolders(path.substr(0, slash), why)) return false;
    if (::mkdir(path.c_str(), kFolderMode) != 0 && errno != EEXIST) {
        why = SystemReason("フォルダを作れません", path);
        return false;
    }
    return true;
}

// The file's folder: the user's own folder, not a link, 0700.
bool MakePrivateFolder(const std::string& folder, std::string& why) {
    if (!MakeFolders(folder, why)) return false;
    struct stat seen {};
    if (::lstat(folder.c_str(), &seen) != 0) {
        why = SystemReason("フォルダを調べられません", folder);
        return false;
    }
    if (!S_ISDIR(seen.st_mode)) {
        why = "フォルダではない（シンボリックリンクなど）ため使用しません: " + folder;
        return false;
    }
    if (seen.st_uid != ::geteuid()) {
        why = "フォルダの所有者が他のユーザーのため使用しません: " + folder;
        return false;
    }
    if ((seen.st_mode & 07777) != kFolderMode && ::chmod(folder.c_str(), kFolderMode) != 0) {
        why = SystemReason("フォルダを0700にできません", folder);
        return false;
    }
    return true;
}

}  // namespace

bool MakePrivateFile(const std::string& path, std::string& why) {
    why.clear();
    const std::size_t slash = path.find_last_of('/');
    if (slash != std::string::npos && !MakePrivateFolder(slash == 0 ? "/" : path.substr(0, slash), why)) return false;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK | O_CLOEXEC, kFileMode);
    if (fd < 0) {
        why = errno == ELOOP ? "設定ファイルがシンボリックリンクのため使用しません: " + path
                             : SystemReason("設定ファイルを開けません", path);
        return false;
    }
    struct stat seen {};
    bool ok = false;
    if (::fstat(fd, &seen) != 0) {
        why = SystemReason("設定ファイルを調べられません", path);
    } else if (!S_ISREG(seen.st_mode)) {
        why = "設定ファイルが通常のファイルではないため使用しません: " + path;
    } else if (seen.st_uid != ::geteuid()) {
        why = "設定ファイルの所有者が他のユーザーのため使用しません: " + path;
    } else if ((seen.st_mode & 07777) != kFileMode && ::fchmod(fd, kFileMode) != 0) {
        why = SystemReason("設定ファイルを0600にできません", path);
    } else {
        ok = true;
    }
    ::close(fd);
    return ok;
}

}  // namespace quillet
