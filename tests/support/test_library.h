// Test helpers: a library folder on the real disk, the state of its files, a
// program run with its output. Paths are UTF-8 on every system.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "commands/commands.h"
#include "platform/files.h"

namespace corvane::testing {

// Every file below root, relative paths with "/" in byte order.
std::vector<std::string> FilesBelow(const std::string& root);

// A fresh folder under the system's temporary folder, removed afterwards.
class TempLibrary {
  public:
    TempLibrary();
    ~TempLibrary();
    TempLibrary(const TempLibrary&) = delete;
    TempLibrary& operator=(const TempLibrary&) = delete;

    // The library root, ending in the separator.
    const std::string& Root() const { return m_Root; }
    // relative may separate its folders by "/" on every system.
    std::string Path(std::string_view relative) const;

    // Writes a file (and its folders). A stamp "YYYY-MM-DD HH:MM" sets its
    // last-write time in local time.
    void Write(std::string_view relative, std::string_view bytes, std::string_view stamp = {});
    void MakeFolder(std::string_view relative);
    std::string Read(std::string_view relative) const;
    bool Exists(std::string_view relative) const;
    std::vector<std::string> Files() const { return FilesBelow(m_Root); }

    std::string Report() const { return Read("Corvane.htm"); }

  private:
    std::string m_Root;
};

// A regular file as the tests compare it: bytes, permission bits and
// last-write time to the second.
struct FileState {
    std::string bytes;
    unsigned mode = 0;
    std::int64_t mtime = 0;
    bool operator==(const FileState&) const = default;
};
using Tree = std::map<std::string, FileState>;

// The regular files below root (links not followed), by relative path; with
// libraryOnly, not those under backup/, the report or temporary files.
Tree TreeOf(const std::string& root, bool libraryOnly);

// The bytes of the file at path in tree, if it holds one.
std::optional<std::string> BytesAt(const Tree& tree, const std::string& path);

// The files of before that now hold neither their bytes of before nor those
// of after: a command that stopped half-way tore them.
std::vector<std::string> Torn(const Tree& now, const Tree& before, const Tree& after);

// Files of ours a command left behind below root: temporary files and the
// lists of them.
std::vector<std::string> Leftovers(const std::string& root);

// The delete and the restore as the front ends run them, under the library's
// lock, with a status that goes nowhere.
DeleteResult Delete(const std::string& root, const std::vector<OlderItem>& items,
                    platform::FileSystem& fs = platform::RealFileSystem());
RestoreResult Restore(const std::string& root,
                      platform::FileSystem& fs = platform::RealFileSystem());

// The peak memory of this process so far, in KiB; 0 on Windows, where the
// tests do not measure it.
long PeakKiB();

// The HTML report's first and last bytes, and a category's heading in it.
inline const std::string kReportHead = "<h1>Corvane</h1>\r\n<font face=\"arial narrow\"><table>";
inline const std::string kReportTail =
    "</table><font color=\"red\">Red file is <b>older</b></font><br></font>";
inline std::string ReportHeading(const std::string& title) {
    return "<tr><td colspan=\"3\"><h2>" + title + "</h2>\r\n</td></tr>";
}

// Lines joined with line feeds, for messages.
std::string Join(const std::vector<std::string>& lines);

// Lines joined with CR LF, the usual form of library files.
std::string CrLf(std::initializer_list<std::string_view> lines);

// A relative path written with "/" as the program writes it, with the
// system's separator.
std::string Native(std::string_view relative);

// A path or text the program wrote, with "/" for the system's separator.
std::string Generic(std::string text);

// Sets a file's last-write time to a local time "YYYY-MM-DD HH:MM".
void SetStamp(const std::string& path, std::string_view stamp);

// A path of the machine the tests are built on as the test program sees it:
// under Wine the host's "/" is the drive Z:.
std::string HostPath(std::string_view path);

// Writes a file below root through our own file layer, which takes every
// name as it stands and reaches paths of any length; relative is "/"-separated.
void Put(const std::string& root, const std::string& relative, const std::string& bytes);

// Makes a symbolic link at link to target (a folder when folder); false where
// the system or the process may not (Wine makes none for a Windows program).
bool MakeLink(const std::string& target, const std::string& link, bool folder);
// Makes a FIFO at path; false on Windows, which has none.
bool MakeFifo(const std::string& path);
// True in a Windows program that runs under Wine.
bool UnderWine();
// Says why a case of a table is skipped when what it stands on was not made
// (made false) on this system; gives made.
bool CanSetUp(bool made, const std::string& what);

// Copies the sample library (sample/library) into dest, with its files'
// times from sample/stamps: three older items in three files.
void PrepareSample(const std::string& dest);

// Runs a program of the machine the tests are built on with the arguments
// given, in folder (by default the current one), with no input; gives its
// exit status (-1 when it did not exit) and its standard output and error.
// Output written as text on Windows has its CR LF turned into LF.
struct ProgramResult {
    int status;
    std::string out;
    std::string err;
};
ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                         const std::string& folder = {});

// Keeps the last status text it was told.
class RecordingProgress : public DeleteProgress {
  public:
    void Status(const std::string& text) override { m_Last = text; }
    const std::string& Last() const { return m_Last; }

  private:
    std::string m_Last;
};

}  // namespace corvane::testing
