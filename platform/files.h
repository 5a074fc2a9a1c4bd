// Our thin layer over files and folders. The audit and the cleanup reach the
// disk only through FileSystem, which lets tests put a fault-injecting
// implementation in place of the real one.
//
// Every operation of a FileSystem may be called from several threads at once
// (the check reads and scans library files on worker threads); an
// implementation, a test double included, keeps whatever it records behind a
// lock or in atomics.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace corvane::platform {

// The one folder separator of this platform.
inline constexpr char kSeparator = '/';

// A file operation that failed. The message names the operation and the file.
class FileError : public std::runtime_error {
  public:
    FileError(std::string operation, std::string path, std::string reason);
    FileError(std::string operation, std::string path, int errorNumber);

    const std::string& Operation() const { return m_Operation; }
    const std::string& Path() const { return m_Path; }

  private:
    std::string m_Operation;
    std::string m_Path;
};

// What a folder entry is once links are followed.
enum class EntryKind : std::uint8_t { kMissing, kFile, kFolder, kOther };

struct FolderEntry {
    std::string name;
    EntryKind kind;
};

// What tells one file or folder on the disk from another, whatever the path
// or link that reaches it.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    bool operator==(const FileIdentity&) const = default;
};

// What reading a file tells of it besides its bytes.
struct FileFacts {
    std::int64_t lastWriteTime = 0;  // seconds since the epoch
    FileIdentity identity;
};

// A file being written. Writes are buffered; Close() hands everything to the
// system and closes the file. A file destroyed without Close() is closed, and
// what reached it is not known. FileSystem::SyncAll() makes it durable.
class OutputFile {
  public:
    virtual ~OutputFile() = default;
    virtual void Write(std::string_view bytes) = 0;
    virtual void Close() = 0;
};

// A folder held open for reading the files in it by name, so that the system
// need not walk the folder's whole path again for each file. It stays usable
// from any thread until destroyed; what it reads follows the folder it was
// opened on, even when that folder is renamed meanwhile.
class OpenFolder {
  public:
    explicit OpenFolder(std::string path) : m_Path(std::move(path)) {}
    virtual ~OpenFolder() = default;
    OpenFolder(const OpenFolder&) = delete;
    OpenFolder& operator=(const OpenFolder&) = delete;

    // The folder's path as it was opened, without a trailing separator.
    const std::string& Path() const { return m_Path; }

  private:
    std::string m_Path;
};

class FileSystem {
  public:
    virtual ~FileSystem() = default;

    // The entries of a folder without "." and "..", in no particular order.
    // Where no folder stands (nothing, a file, a link that leads nowhere)
    // there are no entries; a folder that cannot be read is an error.
    virtual std::vector<FolderEntry> ListFolder(const std::string& folder) = 0;

    // What stands at path after following links (kMissing when nothing does or
    // it cannot be examined).
    virtual EntryKind KindOf(const std::string& path) = 0;

    virtual std::optional<FileIdentity> IdentityOf(const std::string& folder) = 0;

    // Reads a regular file whole into bytes and gives its last-write time and
    // identity. Anything else (a folder, a FIFO, a device) is refused without
    // blocking. bytes keeps its capacity from call to call, so a caller that
    // reads many files should pass the same string.
    virtual FileFacts ReadFile(const std::string& path, std::string& bytes) = 0;

    // Opens a folder for ReadFileIn. Never fails: a folder that cannot be
    // opened gives an OpenFolder whose reads go by path, so that they fail as
    // ReadFile would. The default reads every file by path.
    virtual std::unique_ptr<OpenFolder> OpenFolderForReading(const std::string& folder);

    // Reads the file called name (one folder entry, no separator) in folder,
    // which this file system opened or which is a plain OpenFolder (read by
    // path): the same as ReadFile(folder.Path() + kSeparator + name, bytes), with
    // the same result, errors and error texts, which name that full path.
    // The default does exactly that through ReadFile, so a FileSystem that
    // watches or disturbs ReadFile sees these reads too.
    virtual FileFacts ReadFileIn(const OpenFolder& folder, std::string_view name,
                                 std::string& bytes);

    // True when path is a regular file that can be opened for reading. Never
    // opens anything but a regular file.
    virtual bool CanRead(const std::string& path) = 0;

    // Creates the file, or truncates it when it exists, for writing.
    virtual std::unique_ptr<OutputFile> Create(const std::string& path) = 0;

    // Puts from in the place of to in one step, replacing a file at to.
    virtual void Rename(const std::string& from, const std::string& to) = 0;

    virtual void Remove(const std::string& path) = 0;

    // Creates a folder; a folder that already stands there is fine.
    virtual void MakeFolder(const std::string& path) = 0;

    // Makes everything written so far to the file system that holds path
    // durable: file contents, and the creations, renames and removals of
    // folder entries.
    virtual void SyncAll(const std::string& path) = 0;
};

// The file system of the machine we run on.
FileSystem& RealFileSystem();

// The folder part of a path, up to and including its last separator (empty
// when it has none).
std::string_view FolderOf(std::string_view path);

// Adds a separator at the end when there is none.
std::string WithTrailingSeparator(std::string path);

}  // namespace corvane::platform
