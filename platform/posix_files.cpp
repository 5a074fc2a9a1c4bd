// FileSystem over POSIX calls.
#include <acl/libacl.h>
#include <attr/error_context.h>
#include <attr/libattr.h>
#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <memory>

#include "platform/file_common.h"

namespace corvane::platform {

namespace {

EntryKind KindOfMode(mode_t mode) {
    if (S_ISREG(mode)) return EntryKind::kFile;
    if (S_ISDIR(mode)) return EntryKind::kFolder;
    return EntryKind::kOther;
}

class Descriptor {
  public:
    explicit Descriptor(int fd = -1) : m_Fd(fd) {}
    Descriptor(Descriptor&& other) noexcept : m_Fd(other.Release()) {}
    Descriptor& operator=(Descriptor&& other) noexcept {
        if (this != &other) {
            Reset();
            m_Fd = other.Release();
        }
        return *this;
    }
    ~Descriptor() { Reset(); }
    int Get() const { return m_Fd; }
    bool Valid() const { return m_Fd >= 0; }
    int Release() {
        int fd = m_Fd;
        m_Fd = -1;
        return fd;
    }
    void Reset() {
        if (m_Fd >= 0) ::close(m_Fd);
        m_Fd = -1;
    }

  private:
    int m_Fd;
};

void WriteAll(int fd, const char* data, size_t size, const std::string& path) {
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw FileError("write", path, errno);
        }
        data += n;
        size -= size_t(n);
    }
}

size_t ReadSome(int fd, char* into, size_t n, const std::string& path) {
    for (;;) {
        ssize_t got = ::read(fd, into, n);
        if (got >= 0) return size_t(got);
        if (errno != EINTR) throw FileError("read", path, errno);
    }
}

// The umask, read once while the process is still single-threaded: asking
// for it means setting it.
const mode_t kUmask = [] {
    mode_t mask = ::umask(022);
    ::umask(mask);
    return mask;
}();

FileAttributes AttributesOf(const struct stat& st) {
    FileAttributes attributes;
    attributes.lastWriteSeconds = std::int64_t(st.st_mtim.tv_sec);
    attributes.lastWriteNanoseconds = std::uint32_t(st.st_mtim.tv_nsec);
    attributes.permissions = std::uint32_t(st.st_mode & 07777);
    attributes.owner = std::int64_t(st.st_uid);
    attributes.group = std::int64_t(st.st_gid);
    attributes.identity = {std::uint64_t(st.st_dev), std::uint64_t(st.st_ino)};
    attributes.size = std::uint64_t(st.st_size);
    return attributes;
}

// The version of the regular file at name in folder, links not followed.
std::optional<FileVersion> VersionAt(int folder, const char* name) {
    struct stat st;
    if (::fstatat(folder, name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)) {
        return std::nullopt;
    }
    return AttributesOf(st).Version();
}

// Moves from to to in one step, never over anything: in one call where the
// file system can, else through a second name (link, then unlink), else by
// looking first.
void MoveIfFreeAt(int fromFolder, const char* from, int toFolder, const char* to,
                  const std::string& fromPath, const std::string& toPath) {
    auto fail = [&](int err) { throw FileError("move \"" + fromPath + "\" to", toPath, err); };
    if (::renameat2(fromFolder, from, toFolder, to, RENAME_NOREPLACE) == 0) return;
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) fail(errno);
    if (::linkat(fromFolder, from, toFolder, to, 0) == 0) {
        ::unlinkat(fromFolder, from, 0);  // two names for one file lose nothing
        return;
    }
    if (errno == EEXIST) fail(EEXIST);
    struct stat st;
    if (::fstatat(toFolder, to, &st, AT_SYMLINK_NOFOLLOW) == 0 || errno != ENOENT) fail(EEXIST);
    if (::renameat(fromFolder, from, toFolder, to) != 0) fail(errno);
}

class PosixInputFile final : public InputFile {
  public:
    PosixInputFile(Descriptor fd, std::string path, const struct stat& st)
        : InputFile(std::move(path), AttributesOf(st)), m_Fd(std::move(fd)) {}
    size_t Read(char* buffer, size_t size) override {
        return ReadSome(m_Fd.Get(), buffer, size, Path());
    }
    int Fd() const { return m_Fd.Get(); }

  private:
    Descriptor m_Fd;
};

// Reading a file need not change its last-access time. O_NOATIME is refused
// for files of other owners; once refused, it is not asked for again.
std::atomic<bool> g_TryNoAccessTime{true};

