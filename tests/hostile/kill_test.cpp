// Kills corvane-cli check --delete at many points of a run on the sample
// library: each library file then holds its content from before or after the
// run, each backup its file's content from before, and corvane-cli restore
// brings back the library as it was, times and permissions too.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <random>
#include <thread>

#include "tests/support/test_library.h"

namespace corvane {
namespace {

using testing::Tree;

// Runs the command on root and kills it `delay` after its status line number
// `line` (0: after its start) if it has not ended. Returns its status lines.
size_t RunAndKill(const std::string& root, size_t line, std::chrono::microseconds delay) {
    int fds[2];
    if (::pipe(fds) != 0) return 0;
    pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(fds[1], 2);
        ::dup2(::open("/dev/null", O_WRONLY), 1);
        ::close(fds[0]);
        ::execl(CORVANE_CLI, "corvane-cli", "check", "--delete", "-v", root.c_str(), nullptr);
        ::_exit(127);
    }
    ::close(fds[1]);
    auto killLater = [&] { std::this_thread::sleep_for(delay), ::kill(pid, SIGKILL); };
    size_t lines = 0;
    if (line == 0) killLater();
    for (char c; ::read(fds[0], &c, 1) == 1;)
        if (c == '\n' && ++lines == line) killLater();
    ::close(fds[0]);
    ::waitpid(pid, nullptr, 0);
    return lines;
}

TEST(KillTest, NothingIsLostWhereverTheDeleteCommandIsKilled) {
    testing::TempLibrary work;
    const std::string pristine = work.Path("pristine/"), root = work.Path("trial/");
    testing::PrepareSample(pristine);
    // A copy of the sample, times and permissions too.
    auto copy = [&] {
        return std::system(("rm -rf " + root + " && cp -a " + pristine + " " + root).c_str()) == 0;
    };
    ASSERT_TRUE(copy());
    const Tree before = testing::TreeOf(root, true);
    size_t lines = RunAndKill(root, SIZE_MAX, {});
    const Tree expected = testing::TreeOf(root, true);
    ASSERT_NE(before, expected) << "the sample has older items to delete";
    ASSERT_GT(lines, 2u);

    std::vector<std::pair<size_t, long>> points;  // kill so many us after a status line
    for (long us : {0, 300, 3000})
        for (size_t line = 0; line <= lines; ++line) points.push_back({line, us});
    std::mt19937 random(20240607);
    for (int i = 0; i < 30; ++i) points.push_back({random() % (lines + 1), random() % 3000});
    for (auto [line, us] : points) {
        SCOPED_TRACE("killed " + std::to_string(us) + " us after line " + std::to_string(line));
        ASSERT_TRUE(copy());
        RunAndKill(root, line, std::chrono::microseconds(us));
        const Tree now = testing::TreeOf(root, false);
        EXPECT_EQ(testing::Torn(now, before, expected), std::vector<std::string>{});
        for (const auto& [path, file] : now) {
            if (before.count(path) || path == "Corvane.htm" || path.ends_with(".tmp")) continue;
            if (path.starts_with("backup/delete-") && path.ends_with(".log")) continue;
            if (path.starts_with("backup/running-")) continue;  // the killed command's list
            EXPECT_TRUE(path.starts_with("backup/") &&
                        testing::BytesAt(before, path.substr(7)) == file.bytes)
                << path;
        }
        EXPECT_EQ(testing::RunProgram(CORVANE_CLI, {"restore", root}).status, 0);
        EXPECT_EQ(testing::TreeOf(root, true), before);
        // Nothing the killed command wrote is left but its backups and log.
        EXPECT_EQ(testing::Leftovers(root), std::vector<std::string>{});
        if (HasFailure()) break;
    }
}

}  // namespace
}  // namespace corvane
