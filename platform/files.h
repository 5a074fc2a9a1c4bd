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
#ifdef _WIN32
inline constexpr char kSeparator = '\\';
#else
inline constexpr char kSeparator = '/';
#endif

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

// What a folder entry is once links are followed. kLink only comes from
// FileSystem::KindOfEntry, which does not follow them.
enum class EntryKind : std::uint8_t { kMissing, kFile, kFolder, kOther, kLink };

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

// What a copy of a file keeps besides its bytes.
struct FileAttributes {
    std::int64_t lastWriteSeconds = 0;       // since 1970-01-01 00:00 UTC
    std::uint32_t lastWriteNanoseconds = 0;  // within that second, below 10^9
    // The permission bits as the platform keeps them: POSIX the mode's 07777
    // bits; Win32 0444 for a read-only file, else 0666.
    std::uint32_t permissions = 0;
    // The owner's user and group ids; -1 where the platform has none (Win32).
    std::int64_t owner = -1;
    std::int64_t group = -1;
    bool operator==(const FileAttributes&) const = default;
};

// A file being written for a path, its target. It is written under a fresh
// name of its own in the target's folder, created exclusively (it never opens
// an entry that stood there before and never follows a link), and readable
// and writable by its owner alone until it is finished. That name ends in
// ".tmp" but is never the target's name followed by ".tmp", which older
// versions used and which may hold anything. Only Close() or
// CloseAsNew() puts it at the target; until then the target is untouched.
// Writes are buffered.
//
// A FileError names the target, whatever step failed.
class OutputFile {
  public:
    // The temporary file, unless Close() or CloseAsNew() put it in place, is
    // removed (errors ignored).
    virtual ~OutputFile() = default;

    virtual void Write(std::string_view bytes) = 0;

    // The permissions, and the owner and group where the process may set them
    // (silently kept otherwise), that the file gets when it is finished. By
    // default it gets the read, write and execute permissions of the regular
    // file that stood at the target when it was created (not those of a
    // link's target), else those of a new file (POSIX: 0666 less the umask).
    virtual void KeepPermissions(const FileAttributes& from) = 0;

    // The last-write time that the file gets when it is finished. By default
    // it keeps the time of its last write.
    virtual void KeepLastWriteTime(const FileAttributes& from) = 0;

    // Hands every byte to the system, gives the file what KeepPermissions and
    // KeepLastWriteTime asked for and closes it; it stays under its temporary
    // name. FileSystem::SyncAll then makes it durable. Does nothing once done;
    // nothing may be written after it.
    virtual void Finish() = 0;

    // Finish(), then puts the file at its target in one rename, replacing
    // whatever stands there but a folder (a FileError): a link is replaced
    // itself, never written through.
    virtual void Close() = 0;

    // Finish(), then puts the file at its target in one rename only when
    // nothing at all stands there, not even a dangling link; otherwise fails
    // with a FileError and leaves the target as it was.
    virtual void CloseAsNew() = 0;
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

    // What stands at path itself, links not followed: kLink for a symbolic
    // link (Win32: any reparse point) whatever it points to, kMissing when
    // nothing stands there or it cannot be examined.
    virtual EntryKind KindOfEntry(const std::string& path) = 0;

    // Reads a regular file whole into bytes and gives its last-write time and
    // identity. Anything else (a folder, a FIFO, a device) is refused without
    // blocking. bytes keeps its capacity from call to call, so a caller that
    // reads many files should pass the same string.
    virtual FileFacts ReadFile(const std::string& path, std::string& bytes) = 0;

    // ReadFile, giving all the attributes of the file as it was read (through
    // links, as its bytes are).
    virtual FileAttributes ReadFileWithAttributes(const std::string& path, std::string& bytes) = 0;

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

    // Starts writing a file for path (see OutputFile). Fails at once when
    // path's folder does not exist or cannot be written, or a folder stands
    // at path.
    virtual std::unique_ptr<OutputFile> Create(const std::string& path) = 0;

    // Puts from in the place of to in one step, replacing whatever but a
    // folder stands at to (a link itself, never its target). Both lie on one
    // volume.
    virtual void Rename(const std::string& from, const std::string& to) = 0;

    // Moves from (whatever it is; a link is moved itself) to to in one step
    // when nothing at all stands at to, not even a dangling link; otherwise
    // fails with a FileError and changes nothing. Both lie on one volume.
    virtual void RenameNoReplace(const std::string& from, const std::string& to) = 0;

    // Removes the entry at path, a link itself and never its target; not a
    // folder.
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

// A name for a temporary file beside target that no one else is likely to
// pick: the target's name (cut short to leave room), a random part and
// ".tmp". Never target's own name plus ".tmp", which older versions used.
std::string TemporaryNameBeside(const std::string& target);

}  // namespace corvane::platform
