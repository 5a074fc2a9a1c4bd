// FileSystem over POSIX calls.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "platform/files.h"

namespace corvane::platform {

FileError::FileError(std::string operation, std::string path, std::string reason)
    : std::runtime_error("cannot " + operation + " \"" + path + "\": " + reason),
      m_Operation(std::move(operation)),
      m_Path(std::move(path)) {}

FileError::FileError(std::string operation, std::string path, int errorNumber)
    : FileError(std::move(operation), std::move(path), std::strerror(errorNumber)) {}

std::string_view FolderOf(std::string_view path) {
    size_t slash = path.rfind(kSeparator);
    return slash == std::string_view::npos ? std::string_view() : path.substr(0, slash + 1);
}

std::string WithTrailingSeparator(std::string path) {
    if (path.empty() || path.back() != kSeparator) path += kSeparator;
    return path;
}

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

class PosixOutputFile final : public OutputFile {
  public:
    PosixOutputFile(int fd, std::string path) : m_Fd(fd), m_Path(std::move(path)) {
        m_Buffer.reserve(kBufferSize);
    }

    void Write(std::string_view bytes) override {
        if (m_Buffer.size() + bytes.size() > kBufferSize) {
            Flush();
            if (bytes.size() >= kBufferSize) {
                WriteAll(m_Fd.Get(), bytes.data(), bytes.size(), m_Path);
                return;
            }
        }
        m_Buffer.append(bytes);
    }

    void Close() override {
        Flush();
        int fd = m_Fd.Release();
        if (::close(fd) != 0) throw FileError("close", m_Path, errno);
    }

  private:
    static constexpr size_t kBufferSize = 1 << 16;

    void Flush() {
        WriteAll(m_Fd.Get(), m_Buffer.data(), m_Buffer.size(), m_Path);
        m_Buffer.clear();
    }

    Descriptor m_Fd;
    std::string m_Path;
    std::string m_Buffer;
};

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
// gives its last-write time and identity.
FileFacts ReadOpened(int rawFd, const std::string& path, std::string& bytes) {
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
    return {std::int64_t(st.st_mtime), {std::uint64_t(st.st_dev), std::uint64_t(st.st_ino)}};
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
        return ReadOpened(OpenForReading(AT_FDCWD, path.c_str()), path, bytes);
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
        return ReadOpened(OpenForReading(open->Fd(), leaf.c_str()), path, bytes);
    }

    bool CanRead(const std::string& path) override {
        // Asking for the permission opens nothing, so a FIFO put in the
        // file's place meanwhile cannot block us.
        return KindOf(path) == EntryKind::kFile && ::access(path.c_str(), R_OK) == 0;
    }

    std::unique_ptr<OutputFile> Create(const std::string& path) override {
        int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (fd < 0) throw FileError("create", path, errno);
        return std::make_unique<PosixOutputFile>(fd, path);
    }

    void Rename(const std::string& from, const std::string& to) override {
        if (::rename(from.c_str(), to.c_str()) != 0) {
            throw FileError("move \"" + from + "\" to", to, errno);
        }
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
