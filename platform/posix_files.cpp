// FileSystem over POSIX calls.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>

#include "platform/files.h"

namespace corvane::platform {

namespace {

std::string WithoutTrailingSeparator(std::string path) {
    if (path.size() > 1 && path.back() == kSeparator) path.pop_back();
    return path;
}

EntryKind KindOfMode(mode_t mode) {
    if (S_ISREG(mode)) return EntryKind::kFile;
    if (S_ISDIR(mode)) return EntryKind::kFolder;
    return EntryKind::kOther;
}

class Descriptor {
  public:
    explicit Descriptor(int fd) : m_Fd(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() {
        if (m_Fd >= 0) ::close(m_Fd);
    }
    int Get() const { return m_Fd; }
    int Release() {
        int fd = m_Fd;
        m_Fd = -1;
        return fd;
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

// The umask, read once while the process is still single-threaded: asking
// for it means setting it.
const mode_t kUmask = [] {
    mode_t mask = ::umask(022);
    ::umask(mask);
    return mask;
}();

bool NothingAt(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) != 0 && errno == ENOENT;
}

// rename() that never replaces: in one call where the file system can, else
// through a second name (link, then unlink), else by looking first.
void RenameNoReplaceAt(const std::string& from, const std::string& to) {
    auto fail = [&](int err) { throw FileError("move \"" + from + "\" to", to, err); };
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return;
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) fail(errno);
    if (::linkat(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), 0) == 0) {
        ::unlink(from.c_str());  // two names for one file lose nothing
        return;
    }
    if (errno == EEXIST) fail(EEXIST);
    if (!NothingAt(to)) fail(EEXIST);
    if (::rename(from.c_str(), to.c_str()) != 0) fail(errno);
}

class PosixOutputFile final : public OutputFile {
  public:
    PosixOutputFile(int fd, std::string temporary, std::string target, mode_t mode)
        : m_Fd(fd), m_Temporary(std::move(temporary)), m_Target(std::move(target)), m_Mode(mode) {
        m_Buffer.reserve(kBufferSize);
    }

    ~PosixOutputFile() override {
        if (m_Fd.Get() >= 0) ::close(m_Fd.Release());
        if (!m_Placed) ::unlink(m_Temporary.c_str());
    }

    void Write(std::string_view bytes) override {
        if (m_Finished) throw FileError("write", m_Target, "the file is already finished");
        if (m_Buffer.size() + bytes.size() > kBufferSize) {
            Flush();
            if (bytes.size() >= kBufferSize) {
                WriteAll(m_Fd.Get(), bytes.data(), bytes.size(), m_Target);
                return;
            }
        }
        m_Buffer.append(bytes);
    }

    void KeepPermissions(const FileAttributes& from) override {
        m_Mode = mode_t(from.permissions & 07777);
        m_Owner = from.owner;
        m_Group = from.group;
    }

    void KeepLastWriteTime(const FileAttributes& from) override {
        m_Time = {time_t(from.lastWriteSeconds), long(from.lastWriteNanoseconds)};
        m_KeepTime = true;
    }

    void Finish() override {
        if (m_Finished) return;
        Flush();
        int fd = m_Fd.Get();
        // Owner first: a change of owner clears the set-id bits.
        if (m_Owner >= 0 || m_Group >= 0) {
            (void)::fchown(fd, m_Owner >= 0 ? uid_t(m_Owner) : uid_t(-1),
                           m_Group >= 0 ? gid_t(m_Group) : gid_t(-1));
        }
        if (::fchmod(fd, m_Mode) != 0) throw FileError("set the permissions of", m_Target, errno);
        if (m_KeepTime) {
            struct timespec times[2] = {{0, UTIME_OMIT}, m_Time};
            if (::futimens(fd, times) != 0) {
                throw FileError("set the last-write time of", m_Target, errno);
            }
        }
        if (::close(m_Fd.Release()) != 0) throw FileError("write", m_Target, errno);
        m_Finished = true;
    }

    void Close() override {
        Finish();
        if (::rename(m_Temporary.c_str(), m_Target.c_str()) != 0) {
            throw FileError("move \"" + m_Temporary + "\" to", m_Target, errno);
        }
        m_Placed = true;
    }

