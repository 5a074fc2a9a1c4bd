// Libraries as they come from many authors' downloads: binary junk, broken
// encodings, odd file types, links that lead nowhere or round in a circle,
// very deep folders. (A file that vanishes mid-run is tested with the check
// run.) Each is built on the real disk; a check run over it must finish (or
// end on an error naming the file) without blocking, and Delete older items
// must lose nothing.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "audit/check_run.h"
#include "audit/folder_cache.h"
#include "cleanup/delete_older.h"
#include "tests/support/test_library.h"

namespace corvane {
namespace {

using testing::CrLf;
using testing::ForwardingFileSystem;
using testing::RecordingProgress;
using testing::TempLibrary;

// Nothing here may block: a test that runs this long is stuck.
class Deadline {
  public:
    explicit Deadline(unsigned seconds) { ::alarm(seconds); }
    ~Deadline() { ::alarm(0); }
};

void MakeFifo(const std::string& path) {
    ASSERT_EQ(::mkfifo(path.c_str(), 0666), 0) << path;
}

void MakeSocket(const std::string& path) {
    int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(path.size(), sizeof address.sun_path) << path;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    EXPECT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0) << path;
    ::close(fd);  // the socket file stays
}

void MakeLink(const std::string& target, const std::string& path) {
    ASSERT_EQ(::symlink(target.c_str(), path.c_str()), 0) << path;
}

// Every regular file below folder with its bytes, found without following
// links (so that a link back up the tree is no trouble).
void Snapshot(const std::string& root, const std::string& relative,
              std::map<std::string, std::string>& files) {
    std::string folder = root + relative;
    for (const platform::FolderEntry& entry : platform::RealFileSystem().ListFolder(folder)) {
        std::string path = relative + entry.name;
        struct stat st;
        if (::lstat((root + path).c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode)) {
            Snapshot(root, path + "/", files);
        } else if (S_ISREG(st.st_mode)) {
            platform::RealFileSystem().ReadFile(root + path, files[path]);
        }
    }
}

long PeakResidentKiB() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// The older copy of every item below stands in plain.stk, so that each
// reachable case file shows up in a duplicate row of the report.
constexpr const char* kOlder = "2015-06-01 12:00";

struct HostileCase {
    const char* what;
    std::function<void(TempLibrary&)> build;
    // An item name the report lists as a duplicate when the case file was
    // scanned (empty: nothing to find).
    const char* itemSeen;
};

std::vector<HostileCase> HostileCases() {
    return {
        {"NUL bytes and bytes 0x80 to 0xFF",
         [](TempLibrary& lib) {
             std::string bytes = CrLf({"name binary item", "skin \x01\x7f\xff\xfe.bmp"});
             bytes += std::string("junk\0\0\0 name\0hidden\r\n", 22);
             for (int c = 0x80; c <= 0xFF; ++c) bytes += char(c);
             bytes += "\r\ninclude 0 0 0 \x80\x81\0\r\n[end]\r\n";
             lib.Write("Stock/binary.stk", bytes);
         },
         "binary item"},
        {"an empty file", [](TempLibrary& lib) { lib.Write("Stock/empty.stk", ""); }, ""},
        {"a file of only CR characters",
         [](TempLibrary& lib) { lib.Write("Stock/cr.stk", std::string(10000, '\r')); }, ""},
        {"lines ended by CR alone",
         [](TempLibrary& lib) { lib.Write("Stock/mac.stk", "name mac item\rskin x\r[end]\r"); },
         ""},
        {"non-UTF-8 folder and file names",
         [](TempLibrary& lib) {
             lib.Write("Stock/\xff\xfe-folder/\xe9t\xe9\x80.stk",
                       CrLf({"name latin item", "[end]"}));
         },
         "latin item"},
        {"a folder named old.stk",
         [](TempLibrary& lib) {
             lib.Write("Stock/old.stk/inner.stk", CrLf({"name inside old", "[end]"}));
         },
         "inside old"},
        {"a FIFO and a socket named like library files",
         [](TempLibrary& lib) {
             MakeFifo(lib.Path("Stock/pipe.stk"));
             lib.MakeFolder("Scenery");
             MakeSocket(lib.Path("Scenery/sock.stc"));
         },
         ""},
        {"dangling links and links back up the tree",
         [](TempLibrary& lib) {
             lib.MakeFolder("Stock/links");
             MakeLink("nowhere.stk", lib.Path("Stock/links/gone.stk"));
             MakeLink("nowhere", lib.Path("Stock/links/gone"));
             MakeLink("..", lib.Path("Stock/links/up"));
             MakeLink(".", lib.Path("Stock/links/self"));
             MakeLink("ring2", lib.Path("Stock/links/ring1.stk"));
             MakeLink("ring1.stk", lib.Path("Stock/links/ring2"));
         },
         ""},
        {"a texture name that is a FIFO",
         [](TempLibrary& lib) {
             lib.MakeFolder("textures");
             MakeFifo(lib.Path("textures/fifo.bmp"));
             MakeFifo(lib.Path("Stock/here.bmp"));
             lib.Write("Stock/fifo_user.stk",
                       CrLf({"name fifo user", "skin fifo.bmp", "texture \"here.bmp\"", "[end]"}));
         },
         "fifo user"},
        {"a folder nested 300 deep",
         [](TempLibrary& lib) {
             std::string path = "Stock/deep";
             for (int i = 0; i < 300; ++i) path += "/d";
             lib.Write(path + "/bottom.stk", CrLf({"name deep item", "[end]"}));
         },
         "deep item"},
        {"names that differ only in case",
         [](TempLibrary& lib) {
             lib.Write("Stock/Case.stk", CrLf({"name case item", "[end]"}), "2016-01-01 00:00");
             lib.Write("Stock/case.stk", CrLf({"name case item", "skin x/Sub/roof.bmp", "[end]"}));
             lib.Write("Stock/Sub/x.bmp", "BM");
             lib.Write("Stock/sub/roof.bmp", "BM");
             // Each "sub/.." could be taken two ways: a lookup of many of
             // them once took two to their number steps.
             std::string hard = "skin x/";  // the skin rule drops "x/"
             for (int i = 0; i < 200; ++i) hard += "sub/../";
             lib.Write("Stock/case_paths.stk", CrLf({"name case paths", hard + "none.bmp",
                                                     hard + "Sub/roof.bmp", "[end]"}));
         },
         "case paths"},
    };
}

void WritePlain(TempLibrary& lib) {
    lib.Write(
        "Stock/plain.stk",
        CrLf({"name binary item", "[end]", "name latin item", "[end]", "name inside old", "[end]",
              "name fifo user", "[end]", "name deep item", "[end]", "name case paths", "[end]"}),
        kOlder);
}

TEST(HostileLibrary, EveryCaseEndsInAFinishedReportAndDeleteLosesNothing) {
    Deadline deadline(120);
    TempLibrary lib;
    WritePlain(lib);
    std::vector<HostileCase> cases = HostileCases();
    for (const HostileCase& c : cases) {
        SCOPED_TRACE(c.what);
        c.build(lib);
    }

    CheckState state;
    RecordingProgress progress;
    ASSERT_NO_THROW(RunCheck(state, progress, lib.Root()));
    EXPECT_EQ(progress.m_Status, "Finished");
    std::string report = lib.Report();
    EXPECT_NE(report.find("Red file is"), std::string::npos) << "the report was not finished";
    for (const HostileCase& c : cases) {
        if (*c.itemSeen) {
            EXPECT_NE(report.find(">" + std::string(c.itemSeen) + "</td>"), std::string::npos)
                << c.what;
        }
    }
    EXPECT_NE(report.find("Case.stk"), std::string::npos);
    EXPECT_NE(report.find("fifo.bmp"), std::string::npos) << "a FIFO is no texture";
    EXPECT_NE(report.find("none.bmp"), std::string::npos);
    EXPECT_EQ(report.find("Sub/roof.bmp"), std::string::npos) << "found through sub/..";
    EXPECT_EQ(state.m_OlderNames.size(), 7u);

    std::map<std::string, std::string> before;
    Snapshot(lib.Root(), "", before);
    before.erase("Corvane.htm");
    ASSERT_NO_THROW(DeleteOlderItems(state, progress));

    std::map<std::string, std::string> after;
    Snapshot(lib.Root(), "", after);
    for (const auto& [path, bytes] : before) {
        SCOPED_TRACE(path);
        bool kept = after.count(path) && after[path] == bytes;
        bool backedUp = after.count("backup/" + path) && after["backup/" + path] == bytes;
        EXPECT_TRUE(kept || backedUp) << "lost";
    }
    for (const auto& entry : after) {
        EXPECT_FALSE(platform::EndsWithNoCase(entry.first, ".tmp")) << entry.first;
    }
    EXPECT_FALSE(after.count("Stock/plain.stk")) << "its every item was older";
    EXPECT_TRUE(after.count("Stock/case.stk"));
    EXPECT_EQ(::access(lib.Path("Stock/pipe.stk").c_str(), F_OK), 0);
}

// A folder chain whose full path is longer than any path the system opens.
// It is built and removed one level at a time through short relative paths.
class TooDeep {
  public:
    static constexpr int kLevels = 48;
    TooDeep(const std::string& top, const std::string& bottomFile, const std::string& bytes)
        : m_Top(top) {
        int fd = ::open(top.c_str(), O_RDONLY | O_DIRECTORY);
        for (int i = 0; i < kLevels && fd >= 0; ++i) {
            ::mkdirat(fd, kName.c_str(), 0777);
            int next = ::openat(fd, kName.c_str(), O_RDONLY | O_DIRECTORY);
            ::close(fd);
            fd = next;
        }
        EXPECT_GE(fd, 0);
        int file = ::openat(fd, bottomFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        EXPECT_GE(file, 0);
        EXPECT_EQ(::write(file, bytes.data(), bytes.size()), ssize_t(bytes.size()));
        ::close(file);
        ::close(fd);
    }
    ~TooDeep() {
        // Pull the chain up one level at a time, emptying its bottom first.
        int top = ::open(m_Top.c_str(), O_RDONLY | O_DIRECTORY);
        for (int left = kLevels; left > 0; --left) {
            int fd = ::dup(top);
            for (int i = 0; i < left; ++i) {
                int next = ::openat(fd, kName.c_str(), O_RDONLY | O_DIRECTORY);
                ::close(fd);
                fd = next;
            }
            for (const platform::FolderEntry& e : ListAt(fd)) ::unlinkat(fd, e.name.c_str(), 0);
            ::close(fd);
            fd = ::dup(top);
            for (int i = 0; i < left - 1; ++i) {
                int next = ::openat(fd, kName.c_str(), O_RDONLY | O_DIRECTORY);
                ::close(fd);
                fd = next;
            }
            ::unlinkat(fd, kName.c_str(), AT_REMOVEDIR);
            ::close(fd);
        }
        ::close(top);
    }
    static std::string FullPath(const std::string& top) {
        std::string path = top;
        for (int i = 0; i < kLevels; ++i) path += "/" + kName;
        return path;
    }

  private:
    static std::vector<platform::FolderEntry> ListAt(int fd) {
        char proc[64];
        std::snprintf(proc, sizeof proc, "/proc/self/fd/%d", fd);
        return platform::RealFileSystem().ListFolder(proc);
    }
    static inline const std::string kName = std::string(100, 'n');
    std::string m_Top;
};

TEST(HostileLibrary, AFolderDeeperThanAnyPathEndsTheCheckWithoutHarm) {
    Deadline deadline(60);
    TempLibrary lib;
    lib.Write("Stock/plain.stk", CrLf({"name plain", "[end]"}));
    lib.MakeFolder("Stock/long");
    TooDeep deep(lib.Path("Stock/long"), "bottom.stk", CrLf({"name plain", "[end]"}));
    ASSERT_GT(TooDeep::FullPath(lib.Path("Stock/long")).size(), size_t(PATH_MAX));

    CheckState state;
    RecordingProgress progress;
    try {
        RunCheck(state, progress, lib.Root());
        EXPECT_EQ(progress.m_Status, "Finished");
    } catch (const platform::FileError& error) {
        // Ending on the file it cannot reach is fine, when it says which.
        EXPECT_NE(error.Path().find("/" + std::string(100, 'n')), std::string::npos)
            << error.what();
    }
    EXPECT_TRUE(lib.Exists("Corvane.htm"));
}

TEST(HostileLibrary, A50MiBSingleLineFileIsScannedInBoundedMemory) {
    Deadline deadline(240);
    TempLibrary lib;
    constexpr size_t kSize = 50u << 20;
    {
        // An unclosed quote: the whole line becomes a syntax error row and a
        // missing texture row, the most the scan keeps of one line.
        std::string chunk(1 << 20, 'x');
        for (size_t i = 0; i < chunk.size(); i += 4096) chunk[i] = '<';
        std::string first = chunk;
        first.replace(0, 7, "skin \"a");
        lib.Write("Stock/big.stk", "");
        int fd = ::open(lib.Path("Stock/big.stk").c_str(), O_WRONLY | O_TRUNC);
        ASSERT_GE(fd, 0);
        for (size_t written = 0; written < kSize; written += chunk.size()) {
            const std::string& bytes = written == 0 ? first : chunk;
            ASSERT_EQ(::write(fd, bytes.data(), bytes.size()), ssize_t(bytes.size()));
        }
        ::close(fd);
    }
    long before = PeakResidentKiB();
    CheckState state;
    RecordingProgress progress;
    ASSERT_NO_THROW(RunCheck(state, progress, lib.Root()));
    long grownMiB = (PeakResidentKiB() - before) / 1024;
    RecordProperty("peak_growth_mib", std::to_string(grownMiB));
    std::printf("peak memory growth: %ld MiB for a %zu MiB line\n", grownMiB, kSize >> 20);
    // The bytes, the working line, the kept rows and the report buffer: a few
    // copies of the line, not one per character or per step.
    // AddressSanitizer also holds freed blocks back for a while.
#if defined(__SANITIZE_ADDRESS__)
    constexpr long kCopies = 20;
#else
    constexpr long kCopies = 12;
#endif
    EXPECT_LT(grownMiB, kCopies * long(kSize >> 20));
    struct stat st;
    ASSERT_EQ(::stat(lib.Path("Corvane.htm").c_str(), &st), 0);
    EXPECT_GT(size_t(st.st_size), 2 * kSize) << "a syntax row and a missing texture row";
}

// Folders "sub" and "SUB" side by side make every "sub/.." of a texture
// reference a choice of two. The lookup must still take each folder and part
// once, and still find a texture that only the second choice leads to.
TEST(HostileLibrary, TextureLookupThroughManyCaseChoicesEndsQuickly) {
    Deadline deadline(30);
    TempLibrary lib;
    lib.Write("Stock/sub/a.bmp", "BM");
    lib.Write("Stock/SUB/roof.bmp", "BM");
    MakeLink("..", lib.Path("Stock/up"));
    MakeLink("..", lib.Path("Stock/UP"));
    FolderCache cache(platform::RealFileSystem());
    std::string many;
    for (int i = 0; i < 500; ++i) many += "sub/../";
    std::string loops;
    for (int i = 0; i < 35; ++i) loops += "up/Stock/";

    struct Lookup {
        std::string relative;
        bool exists;
    } lookups[] = {
        {many + "none.bmp", false},  {many + "sub/roof.bmp", true},  {many + "SUB/a.bmp", true},
        {loops + "none.bmp", false}, {loops + "Sub/roof.bmp", true},
    };
    for (const Lookup& lookup : lookups) {
        EXPECT_EQ(cache.FileExists(lib.Path("Stock"), lookup.relative), lookup.exists)
            << lookup.relative.substr(lookup.relative.size() - 20);
    }
}

}  // namespace
}  // namespace corvane
