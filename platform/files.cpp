// The parts of the file layer that are the same on every system.
#include <atomic>
#include <cstring>
#include <mutex>
#include <random>
#include <set>

#include "platform/file_common.h"

namespace corvane::platform {

FileError::FileError(std::string operation, std::string path, std::string reason)
    : std::runtime_error("Cannot " + operation + " \"" + path + "\": " + reason),
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

std::string WithoutTrailingSeparator(std::string path) {
    if (path.size() > 1 && path.back() == kSeparator) path.pop_back();
    return path;
}

std::string RandomTag() {
    static std::atomic<std::uint64_t> s_Counter{std::random_device{}() ^
                                                std::uint64_t(std::random_device{}()) << 32};
    std::uint64_t x = s_Counter.fetch_add(0x9e3779b97f4a7c15, std::memory_order_relaxed);
    x ^= x >> 31;
    x *= 0xbf58476d1ce4e5b9;
    x ^= x >> 29;
    std::string tag;
    for (int i = 0; i < 8; ++i, x /= 36) tag += "0123456789abcdefghijklmnopqrstuvwxyz"[x % 36];
    return tag;
}

namespace {

constexpr size_t kKeptOfName = 200;  // leaves room for the rest in the 255 a name may have
constexpr std::string_view kTemporaryMark = ".corvane-";
constexpr size_t kTagSize = 8;

}  // namespace

std::string TemporaryNameBeside(std::string_view target, std::string_view tag, int attempt) {
    const size_t slash = target.find_last_of(kSeparator == '/' ? "/" : "/\\");
    std::string_view folder = slash == std::string_view::npos ? "" : target.substr(0, slash + 1);
    std::string name(target.substr(folder.size(), kKeptOfName));
    name += kTemporaryMark;
    name += tag;
    if (attempt > 0) {
        name += '-';
        name += std::to_string(attempt);
    }
    return std::string(folder) + name + ".tmp";
}

bool IsTemporaryNameFor(std::string_view name, std::string_view targetName) {
    std::string_view kept = targetName.substr(0, kKeptOfName);
    if (!name.starts_with(kept)) return false;
    name.remove_prefix(kept.size());
    if (!name.starts_with(kTemporaryMark) || !name.ends_with(".tmp")) return false;
    name.remove_prefix(kTemporaryMark.size());
    name.remove_suffix(4);
    if (name.size() < kTagSize) return false;
    for (char c : name.substr(0, kTagSize)) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z'))) return false;
    }
    name.remove_prefix(kTagSize);
    if (name.empty()) return true;
    return name.size() == 2 && name[0] == '-' && name[1] >= '1' &&
           name[1] < char('0' + kTemporaryAttempts);
}

bool IsPlainRelativePath(std::string_view path) {
    if (path.empty()) return false;
    for (size_t start = 0;;) {
        size_t slash = path.find('/', start);
        std::string_view part = path.substr(start, slash - start);
        if (part.empty() || part == "." || part == "..") return false;
        for (char c : part) {
            if (c == '\0') return false;
#ifdef _WIN32
            if ((unsigned char)c < 0x20 || std::strchr("\\:*?\"<>|", c)) return false;
#endif
        }
        if (slash == std::string_view::npos) return true;
        start = slash + 1;
    }
}

std::string SystemRelativePath(std::string_view plain) {
    std::string path(plain);
    for (char& c : path) {
        if (c == '/') c = kSeparator;
    }
    return path;
}

std::string PlainRelativePath(std::string_view system) {
    std::string path(system);
    for (char& c : path) {
        if (c == kSeparator) c = '/';
    }
    return path;
}

std::unique_ptr<OpenFolder> FileSystem::OpenFolderForReading(const std::string& folder) {
    return std::make_unique<OpenFolder>(folder);
}

FileFacts FileSystem::ReadFileIn(const OpenFolder& folder, std::string_view name,
                                 std::string& bytes) {
    std::string path = folder.Path();
    path += kSeparator;
    path += name;
    return ReadFile(path, bytes);
}

std::string ContainedTree::FullPath(std::string_view relative) const {
    return m_Top + SystemRelativePath(relative);
}

void InputFile::ReadAll(std::string& bytes) {
    ReadBounded(bytes, m_Attributes.size, m_Path,
                [this](char* into, size_t n) { return Read(into, n); });
}

