#include "tests/support/test_library.h"

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace corvane::testing {

namespace fs = std::filesystem;

namespace {

// Paths and names are UTF-8 here; std::filesystem takes them as such only
// through char8_t on Windows, and as plain bytes on POSIX.
fs::path FsPath(const std::string& utf8) {
#ifdef _WIN32
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
#else
    return fs::path(utf8);
#endif
}

std::string Utf8(const fs::path& path, bool generic = false) {
#ifdef _WIN32
    std::u8string text = generic ? path.generic_u8string() : path.u8string();
    return std::string(text.begin(), text.end());
#else
    return generic ? path.generic_string() : path.string();
#endif
}

#ifdef _WIN32
// Under Wine: runs a program of the host on the host names of paths, then
// waits (up to two seconds) until done() says it has done its work, since
// Wine cannot wait for a host program. False elsewhere, or when it did not.
template <typename Done>
bool RunOnHost(const wchar_t* program, std::initializer_list<fs::path> paths, Done done) {
    using UnixName = char*(CDECL*)(LPCWSTR);
    auto unixName = reinterpret_cast<UnixName>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"kernel32"), "wine_get_unix_file_name")));
    if (!unixName) return false;
    std::wstring command = program;
    for (const fs::path& path : paths) {
        char* name = unixName(path.c_str());
        if (!name) return false;
        command += L" " + FsPath(name).wstring();
        ::HeapFree(::GetProcessHeap(), 0, name);
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &process)) {
        return false;
    }
    ::CloseHandle(process.hProcess);
    ::CloseHandle(process.hThread);
    for (int i = 0; i < 200 && !done(); ++i) ::Sleep(10);
    return done();
}

// Takes the links out of a tree, each link itself and nothing it leads to,
// so that what removes the rest neither follows nor stumbles on them.
void RemoveLinks(const fs::path& root) {
    std::error_code ignored;
    std::vector<fs::path> links;
    for (fs::recursive_directory_iterator it(root, ignored), end; !ignored && it != end;
         it.increment(ignored)) {
        DWORD attributes = ::GetFileAttributesW(it->path().c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
            links.push_back(it->path());
            it.disable_recursion_pending();
        }
    }
    for (const fs::path& link : links) {
        auto gone = [&] { return ::GetFileAttributesW(link.c_str()) == INVALID_FILE_ATTRIBUTES; };
        // Windows removes a link itself; Wine, which shows a link of its host
        // as a reparse point, would remove what it leads to, so the host does.
        if (!RunOnHost(L"Z:\\bin\\rm -f", {link}, gone) && !::RemoveDirectoryW(link.c_str())) {
            ::DeleteFileW(link.c_str());
        }
    }
}
#endif

}  // namespace

TempLibrary::TempLibrary() {
    std::random_device random;
    fs::path base = fs::temp_directory_path();
    for (;;) {
        fs::path candidate = base / ("corvane-test-" + std::to_string(random()));
        if (fs::create_directory(candidate)) {
            m_Root = Utf8(candidate) + platform::kSeparator;
            break;
        }
    }
}

TempLibrary::~TempLibrary() {
    std::error_code ignored;
#ifdef _WIN32
    // "\\?\" reaches names Win32 would bend, such as "CON.stk" or "Dot.".
    if (m_Root.size() > 2 && m_Root[1] == ':') {
        // A read-only file would stop remove_all, which then never returns.
        const fs::path root = FsPath("\\\\?\\" + m_Root);
        RemoveLinks(root);
        for (fs::recursive_directory_iterator it(root, ignored), end; !ignored && it != end;
             it.increment(ignored)) {
            ::SetFileAttributesW(it->path().c_str(), FILE_ATTRIBUTE_NORMAL);
        }
        // A program that has just ended may still hold its output files
        // for a moment under Wine.
        for (int tries = 0; tries < 50 && fs::exists(root, ignored); ++tries) {
            if (tries) ::Sleep(20);
            fs::remove_all(root, ignored);
        }
        return;
    }
#endif
    fs::remove_all(FsPath(m_Root), ignored);
}

