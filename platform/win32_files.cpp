// FileSystem over the wide Win32 file APIs. Paths are UTF-8 and turned into
// wide "\\?\" paths only here, at the boundary.
#include <algorithm>
#include <mutex>
#include <vector>

#include "platform/files.h"
#include "platform/text.h"
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
    message = std::string(Trim(message));
    if (!message.empty() && message.back() == '.') message.pop_back();
    return (message.empty() ? "error" : message + ", error") + " " + std::to_string(error);
}

}  // namespace win32

namespace {

using win32::ErrorText;
using win32::Handle;
using win32::SystemPath;

// Seconds between 1601-01-01 (FILETIME's epoch) and 1970-01-01.
constexpr std::int64_t kEpochDifference = 11644473600;

std::int64_t SecondsSinceEpoch(const FILETIME& time) {
    std::int64_t ticks = (std::int64_t(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    std::int64_t seconds = ticks / 10000000;  // 100 ns ticks; never negative
    return seconds - kEpochDifference;
}

FileError LastError(std::string operation, const std::string& path) {
    return FileError(std::move(operation), path, ErrorText(::GetLastError()));
}

class Win32OutputFile final : public OutputFile {
  public:
    Win32OutputFile(HANDLE handle, std::string path) : m_Handle(handle), m_Path(std::move(path)) {
        m_Buffer.reserve(kBufferSize);
    }

    void Write(std::string_view bytes) override {
        if (m_Buffer.size() + bytes.size() > kBufferSize) {
            Flush();
            if (bytes.size() >= kBufferSize) {
                WriteAll(bytes);
                return;
            }
        }
        m_Buffer.append(bytes);
    }

    void Close() override {
        Flush();
        if (!m_Handle.Close()) throw LastError("close", m_Path);
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
                throw LastError("write", m_Path);
            }
            bytes.remove_prefix(written);
        }
    }

    Handle m_Handle;
    std::string m_Path;
    std::string m_Buffer;
};

// Opens what stands at path, following links, to ask about it.
HANDLE OpenForAttributes(const std::wstring& path) {
    return ::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

EntryKind KindOfAttributes(DWORD attributes) {
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return EntryKind::kFolder;
    if (attributes & FILE_ATTRIBUTE_DEVICE) return EntryKind::kOther;
    return EntryKind::kFile;
}

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
        if (search == INVALID_HANDLE_VALUE) return entries;
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
        ::FindClose(search);
        return entries;
    }

    EntryKind KindOf(const std::string& path) override {
        std::wstring wide = SystemPath(path);
        DWORD attributes = ::GetFileAttributesW(wide.c_str());
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

    std::optional<FolderIdentity> IdentityOf(const std::string& folder) override {
        Handle handle(OpenForAttributes(SystemPath(folder)));
        BY_HANDLE_FILE_INFORMATION info;
        if (!handle.Valid() || !::GetFileInformationByHandle(handle.Get(), &info) ||
            !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            return std::nullopt;
        }
        return FolderIdentity{info.dwVolumeSerialNumber,
                              (std::uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
    }

    std::int64_t ReadFile(const std::string& path, std::string& bytes) override {
        bytes.clear();
        Handle handle(::CreateFileW(SystemPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        if (!handle.Valid()) {
            DWORD error = ::GetLastError();
            if (error == ERROR_ACCESS_DENIED && KindOf(path) == EntryKind::kFolder) {
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
        return SecondsSinceEpoch(info.ftLastWriteTime);
    }

    bool CanRead(const std::string& path) override {
        if (KindOf(path) != EntryKind::kFile) return false;
        Handle handle(::CreateFileW(SystemPath(path).c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
        return handle.Valid();
    }

    std::unique_ptr<OutputFile> Create(const std::string& path) override {
        // No sharing: while we write it, no other program opens the file.
        HANDLE handle = ::CreateFileW(SystemPath(path).c_str(), GENERIC_WRITE, 0, nullptr,
                                      CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            DWORD error = ::GetLastError();
            if (KindOf(path) == EntryKind::kFolder)
                throw FileError("create", path, "Is a directory");
            throw FileError("create", path, ErrorText(error));
        }
        {
            std::lock_guard<std::mutex> lock(m_Mutex);
            m_Unflushed.push_back(path);
        }
        return std::make_unique<Win32OutputFile>(handle, path);
    }

    void Rename(const std::string& from, const std::string& to) override {
        std::wstring target = SystemPath(to);
        RefuseReadOnly(target, "replace", to);
        if (!::MoveFileExW(SystemPath(from).c_str(), target.c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            throw LastError("move \"" + from + "\" to", to);
        }
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

    // Windows has no flush of a whole file system for a plain user, so each
    // file written since the last call is flushed by itself; the renames are
    // written through as they are made.
    void SyncAll(const std::string&) override {
        std::vector<std::string> files;
        {
            std::lock_guard<std::mutex> lock(m_Mutex);
            files.swap(m_Unflushed);
        }
        for (const std::string& path : files) {
            Handle handle(::CreateFileW(SystemPath(path).c_str(), GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, 0, nullptr));
            if (!handle.Valid()) {
                DWORD error = ::GetLastError();
                // Moved or removed since: its new place was written through.
                if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) continue;
                throw FileError("open", path, ErrorText(error));
            }
            if (!::FlushFileBuffers(handle.Get())) throw LastError("flush to disk", path);
        }
    }

  private:
    // A file the user made read-only is neither replaced nor deleted. Windows
    // refuses both by itself, but not every system that runs our programs
    // does (Wine replaces it).
    static void RefuseReadOnly(const std::wstring& path, const char* operation,
                               const std::string& utf8) {
        DWORD attributes = ::GetFileAttributesW(path.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) &&
            !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            throw FileError(operation, utf8, "the file is read-only");
        }
    }

    std::mutex m_Mutex;
    std::vector<std::string> m_Unflushed;  // files created since the last SyncAll
};

}  // namespace

FileSystem& RealFileSystem() {
    static Win32FileSystem fileSystem;
    return fileSystem;
}

}  // namespace corvane::platform
