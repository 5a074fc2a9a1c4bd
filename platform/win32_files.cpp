// FileSystem over the wide Win32 file APIs. Paths are UTF-8 and turned into
// wide "\\?\" paths only here, at the boundary.
#include <algorithm>
#include <cctype>
#include <mutex>
#include <vector>

#include "platform/files.h"
#include "platform/wide.h"
#include "platform/win32.h"

namespace corvane::platform {

namespace win32 {

std::wstring Wide(std::string_view utf8) {
    std::u16string wide = Utf16FromUtf8(utf8);
    return std::wstring(wide.begin(), wide.end());
}

std::string Utf8(std::wstring_view wide) {
    return Utf8FromUtf16(
        std::u16string_view(reinterpret_cast<const char16_t*>(wide.data()), wide.size()));
}

namespace {

// Resolves "." and ".." and drops empty parts of the parts after root, which
// ends in a separator.
std::string Normalised(std::string_view root, std::string_view rest) {
    std::vector<std::string_view> parts;
    size_t start = 0;
    for (size_t i = 0; i <= rest.size(); ++i) {
        if (i < rest.size() && rest[i] != '\\') continue;
        std::string_view part = rest.substr(start, i - start);
        start = i + 1;
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
            continue;
        }
        parts.push_back(part);
    }
    std::string path(root);
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i > 0) path += '\\';
        path.append(parts[i]);
    }
    return path;
}

}  // namespace

std::wstring SystemPath(std::string_view path) {
    std::string native(path);
    std::replace(native.begin(), native.end(), '/', '\\');
    std::string_view p = native;
    if (p.starts_with("\\\\?\\") || p.starts_with("\\\\.\\")) return Wide(p);
    if (p.size() >= 3 && p[1] == ':' && p[2] == '\\' &&
        ((p[0] >= 'A' && p[0] <= 'Z') || (p[0] >= 'a' && p[0] <= 'z'))) {
        return Wide("\\\\?\\" + Normalised(p.substr(0, 3), p.substr(3)));
    }
    if (p.starts_with("\\\\")) {
        // \\server\share\rest: the server and share stay as they are.
        size_t server = p.find('\\', 2);
        size_t share = server == std::string_view::npos ? server : p.find('\\', server + 1);
        if (share != std::string_view::npos) {
            std::string root = "\\\\?\\UNC\\" + std::string(p.substr(2, share - 1));
            return Wide(Normalised(root, p.substr(share + 1)));
        }
    }
    return Wide(p);
}

std::string ErrorText(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_BAD_NETPATH:
            return "No such file or directory";
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
        case ERROR_USER_MAPPED_FILE:
            return "the file is open in another program";
        case ERROR_ACCESS_DENIED:
            return "Access denied (is the file read-only, or open in another program?)";
        case ERROR_DIRECTORY:
            return "Not a directory";
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS:
            return "File exists";
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return "No space left on device";
        case ERROR_WRITE_PROTECT:
            return "the disk is write-protected";
        case ERROR_FILENAME_EXCED_RANGE:
            return "File name too long";
        default:
            break;
    }
    wchar_t* text = nullptr;
    DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string message;
    if (length > 0 && text) message = Utf8(std::wstring_view(text, length));
    if (text) ::LocalFree(text);
    while (!message.empty() &&
           (message.back() == '.' || std::isspace((unsigned char)message.back()))) {
        message.pop_back();
    }
    return (message.empty() ? "error" : message + ", error") + " " + std::to_string(error);
}

}  // namespace win32