    void CloseAsNew() override {
        Finish();
        RenameNoReplaceAt(m_Temporary, m_Target);
        m_Placed = true;
    }

  private:
    static constexpr size_t kBufferSize = 1 << 16;

    void Flush() {
        WriteAll(m_Fd.Get(), m_Buffer.data(), m_Buffer.size(), m_Target);
        m_Buffer.clear();
    }

    Descriptor m_Fd;
    std::string m_Temporary;
    std::string m_Target;
    std::string m_Buffer;
    mode_t m_Mode;
    std::int64_t m_Owner = -1;
    std::int64_t m_Group = -1;
    struct timespec m_Time {};
    bool m_KeepTime = false;
    bool m_Finished = false;
    bool m_Placed = false;
};

FileAttributes AttributesOf(const struct stat& st) {
    FileAttributes attributes;
    attributes.lastWriteSeconds = std::int64_t(st.st_mtim.tv_sec);
    attributes.lastWriteNanoseconds = std::uint32_t(st.st_mtim.tv_nsec);
    attributes.permissions = std::uint32_t(st.st_mode & 07777);
    attributes.owner = std::int64_t(st.st_uid);
    attributes.group = std::int64_t(st.st_gid);
    return attributes;
}

class PosixOpenFolder final : public OpenFolder {
  public:
    PosixOpenFolder(std::string path, int fd) : OpenFolder(std::move(path)), m_Fd(fd) {}
    int Fd() const { return m_Fd.Get(); }

  private:
    Descriptor m_Fd;
};

// Reading a file need not change its last-access time. O_NOATIME is refused
// for files of other owners; once refused, it is not asked for again.
std::atomic<bool> g_TryNoAccessTime{true};

int OpenForReading(int folderFd, const char* path) {
    constexpr int kFlags = O_RDONLY | O_NONBLOCK | O_CLOEXEC;
    if (g_TryNoAccessTime.load(std::memory_order_relaxed)) {
        int fd = ::openat(folderFd, path, kFlags | O_NOATIME);
        if (fd >= 0 || errno != EPERM) return fd;
        g_TryNoAccessTime.store(false, std::memory_order_relaxed);
    }
    return ::openat(folderFd, path, kFlags);
}

std::string& LeafBuffer() {
    thread_local std::string leaf;
    return leaf;
}

// Reads the file open on fd (or raises the open's error) whole into bytes;
// gives what it was when opened.
struct stat ReadOpened(int rawFd, const std::string& path, std::string& bytes) {
    Descriptor fd(rawFd);
    if (fd.Get() < 0) {
        int err = errno;
        bytes.clear();
        throw FileError("open for reading", path, err);
    }
    struct stat st;
    if (::fstat(fd.Get(), &st) != 0) {
        int err = errno;
        bytes.clear();
        throw FileError("examine", path, err);
    }
    if (!S_ISREG(st.st_mode)) {
        bytes.clear();
        throw FileError("read", path, "not a regular file");
    }
    // One read of the size the file has, asking for a byte more to see the
    // end; only a file that changes meanwhile takes more. bytes grows to the
    // largest file read and is cut back, never cleared, so that its bytes are
    // not zeroed for every file.
    const size_t expected = size_t(st.st_size);
    size_t want = expected + 1 < 4096 ? 4096 : expected + 1;
    size_t have = 0;
    for (;;) {
        if (bytes.size() < have + want) bytes.resize(have + want);
        ssize_t n = ::read(fd.Get(), bytes.data() + have, want);
        if (n < 0) {
            if (errno == EINTR) continue;
            int err = errno;
            bytes.clear();
            throw FileError("read", path, err);
        }
        have += size_t(n);
        if (n == 0 || (have == expected && size_t(n) < want)) break;
        // A short read is nearly always the end: make sure with one byte
        // rather than clearing a large block for nothing.
        want = size_t(n) < want ? 1 : 1 << 16;
    }
    bytes.resize(have);
    return st;
}

class PosixFileSystem final : public FileSystem {
  public:
    std::vector<FolderEntry> ListFolder(const std::string& folder) override {
        std::vector<FolderEntry> entries;
        DIR* dir = ::opendir(folder.c_str());
        if (!dir) {
            // No folder stands there; a link that leads nowhere or round in a
            // ring counts as nothing too.
            if (errno == ENOENT || errno == ENOTDIR || errno == ELOOP) return entries;
            throw FileError("list the folder", WithoutTrailingSeparator(folder), errno);
        }
        std::string path = WithTrailingSeparator(folder);
        size_t base = path.size();
        for (;;) {
            errno = 0;
            dirent* e = ::readdir(dir);
            if (!e) {
                int err = errno;
                ::closedir(dir);
                if (err != 0)
                    throw FileError("list the folder", WithoutTrailingSeparator(folder), err);
                return entries;
            }
            const char* name = e->d_name;
            if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;
            EntryKind kind;
            switch (e->d_type) {
                case DT_REG:
                    kind = EntryKind::kFile;
                    break;
                case DT_DIR:
                    kind = EntryKind::kFolder;
                    break;
                case DT_LNK:
                case DT_UNKNOWN:
                    path.resize(base);
                    path += name;
                    kind = KindOf(path);
                    break;
                default:
                    kind = EntryKind::kOther;
                    break;
            }
            entries.push_back({name, kind});
        }
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
        struct stat st = ReadOpened(OpenForReading(AT_FDCWD, path.c_str()), path, bytes);
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
        struct stat st = ReadOpened(OpenForReading(open->Fd(), leaf.c_str()), path, bytes);
        return {std::int64_t(st.st_mtime), {std::uint64_t(st.st_dev), std::uint64_t(st.st_ino)}};
    }

