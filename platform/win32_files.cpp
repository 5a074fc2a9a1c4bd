// FileSystem over the wide Win32 file APIs. Paths are UTF-8 and turned into
// wide "\\?\" paths only here, at the boundary.
#include <aclapi.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <vector>

#include "platform/file_common.h"
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
    // The system's own words, without the full stop and line end it puts
    // after them; the number, which the words may not say, in brackets.
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
    return (message.empty() ? "Error" : message) + " (error " + std::to_string(error) + ")";
}

}  // namespace win32

namespace {

using win32::ErrorText;
using win32::Handle;
using win32::kEpochDifference;
using win32::SystemPath;

std::int64_t Ticks(const FILETIME& time) {
    return (std::int64_t(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

FILETIME FileTimeOf(std::int64_t seconds, std::uint32_t nanoseconds) {
    std::uint64_t ticks = std::uint64_t(seconds + kEpochDifference) * 10000000 + nanoseconds / 100;
    return FILETIME{DWORD(ticks), DWORD(ticks >> 32)};
}

FileError LastError(std::string operation, const std::string& path) {
    return FileError(std::move(operation), path, ErrorText(::GetLastError()));
}

EntryKind KindOfAttributes(DWORD attributes) {
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return EntryKind::kFolder;
    if (attributes & FILE_ATTRIBUTE_DEVICE) return EntryKind::kOther;
    return EntryKind::kFile;
}

FileIdentity IdentityOfInfo(const BY_HANDLE_FILE_INFORMATION& info) {
    return FileIdentity{info.dwVolumeSerialNumber,
                        (std::uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

FileAttributes AttributesOfInfo(const BY_HANDLE_FILE_INFORMATION& info) {
    std::int64_t ticks = Ticks(info.ftLastWriteTime);
    FileAttributes attributes;
    attributes.lastWriteSeconds = ticks / 10000000 - kEpochDifference;
    attributes.lastWriteNanoseconds = std::uint32_t(ticks % 10000000) * 100;
    attributes.permissions = (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) ? 0444u : 0666u;
    attributes.identity = IdentityOfInfo(info);
    attributes.size = (std::uint64_t(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    return attributes;
}

// Opens what stands at path to ask about it: following links, or the link
// itself.
HANDLE OpenForAttributes(const std::wstring& path, bool followLinks = true) {
    return ::CreateFileW(
        path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING,
        FILE_FLAG_BACKUP_SEMANTICS | (followLinks ? 0 : FILE_FLAG_OPEN_REPARSE_POINT), nullptr);
}

DWORD AttributesAt(const std::wstring& path) {
    return ::GetFileAttributesW(path.c_str());
}

bool IsFolderAt(const std::string& path) {
    DWORD attributes = AttributesAt(SystemPath(path));
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The version of the regular file at path, links not followed.
std::optional<FileVersion> VersionAt(const std::string& path) {
    Handle handle(OpenForAttributes(SystemPath(path), false));
    BY_HANDLE_FILE_INFORMATION info;
    if (!handle.Valid() || !::GetFileInformationByHandle(handle.Get(), &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))) {
        return std::nullopt;
    }
    return AttributesOfInfo(info).Version();
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
        if (!replace)
            throw FileError("move \"" + from + "\" to", to, ErrorText(ERROR_ALREADY_EXISTS));
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) &&
            !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
            throw FileError("replace", to, "a folder stands in its place");
        }
        RefuseReadOnly(target, "replace", to);
    }
    DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
    if (!::MoveFileExW(SystemPath(from).c_str(), target.c_str(), flags)) {
        throw LastError("move \"" + from + "\" to", to);
    }
}

class Win32InputFile final : public InputFile {
  public:
    Win32InputFile(HANDLE handle, std::string path, const BY_HANDLE_FILE_INFORMATION& info)
        : InputFile(std::move(path), AttributesOfInfo(info)), m_Handle(handle), m_Info(info) {}

    size_t Read(char* buffer, size_t size) override {
        DWORD chunk = DWORD(std::min<size_t>(size, 1u << 30));
        DWORD got = 0;
        if (!::ReadFile(m_Handle.Get(), buffer, chunk, &got, nullptr)) {
            throw LastError("read", Path());
        }
        return got;
    }
    HANDLE Get() const { return m_Handle.Get(); }
    const BY_HANDLE_FILE_INFORMATION& Info() const { return m_Info; }

  private:
    Handle m_Handle;
    BY_HANDLE_FILE_INFORMATION m_Info;
};

// Opens a regular file for reading; with followLinks false a link at path is
// refused.
std::unique_ptr<Win32InputFile> OpenRegularFile(const std::string& path, bool followLinks) {
    Handle handle(::CreateFileW(
        SystemPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
        FILE_FLAG_SEQUENTIAL_SCAN | (followLinks ? 0 : FILE_FLAG_OPEN_REPARSE_POINT), nullptr));
    if (!handle.Valid()) {
        DWORD error = ::GetLastError();
        if (error == ERROR_ACCESS_DENIED && IsFolderAt(path)) {
            throw FileError("read", path, "not a regular file");
        }
        throw FileError("open for reading", path, ErrorText(error));
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (!::GetFileInformationByHandle(handle.Get(), &info)) throw LastError("examine", path);
    if (!followLinks && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        throw FileError("read", path, "a link stands in its place");
    }
    if (::GetFileType(handle.Get()) != FILE_TYPE_DISK ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        throw FileError("read", path, "not a regular file");
    }
    return std::make_unique<Win32InputFile>(handle.Release(), path, info);
}

FileAttributes ReadWhole(const std::string& path, std::string& bytes) {
    try {
        std::unique_ptr<Win32InputFile> file = OpenRegularFile(path, true);
        file->ReadAll(bytes);
        return file->Attributes();
    } catch (...) {
        bytes.clear();
        throw;
    }
}

// The attributes a copy takes over; read-only comes last, once it is written.
constexpr DWORD kCopiedAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                    FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

class Win32Staging final : public Staging {
  public:
    Win32Staging(HANDLE handle, std::string temporary, std::string target, bool readOnly)
        : m_Handle(handle),
          m_Temporary(std::move(temporary)),
          m_Target(std::move(target)),
          m_ReadOnly(readOnly) {}

    ~Win32Staging() override {
        m_Handle.Close();
        if (!m_Moved) {
            std::wstring temporary = SystemPath(m_Temporary);
            ::SetFileAttributesW(temporary.c_str(), FILE_ATTRIBUTE_NORMAL);
            ::DeleteFileW(temporary.c_str());
        }
    }

    void Write(std::string_view bytes) override {
        while (!bytes.empty()) {
            DWORD chunk = DWORD(std::min<size_t>(bytes.size(), 1u << 30));
            DWORD written = 0;
            if (!::WriteFile(m_Handle.Get(), bytes.data(), chunk, &written, nullptr)) {
                throw LastError("write", m_Target);
            }
            bytes.remove_prefix(written);
        }
    }

    // The security descriptor's access list, the attributes and the creation
    // time; read-only when the file is finished.
    std::vector<std::string> KeepAttributesOf(InputFile& source) override {
        std::vector<std::string> lost;
        auto* file = dynamic_cast<Win32InputFile*>(&source.SystemFile());
        if (!file) return lost;
        const BY_HANDLE_FILE_INFORMATION& info = file->Info();
        m_ReadOnly = (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
        m_Attributes = info.dwFileAttributes & kCopiedAttributes;
        if (!::SetFileTime(m_Handle.Get(), &info.ftCreationTime, nullptr, nullptr)) {
            lost.push_back("Cannot keep the creation time of \"" + m_Target +
                           "\": " + ErrorText(::GetLastError()));
        }
        PACL access = nullptr;
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        DWORD error = ::GetSecurityInfo(file->Get(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                        nullptr, nullptr, &access, nullptr, &descriptor);
        if (error == ERROR_SUCCESS) {
            SECURITY_DESCRIPTOR_CONTROL control = 0;
            DWORD revision = 0;
            ::GetSecurityDescriptorControl(descriptor, &control, &revision);
            SECURITY_INFORMATION what =
                DACL_SECURITY_INFORMATION |
                ((control & SE_DACL_PROTECTED) ? PROTECTED_DACL_SECURITY_INFORMATION
                                               : UNPROTECTED_DACL_SECURITY_INFORMATION);
            error = ::SetSecurityInfo(m_Handle.Get(), SE_FILE_OBJECT, what, nullptr, nullptr,
                                      access, nullptr);
            ::LocalFree(descriptor);
        }
        if (error != ERROR_SUCCESS) {
            lost.push_back("Cannot keep the permissions of \"" + m_Target +
                           "\": " + ErrorText(error));
        }
        return lost;
    }

    // Windows has no flush of a whole file system for a plain user: each file
    // goes to the disk here, and SyncAll has nothing left to do for it.
    void Close(const FileVersion* time) override {
        if (time) {
            FILETIME lastWrite = FileTimeOf(time->lastWriteSeconds, time->lastWriteNanoseconds);
            if (!::SetFileTime(m_Handle.Get(), nullptr, nullptr, &lastWrite)) {
                throw LastError("set the last-write time of", m_Target);
            }
        }
        if (!::FlushFileBuffers(m_Handle.Get())) throw LastError("write", m_Target);
        if (!m_Handle.Close()) throw LastError("write", m_Target);
        DWORD attributes = m_Attributes | (m_ReadOnly ? FILE_ATTRIBUTE_READONLY : 0);
        if (attributes != 0 && !::SetFileAttributesW(SystemPath(m_Temporary).c_str(), attributes)) {
            throw LastError("set the permissions of", m_Target);
        }
    }

    std::optional<FileVersion> VersionAtTarget() override { return VersionAt(m_Target); }

    void MoveToTarget(bool replace) override {
        MoveTo(m_Temporary, m_Target, replace);
        m_Moved = true;
    }

  private:
    Handle m_Handle;
    std::string m_Temporary;
    std::string m_Target;
    bool m_ReadOnly;
    DWORD m_Attributes = 0;
    bool m_Moved = false;
};

std::unique_ptr<OutputFile> CreateAt(const std::string& path, std::string_view tag) {
    bool readOnly = false;
    DWORD attributes = AttributesAt(SystemPath(path));
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) &&
            !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
            throw FileError("create", path, "a folder stands in its place");
        }
        readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
    }
    const std::string folder(FolderOf(path));
    return CreateStaged(path, tag, [&](const std::string& name) {
        const std::string temporary = folder + name;
        // CREATE_NEW never opens what stood there, a link included; no
        // sharing while we write it.
        HANDLE handle =
            ::CreateFileW(SystemPath(temporary).c_str(), GENERIC_WRITE | WRITE_DAC | READ_CONTROL,
                          0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            DWORD error = ::GetLastError();
            if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) {
                return std::unique_ptr<Staging>();
            }
            throw FileError("create", path, ErrorText(error));
        }
        return std::unique_ptr<Staging>(
            std::make_unique<Win32Staging>(handle, temporary, path, readOnly));
    });
}

std::vector<FolderEntry> ListFolderAt(const std::string& folder) {
    std::vector<FolderEntry> entries;
    std::wstring pattern = SystemPath(folder);
    if (pattern.empty() || pattern.back() != L'\\') pattern += L'\\';
    pattern += L'*';
    WIN32_FIND_DATAW found;
    HANDLE search = ::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found,
                                       FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (search == INVALID_HANDLE_VALUE) {
        DWORD error = ::GetLastError();
        // Where no folder stands there is nothing to list.
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
            error == ERROR_DIRECTORY || error == ERROR_INVALID_NAME || !IsFolderAt(folder)) {
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
        if (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
            // A link or junction: what it leads to, if anything.
            path.resize(base);
            path += utf8;
            Handle handle(OpenForAttributes(SystemPath(path)));
            BY_HANDLE_FILE_INFORMATION info;
            EntryKind kind = handle.Valid() && ::GetFileInformationByHandle(handle.Get(), &info)
                                 ? KindOfAttributes(info.dwFileAttributes)
                                 : EntryKind::kMissing;
            entries.push_back({std::move(utf8), kind, true});
        } else {
            entries.push_back({std::move(utf8), KindOfAttributes(found.dwFileAttributes)});
        }
    } while (::FindNextFileW(search, &found));
    DWORD error = ::GetLastError();
    ::FindClose(search);
    if (error != ERROR_NO_MORE_FILES) {
        throw FileError("list the folder", WithoutTrailingSeparator(folder), ErrorText(error));
    }
    return entries;
}

// A tree checked part by part: every folder part of a path must be a folder
// and no reparse point (link, junction) when the path is used.
class Win32Tree final : public ContainedTree {
  public:
    explicit Win32Tree(std::string top) : ContainedTree(std::move(top)) {}

    EntryKind KindOfEntry(std::string_view relative) override {
        if (!Folders(relative, "examine", Missing::kNothing, false)) return EntryKind::kMissing;
        DWORD attributes = AttributesAt(SystemPath(FullPath(relative)));
        if (attributes == INVALID_FILE_ATTRIBUTES) return EntryKind::kMissing;
        if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return EntryKind::kLink;
        return KindOfAttributes(attributes);
    }

    std::vector<FolderEntry> ListFolder(std::string_view relative) override {
        if (!relative.empty() && !Folders(relative, "list the folder", Missing::kNothing, true)) {
            return {};
        }
        return ListFolderAt(FullPath(relative));
    }

    std::unique_ptr<InputFile> OpenForReading(std::string_view relative) override {
        Folders(relative, "open for reading", Missing::kFail, false);
        return OpenRegularFile(FullPath(relative), false);
    }

    std::unique_ptr<OutputFile> Create(std::string_view relative, std::string_view tag) override {
        Folders(relative, "create", Missing::kFail, false);
        return CreateAt(FullPath(relative), tag);
    }

    void MakeFolders(std::string_view relative) override {
        Folders(relative, "create the folder", Missing::kCreate, true);
    }

    void MoveIfFree(std::string_view from, std::string_view to) override {
        Folders(from, "move", Missing::kFail, false);
        Folders(to, "move", Missing::kFail, false);
        MoveTo(FullPath(from), FullPath(to), false);
    }

    void RemoveIfUnchanged(std::string_view relative, const FileVersion& expected) override {
        Folders(relative, "delete", Missing::kFail, false);
        const std::string path = FullPath(relative);
        if (VersionAt(path) != expected) throw FileChanged(path);
        std::wstring wide = SystemPath(path);
        RefuseReadOnly(wide, "delete", path);
        if (!::DeleteFileW(wide.c_str())) throw LastError("delete", path);
    }

    bool RemoveFile(std::string_view relative) override {
        if (!Folders(relative, "delete", Missing::kNothing, false)) return false;
        const std::string path = FullPath(relative);
        DWORD attributes = AttributesAt(SystemPath(path));
        if (attributes == INVALID_FILE_ATTRIBUTES ||
            (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))) {
            return false;
        }
        if (!::DeleteFileW(SystemPath(path).c_str())) throw LastError("delete", path);
        return true;
    }

    // Every file was flushed as it was finished and every rename written
    // through: nothing is left to do.
    void SyncAll() override {}

  private:
    enum class Missing { kFail, kNothing, kCreate };

    // Checks the folder parts of relative (with all: every part), outermost
    // first; false when one is missing and missing is kNothing.
    bool Folders(std::string_view relative, const char* operation, Missing missing, bool all) {
        if (!IsPlainRelativePath(relative)) {
            throw FileError(operation, FullPath(relative), "not a path below the folder");
        }
        for (size_t slash = relative.find('/');; slash = relative.find('/', slash + 1)) {
            if (slash == std::string_view::npos && !all) return true;
            const std::string path = FullPath(relative.substr(0, slash));
            DWORD attributes = AttributesAt(SystemPath(path));
            if (attributes == INVALID_FILE_ATTRIBUTES) {
                DWORD error = ::GetLastError();
                bool absent = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
                if (absent && missing == Missing::kNothing) return false;
                if (absent && missing == Missing::kCreate) {
                    if (!::CreateDirectoryW(SystemPath(path).c_str(), nullptr) &&
                        ::GetLastError() != ERROR_ALREADY_EXISTS) {
                        throw LastError(operation, path);
                    }
                    attributes = AttributesAt(SystemPath(path));
                } else {
                    throw FileError(operation, path, ErrorText(error));
                }
            }
            if (attributes != INVALID_FILE_ATTRIBUTES &&
                (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
                throw FileError(operation, path, "a link stands in the place of a folder");
            }
            if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
                throw FileError(operation, path, "not a folder");
            }
            if (slash == std::string_view::npos) return true;
        }
    }
};

class Win32FolderLock final : public FolderLock {
  public:
    Win32FolderLock(HANDLE mutex, FileIdentity identity) : m_Mutex(mutex), m_Identity(identity) {}
    ~Win32FolderLock() override {
        ::ReleaseMutex(m_Mutex.Get());
        ReleaseFolderInProcess(m_Identity);
    }

  private:
    Handle m_Mutex;
    FileIdentity m_Identity;
};

class Win32FileSystem final : public FileSystem {
  public:
    std::vector<FolderEntry> ListFolder(const std::string& folder) override {
        return ListFolderAt(folder);
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
        FileAttributes attributes = ReadWhole(path, bytes);
        return {attributes.lastWriteSeconds, attributes.identity};
    }

    FileAttributes ReadFileWithAttributes(const std::string& path, std::string& bytes) override {
        return ReadWhole(path, bytes);
    }

    bool CanRead(const std::string& path) override {
        if (KindOf(path) != EntryKind::kFile) return false;
        Handle handle(::CreateFileW(SystemPath(path).c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
        return handle.Valid();
    }

    std::unique_ptr<OutputFile> Create(const std::string& path) override {
        return CreateAt(path, RandomTag());
    }

    std::unique_ptr<ContainedTree> OpenTree(const std::string& top) override {
        if (!IsFolderAt(top)) {
            throw FileError("open the folder", WithoutTrailingSeparator(top), "not a folder");
        }
        return std::make_unique<Win32Tree>(WithTrailingSeparator(top));
    }

    // A named mutex keyed by the folder's identity: the system lets go of it
    // when the process ends, and it leaves no file behind.
    std::unique_ptr<FolderLock> LockFolder(const std::string& folder) override {
        const std::string path = WithoutTrailingSeparator(folder);
        std::optional<FileIdentity> identity = IdentityOf(path);
        if (!identity) throw FileError("lock", path, "not a folder");
        if (!ClaimFolderInProcess(*identity)) throw FolderBusy(path);
        wchar_t name[96];
        std::swprintf(name, std::size(name), L"corvane-folder-%016llx-%016llx",
                      (unsigned long long)identity->device, (unsigned long long)identity->inode);
        std::wstring global = std::wstring(L"Global\\") + name;
        HANDLE mutex = ::CreateMutexW(nullptr, FALSE, global.c_str());
        if (!mutex)
            mutex = ::CreateMutexW(nullptr, FALSE, (std::wstring(L"Local\\") + name).c_str());
        if (!mutex) {
            ReleaseFolderInProcess(*identity);
            throw LastError("lock", path);
        }
        DWORD waited = ::WaitForSingleObject(mutex, 0);
        if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
            ::CloseHandle(mutex);
            ReleaseFolderInProcess(*identity);
            throw FolderBusy(path);
        }
        return std::make_unique<Win32FolderLock>(mutex, *identity);
    }
};

}  // namespace

FileSystem& RealFileSystem() {
    static Win32FileSystem fileSystem;
    return fileSystem;
}

}  // namespace corvane::platform
