// Our thin layer over files and folders. The audit and the cleanup reach the
// disk only through FileSystem, which lets tests put a fault-injecting
// implementation in place of the real one.
//
// Every operation of a FileSystem may be called from several threads at once
// (the check reads and scans library files on worker threads); an
// implementation, a test double included, keeps whatever it records behind a
// lock or in atomics. A ContainedTree is used by one thread at a time.
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

// A file operation that failed. The message names the operation and the file:
// "Cannot <operation> "<path>": <reason>", the reason in the system's words.
class FileError : public std::runtime_error {
  public:
    FileError(std::string operation, std::string path, std::string reason);
    FileError(std::string operation, std::string path, int errorNumber);

    const std::string& Path() const { return m_Path; }

  private:
    std::string m_Path;
};

// A file that is no longer the one that was read: changed, replaced or
// removed since.
class FileChanged : public FileError {
  public:
    explicit FileChanged(std::string path)
        : FileError("replace", std::move(path), "it has changed since it was read") {}
};

// A folder another process (or another command of this one) holds locked.
class FolderBusy : public FileError {
  public:
    explicit FolderBusy(std::string path)
        : FileError("lock", std::move(path), "another program holds it") {}
};

// What a folder entry is once links are followed. kLink only comes from the
// operations that do not follow them.
enum class EntryKind : std::uint8_t { kMissing, kFile, kFolder, kOther, kLink };

struct FolderEntry {
    std::string name;
    EntryKind kind;     // links followed
    bool link = false;  // the entry itself is a link (Win32: a reparse point)
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

// One version of a file: another file in its place, or the file written or
// grown since, has another.
struct FileVersion {
    FileIdentity identity;
    std::uint64_t size = 0;
    std::int64_t lastWriteSeconds = 0;
    std::uint32_t lastWriteNanoseconds = 0;
    bool operator==(const FileVersion&) const = default;
};

// What a file holds besides its bytes, as far as the tests and the cleanup
// compare it.
struct FileAttributes {
    std::int64_t lastWriteSeconds = 0;       // since 1970-01-01 00:00 UTC
    std::uint32_t lastWriteNanoseconds = 0;  // within that second, below 10^9
    // The permission bits as the platform keeps them: POSIX the mode's 07777
    // bits; Win32 0444 for a read-only file, else 0666.
    std::uint32_t permissions = 0;
    // The owner's user and group ids; -1 where the platform has none (Win32).
    std::int64_t owner = -1;
    std::int64_t group = -1;
    FileIdentity identity;
    std::uint64_t size = 0;

    FileVersion Version() const { return {identity, size, lastWriteSeconds, lastWriteNanoseconds}; }
    bool operator==(const FileAttributes&) const = default;
};

// A regular file open for reading. Never a folder, FIFO or device: opening
// one is refused without blocking.
class InputFile {
  public:
    virtual ~InputFile() = default;

    // The file as it was when opened.
    const FileAttributes& Attributes() const { return m_Attributes; }
    // Its path, for messages.
    const std::string& Path() const { return m_Path; }

    // Reads up to size bytes; 0 at the end of the file.
    virtual size_t Read(char* buffer, size_t size) = 0;

    // Reads the rest of the file into bytes. A file is read up to the size it
    // had when opened and a margin; one that turns out longer (a file still
    // being written, a device file passing for a regular one) is an error
    // that names it, never a read into all memory.
    void ReadAll(std::string& bytes);

    // The system's own file beneath any wrapper a test put around it.
    virtual InputFile& SystemFile() { return *this; }

  protected:
    InputFile(std::string path, FileAttributes attributes)
        : m_Path(std::move(path)), m_Attributes(attributes) {}

  private:
    std::string m_Path;
    FileAttributes m_Attributes;
};

// How far past its size a file may read before it counts as endless.
inline constexpr std::uint64_t kReadMargin = 1 << 16;

// A file being written for a path, its target. It is written under a fresh
// name of its own in the target's folder, created exclusively (it never opens
// an entry that stood there before and never follows a link), and readable
// and writable by its owner alone until it is finished. That name ends in
// ".tmp" but is never the target's name followed by ".tmp", which older
// versions used and which may hold anything. Only one of the Place calls puts
// it at the target; until then the target is untouched. Writes are buffered.
//
// A FileError names the target, whatever step failed.
class OutputFile {
  public:
    // The temporary file, unless a Place call put it in place, is removed
    // (errors ignored).
    virtual ~OutputFile() = default;

    virtual void Write(std::string_view bytes) = 0;

    // Gives the file what source holds besides its bytes, at once: its
    // permissions (POSIX: mode and ACL), its owner and group where the
    // process may set them, its extended attributes (Win32: its security
    // descriptor, attributes and creation time); with lastWriteTime also its
    // last-write time, when the file is finished. A permission is never
    // widened: what cannot be copied leaves the file to its owner alone. Gives
    // what could not be kept, one text each, naming the file.
    virtual std::vector<std::string> KeepAttributesOf(InputFile& source, bool lastWriteTime) = 0;

    // Hands every byte to the system, gives the file its last-write time if
    // asked for and closes it; it stays under its temporary name. A tree's
    // SyncAll then makes it durable. Does nothing once done; nothing may be
    // written after it.
    virtual void Finish() = 0;

    // Finish(), then puts the file at its target in one rename, replacing
    // whatever stands there but a folder (a FileError): a link is replaced
    // itself, never written through. By default the file gets the permissions
    // of the regular file that stood at the target when it was created, else
    // those of a new file.
    virtual void Place() = 0;

    // Finish(), then puts the file at its target in one rename only when
    // nothing at all stands there, not even a dangling link; otherwise fails
    // with a FileError and leaves the target as it was.
    virtual void PlaceIfFree() = 0;

