// The day's log file: opened once, written only at its end, one record batch
// at a time (whole batches or none), closed at shutdown.
//
// The log lies in a directory below the one the console was started from,
// which other users may be able to write to: what they could have put there
// must never redirect the log into a file of theirs or of anyone else. So the
// directory must be a real directory (not a symbolic link) of the user the
// console runs as, and the day file a regular file of that user with no
// other name (hard link); both are opened without following a link, and
// checked on the descriptors held, so nothing can be swapped between the
// check and the use. Root is held to the same rules. A directory of the
// user's own that the group or others may use is tightened (0700) and used.
// A day file of the user's own that the group or others may use is not used
// again: whoever opened it before its modes were tightened could go on
// reading the records written to it and adding lines of their own. It is
// moved aside under a name that says why (kMovedAsideSuffix), tightened,
// and a fresh file is started. New directories and files get 0700 and 0600
// whatever the umask.
//
// The log never takes the last free space of its file system: appending
// stops while the file system's free space is below its reserve
// (HasRoomFor), the larger part of what other programs there need to keep
// running. The reserve is journald's default for its own files: 15 % of the
// file system's size, at most 4 GiB.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "output/LogSink.h"

namespace quillet {

// Why the day's log file was not opened.
enum class LogOpenFailure {
    None,
    DirectoryNotMade,       // missing, and could not be made (error)
    DirectoryIsLink,        // a symbolic link
    DirectoryNotDirectory,  // something else than a directory
    DirectoryNotOwned,      // belongs to another user (owner)
    DirectoryUnusable,      // opening or tightening it failed (error)
    FileIsLink,             // the day file is a symbolic link
    FileNotRegular,         // a directory, a pipe, a device...
    FileNotOwned,           // belongs to another user (owner)
    FileLinked,             // has another name as well (a hard link)
    FileUnusable,           // opening or tightening it failed (error)
    FileInUse,              // another process holds it (a second console)
};

struct LogOpenResult {
    LogOpenFailure failure = LogOpenFailure::None;
    int error = 0;       // errno of the call that failed, for the *Unusable and NotMade ones
    uid_t owner = 0;     // the owner found, for the *NotOwned ones
    std::string path;    // the directory's or the file's path, absolute when the cwd is known
    // When a day file others could use was moved aside and a fresh one
    // started: the name it was moved to, in the same directory.
    std::string movedAsideName;
    bool Opened() const { return failure == LogOpenFailure::None; }
};

// What a day file others could use is renamed to: its name, this suffix, and
// ".2", ".3"... when that name is taken already.
inline constexpr const char* kMovedAsideSuffix = ".others-had-access";

// The notice box for a day file moved aside (UTF-8), e.g.
//   "LOGファイル 20250307.LOG は他のユーザーも読み書きできる状態でした。..."
std::string LogMovedAsideNotice(const LogOpenResult& result);
// The first line of the fresh day file, saying where the old one went.
std::string LogMovedAsideLine(const LogOpenResult& result);

// The free space the log keeps on its file system: 15 % of `fileSystemBytes`,
// at most 4 GiB.
std::uint64_t LogReserveBytes(std::uint64_t fileSystemBytes);

// The second line of the log-open failure box: the reason and the path, in
// the window's language (UTF-8), e.g.
//   "LOGフォルダの所有者が他のユーザー（UID 65534）のため使用しません: /home/op/LOG"
//   "ログファイルがシンボリックリンクのため使用しません: /home/op/LOG/20250307.LOG"
//   "ログファイルを使用できません（Permission denied, errno 13）: /home/op/LOG/20250307.LOG"
// Empty for a result that opened.
std::string LogOpenFailureText(const LogOpenResult& result);

// The first line of that box, as the console has always shown it.
inline constexpr const char* kLogOpenFailedText = "FILEのOPENに失敗しました。";

// The whole text of the box: the first line, a line break, the second.
std::string LogOpenFailureMessage(const LogOpenResult& result);

class LogFile : public LogSink {
public:
    LogFile() = default;
    ~LogFile() override;
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;

    // Opens `name` inside `directory` (relative to the working directory, or
    // absolute) for appending, making the directory (0700) and the file
    // (0600) when missing, under the rules above. The file is held
    // exclusively: a second holder (another copy of the console) fails. A
    // file whose last record was cut short (it does not end with CR LF: a
    // run killed in the middle of a write) gets CR LF at once, so that the
    // next record starts a line of its own. A file others could use is moved
    // aside first (the result names where), and the fresh file is empty. On
    // failure the object stays closed, nothing has been written, and the
    // result says why.
    LogOpenResult Open(const std::string& directory, const std::string& name);
    bool IsOpen() const { return fd_ >= 0; }
    // Appends the bytes, whole or not at all: a short write is carried on
    // until everything is written; a write that fails (disk full, I/O error)
    // cuts the file back to its size before this call, so no part of a
    // record stays for the next one to run into. True when all bytes were
    // written; false on a failure or a closed file.
    bool Write(const char* data, std::size_t length) override;
    // Whether the file system keeps its reserve after `length` more bytes.
    // Asks the system for its free space again after every 1 MiB written,
    // every second, or when the bytes would take half of what was left above
    // the reserve (other programs write there too); while there is no room,
    // at most every kRecheckQuietMs. A closed file, or a file system that
    // cannot tell, always has room.
    bool HasRoomFor(std::size_t length) override;
    void Close();

    static constexpr int kRecheckQuietMs = 100;

private:
    // Writes CR LF when the file's last two octets are not CR LF.
    void EndCutRecord(int directory, const std::string& name);
    // Asks the file system for its free space; sets headroom_.
    void MeasureHeadroom();

    int fd_ = -1;
    // Size of the file as this holder wrote it (nobody else writes to it
    // while the lock is held): where a failed write is cut back to.
    off_t size_ = 0;
    // Bytes above the reserve when last measured, bytes written since, and
    // when (steady clock, ms); headroom_ < 0: not known.
    std::int64_t headroom_ = -1;
    std::int64_t writtenSince_ = 0;
    std::int64_t measuredMs_ = 0;
    // Once there was no room, appending goes on only with this much to spare
    // beyond what is written (1 % of the file system, within 16 KiB and
    // 1 MiB): near the reserve, batches of different sizes, and free space
    // that a file system counts in whole pages, would otherwise stop and
    // restart the log over and over, each restart with its count line.
    bool wanting_ = false;
    std::int64_t resumeMargin_ = 0;
};

}  // namespace quillet