    FileAttributes ReadFileWithAttributes(const std::string& path, std::string& bytes) override {
        return AttributesOf(ReadOpened(OpenForReading(AT_FDCWD, path.c_str()), path, bytes));
    }

    EntryKind KindOfEntry(const std::string& path) override {
        struct stat st;
        if (::lstat(path.c_str(), &st) != 0) return EntryKind::kMissing;
        return S_ISLNK(st.st_mode) ? EntryKind::kLink : KindOfMode(st.st_mode);
    }

    bool CanRead(const std::string& path) override {
        // Asking for the permission opens nothing, so a FIFO put in the
        // file's place meanwhile cannot block us.
        return KindOf(path) == EntryKind::kFile && ::access(path.c_str(), R_OK) == 0;
    }

    std::unique_ptr<OutputFile> Create(const std::string& path) override {
        mode_t mode = 0666 & ~kUmask;
        struct stat st;
        if (::lstat(path.c_str(), &st) == 0) {
            if (S_ISDIR(st.st_mode)) throw FileError("create", path, EISDIR);
            // Not the set-id bits, which a file of a stranger's pack may carry.
            if (S_ISREG(st.st_mode)) mode = st.st_mode & 0777;
        }
        for (int attempt = 0;; ++attempt) {
            std::string temporary = TemporaryNameBeside(path);
            int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                            0600);
            if (fd >= 0) return std::make_unique<PosixOutputFile>(fd, temporary, path, mode);
            if (errno != EEXIST || attempt == 100) throw FileError("create", path, errno);
        }
    }

    void Rename(const std::string& from, const std::string& to) override {
        if (::rename(from.c_str(), to.c_str()) != 0) {
            throw FileError("move \"" + from + "\" to", to, errno);
        }
    }

    void RenameNoReplace(const std::string& from, const std::string& to) override {
        RenameNoReplaceAt(from, to);
    }

    void Remove(const std::string& path) override {
        if (::unlink(path.c_str()) != 0) throw FileError("delete", path, errno);
    }

    void MakeFolder(const std::string& path) override {
        if (::mkdir(path.c_str(), 0777) == 0) return;
        int err = errno;
        if (err == EEXIST && KindOf(path) == EntryKind::kFolder) return;
        throw FileError("create the folder", path, err == EEXIST ? ENOTDIR : err);
    }

    void SyncAll(const std::string& path) override {
        Descriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
        if (fd.Get() < 0) throw FileError("open", path, errno);
        if (::syncfs(fd.Get()) != 0) throw FileError("flush to disk the files under", path, errno);
    }
};

}  // namespace

FileSystem& RealFileSystem() {
    static PosixFileSystem fileSystem;
    return fileSystem;
}

}  // namespace corvane::platform