std::string TempLibrary::Path(std::string_view relative) const {
    return m_Root + Native(relative);
}

void TempLibrary::Write(std::string_view relative, std::string_view bytes, std::string_view stamp) {
    fs::path path = FsPath(Path(relative));
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
    out.close();
    if (!out) throw std::runtime_error("cannot write test file " + Path(relative));
    if (!stamp.empty()) SetStamp(Path(relative), stamp);
}

void TempLibrary::MakeFolder(std::string_view relative) {
    fs::create_directories(FsPath(Path(relative)));
}

std::string TempLibrary::Read(std::string_view relative) const {
    std::ifstream in(FsPath(Path(relative)), std::ios::binary);
    if (!in) throw std::runtime_error("cannot read test file " + Path(relative));
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

bool TempLibrary::Exists(std::string_view relative) const {
    std::error_code ignored;
    return fs::exists(fs::symlink_status(FsPath(Path(relative)), ignored));
}

std::vector<std::string> FilesBelow(const std::string& root) {
    std::vector<std::string> files;
    const fs::path top = FsPath(root);
    for (const auto& entry : fs::recursive_directory_iterator(top)) {
        if (entry.is_regular_file()) {
            files.push_back(Utf8(entry.path().lexically_relative(top), true));
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

Tree TreeOf(const std::string& root, bool libraryOnly) {
    Tree tree;
    const fs::path top = FsPath(root);
    for (const auto& entry : fs::recursive_directory_iterator(top)) {
        if (!entry.is_regular_file() || entry.is_symlink()) continue;
        std::string path = Utf8(entry.path().lexically_relative(top), true);
        if (libraryOnly &&
            (path.starts_with("backup/") || path == "Corvane.htm" || path.ends_with(".tmp"))) {
            continue;
        }
        std::string bytes;
        platform::FileAttributes attributes =
            platform::RealFileSystem().ReadFileWithAttributes(Utf8(entry.path()), bytes);
        tree[path] = {bytes, unsigned(attributes.permissions), attributes.lastWriteSeconds};
    }
    return tree;
}

std::optional<std::string> BytesAt(const Tree& tree, const std::string& path) {
    auto found = tree.find(path);
    return found == tree.end() ? std::nullopt : std::optional(found->second.bytes);
}

std::vector<std::string> Torn(const Tree& now, const Tree& before, const Tree& after) {
    std::vector<std::string> torn;
    for (const auto& [path, file] : before) {
        const std::optional<std::string> bytes = BytesAt(now, path);
        if (bytes != file.bytes && bytes != BytesAt(after, path)) torn.push_back(path);
    }
    return torn;
}

std::vector<std::string> Leftovers(const std::string& root) {
    std::vector<std::string> found = FilesBelow(root);
    std::erase_if(found, [](const std::string& path) {
        return path.find(".corvane-") == std::string::npos &&
               path.find("running-") == std::string::npos;
    });
    return found;
}

DeleteResult Delete(const std::string& root, const std::vector<OlderItem>& items,
                    platform::FileSystem& fs) {
    RecordingProgress progress;
    return RunDeleteCommand(LibraryLock(root, fs), items, progress);
}

RestoreResult Restore(const std::string& root, platform::FileSystem& fs) {
    RecordingProgress progress;
    return RunRestoreCommand(LibraryLock(root, fs), progress);
}

long PeakKiB() {
#ifdef _WIN32
    return 0;
#else
    struct rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
#endif
}

std::string Join(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    return text;
}

std::string CrLf(std::initializer_list<std::string_view> lines) {
    std::string text;
    for (std::string_view line : lines) {
        text.append(line);
        text.append("\r\n");
    }
    return text;
}

std::string Native(std::string_view relative) {
    std::string path(relative);
    std::replace(path.begin(), path.end(), '/', platform::kSeparator);
    return path;
}

std::string Generic(std::string text) {
    std::replace(text.begin(), text.end(), platform::kSeparator, '/');
    return text;
}

void SetStamp(const std::string& path, std::string_view stamp) {
    std::tm local{};
    std::istringstream in{std::string(stamp)};
    in >> std::get_time(&local, "%Y-%m-%d %H:%M");
    if (in.fail()) throw std::runtime_error("bad stamp " + std::string(stamp));
#ifdef _WIN32
    // The local time of that date under its own rules, as the program reads it.
    SYSTEMTIME wall{WORD(local.tm_year + 1900), WORD(local.tm_mon + 1), 0, WORD(local.tm_mday),
                    WORD(local.tm_hour),        WORD(local.tm_min),     0, 0};
    SYSTEMTIME utc;
    FILETIME time;
    // "\\?\" takes the name as it stands: CON.stk is a file, not the console.
    std::wstring wide = FsPath(path).wstring();
    if (wide.size() > 2 && wide[1] == L':') wide = L"\\\\?\\" + wide;
    HANDLE file = ::CreateFileW(wide.c_str(), FILE_WRITE_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    bool set = file != INVALID_HANDLE_VALUE &&
               ::TzSpecificLocalTimeToSystemTime(nullptr, &wall, &utc) &&
               ::SystemTimeToFileTime(&utc, &time) && ::SetFileTime(file, nullptr, &time, &time);
    if (file != INVALID_HANDLE_VALUE) ::CloseHandle(file);
    if (!set) {
        throw std::runtime_error("cannot set the time of " + path + ": error " +
                                 std::to_string(::GetLastError()));
    }
#else
    local.tm_isdst = -1;
    struct timespec times[2];
    times[0].tv_sec = times[1].tv_sec = std::mktime(&local);
    times[0].tv_nsec = times[1].tv_nsec = 0;
    if (::utimensat(AT_FDCWD, path.c_str(), times, 0) != 0) {
        throw std::runtime_error("cannot set the time of " + path);
    }
#endif
}

void Put(const std::string& root, const std::string& relative, const std::string& bytes) {
    std::unique_ptr<platform::ContainedTree> tree = platform::RealFileSystem().OpenTree(root);
    const size_t slash = relative.rfind('/');
    if (slash != std::string::npos) tree->MakeFolders(relative.substr(0, slash));
    std::unique_ptr<platform::OutputFile> file = tree->Create(relative, "testtest");
    file->Write(bytes);
    file->Place();
}

bool MakeLink(const std::string& target, const std::string& link, bool folder) {
#ifdef _WIN32
    auto made = [&] {
        return platform::RealFileSystem().KindOfEntry(link) == platform::EntryKind::kLink;
    };
    DWORD flags = (folder ? SYMBOLIC_LINK_FLAG_DIRECTORY : 0) | 0x2;  // allow unprivileged
    if (::CreateSymbolicLinkW(FsPath(link).c_str(), FsPath(target).c_str(), flags) && made()) {
        return true;
    }
    // Wine says yes and makes nothing; its host makes one, which Wine shows
    // as a reparse point when it leads to a folder. A link to a file it shows
    // as the file itself, and deletes the file through it: none is made.
    if (!folder) return false;
    return RunOnHost(L"Z:\\bin\\ln -s", {FsPath(target), FsPath(link)}, made);
#else
    (void)folder;
    return ::symlink(target.c_str(), link.c_str()) == 0;
#endif
}

bool MakeFifo(const std::string& path) {
#ifdef _WIN32
    (void)path;
    return false;
#else
    return ::mkfifo(path.c_str(), 0644) == 0;
#endif
}

bool UnderWine() {
#ifdef _WIN32
    return ::GetProcAddress(::GetModuleHandleW(L"ntdll"), "wine_get_version") != nullptr;
#else
    return false;
#endif
}

bool CanSetUp(bool made, const std::string& what) {
    if (!made) std::cout << "[ SKIPPED  ] " << what << ": not made on this system\n";
    return made;
}

std::string HostPath(std::string_view path) {
#ifdef _WIN32
    if (!path.empty() && path[0] == '/') return "Z:" + Native(path);
#endif
    return std::string(path);
}

void PrepareSample(const std::string& dest) {
    const std::string sample = HostPath(CORVANE_SAMPLE);
    fs::create_directories(FsPath(dest));
    for (const auto& entry : fs::directory_iterator(FsPath(sample + "/library"))) {
        fs::copy(entry.path(), FsPath(dest) / entry.path().filename(), fs::copy_options::recursive);
    }
    std::ifstream stamps(FsPath(sample + "/stamps"));
    std::string line;
    while (std::getline(stamps, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        std::string day, time, relative;
        fields >> day >> time >> relative;
        SetStamp(platform::WithTrailingSeparator(dest) + Native(relative), day + " " + time);
    }
}

namespace {

std::string ReadOutput(const TempLibrary& scratch, const char* name, bool text) {
    std::string bytes = scratch.Read(name);
    for (size_t at = 0; text && (at = bytes.find("\r\n", at)) != std::string::npos;) {
        bytes.erase(at, 1);
    }
    return bytes;
}

}  // namespace

#ifdef _WIN32

namespace {

// One argument as the runtime's command-line parser takes it apart again.
std::wstring Quoted(const std::wstring& arg) {
    std::wstring quoted = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, L'\\');
    return quoted + L"\"";
}

}  // namespace

ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                         const std::string& folder) {
    const TempLibrary scratch;  // for the output
    std::wstring commandLine = Quoted(FsPath(HostPath(program)).wstring());
    for (const std::string& arg : args) commandLine += L" " + Quoted(FsPath(arg).wstring());
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    auto open = [&](const char* name, DWORD access, DWORD disposition) {
        return ::CreateFileW(FsPath(scratch.Path(name)).c_str(), access,
                             FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, disposition,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    };
    HANDLE out = open("out.txt", GENERIC_WRITE, CREATE_ALWAYS);
    HANDLE err = open("err.txt", GENERIC_WRITE, CREATE_ALWAYS);
    HANDLE in = ::CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                              OPEN_EXISTING, 0, nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in;
    startup.hStdOutput = out;
    startup.hStdError = err;
    PROCESS_INFORMATION process{};
    const std::wstring cwd = FsPath(folder).wstring();
    // Wine has been seen to fail, once in many hundred starts while other
    // tests ran, to start a program that is there: the start (never a run)
    // is tried a few times more, and the error named if it never starts.
    BOOL started = FALSE;
    DWORD error = 0;
    for (int attempt = 0; attempt < 5 && !started; ++attempt) {
        if (attempt > 0) ::Sleep(200 * attempt);
        started =
            ::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                             nullptr, folder.empty() ? nullptr : cwd.c_str(), &startup, &process);
        if (!started) error = ::GetLastError();
    }
    DWORD status = DWORD(-1);
    if (started) {
        ::WaitForSingleObject(process.hProcess, INFINITE);
        ::GetExitCodeProcess(process.hProcess, &status);
        ::CloseHandle(process.hProcess);
        ::CloseHandle(process.hThread);
    }
    ::CloseHandle(in);
    ::CloseHandle(out);
    ::CloseHandle(err);
    if (!started) {
        throw std::runtime_error("cannot start " + program + " (error " + std::to_string(error) +
                                 ")");
    }
    return {int(status), ReadOutput(scratch, "out.txt", true),
            ReadOutput(scratch, "err.txt", true)};
}

#else

namespace {

std::string Quote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

}  // namespace

ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                         const std::string& folder) {
    const TempLibrary scratch;  // for the output
    std::string command = (folder.empty() ? "" : "cd " + Quote(folder) + " && ") + Quote(program);
    for (const std::string& arg : args) command += " " + Quote(arg);
    command += " >" + Quote(scratch.Path("out.txt")) + " 2>" + Quote(scratch.Path("err.txt")) +
               " </dev/null";
    int raw = std::system(command.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadOutput(scratch, "out.txt", false),
            ReadOutput(scratch, "err.txt", false)};
}

#endif

}  // namespace corvane::testing