int OpenForReadingAt(int folderFd, const char* name, int flags = 0) {
    flags |= O_RDONLY | O_NONBLOCK | O_CLOEXEC;
    if (g_TryNoAccessTime.load(std::memory_order_relaxed)) {
        int fd = ::openat(folderFd, name, flags | O_NOATIME);
        if (fd >= 0 || errno != EPERM) return fd;
        g_TryNoAccessTime.store(false, std::memory_order_relaxed);
    }
    return ::openat(folderFd, name, flags);
}

// The file open on rawFd (or the open's error) as a regular file to read.
Descriptor OpenedRegularFile(int rawFd, const std::string& path, struct stat& st) {
    Descriptor fd(rawFd);
    if (!fd.Valid()) {
        if (errno == ELOOP) throw FileError("read", path, "a link stands in its place");
        throw FileError("open for reading", path, errno);
    }
    if (::fstat(fd.Get(), &st) != 0) throw FileError("examine", path, errno);
    if (!S_ISREG(st.st_mode)) throw FileError("read", path, "not a regular file");
    return fd;
}

// Reads the file open on rawFd (or raises the open's error) whole into bytes;
// gives what it was when opened.
struct stat ReadOpened(int rawFd, const std::string& path, std::string& bytes) {
    struct stat st;
    try {
        Descriptor fd = OpenedRegularFile(rawFd, path, st);
        ReadBounded(bytes, std::uint64_t(st.st_size), path,
                    [&](char* into, size_t n) { return ReadSome(fd.Get(), into, n, path); });
    } catch (...) {
        bytes.clear();
        throw;
    }
    return st;
}

// Collects what libacl and libattr could not copy.
struct CopyErrors {
    error_context context{&Report, nullptr, nullptr};
    std::vector<std::string>* texts;
    const std::string* path;

    static void Report(error_context* context, const char* format, ...) {
        auto* self = reinterpret_cast<CopyErrors*>(context);
        char text[512];
        va_list args;
        va_start(args, format);
        std::vsnprintf(text, sizeof text, format, args);
        va_end(args);
        // The libraries leave the reason in errno and the name in the text.
        std::string said = std::string(text) + ": " + std::strerror(errno);
        said[0] = char(std::toupper((unsigned char)said[0]));
        self->texts->push_back(said);
    }
};
static_assert(offsetof(CopyErrors, context) == 0);

// Opens the folders below a top folder, each part a real folder: in one call
// where the kernel resolves beneath a folder, else part by part. Shared by a
// tree and the files it writes, which open their folder again whenever they
// need it rather than hold a descriptor each.
class FolderOpener {
  public:
    FolderOpener(std::string top, Descriptor fd) : m_Top(std::move(top)), m_Fd(std::move(fd)) {}

    enum class Missing { kFail, kNothing, kCreate };

    int TopFd() const { return m_Fd.Get(); }
    std::string FullPath(std::string_view relative) const {
        return m_Top + SystemRelativePath(relative);
    }

    // The folder relative ("" for the top), whose every part must be a real
    // folder; not valid when a part is missing and missing is kNothing.
    Descriptor Open(std::string_view relative, const char* operation, Missing missing) const {
        if (relative.empty()) return Descriptor(::fcntl(m_Fd.Get(), F_DUPFD_CLOEXEC, 0));
        const std::string path(relative);
        struct open_how how {};
        how.flags = O_PATH | O_DIRECTORY | O_CLOEXEC;
        how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
        long fd = ::syscall(SYS_openat2, m_Fd.Get(), path.c_str(), &how, sizeof how);
        if (fd >= 0) return Descriptor(int(fd));
        // Anything else, the reason told part by part.
        Descriptor folder(::fcntl(m_Fd.Get(), F_DUPFD_CLOEXEC, 0));
        for (size_t start = 0; start <= relative.size();) {
            size_t slash = relative.find('/', start);
            if (slash == std::string_view::npos) slash = relative.size();
            const std::string part(relative.substr(start, slash - start));
            const std::string partPath = FullPath(relative.substr(0, slash));
            constexpr int kFlags = O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
            int next = ::openat(folder.Get(), part.c_str(), kFlags);
            if (next < 0 && errno == ENOENT && missing == Missing::kCreate) {
                if (::mkdirat(folder.Get(), part.c_str(), 0777) != 0 && errno != EEXIST) {
                    throw FileError(operation, partPath, errno);
                }
                next = ::openat(folder.Get(), part.c_str(), kFlags);
            }
            if (next < 0) {
                int err = errno;
                if (err == ENOENT && missing == Missing::kNothing) return Descriptor();
                struct stat st;
                if ((err == ENOTDIR || err == ELOOP) &&
                    ::fstatat(folder.Get(), part.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                    S_ISLNK(st.st_mode)) {
                    throw FileError(operation, partPath, "a link stands in the place of a folder");
                }
                throw FileError(operation, partPath, err);
            }
            folder = Descriptor(next);
            start = slash + 1;
        }
        return folder;
    }

  private:
    std::string m_Top;
    Descriptor m_Fd;
};

class PosixStaging final : public Staging {
  public:
    PosixStaging(std::shared_ptr<const FolderOpener> opener, std::string folder, Descriptor fd,
                 std::string name, std::string targetName, std::string target, mode_t mode)
        : m_Opener(std::move(opener)),
          m_FolderPath(std::move(folder)),
          m_Fd(std::move(fd)),
          m_Name(std::move(name)),
          m_TargetName(std::move(targetName)),
          m_Target(std::move(target)),
          m_Mode(mode) {}