namespace {

using win32::ErrorText;
using win32::Handle;
using win32::SystemPath;

// Seconds between 1601-01-01 (FILETIME's epoch) and 1970-01-01.
constexpr std::int64_t kEpochDifference = 11644473600;

std::int64_t Ticks(const FILETIME& time) {
    return (std::int64_t(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

FileError LastError(std::string operation, const std::string& path) {
    return FileError(std::move(operation), path, ErrorText(::GetLastError()));
}

std::string WithoutTrailingSeparator(std::string path) {
    if (path.size() > 1 && path.back() == kSeparator) path.pop_back();
    return path;
}

EntryKind KindOfAttributes(DWORD attributes) {
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return EntryKind::kFolder;
    if (attributes & FILE_ATTRIBUTE_DEVICE) return EntryKind::kOther;
    return EntryKind::kFile;
}

// Opens what stands at path, following links, to ask about it.
HANDLE OpenForAttributes(const std::wstring& path) {
    return ::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

DWORD AttributesAt(const std::wstring& path) {
    return ::GetFileAttributesW(path.c_str());
}

// A file the user made read-only is neither replaced nor deleted. Windows
// refuses both by itself, but not every system that runs our programs does
// (Wine replaces it).
void RefuseReadOnly(const std::wstring& path, const char* operation, const std::string& utf8) {
    DWORD attributes = AttributesAt(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) &&
        !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        throw FileError(operation, utf8, "the file is read-only");
    }
}

// Moves from to to in one step; replace: over whatever but a folder stands
// there. A FileError names to.
void MoveTo(const std::string& from, const std::string& to, bool replace) {
    std::wstring target = SystemPath(to);
    DWORD attributes = AttributesAt(target);
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if (!replace) throw FileError("move \"" + from + "\" to", to, "File exists");
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) &&
            !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
            throw FileError("move \"" + from + "\" to", to, "Is a directory");
        }
        RefuseReadOnly(target, "replace", to);
    }
    DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
    if (!::MoveFileExW(SystemPath(from).c_str(), target.c_str(), flags)) {
        throw LastError("move \"" + from + "\" to", to);
    }
}

// The file is read whole through handle; gives what its handle tells of it.
BY_HANDLE_FILE_INFORMATION ReadWhole(const std::string& path, std::string& bytes,
                                     bool (*kindIsFolder)(const std::string&)) {
    bytes.clear();
    Handle handle(::CreateFileW(SystemPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!handle.Valid()) {
        DWORD error = ::GetLastError();
        if (error == ERROR_ACCESS_DENIED && kindIsFolder(path)) {
            throw FileError("read", path, "not a regular file");
        }
        throw FileError("open for reading", path, ErrorText(error));
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (!::GetFileInformationByHandle(handle.Get(), &info)) throw LastError("examine", path);
    if (::GetFileType(handle.Get()) != FILE_TYPE_DISK ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        throw FileError("read", path, "not a regular file");
    }
    std::uint64_t size = (std::uint64_t(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    size_t want = size > 0 ? size_t(size) + 1 : 4096;
    for (;;) {
        size_t have = bytes.size();
        bytes.resize(have + want);
        DWORD chunk = DWORD(std::min<size_t>(want, 1u << 30));
        DWORD got = 0;
        if (!::ReadFile(handle.Get(), bytes.data() + have, chunk, &got, nullptr)) {
            DWORD error = ::GetLastError();
            bytes.clear();
            throw FileError("read", path, ErrorText(error));
        }
        bytes.resize(have + got);
        if (got == 0) break;
        want = got < chunk ? 1 : 1 << 16;
    }
    return info;
}

class Win32OutputFile final : public OutputFile {
  public:
    Win32OutputFile(HANDLE handle, std::string temporary, std::string target, bool readOnly)
        : m_Handle(handle),
          m_Temporary(std::move(temporary)),
          m_Target(std::move(target)),
          m_ReadOnly(readOnly) {
        m_Buffer.reserve(kBufferSize);
    }

    ~Win32OutputFile() override {
        m_Handle.Close();
        if (!m_Placed) {
            std::wstring temporary = SystemPath(m_Temporary);
            ::SetFileAttributesW(temporary.c_str(), FILE_ATTRIBUTE_NORMAL);
            ::DeleteFileW(temporary.c_str());
        }
    }

    void Write(std::string_view bytes) override {
        if (m_Finished) throw FileError("write", m_Target, "the file is already finished");
        if (m_Buffer.size() + bytes.size() > kBufferSize) {
            Flush();
            if (bytes.size() >= kBufferSize) {
                WriteAll(bytes);
                return;
            }
        }
        m_Buffer.append(bytes);
    }

    // Windows keeps one permission of ours: read-only or not.
    void KeepPermissions(const FileAttributes& from) override {
        m_ReadOnly = (from.permissions & 0222) == 0;
    }

    void KeepLastWriteTime(const FileAttributes& from) override {
        std::uint64_t ticks = std::uint64_t(from.lastWriteSeconds + kEpochDifference) * 10000000 +
                              from.lastWriteNanoseconds / 100;
        m_Time = FILETIME{DWORD(ticks), DWORD(ticks >> 32)};
        m_KeepTime = true;
    }

    // Windows has no flush of a whole file system for a plain user: each file
    // goes to the disk here, and SyncAll has nothing left to do for it.
    void Finish() override {
        if (m_Finished) return;
        Flush();
        if (m_KeepTime && !::SetFileTime(m_Handle.Get(), nullptr, nullptr, &m_Time)) {
            throw LastError("set the last-write time of", m_Target);
        }
        if (!::FlushFileBuffers(m_Handle.Get())) throw LastError("write", m_Target);
        if (!m_Handle.Close()) throw LastError("write", m_Target);
        if (m_ReadOnly &&
            !::SetFileAttributesW(SystemPath(m_Temporary).c_str(), FILE_ATTRIBUTE_READONLY)) {
            throw LastError("set the permissions of", m_Target);
        }
        m_Finished = true;
    }

    void Close() override {
        Finish();
        MoveTo(m_Temporary, m_Target, true);
        m_Placed = true;
    }

    void CloseAsNew() override {
        Finish();
        MoveTo(m_Temporary, m_Target, false);
        m_Placed = true;
    }

  private:
    static constexpr size_t kBufferSize = 1 << 16;

    void Flush() {
        WriteAll(m_Buffer);
        m_Buffer.clear();
    }

    void WriteAll(std::string_view bytes) {
        while (!bytes.empty()) {
            DWORD chunk = DWORD(std::min<size_t>(bytes.size(), 1u << 30));
            DWORD written = 0;
            if (!::WriteFile(m_Handle.Get(), bytes.data(), chunk, &written, nullptr)) {
                throw LastError("write", m_Target);
            }
            bytes.remove_prefix(written);
        }
    }

    Handle m_Handle;
    std::string m_Temporary;
    std::string m_Target;
    std::string m_Buffer;
    bool m_ReadOnly;
    FILETIME m_Time{};
    bool m_KeepTime = false;
    bool m_Finished = false;
    bool m_Placed = false;
};

class Win32FileSystem final : public FileSystem {
  public:
    std::vector<FolderEntry> ListFolder(const std::string& folder) override {
        std::vector<FolderEntry> entries;
        std::wstring pattern = SystemPath(folder);
        if (pattern.empty() || pattern.back() != L'\\') pattern += L'\\';
        pattern += L'*';
        WIN32_FIND_DATAW found;
        HANDLE search =
            ::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch,
                               nullptr, FIND_FIRST_EX_LARGE_FETCH);
        if (search == INVALID_HANDLE_VALUE) {
            DWORD error = ::GetLastError();
            // Where no folder stands there is nothing to list.
            if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
                error == ERROR_DIRECTORY || error == ERROR_INVALID_NAME ||
                KindOf(folder) != EntryKind::kFolder) {
                return entries;
            }
            throw FileError("list the folder", WithoutTrailingSeparator(folder), ErrorText(error));
        }
        std::string path = WithTrailingSeparator(folder);
        const size_t base = path.size();
        do {
            const wchar_t* name = found.cFileName;
            if (name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0))) continue;
            std::string utf8 = win32::Utf8(name);
            EntryKind kind;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
                path.resize(base);
                path += utf8;
                kind = KindOf(path);
            } else {
                kind = KindOfAttributes(found.dwFileAttributes);
            }
            entries.push_back({std::move(utf8), kind});
        } while (::FindNextFileW(search, &found));
        DWORD error = ::GetLastError();
        ::FindClose(search);
        if (error != ERROR_NO_MORE_FILES) {
            throw FileError("list the folder", WithoutTrailingSeparator(folder), ErrorText(error));
        }
        return entries;
    }

