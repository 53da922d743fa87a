// A process that holds secrets leaves no core behind when it crashes.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "platform/CoreDumps.h"

namespace quillet {
namespace {

enum class Before { Nothing, Forbid, ForbidThenRaiseLimit };

// A child that aborts in `folder` with the core size limit as high as it
// may go, after `before`; whether the system wrote its core.
bool ChildDumpsCore(Before before, const std::filesystem::path& folder) {
    const pid_t child = ::fork();
    if (child == 0) {
        rlimit limit{};
        ::getrlimit(RLIMIT_CORE, &limit);
        limit.rlim_cur = limit.rlim_max;
        std::string why;
        if (before != Before::Nothing && !ForbidCoreDumps(why)) ::_exit(3);
        if (before != Before::Forbid) ::setrlimit(RLIMIT_CORE, &limit);
        if (::chdir(folder.c_str()) != 0) ::_exit(4);
        std::abort();
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status)) << "child status " << status;
    return WIFSIGNALED(status) && WCOREDUMP(status);
}

TEST(CoreDumps, ACrashAfterForbidCoreDumpsLeavesNoCore) {
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / ("quillet-cores-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    ::chmod(folder.c_str(), 0700);
    // Without it, this system must be one that writes cores at all, or the
    // other rows would pass for nothing.
    const bool control = ChildDumpsCore(Before::Nothing, folder);
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    if (!control) {
        std::filesystem::remove_all(folder);
        GTEST_SKIP() << "this system writes no core for any process (core_pattern, limits)";
    }
    EXPECT_FALSE(ChildDumpsCore(Before::Forbid, folder)) << "a core with the limit at 0";
    EXPECT_FALSE(ChildDumpsCore(Before::ForbidThenRaiseLimit, folder)) << "a core from a process not dumpable";
    EXPECT_TRUE(std::filesystem::is_empty(folder));
    std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace quillet