void ReadBounded(std::string& bytes, std::uint64_t size, const std::string& path,
                 const std::function<size_t(char* into, size_t n)>& readSome) {
    // One read of the size the file has, asking for a byte more to see the
    // end; only a file that changes meanwhile takes more. bytes grows to the
    // largest file read and is cut back, never cleared, so that its bytes are
    // not zeroed for every file.
    const std::uint64_t limit = size + kReadMargin;
    size_t want = size + 1 < 4096 ? 4096 : size_t(size) + 1;
    size_t have = 0;
    try {
        for (;;) {
            if (bytes.size() < have + want) bytes.resize(have + want);
            size_t n = readSome(bytes.data() + have, want);
            have += n;
            if (n == 0 || (have == size && n < want)) break;
            if (have > limit) {
                throw FileError(
                    "read", path,
                    "it holds more than the " + std::to_string(size) + " bytes its size says");
            }
            // A short read is nearly always the end: make sure with one byte
            // rather than clearing a large block for nothing.
            want = n < want ? 1 : size_t(kReadMargin);
        }
    } catch (...) {
        bytes.clear();
        throw;
    }
    bytes.resize(have);
}

StagedFile::StagedFile(std::unique_ptr<Staging> staging, std::string target)
    : m_Staging(std::move(staging)), m_Target(std::move(target)) {
    m_Buffer.reserve(kBufferSize);
}

StagedFile::~StagedFile() = default;

void StagedFile::Write(std::string_view bytes) {
    if (m_Finished) throw FileError("write", m_Target, "the file is finished");
    if (m_Buffer.size() + bytes.size() > kBufferSize) {
        Flush();
        if (bytes.size() >= kBufferSize) {
            m_Staging->Write(bytes);
            return;
        }
    }
    m_Buffer.append(bytes);
}

std::vector<std::string> StagedFile::KeepAttributesOf(InputFile& source, bool lastWriteTime) {
    if (m_Finished) throw FileError("write", m_Target, "the file is finished");
    if (lastWriteTime) m_Time = source.Attributes().Version();
    return m_Staging->KeepAttributesOf(source);
}

void StagedFile::Flush() {
    if (m_Buffer.empty()) return;
    m_Staging->Write(m_Buffer);
    m_Buffer.clear();
}

void StagedFile::Finish() {
    if (m_Finished) return;
    Flush();
    m_Staging->Close(m_Time ? &*m_Time : nullptr);
    m_Finished = true;
}

void StagedFile::Place() {
    Finish();
    if (m_Placed) throw FileError("replace", m_Target, "the file was placed already");
    m_Staging->MoveToTarget(true);
    m_Placed = true;
}

void StagedFile::PlaceIfFree() {
    Finish();
    if (m_Placed) throw FileError("create", m_Target, "the file was placed already");
    m_Staging->MoveToTarget(false);
    m_Placed = true;
}

void StagedFile::PlaceIfUnchanged(const FileVersion& expected) {
    Finish();
    if (m_Placed) throw FileError("replace", m_Target, "the file was placed already");
    if (m_Staging->VersionAtTarget() != expected) throw FileChanged(m_Target);
    m_Staging->MoveToTarget(true);
    m_Placed = true;
}

std::unique_ptr<OutputFile> CreateStaged(
    const std::string& target, std::string_view tag,
    const std::function<std::unique_ptr<Staging>(const std::string& name)>& createAt) {
    for (int attempt = 0; attempt < kTemporaryAttempts; ++attempt) {
        std::string name(TemporaryNameBeside(target, tag, attempt));
        name.erase(0, FolderOf(name).size());
        if (std::unique_ptr<Staging> staging = createAt(name)) {
            return std::make_unique<StagedFile>(std::move(staging), target);
        }
    }
    throw FileError("create", target, "every temporary name beside it is taken");
}

namespace {

std::mutex g_LockedLock;
std::set<std::pair<std::uint64_t, std::uint64_t>> g_Locked;

}  // namespace

bool ClaimFolderInProcess(const FileIdentity& folder) {
    std::lock_guard<std::mutex> hold(g_LockedLock);
    return g_Locked.insert({folder.device, folder.inode}).second;
}

void ReleaseFolderInProcess(const FileIdentity& folder) {
    std::lock_guard<std::mutex> hold(g_LockedLock);
    g_Locked.erase({folder.device, folder.inode});
}

}  // namespace corvane::platform