    EntryKind KindOf(const std::string& path) override {
        std::wstring wide = SystemPath(path);
        DWORD attributes = AttributesAt(wide);
        if (attributes == INVALID_FILE_ATTRIBUTES) return EntryKind::kMissing;
        if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return KindOfAttributes(attributes);
        // A link or junction: what it leads to, if anything.
        Handle handle(OpenForAttributes(wide));
        BY_HANDLE_FILE_INFORMATION info;
        if (!handle.Valid() || !::GetFileInformationByHandle(handle.Get(), &info)) {
            return EntryKind::kMissing;
        }
        return KindOfAttributes(info.dwFileAttributes);
    }

    EntryKind KindOfEntry(const std::string& path) override {
        DWORD attributes = AttributesAt(SystemPath(path));
        if (attributes == INVALID_FILE_ATTRIBUTES) return EntryKind::kMissing;
        if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return EntryKind::kLink;
        return KindOfAttributes(attributes);
    }

    std::optional<FileIdentity> IdentityOf(const std::string& folder) override {
        Handle handle(OpenForAttributes(SystemPath(folder)));
        BY_HANDLE_FILE_INFORMATION info;
        if (!handle.Valid() || !::GetFileInformationByHandle(handle.Get(), &info) ||
            !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            return std::nullopt;
        }
        return IdentityOfInfo(info);
    }

