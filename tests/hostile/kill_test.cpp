// Kills corvane-cli check --delete at many points of a run on a copy of the
// sample library. After every kill each library file must hold its before
// content or the content an uninterrupted run gives it, and every backup that
// is not a temporary file must hold its file's before.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <map>
#include <optional>
#include <random>
#include <thread>

#include "tests/support/test_library.h"
#include "text/text.h"

namespace corvane {
namespace {

using Files = std::map<std::string, std::string>;

// Every regular file below root but the report, by relative path.
void Snapshot(const std::string& root, const std::string& relative, Files& files) {
    for (const platform::FolderEntry& e : platform::RealFileSystem().ListFolder(root + relative)) {
        std::string path = relative + e.name;
        if (e.kind == platform::EntryKind::kFolder) Snapshot(root, path + "/", files);
        if (e.kind == platform::EntryKind::kFile && path != "Corvane.htm")
            platform::RealFileSystem().ReadFile(root + path, files[path]);
    }
}

std::optional<std::string> At(const Files& files, const std::string& path) {
    auto found = files.find(path);
    return found == files.end() ? std::nullopt : std::optional(found->second);
}

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
        ::execl(CORVANE_CLI, "corvane-cli", "check", "--delete", root.c_str(), nullptr);
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
    auto shell = [](const std::string& command) { return std::system(command.c_str()) == 0; };
    testing::TempLibrary work;
    std::string pristine = work.Path("pristine/"), done = work.Path("done/");
    ASSERT_TRUE(
        shell(CORVANE_PREPARE_SAMPLE " " + pristine + " && cp -a " + pristine + " " + done));
    Files before, expected, now;
    Snapshot(pristine, "", before);
    size_t lines = RunAndKill(done, SIZE_MAX, {});
    Snapshot(done, "", expected);
    std::erase_if(expected, [](const auto& file) { return file.first.starts_with("backup/"); });
    ASSERT_NE(before, expected) << "the sample has older items to delete";
    ASSERT_GT(lines, 2u);

    std::vector<std::pair<size_t, long>> points;  // kill so many us after a status line
    for (long us : {0, 300, 3000})
        for (size_t line = 0; line <= lines; ++line) points.push_back({line, us});
    std::mt19937 random(20240607);
    for (int i = 0; i < 30; ++i) points.push_back({random() % (lines + 1), random() % 3000});
    std::string root = work.Path("trial/");
    for (auto [line, us] : points) {
        SCOPED_TRACE("killed " + std::to_string(us) + " us after line " + std::to_string(line));
        ASSERT_TRUE(shell("rm -rf " + root + " && cp -a " + pristine + " " + root));
        RunAndKill(root, line, std::chrono::microseconds(us));
        Snapshot(root, "", now = {});
        for (const auto& [path, bytes] : before)
            EXPECT_TRUE(At(now, path) == bytes || At(now, path) == At(expected, path)) << path;
        for (const auto& [path, bytes] : now) {
            if (before.count(path) || text::EndsWithNoCase(path, ".tmp")) continue;
            EXPECT_TRUE(path.starts_with("backup/") && At(before, path.substr(7)) == bytes) << path;
        }
        if (HasFailure()) break;
    }
}

}  // namespace
}  // namespace corvane