    ~PosixStaging() override {
        m_Fd.Reset();
        if (m_Moved) return;
        try {
            ::unlinkat(Folder().Get(), m_Name.c_str(), 0);
        } catch (const FileError&) {
            // Its folder is a link now: what lies beyond is none of ours.
        }
    }

    void Write(std::string_view bytes) override {
        WriteAll(m_Fd.Get(), bytes.data(), bytes.size(), m_Target);
    }

    std::vector<std::string> KeepAttributesOf(InputFile& source) override {
        std::vector<std::string> lost;
        auto* file = dynamic_cast<PosixInputFile*>(&source.SystemFile());
        if (!file) return lost;
        const FileAttributes& from = file->Attributes();
        // Owner first: a change of owner clears the set-id bits. Where we may
        // not give the file away it stays ours.
        if (::fchown(m_Fd.Get(), uid_t(from.owner), gid_t(from.group)) != 0) {
            (void)::fchown(m_Fd.Get(), uid_t(-1), gid_t(from.group));
        }
        CopyErrors errors{.texts = &lost, .path = &m_Target};
        // The mode with the ACL: an ACL's mask never reaches the group bits
        // without the ACL that limits it. Where the copy fails the file
        // stays its owner's alone.
        if (::perm_copy_fd(source.Path().c_str(), file->Fd(), m_Target.c_str(), m_Fd.Get(),
                           &errors.context) != 0) {
            ::fchmod(m_Fd.Get(), 0600);
        }
        ::attr_copy_fd(source.Path().c_str(), file->Fd(), m_Target.c_str(), m_Fd.Get(), nullptr,
                       &errors.context);
        m_ModeSet = true;
        return lost;
    }

    void Close(const FileVersion* time) override {
        if (!m_ModeSet && ::fchmod(m_Fd.Get(), m_Mode) != 0) {
            throw FileError("set the permissions of", m_Target, errno);
        }
        if (time) {
            struct timespec times[2] = {
                {0, UTIME_OMIT},
                {time_t(time->lastWriteSeconds), long(time->lastWriteNanoseconds)}};
            if (::futimens(m_Fd.Get(), times) != 0) {
                throw FileError("set the last-write time of", m_Target, errno);
            }
        }
        if (::close(m_Fd.Release()) != 0) throw FileError("write", m_Target, errno);
    }

    std::optional<FileVersion> VersionAtTarget() override {
        return VersionAt(Folder().Get(), m_TargetName.c_str());
    }

    void MoveToTarget(bool replace) override {
        Descriptor folder = Folder();
        if (replace) {
            if (::renameat(folder.Get(), m_Name.c_str(), folder.Get(), m_TargetName.c_str()) != 0) {
                throw FileError("replace", m_Target, errno);
            }
        } else {
            MoveIfFreeAt(folder.Get(), m_Name.c_str(), folder.Get(), m_TargetName.c_str(), m_Target,
                         m_Target);
        }
        m_Moved = true;
    }

  private:
    Descriptor Folder() const {
        return m_Opener->Open(m_FolderPath, "replace", FolderOpener::Missing::kFail);
    }