    FileFacts ReadFile(const std::string& path, std::string& bytes) override {
        BY_HANDLE_FILE_INFORMATION info = ReadWhole(path, bytes, &IsFolder);
        FileFacts facts;
        facts.lastWriteTime = Ticks(info.ftLastWriteTime) / 10000000 - kEpochDifference;
        facts.identity = IdentityOfInfo(info);
        return facts;
    }

    FileAttributes ReadFileWithAttributes(const std::string& path, std::string& bytes) override {
        BY_HANDLE_FILE_INFORMATION info = ReadWhole(path, bytes, &IsFolder);
        std::int64_t ticks = Ticks(info.ftLastWriteTime);
        FileAttributes attributes;
        attributes.lastWriteSeconds = ticks / 10000000 - kEpochDifference;
        attributes.lastWriteNanoseconds = std::uint32_t(ticks % 10000000) * 100;
        attributes.permissions = (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) ? 0444u : 0666u;
        return attributes;
    }

    bool CanRead(const std::string& path) override {
        if (KindOf(path) != EntryKind::kFile) return false;
        Handle handle(::CreateFileW(SystemPath(path).c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
        return handle.Valid();
    }

    std::unique_ptr<OutputFile> Create(const std::string& path) override {
        bool readOnly = false;
        DWORD attributes = AttributesAt(SystemPath(path));
        if (attributes != INVALID_FILE_ATTRIBUTES) {
            if ((attributes & FILE_ATTRIBUTE_DIRECTORY) &&
                !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
                throw FileError("create", path, "Is a directory");
            }
            readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
        }
        for (int attempt = 0;; ++attempt) {
            std::string temporary = TemporaryNameBeside(path);
            // CREATE_NEW never opens what stood there, a link included; no
            // sharing while we write it.
            HANDLE handle = ::CreateFileW(SystemPath(temporary).c_str(), GENERIC_WRITE, 0, nullptr,
                                          CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
            if (handle != INVALID_HANDLE_VALUE) {
                return std::make_unique<Win32OutputFile>(handle, temporary, path, readOnly);
            }
            DWORD error = ::GetLastError();
            if ((error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) || attempt == 100) {
                throw FileError("create", path, ErrorText(error));
            }
        }
    }

    void Rename(const std::string& from, const std::string& to) override { MoveTo(from, to, true); }

    void RenameNoReplace(const std::string& from, const std::string& to) override {
        MoveTo(from, to, false);
    }

    void Remove(const std::string& path) override {
        std::wstring wide = SystemPath(path);
        RefuseReadOnly(wide, "delete", path);
        if (!::DeleteFileW(wide.c_str())) throw LastError("delete", path);
    }

    void MakeFolder(const std::string& path) override {
        if (::CreateDirectoryW(SystemPath(path).c_str(), nullptr)) return;
        DWORD error = ::GetLastError();
        if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) {
            if (KindOf(path) == EntryKind::kFolder) return;
            throw FileError("create the folder", path, "Not a directory");
        }
        throw FileError("create the folder", path, ErrorText(error));
    }

    // Every file was flushed as it was finished and every rename written
    // through: nothing is left to do.
    void SyncAll(const std::string&) override {}

  private:
    static bool IsFolder(const std::string& path) {
        DWORD attributes = AttributesAt(SystemPath(path));
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
    }

    static FileIdentity IdentityOfInfo(const BY_HANDLE_FILE_INFORMATION& info) {
        return FileIdentity{info.dwVolumeSerialNumber,
                            (std::uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
    }
};

}  // namespace

FileSystem& RealFileSystem() {
    static Win32FileSystem fileSystem;
    return fileSystem;
}

}  // namespace corvane::platform
