// The day's log file below a directory other users may have prepared: what
// could redirect the log is refused with nothing written through it, what
// is the user's own but too open is tightened and used, and new directories
// and files get 0700 and 0600 whatever the umask.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include "platform/LogFile.h"

namespace quillet {
namespace {

constexpr uid_t kOtherUser = 65534;
constexpr const char* kDay = "20250307.LOG";
const std::string kVictimText = "export PATH=/usr/bin\n";

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteAll(const std::string& path, const std::string& bytes, mode_t mode = 0600) {
    std::ofstream(path, std::ios::binary) << bytes;
    ::chmod(path.c_str(), mode);
}

mode_t ModeOf(const std::string& path) {
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0 ? status.st_mode & 07777 : 0;
}

bool Exists(const std::string& path) {
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0;
}

// A fresh folder holding "victim" (a file of someone's that must never be
// written to) and "elsewhere/" (a folder the log must not go to).
class Folder {
public:
    Folder() {
        char pattern[] = "/tmp/quillet-log.XXXXXX";
        base_ = ::mkdtemp(pattern);
        WriteAll(Victim(), kVictimText, 0644);
        ::mkdir((base_ + "/elsewhere").c_str(), 0700);
    }
    ~Folder() { std::system(("rm -rf '" + base_ + "'").c_str()); }
    std::string Log() const { return base_ + "/LOG"; }
    std::string Day() const { return Log() + "/" + kDay; }
    std::string Victim() const { return base_ + "/victim"; }
    std::string Elsewhere() const { return base_ + "/elsewhere"; }

private:
    std::string base_;
};

struct RefusedCase {
    const char* fault;
    std::function<void(const Folder&)> arrange;
    LogOpenFailure failure;
    std::function<std::string(const Folder&)> path;  // the path the refusal names
};

void ExpectRefused(const RefusedCase& c) {
    SCOPED_TRACE(c.fault);
    Folder folder;
    c.arrange(folder);
    const mode_t logMode = ModeOf(folder.Log());
    LogFile log;
    const LogOpenResult result = log.Open(folder.Log(), kDay);
    EXPECT_EQ(result.failure, c.failure);
    EXPECT_EQ(result.path, c.path(folder));
    EXPECT_FALSE(log.IsOpen());
    EXPECT_FALSE(log.Write("TRAP\r\n", 6));
    EXPECT_EQ(ReadAll(folder.Victim()), kVictimText);
    EXPECT_FALSE(Exists(folder.Elsewhere() + "/" + kDay));
    EXPECT_EQ(ModeOf(folder.Log()), logMode);  // nothing refused is tightened either
}

std::string LogPath(const Folder& folder) { return folder.Log(); }
std::string DayPath(const Folder& folder) { return folder.Day(); }

TEST(LogFileOpen, WhatCouldRedirectTheLogIsRefusedAndNothingIsWrittenThroughIt) {
    const RefusedCase cases[] = {
        {"LOG, a link to a folder of the user's own, followed",
         [](const Folder& f) { ::symlink(f.Elsewhere().c_str(), f.Log().c_str()); }, LogOpenFailure::DirectoryIsLink,
         LogPath},
        {"LOG, a file, taken for the folder", [](const Folder& f) { WriteAll(f.Log(), "x"); },
         LogOpenFailure::DirectoryNotDirectory, LogPath},
        {"a day file linked to another file followed",
         [](const Folder& f) {
             ::mkdir(f.Log().c_str(), 0700);
             ::symlink(f.Victim().c_str(), f.Day().c_str());
         },
         LogOpenFailure::FileIsLink, DayPath},
        {"a dangling day file link followed, creating its target",
         [](const Folder& f) {
             ::mkdir(f.Log().c_str(), 0700);
             ::symlink((f.Elsewhere() + "/" + kDay).c_str(), f.Day().c_str());
         },
         LogOpenFailure::FileIsLink, DayPath},
        {"a day file that is a second name of another file written",
         [](const Folder& f) {
             ::mkdir(f.Log().c_str(), 0700);
             ::link(f.Victim().c_str(), f.Day().c_str());
         },
         LogOpenFailure::FileLinked, DayPath},
        {"a pipe in the day file's place opened (or waited on)",
         [](const Folder& f) {
             ::mkdir(f.Log().c_str(), 0700);
             ::mkfifo(f.Day().c_str(), 0600);
         },
         LogOpenFailure::FileNotRegular, DayPath},
        {"a folder in the day file's place accepted",
         [](const Folder& f) {
             ::mkdir(f.Log().c_str(), 0700);
             ::mkdir(f.Day().c_str(), 0700);
         },
         LogOpenFailure::FileNotRegular, DayPath},
    };
    for (const RefusedCase& c : cases) ExpectRefused(c);
}

TEST(LogFileOpen, ALogFolderOrDayFileOfAnotherUserIsRefused) {
    if (::geteuid() != 0) GTEST_SKIP() << "making files of another user (uid 65534) needs root";
    // Root is held to the same rules: another user's LOG/ is refused even
    // though root could write into it.
    const RefusedCase cases[] = {
        {"another user's open LOG/ holding a link to the victim used",
         [](const Folder& f) {
             ::mkdir(f.Log().c_str(), 0777);
             ::chmod(f.Log().c_str(), 0777);
             ::symlink(f.Victim().c_str(), f.Day().c_str());
             ASSERT_EQ(::lchown(f.Day().c_str(), kOtherUser, kOtherUser), 0);
             ASSERT_EQ(::chown(f.Log().c_str(), kOtherUser, kOtherUser), 0);
         },
         LogOpenFailure::DirectoryNotOwned, LogPath},
        {"another user's empty LOG/ used", [](const Folder& f) {
             ::mkdir(f.Log().c_str(), 0700);
             ASSERT_EQ(::chown(f.Log().c_str(), kOtherUser, kOtherUser), 0);
         },
         LogOpenFailure::DirectoryNotOwned, LogPath},
        {"another user's day file in the user's LOG/ appended to",
         [](const Folder& f) {
             ::mkdir(f.Log().c_str(), 0700);
             WriteAll(f.Day(), "theirs\r\n", 0666);
             ASSERT_EQ(::chown(f.Day().c_str(), kOtherUser, kOtherUser), 0);
         },
         LogOpenFailure::FileNotOwned, DayPath},
    };
    for (const RefusedCase& c : cases) ExpectRefused(c);
}

TEST(LogFileOpen, TheUsersOwnFolderAndFileAreTightenedAndAppendedTo) {
    struct Case {
        const char* fault;
        mode_t logMode;
        const char* before;  // null: no day file
        mode_t dayMode;
        std::string after;  // the file once "X\r\n" is written
    };
    const Case cases[] = {
        {"a group-writable LOG/ refused or left open", 0775, nullptr, 0, "X\r\n"},
        {"a LOG/ others may enter left open", 0711, "a\r\n", 0600, "a\r\nX\r\n"},
        {"a day file of the user's own not appended to", 0770, "a\r\n", 0600, "a\r\nX\r\n"},
        // A run killed in the middle of a write: the next record must not be
        // glued to the cut one.
        {"a cut record glued to the next", 0700, "++LOGGING START\r\nTRAP\x8E\xF3", 0600,
         "++LOGGING START\r\nTRAP\x8E\xF3\r\nX\r\n"},
        {"a record cut between CR and LF glued to the next", 0700, "a\r", 0600, "a\r\r\nX\r\n"},
        {"a line end added after whole records", 0700, "a\r\n\r\n", 0600, "a\r\n\r\nX\r\n"},
        {"a line end added to an empty file", 0700, "", 0600, "X\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        Folder folder;
        ::mkdir(folder.Log().c_str(), 0700);
        ::chmod(folder.Log().c_str(), c.logMode);
        if (c.before != nullptr) WriteAll(folder.Day(), c.before, c.dayMode);
        LogFile log;
        const LogOpenResult result = log.Open(folder.Log(), kDay);
        ASSERT_TRUE(result.Opened()) << LogOpenFailureText(result);
        EXPECT_TRUE(log.Write("X\r\n", 3));
        log.Close();
        EXPECT_EQ(ReadAll(folder.Day()), c.after);
        EXPECT_EQ(ModeOf(folder.Log()), 0700u);
        EXPECT_EQ(ModeOf(folder.Day()), 0600u);
    }
}

TEST(LogFileOpen, ADayFileOthersCouldUseIsMovedAsideAndAFreshOneStarted) {
    struct Case {
        const char* fault;
        mode_t dayMode;
        bool asideTaken;  // the first aside name is taken already
        std::string asideName;
    };
    const std::string aside = std::string(kDay) + kMovedAsideSuffix;
    const Case cases[] = {
        {"a day file others may read reused", 0644, false, aside},
        {"a group-writable day file reused", 0660, false, aside},
        {"a day file others may write reused", 0602, false, aside},
        {"an earlier file moved aside overwritten", 0640, true, aside + ".2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        Folder folder;
        ::mkdir(folder.Log().c_str(), 0700);
        WriteAll(folder.Day(), "theirs too\r\n", c.dayMode);
        if (c.asideTaken) WriteAll(folder.Log() + "/" + aside, "earlier\r\n");
        LogFile log;
        const LogOpenResult result = log.Open(folder.Log(), kDay);
        ASSERT_TRUE(result.Opened()) << LogOpenFailureText(result);
        EXPECT_EQ(result.movedAsideName, c.asideName);
        EXPECT_TRUE(log.Write("X\r\n", 3));
        EXPECT_EQ(ReadAll(folder.Day()), "X\r\n");
        EXPECT_EQ(ModeOf(folder.Day()), 0600u);
        EXPECT_EQ(ReadAll(folder.Log() + "/" + c.asideName), "theirs too\r\n");
        EXPECT_EQ(ModeOf(folder.Log() + "/" + c.asideName), 0600u);
        if (c.asideTaken) {
            EXPECT_EQ(ReadAll(folder.Log() + "/" + aside), "earlier\r\n");
        }
    }
    // A second console holding such a file keeps it: refused, not moved.
    Folder folder;
    ::mkdir(folder.Log().c_str(), 0700);
    WriteAll(folder.Day(), "held\r\n", 0644);
    const int holder = ::open(folder.Day().c_str(), O_RDONLY);
    ASSERT_EQ(::flock(holder, LOCK_EX), 0);
    LogFile log;
    EXPECT_EQ(log.Open(folder.Log(), kDay).failure, LogOpenFailure::FileInUse);
    EXPECT_EQ(ReadAll(folder.Day()), "held\r\n");
    EXPECT_FALSE(Exists(folder.Log() + "/" + aside));
    ::close(holder);
}

TEST(LogFileOpen, NewFolderAndFileGetTheirModesWhateverTheUmask) {
    for (const mode_t umask : {0000u, 0002u, 0022u, 0077u, 0277u}) {
        SCOPED_TRACE(umask);
        Folder folder;
        const mode_t before = ::umask(umask);
        LogFile log;
        const LogOpenResult result = log.Open(folder.Log(), kDay);
        ::umask(before);
        ASSERT_TRUE(result.Opened()) << LogOpenFailureText(result);
        EXPECT_EQ(ModeOf(folder.Log()), 0700u);
        EXPECT_EQ(ModeOf(folder.Day()), 0600u);
        EXPECT_TRUE(log.Write("X\r\n", 3));
        EXPECT_EQ(ReadAll(folder.Day()), "X\r\n");
    }
}

TEST(LogFileOpen, ASecondHolderOfTheDayFileIsRefused) {
    Folder folder;
    LogFile first, second;
    ASSERT_TRUE(first.Open(folder.Log(), kDay).Opened());
    const LogOpenResult result = second.Open(folder.Log(), kDay);
    EXPECT_EQ(result.failure, LogOpenFailure::FileInUse);
    EXPECT_EQ(LogOpenFailureMessage(result),
              "FILEのOPENに失敗しました。\nログファイルは他のプログラムが使用中です"
              "（当プログラムを既に起動していませんか？）: " + folder.Day());
    first.Close();
    EXPECT_TRUE(second.Open(folder.Log(), kDay).Opened());
}

}  // namespace
}  // namespace quillet