    std::shared_ptr<const FolderOpener> m_Opener;
    std::string m_FolderPath;  // relative to the opener's top
    Descriptor m_Fd;
    std::string m_Name;
    std::string m_TargetName;
    std::string m_Target;
    mode_t m_Mode;
    bool m_ModeSet = false;
    bool m_Moved = false;
};

// Starts a file for the entry name in the folder (relative to opener's top);
// target is its full path, for messages.
std::unique_ptr<OutputFile> CreateIn(const std::shared_ptr<const FolderOpener>& opener,
                                     const std::string& folderPath, const std::string& name,
                                     const std::string& target, std::string_view tag) {
    Descriptor folder = opener->Open(folderPath, "create", FolderOpener::Missing::kFail);
    // A file we replace passes on its permissions, but not its set-id bits,
    // which a file of a stranger's pack may carry.
    mode_t mode = 0666 & ~kUmask;
    struct stat st;
    if (::fstatat(folder.Get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        if (S_ISDIR(st.st_mode)) throw FileError("create", target, EISDIR);
        if (S_ISREG(st.st_mode)) mode = st.st_mode & 0777;
    }
    return CreateStaged(target, tag, [&](const std::string& temporary) {
        int fd = ::openat(folder.Get(), temporary.c_str(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST) return std::unique_ptr<Staging>();
            throw FileError("create", target, errno);
        }
        return std::unique_ptr<Staging>(std::make_unique<PosixStaging>(
            opener, folderPath, Descriptor(fd), temporary, name, target, mode));
    });
}

class PosixOpenFolder final : public OpenFolder {
  public:
    PosixOpenFolder(std::string path, int fd) : OpenFolder(std::move(path)), m_Fd(fd) {}
    int Fd() const { return m_Fd.Get(); }

  private:
    Descriptor m_Fd;
};

std::string& LeafBuffer() {
    thread_local std::string leaf;
    return leaf;
}

std::vector<FolderEntry> ListOpenFolder(DIR* dir, const std::string& folder, int folderFd,
                                        const std::function<EntryKind(const char*)>& kindOf) {
    std::vector<FolderEntry> entries;
    for (;;) {
        errno = 0;
        dirent* e = ::readdir(dir);
        if (!e) {
            int err = errno;
            ::closedir(dir);
            if (err != 0) throw FileError("list the folder", folder, err);
            return entries;
        }
        const char* name = e->d_name;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;
        unsigned char type = e->d_type;
        if (type == DT_UNKNOWN) {
            struct stat st;
            if (::fstatat(folderFd, name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
                type = S_ISLNK(st.st_mode)   ? DT_LNK
                       : S_ISDIR(st.st_mode) ? DT_DIR
                       : S_ISREG(st.st_mode) ? DT_REG
                                             : DT_FIFO;
            }
        }
        switch (type) {
            case DT_REG:
                entries.push_back({name, EntryKind::kFile});
                break;
            case DT_DIR:
                entries.push_back({name, EntryKind::kFolder});
                break;
            case DT_LNK:
                entries.push_back({name, kindOf(name), true});
                break;
            default:
                entries.push_back({name, EntryKind::kOther});
                break;
        }
    }
}

// A tree over a descriptor of its top folder.
class PosixTree final : public ContainedTree {
  public:
    PosixTree(std::string top, Descriptor fd)
        : ContainedTree(top), m_Opener(std::make_shared<FolderOpener>(top, std::move(fd))) {}

    EntryKind KindOfEntry(std::string_view relative) override {
        Leaf leaf = Parent(relative, "examine", Missing::kNothing);
        if (!leaf.folder.Valid()) return EntryKind::kMissing;
        struct stat st;
        if (::fstatat(leaf.folder.Get(), leaf.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            return EntryKind::kMissing;
        }
        return S_ISLNK(st.st_mode) ? EntryKind::kLink : KindOfMode(st.st_mode);
    }

    std::vector<FolderEntry> ListFolder(std::string_view relative) override {
        if (!relative.empty()) CheckPath(relative, "list the folder");
        Descriptor folder = m_Opener->Open(relative, "list the folder", Missing::kNothing);
        if (!folder.Valid()) return {};
        const std::string path = WithoutTrailingSeparator(FullPath(relative));
        Descriptor readable(::openat(folder.Get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!readable.Valid()) throw FileError("list the folder", path, errno);
        const int fd = readable.Get();
        DIR* dir = ::fdopendir(readable.Release());
        if (!dir) throw FileError("list the folder", path, errno);
        return ListOpenFolder(dir, path, fd, [&](const char* name) {
            struct stat st;
            return ::fstatat(fd, name, &st, 0) == 0 ? KindOfMode(st.st_mode) : EntryKind::kMissing;
        });
    }

    std::unique_ptr<InputFile> OpenForReading(std::string_view relative) override {
        Leaf leaf = Parent(relative, "open for reading", Missing::kFail);
        const std::string path = FullPath(relative);
        struct stat st;
        Descriptor fd = OpenedRegularFile(
            OpenForReadingAt(leaf.folder.Get(), leaf.name.c_str(), O_NOFOLLOW), path, st);
        return std::make_unique<PosixInputFile>(std::move(fd), path, st);
    }

    std::unique_ptr<OutputFile> Create(std::string_view relative, std::string_view tag) override {
        CheckPath(relative, "create");
        return CreateIn(m_Opener, std::string(FolderOfPlain(relative)),
                        std::string(NameOfPlain(relative)), FullPath(relative), tag);
    }

    void MakeFolders(std::string_view relative) override {
        CheckPath(relative, "create the folder");
        m_Opener->Open(relative, "create the folder", Missing::kCreate);
    }

    void MoveIfFree(std::string_view from, std::string_view to) override {
        Leaf source = Parent(from, "move", Missing::kFail);
        Leaf target = Parent(to, "move", Missing::kFail);
        MoveIfFreeAt(source.folder.Get(), source.name.c_str(), target.folder.Get(),
                     target.name.c_str(), FullPath(from), FullPath(to));
    }

    void RemoveIfUnchanged(std::string_view relative, const FileVersion& expected) override {
        Leaf leaf = Parent(relative, "delete", Missing::kFail);
        if (VersionAt(leaf.folder.Get(), leaf.name.c_str()) != expected) {
            throw FileChanged(FullPath(relative));
        }
        if (::unlinkat(leaf.folder.Get(), leaf.name.c_str(), 0) != 0) {
            throw FileError("delete", FullPath(relative), errno);
        }
    }

    bool RemoveFile(std::string_view relative) override {
        Leaf leaf = Parent(relative, "delete", Missing::kNothing);
        if (!leaf.folder.Valid()) return false;
        struct stat st;
        if (::fstatat(leaf.folder.Get(), leaf.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(st.st_mode)) {
            return false;
        }
        if (::unlinkat(leaf.folder.Get(), leaf.name.c_str(), 0) != 0) {
            throw FileError("delete", FullPath(relative), errno);
        }
        return true;
    }

    void SyncAll() override {
        Descriptor fd(::openat(m_Opener->TopFd(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!fd.Valid()) throw FileError("open", Top(), errno);
        if (::syncfs(fd.Get()) != 0) throw FileError("flush to disk the files under", Top(), errno);
    }

  private:
    using Missing = FolderOpener::Missing;
    struct Leaf {
        Descriptor folder;  // not valid when the folder is missing
        std::string name;
    };

    static std::string_view FolderOfPlain(std::string_view relative) {
        size_t slash = relative.rfind('/');
        return slash == std::string_view::npos ? std::string_view() : relative.substr(0, slash);
    }
    static std::string_view NameOfPlain(std::string_view relative) {
        return relative.substr(relative.rfind('/') + 1);
    }

    void CheckPath(std::string_view relative, const char* operation) const {
        if (!IsPlainRelativePath(relative)) {
            throw FileError(operation, FullPath(relative), "not a path below the folder");
        }
    }

    // The folder of relative's last part, and that part.
    Leaf Parent(std::string_view relative, const char* operation, Missing missing) {
        CheckPath(relative, operation);
        return {m_Opener->Open(FolderOfPlain(relative), operation, missing),
                std::string(NameOfPlain(relative))};
    }

    std::shared_ptr<FolderOpener> m_Opener;
};

class PosixFolderLock final : public FolderLock {
  public:
    PosixFolderLock(Descriptor fd, FileIdentity identity)
        : m_Fd(std::move(fd)), m_Identity(identity) {}
    ~PosixFolderLock() override { ReleaseFolderInProcess(m_Identity); }

  private:
    Descriptor m_Fd;  // its lock goes with it
    FileIdentity m_Identity;
};

class PosixFileSystem final : public FileSystem {
  public:
    std::vector<FolderEntry> ListFolder(const std::string& folder) override {
        DIR* dir = ::opendir(folder.c_str());
        if (!dir) {
            // No folder stands there; a link that leads nowhere or round in a
            // ring counts as nothing too.
            if (errno == ENOENT || errno == ENOTDIR || errno == ELOOP) return {};
            throw FileError("list the folder", WithoutTrailingSeparator(folder), errno);
        }
        std::string path = WithTrailingSeparator(folder);
        const size_t base = path.size();
        return ListOpenFolder(dir, WithoutTrailingSeparator(folder), ::dirfd(dir),
                              [&](const char* name) {
                                  path.resize(base);
                                  path += name;
                                  return KindOf(path);
                              });
    }

    EntryKind KindOf(const std::string& path) override {
        struct stat st;
        if (::stat(path.c_str(), &st) != 0) return EntryKind::kMissing;
        return KindOfMode(st.st_mode);
    }

    std::optional<FileIdentity> IdentityOf(const std::string& folder) override {
        struct stat st;
        if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return std::nullopt;
        return FileIdentity{std::uint64_t(st.st_dev), std::uint64_t(st.st_ino)};
    }

    FileFacts ReadFile(const std::string& path, std::string& bytes) override {
        struct stat st = ReadOpened(OpenForReadingAt(AT_FDCWD, path.c_str()), path, bytes);
        return {std::int64_t(st.st_mtime), {std::uint64_t(st.st_dev), std::uint64_t(st.st_ino)}};
    }

    std::unique_ptr<OpenFolder> OpenFolderForReading(const std::string& folder) override {
        // O_PATH asks for no permission, as a path walk to the files would not.
        int fd = ::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        return std::make_unique<PosixOpenFolder>(folder, fd);
    }

    FileFacts ReadFileIn(const OpenFolder& folder, std::string_view name,
                         std::string& bytes) override {
        const auto* open = dynamic_cast<const PosixOpenFolder*>(&folder);
        std::string path = folder.Path();
        path += kSeparator;
        path += name;
        if (!open || open->Fd() < 0) return ReadFile(path, bytes);
        std::string& leaf = LeafBuffer();
        leaf.assign(name);
        struct stat st = ReadOpened(OpenForReadingAt(open->Fd(), leaf.c_str()), path, bytes);
        return {std::int64_t(st.st_mtime), {std::uint64_t(st.st_dev), std::uint64_t(st.st_ino)}};
    }

    FileAttributes ReadFileWithAttributes(const std::string& path, std::string& bytes) override {
        return AttributesOf(ReadOpened(OpenForReadingAt(AT_FDCWD, path.c_str()), path, bytes));
    }

    EntryKind KindOfEntry(const std::string& path) override {
        struct stat st;
        if (::lstat(path.c_str(), &st) != 0) return EntryKind::kMissing;
        return S_ISLNK(st.st_mode) ? EntryKind::kLink : KindOfMode(st.st_mode);
    }

    bool CanRead(const std::string& path) override {
        // Asking for the permission opens nothing, so a FIFO put in the
        // file's place meanwhile cannot block us; the caller knows the kind,
        // so one call to the system does.
        return ::access(path.c_str(), R_OK) == 0;
    }

    std::unique_ptr<OutputFile> Create(const std::string& path) override {
        const std::string folder(FolderOf(path));
        Descriptor fd(
            ::open(folder.empty() ? "." : folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        if (!fd.Valid()) throw FileError("create", path, errno);
        auto opener = std::make_shared<const FolderOpener>(folder, std::move(fd));
        return CreateIn(opener, "", path.substr(folder.size()), path, RandomTag());
    }

    std::unique_ptr<ContainedTree> OpenTree(const std::string& top) override {
        Descriptor fd(::open(top.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        if (!fd.Valid()) throw FileError("open the folder", WithoutTrailingSeparator(top), errno);
        return std::make_unique<PosixTree>(WithTrailingSeparator(top), std::move(fd));
    }

    std::unique_ptr<FolderLock> LockFolder(const std::string& folder) override {
        const std::string path = WithoutTrailingSeparator(folder);
        Descriptor fd(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        struct stat st;
        if (!fd.Valid() || ::fstat(fd.Get(), &st) != 0) throw FileError("lock", path, errno);
        const FileIdentity identity{std::uint64_t(st.st_dev), std::uint64_t(st.st_ino)};
        if (!ClaimFolderInProcess(identity)) throw FolderBusy(path);
        // A lock on the folder itself leaves no file behind, and the system
        // lets go of it when the process ends. A file system that has no
        // locks (some network ones) cannot keep two machines apart anyway.
        if (::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
            ReleaseFolderInProcess(identity);
            throw FolderBusy(path);
        }
        return std::make_unique<PosixFolderLock>(std::move(fd), identity);
    }
};

}  // namespace

FileSystem& RealFileSystem() {
    static PosixFileSystem fileSystem;
    return fileSystem;
}

}  // namespace corvane::platform
