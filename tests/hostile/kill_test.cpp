// Kills corvane-cli check --delete with SIGKILL at many points of a run on
// the sample library: after each status line it prints, a little after one,
// and at random moments. After every kill each library file must hold either
// its original content or the content an uninterrupted run gives it, and
// every backup that is not a temporary file must hold its file's original.
// A run started again afterwards must end where an uninterrupted run ends.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/files.h"
#include "platform/text.h"
#include "tests/support/test_library.h"

namespace corvane {
namespace {

using Clock = std::chrono::steady_clock;
using Files = std::map<std::string, std::string>;

constexpr const char* kBackup = "backup/";

void RunTool(const std::vector<std::string>& args) {
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        std::vector<char*> argv;
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << args[0] << " " << args[1];
}

// Every regular file below root except the report, by relative path.
void Snapshot(const std::string& root, const std::string& relative, Files& files) {
    for (const platform::FolderEntry& e : platform::RealFileSystem().ListFolder(root + relative)) {
        std::string path = relative + e.name;
        if (e.kind == platform::EntryKind::kFolder) {
            Snapshot(root, path + "/", files);
        } else if (e.kind == platform::EntryKind::kFile && path != "Corvane.htm") {
            platform::RealFileSystem().ReadFile(root + path, files[path]);
        }
    }
}

// How a run of the delete command is cut short.
struct KillPoint {
    std::optional<size_t> afterLine;     // kill once this many status lines came
    std::chrono::microseconds delay{0};  // then wait this long (from the start
                                         // when there is no line)
    bool never = false;                  // let it run to its end
};
constexpr KillPoint kUninterrupted{std::nullopt, {}, true};

// Runs the command on the library at root and kills it at the point given.
// Returns the number of status lines it printed before it ended.
size_t RunAndKill(const std::string& root, const KillPoint& point) {
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) return 0;
    Clock::time_point start = Clock::now();
    pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(pipeFds[1], 2);
        int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        ::close(pipeFds[0]);
        ::execl(CORVANE_CLI, "corvane-cli", "check", "--delete", root.c_str(),
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    size_t lines = 0;
    auto killAfterDelay = [&](Clock::time_point from) {
        while (Clock::now() - from < point.delay) {
        }
        ::kill(pid, SIGKILL);
    };
    bool killed = point.never;
    if (!killed && (!point.afterLine || *point.afterLine == 0)) {
        killAfterDelay(start);
        killed = true;
    }
    char c;
    while (::read(pipeFds[0], &c, 1) == 1) {
        if (c != '\n') continue;
        ++lines;
        if (!killed && lines == *point.afterLine) {
            killAfterDelay(Clock::now());
            killed = true;
        }
    }
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return lines;
}

class KillTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_Pristine = m_Work.Path("pristine/");
        RunTool({CORVANE_PREPARE_SAMPLE, m_Pristine});
        Snapshot(m_Pristine, "", m_Original);

        std::string done = m_Work.Path("done/");
        Copy(m_Pristine, done);
        Clock::time_point start = Clock::now();
        m_Lines = RunAndKill(done, kUninterrupted);
        m_Duration = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start);
        Files after;
        Snapshot(done, "", after);
        for (auto& [path, bytes] : after) {
            if (path.rfind(kBackup, 0) != 0) m_Expected[path] = bytes;
        }
    }

    void Copy(const std::string& from, const std::string& to) {
        RunTool({"/bin/cp", "-a", from, to});
    }

    // What a kill may leave: each library file old or new, each backup whole.
    void ExpectNothingLost(const std::string& root, const std::string& where) {
        Files now;
        Snapshot(root, "", now);
        for (const auto& [path, bytes] : m_Original) {
            auto found = now.find(path);
            auto expected = m_Expected.find(path);
            bool original = found != now.end() && found->second == bytes;
            bool result = expected == m_Expected.end()
                              ? found == now.end()
                              : found != now.end() && found->second == expected->second;
            EXPECT_TRUE(original || result) << where << ": " << path;
        }
        for (const auto& [path, bytes] : now) {
            if (m_Original.count(path) || platform::EndsWithNoCase(path, ".tmp")) continue;
            ASSERT_EQ(path.rfind(kBackup, 0), 0u) << where << ": a new file " << path;
            auto original = m_Original.find(path.substr(std::strlen(kBackup)));
            ASSERT_NE(original, m_Original.end()) << where << ": backup of nothing " << path;
            EXPECT_EQ(bytes, original->second) << where << ": backup " << path;
        }
    }

    // After a rerun the library is where an uninterrupted run leaves it, and
    // every backup still holds its file as it was before the first run.
    void ExpectRerunFinishes(const std::string& root, const std::string& where) {
        RunAndKill(root, kUninterrupted);
        Files now;
        Snapshot(root, "", now);
        Files library;
        for (const auto& [path, bytes] : now) {
            if (platform::EndsWithNoCase(path, ".tmp")) continue;
            if (path.rfind(kBackup, 0) == 0) {
                EXPECT_EQ(bytes, m_Original[path.substr(std::strlen(kBackup))])
                    << where << ": backup " << path;
            } else {
                library[path] = bytes;
            }
        }
        EXPECT_EQ(library, m_Expected) << where;
    }

    testing::TempLibrary m_Work;
    std::string m_Pristine;
    Files m_Original;
    Files m_Expected;
    size_t m_Lines = 0;
    std::chrono::microseconds m_Duration{0};
};

TEST_F(KillTest, NothingIsLostWhereverTheDeleteCommandIsKilled) {
    ASSERT_NE(m_Original, m_Expected) << "the sample has older items to delete";
    ASSERT_GT(m_Lines, 2u);

    std::vector<KillPoint> points;
    for (int us : {0, 50, 300, 1000, 3000}) {
        for (size_t line = 0; line <= m_Lines; ++line) {
            points.push_back({line, std::chrono::microseconds(us)});
        }
    }
    std::mt19937 random(20240607);
    std::uniform_int_distribution<long> anyMoment(0, m_Duration.count() + 1000);
    for (int i = 0; i < 60; ++i) {
        points.push_back({std::nullopt, std::chrono::microseconds(anyMoment(random))});
    }

    // Keep the whole test within about twenty seconds on a slow machine.
    Clock::time_point deadline = Clock::now() + std::chrono::seconds(16);
    size_t tried = 0;
    for (size_t i = 0; i < points.size() && Clock::now() < deadline; ++i) {
        const KillPoint& point = points[i];
        std::string where = (point.afterLine ? "after line " + std::to_string(*point.afterLine)
                                             : std::string("from the start")) +
                            " +" + std::to_string(point.delay.count()) + "us";
        std::string root = m_Work.Path("trial" + std::to_string(i) + "/");
        Copy(m_Pristine, root);
        RunAndKill(root, point);
        ExpectNothingLost(root, where);
        if (i % 4 == 0) ExpectRerunFinishes(root, where);
        RunTool({"/bin/rm", "-rf", root});
        ++tried;
        if (HasFailure()) break;
    }
    std::printf("killed %zu runs of %zu planned (a whole run: %zu lines, %lld us)\n", tried,
                points.size(), m_Lines, static_cast<long long>(m_Duration.count()));
    EXPECT_GE(tried, m_Lines + 1) << "too slow to kill after every line";
}

}  // namespace
}  // namespace corvane