    // Finish(), then puts the file at its target in one rename only when the
    // target is still the regular file of that version; otherwise FileChanged
    // (or another FileError), and the target stays as it is.
    virtual void PlaceIfUnchanged(const FileVersion& expected) = 0;
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

// True for a path below a tree's top that stays below it, as relative paths
// are held in our logs and handed to a ContainedTree: "/"-separated parts,
// none empty, "." or "..", and none with a character that a name on this
// system cannot hold ("/" and NUL anywhere; on Windows also "\", ":", "*",
// "?", "\"", "<", ">", "|" and the control characters).
bool IsPlainRelativePath(std::string_view path);

// A relative path in the system's form ("/" becomes the separator), and back.
std::string SystemRelativePath(std::string_view plain);
std::string PlainRelativePath(std::string_view system);

// A folder tree that is written only beneath its top folder. Paths are plain
// relative paths (IsPlainRelativePath; anything else is a FileError). Every
// folder part of a path must be a real folder: a link in any folder part, even
// one that leads back into the tree, is an error that names it, for writing
// and for reading alike; so is a link where a file is read or replaced. What
// is written or removed therefore lies beneath the top folder, whatever links
// anyone put in the tree. Errors name full paths.
class ContainedTree {
  public:
    explicit ContainedTree(std::string top) : m_Top(std::move(top)) {}
    virtual ~ContainedTree() = default;
    ContainedTree(const ContainedTree&) = delete;
    ContainedTree& operator=(const ContainedTree&) = delete;

    // The top folder, ending in the separator.
    const std::string& Top() const { return m_Top; }
    // The full path of a relative path, for messages.
    std::string FullPath(std::string_view relative) const;

    // What stands at relative itself (kLink for a link); kMissing when
    // nothing does, or its folder does not.
    virtual EntryKind KindOfEntry(std::string_view relative) = 0;

    // The entries of a folder; none when it does not exist.
    virtual std::vector<FolderEntry> ListFolder(std::string_view relative) = 0;

    // Opens a regular file for reading.
    virtual std::unique_ptr<InputFile> OpenForReading(std::string_view relative) = 0;

    // Starts writing a file for relative, whose folder must exist (see
    // OutputFile). Its temporary name is TemporaryNameBeside(target, tag).
    virtual std::unique_ptr<OutputFile> Create(std::string_view relative, std::string_view tag) = 0;

    // Creates the folders of relative's parts up to and including its last
    // one, outermost first; folders already there are fine.
    virtual void MakeFolders(std::string_view relative) = 0;

    // Moves from (whatever it is; a link is moved itself) to to in one step
    // when nothing at all stands at to; otherwise a FileError and nothing
    // changes.
    virtual void MoveIfFree(std::string_view from, std::string_view to) = 0;

    // Removes the regular file at relative when it is still of that version;
    // otherwise FileChanged (or another FileError), and it stays.
    virtual void RemoveIfUnchanged(std::string_view relative, const FileVersion& expected) = 0;

    // Removes relative when it is a regular file (not a link); true when it
    // was one and is gone.
    virtual bool RemoveFile(std::string_view relative) = 0;

    // Makes everything written so far in the tree durable: file contents, and
    // the creations, renames and removals of folder entries.
    virtual void SyncAll() = 0;

  private:
    std::string m_Top;
};

// Held while a process works on a folder; another lock of the same folder,
// from this process or another, fails with FolderBusy until it is gone. The
// system releases it when the process ends, however it ends.
class FolderLock {
  public:
    virtual ~FolderLock() = default;
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

    // Reads a regular file whole into bytes (as InputFile::ReadAll) and gives
    // its last-write time and identity. Anything else (a folder, a FIFO, a
    // device) is refused without blocking. bytes keeps its capacity from call
    // to call, so a caller that reads many files should pass the same string.
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

    // True when path, which the caller knows for a regular file (from a
    // listing), can be opened for reading. Opens nothing where it can help it
    // and never anything but a regular file.
    virtual bool CanRead(const std::string& path) = 0;

    // Starts writing a file for path (see OutputFile). Fails at once when
    // path's folder does not exist or cannot be written, or a folder stands
    // at path.
    virtual std::unique_ptr<OutputFile> Create(const std::string& path) = 0;

    // The tree below top (ending in the separator), which must be a folder.
    virtual std::unique_ptr<ContainedTree> OpenTree(const std::string& top) = 0;

    // Locks a folder for this process (see FolderLock); FolderBusy when it is
    // held.
    virtual std::unique_ptr<FolderLock> LockFolder(const std::string& folder) = 0;
};

// The file system of the machine we run on.
FileSystem& RealFileSystem();

// The folder part of a path, up to and including its last separator (empty
// when it has none).
std::string_view FolderOf(std::string_view path);

// Adds a separator at the end when there is none.
std::string WithTrailingSeparator(std::string path);
// Takes one separator off the end, unless the path is nothing else.
std::string WithoutTrailingSeparator(std::string path);

// A random tag of 8 letters and digits, for the temporary files of one
// command.
std::string RandomTag();

// The name under which a file for target is written before it takes its
// place, beside it: the target's name (cut short to leave room), ".corvane-",
// the tag, and ".tmp"; attempt n > 0 adds "-n" before ".tmp" when the name
// before was taken. Never target's own name plus ".tmp", which older versions
// used. target's folders may be separated by "/" or the system's separator.
std::string TemporaryNameBeside(std::string_view target, std::string_view tag, int attempt = 0);
// How many attempts Create makes before it gives up.
inline constexpr int kTemporaryAttempts = 8;
// True when name (one folder entry) is a name TemporaryNameBeside gives for a
// target named targetName, with any tag.
bool IsTemporaryNameFor(std::string_view name, std::string_view targetName);

}  // namespace corvane::platform
