// One library on the real disk with what authors' downloads hold: binary junk,
// broken encodings, odd file types, bad links, deep folders, names differing in
// case, a 50 MiB line. One check run over it must finish, under an alarm and in
// bounded memory. (A file that vanishes mid-run is tested with the check run.)
// Then what stands at the names the commands write to.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#endif

#include <cstring>
#include <filesystem>
#include <fstream>

#include "commands/commands.h"
#include "tests/support/test_library.h"

namespace corvane {
namespace {

using namespace std::string_literals;

// The library of every case is made of what POSIX systems have and Windows
// lacks: FIFOs, sockets, links to files, /proc, folders made deeper than a
// path reaches by changing into them.
#ifndef _WIN32
TEST(HostileLibrary, OneCheckRunOverEveryCaseFinishesAndDeleteKeepsEveryFile) {
    ::alarm(240);  // nothing may block: a run this long is stuck
    testing::TempLibrary lib;
    lib.Write("Stock/empty.stk", "");
    lib.Write("Stock/cr.stk", std::string(10000, '\r'));
    lib.MakeFolder("textures");
    lib.MakeFolder("Scenery");
    for (const char* fifo : {"Stock/pipe.stk", "Stock/here.bmp", "textures/fifo.bmp"}) {
        ASSERT_EQ(::mkfifo(lib.Path(fifo).c_str(), 0666), 0) << fifo;
    }
    int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{AF_UNIX, {}};
    std::strncpy(address.sun_path, lib.Path("Scenery/sock.stc").c_str(), sizeof address.sun_path);
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(sock);  // the socket file stays
    lib.MakeFolder("Stock/links");
    const char* links[] = {"nowhere.stk", "gone.stk", "nowhere", "gone",      "..",        "up",
                           "..",          "UP",       "ring2",   "ring1.stk", "ring1.stk", "ring2"};
    for (size_t i = 0; i < std::size(links); i += 2) {
        ASSERT_EQ(::symlink(links[i], lib.Path("Stock/links/"s + links[i + 1]).c_str()), 0);
    }
    // Folders "sub" and "SUB", each holding "x" and "X", and links "up" and "UP"
    // make each step of these references a choice of two: a lookup once took
    // two to their number steps. roof.bmp is found only after all of "sub".
    for (const char* f : {"Stock/sub/x", "Stock/sub/X", "Stock/SUB/x", "Stock/SUB/X"})
        lib.MakeFolder(f);
    lib.Write("Stock/SUB/roof.bmp", "BM");
    std::string subs = "skin x/sub/", ups = "skin x/";  // the skin rule drops "x/"
    for (int i = 0; i < 500; ++i) subs += "x/../";
    for (int i = 0; i < 35; ++i) ups += "links/up/";
    // 300 folders deep.
    std::string deep = "Stock/deep";
    for (int i = 0; i < 300; ++i) deep += "/d";
    lib.MakeFolder(deep);
    // An unclosed quote: the whole line is a syntax row and a missing texture.
    std::string chunk(1 << 20, 'x');
    for (size_t i = 0; i < chunk.size(); i += 4096) chunk[i] = '<';
    std::ofstream big(lib.Path("Stock/big.stk"), std::ios::binary);
    big << "skin \"a";
    for (int i = 0; i < 50; ++i) big << chunk;
    big.close();
    // Files that must be scanned, with their lines after the item's name. An
    // older copy of each item in plain.stk makes a duplicate row.
    std::string binary = "skin \x01\x7f\xff\xfe.bmp\r\nx\0\0 na\0me\r\n"s;
    for (int c = 0x80; c <= 0xFF; ++c) binary += char(c);
    std::vector<std::pair<std::string, std::string>> scanned = {
        {"Stock/binary.stk", binary + "\r\ninclude 0 0 \x80\0\r\n"s},
        {"Stock/fifo_user.stk", "skin fifo.bmp\r\ntexture \"here.bmp\"\r\n"},
        {"Stock/case_paths.stk", testing::CrLf({subs + "none1.bmp", subs + "roof.bmp",
                                                ups + "none2.bmp", ups + "sub/roof.bmp"})}};
    for (std::string path : {"Stock/\xff\xfe-folder/\xe9t\xe9\x80.stk"s, "Stock/old.stk/inner.stk"s,
                             "Stock/Case.stk"s, "Stock/case.stk"s, deep + "/bottom.stk"})
        scanned.push_back({path, ""});
    std::string plain;
    for (size_t i = 0; i < scanned.size(); ++i) {
        std::string name = "name item" + std::to_string(i) + "\r\n";
        scanned[i].second = name + scanned[i].second + "[end]\r\n";
        lib.Write(scanned[i].first, scanned[i].second);
        plain += name + "[end]\r\n";
    }
    lib.Write("Stock/plain.stk", plain, "2015-06-01 12:00");

    const long before = testing::PeakKiB();
    testing::RecordingProgress progress;
    std::vector<OlderItem> older;
    ASSERT_NO_THROW(older = CheckAndWriteReport(lib.Root(), progress).olderItems);
    long grown = (testing::PeakKiB() - before) >> 10;
#if defined(__SANITIZE_ADDRESS__)
    grown /= 2;  // AddressSanitizer holds freed blocks back a while
#endif
    // The bytes, the working line, the kept rows and the report buffer: a few
    // copies of the line, not one per step.
    EXPECT_LT(grown, 12 * 50) << "MiB of peak memory growth";
    EXPECT_EQ(progress.Last(), "Finished");
    std::string report = lib.Report();
    EXPECT_GT(report.size(), 100u << 20) << "a syntax row and a missing texture row of 50 MiB";
    for (size_t i = 0; i < scanned.size(); ++i) {
        EXPECT_NE(report.find(">item" + std::to_string(i) + "</td>"), std::string::npos)
            << scanned[i].first << " was not scanned";
    }
    for (const char* missing : {"fifo.bmp", "here.bmp", "none1.bmp", "none2.bmp"}) {
        EXPECT_NE(report.find(missing + "</font>"s), std::string::npos) << missing;
    }
    EXPECT_EQ(report.find("roof.bmp</font>"), std::string::npos) << "found only the second way";
    EXPECT_EQ(older.size(), scanned.size());

    // Only plain.stk held older items: it goes to the backup folder whole.
    ASSERT_NO_THROW(DeleteOlderItems(lib.Root(), older, progress));
    EXPECT_FALSE(lib.Exists("Stock/plain.stk"));
    EXPECT_EQ(lib.Read("backup/Stock/plain.stk"), plain);
    for (const auto& [path, bytes] : scanned) EXPECT_EQ(lib.Read(path), bytes) << path;

    // 40 more folders of long names, made through relative paths: the chain is
    // longer than any path the system opens, so the check cannot read the
    // whole library and must say so.
    std::string cwd = std::filesystem::current_path(), far = deep;
    ASSERT_EQ(::chdir(lib.Path(deep).c_str()), 0);
    for (std::string n(100, 'n'); far.size() < 5000; far += "/" + n) {
        ASSERT_EQ(::mkdir(n.c_str(), 0777) | ::chdir(n.c_str()), 0);
    }
    ASSERT_EQ(::chdir(cwd.c_str()), 0);
    try {
        CheckAndWriteReport(lib.Root(), progress);
        ADD_FAILURE() << "a folder too deep to open went unnoticed";
    } catch (const platform::FileError& error) {
        EXPECT_EQ(error.Path().rfind(lib.Path(deep), 0), 0u) << error.Path();
        EXPECT_NE(std::string(error.what()).find("too long"), std::string::npos);
    }
    ::alarm(0);
}

// A device file passing for a regular one (size 0, endless bytes) behind a
// link: the check reads it to its size and a margin, no further, and names it.
TEST(HostileLibrary, AFileLongerThanItsSizeEndsTheCheckWithItsName) {
    testing::TempLibrary lib;
    lib.MakeFolder("Stock");
    ASSERT_EQ(::symlink("/proc/self/pagemap", lib.Path("Stock/endless.stk").c_str()), 0);
    const long before = testing::PeakKiB();
    testing::RecordingProgress progress;
    try {
        CheckAndWriteReport(lib.Root(), progress);
        ADD_FAILURE() << "an endless file was read as a library file";
    } catch (const platform::FileError& error) {
        EXPECT_EQ(error.Path(), lib.Path("Stock/endless.stk"));
        EXPECT_NE(std::string(error.what()).find("more than"), std::string::npos) << error.what();
    }
    EXPECT_LT(testing::PeakKiB() - before, 64 << 10) << "KiB of peak memory growth";
}
#endif

// Whatever a content pack left at a name we write to (a link, a dangling
// link, a link to a folder, a folder, a FIFO) is replaced, moved aside or
// refused, never written through: at the report, at a library file's old
// temporary name, at a backup's path, in place of the backup folders. What
// the links point to stays as it was, and a restore brings the library back.
TEST(HostileNames, NoWriteGoesThroughWhatStandsInItsWay) {
    const std::string older = testing::CrLf({"name coach", "[end]", "name wagon", "[end]"});
    const std::string kBackup = "backup/Stock/a.stk";
    // What stands in the way: a link to a path in the library, a folder
    // (nullptr) or a FIFO ("").
    for (const std::string& at :
         {"Stock/a.stk.tmp"s, "Corvane.htm"s, kBackup, "backup/Stock"s, "backup"s}) {
        for (const char* target :
             {"outside/victim", "outside/nowhere", "outside/folder", (const char*)nullptr, ""}) {
            const std::string what = !target   ? "a folder"s
                                     : *target ? "a link to "s + target
                                               : "a FIFO"s;
            SCOPED_TRACE(what + " at " + at);
            testing::TempLibrary lib;
            lib.Write("Stock/a.stk", older, "2010-01-01 10:00");
            lib.Write("Stock/b.stk", testing::CrLf({"name coach", "[end]"}), "2020-01-01 10:00");
            lib.Write("outside/victim", "victim");
            lib.MakeFolder("outside/folder");
            const testing::Tree before = testing::TreeOf(lib.Root(), true);
            std::string path = lib.Path(at);
            std::filesystem::create_directories(std::filesystem::path(path).parent_path());
            const bool folder = !target;
            if (folder) lib.MakeFolder(at);
            if (target) {
                const bool toFolder = target == "outside/folder"s;
                bool made = false;
                if (!*target) {
                    made = testing::MakeFifo(path);
                } else if (!(toFolder && testing::UnderWine())) {
                    // Wine moves the folder a link leads to, not the link.
                    made = testing::MakeLink(lib.Path(target), path, toFolder);
                }
                if (!testing::CanSetUp(made, what)) {
                    continue;
                }
            }
            platform::FileSystem& fs = platform::RealFileSystem();
            const platform::EntryKind kind = fs.KindOfEntry(path);

            auto cli = [&](const char* command, const char* option) {
                return testing::RunProgram(CORVANE_CLI, {command, option, lib.Root()});
            };
            const testing::ProgramResult run = cli("check", "--delete");
            // A folder in place of the report stops the check; in place of the
            // backup folders, anything but a folder stops the delete.
            const bool fails =
                at == "Corvane.htm" ? folder : at.starts_with("backup") && at != kBackup && !folder;
            // Kept where it stood, or moved aside whole under a name of its own.
            if (at == kBackup) {
                for (const platform::FolderEntry& e : fs.ListFolder(lib.Path("backup")))
                    if (e.name.starts_with("earlier-"))
                        path = lib.Path("backup/" + e.name + "/Stock/a.stk");
            }
            if (at != "Corvane.htm" || fails) {
                EXPECT_EQ(fs.KindOfEntry(path), kind);
            }
            if (fails) {
                EXPECT_EQ(run.status, 1);
                EXPECT_NE(run.err.find("\"" + path + "\""), std::string::npos) << run.err;
            } else {
                EXPECT_EQ(run.status, 0) << run.err;
                EXPECT_EQ(lib.Read("Stock/a.stk"), testing::CrLf({"", "name wagon", "[end]"}));
                EXPECT_EQ(lib.Read("backup/Stock/a.stk"), older);
                EXPECT_EQ(fs.KindOfEntry(lib.Path("Corvane.htm")), platform::EntryKind::kFile);
                EXPECT_EQ(cli("restore", "--").status, 0);
            }
            // The library as it was, "outside" (where the links lead) too.
            EXPECT_EQ(testing::TreeOf(lib.Root(), true), before);
        }
    }
}

}  // namespace
}  // namespace corvane
