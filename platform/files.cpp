// The parts of the file layer that are the same on every system.
#include "platform/files.h"

#include <atomic>
#include <cstring>
#include <random>

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

std::string TemporaryNameBeside(const std::string& target) {
    static std::atomic<std::uint64_t> s_Counter{std::random_device{}() ^
                                                std::uint64_t(std::random_device{}()) << 32};
    std::uint64_t x = s_Counter.fetch_add(0x9e3779b97f4a7c15, std::memory_order_relaxed);
    x ^= x >> 31;
    x *= 0xbf58476d1ce4e5b9;
    x ^= x >> 29;
    std::string_view folder = FolderOf(target);
    std::string name = target.substr(folder.size(), 200);
    name += ".corvane-";
    for (int i = 0; i < 8; ++i, x /= 36) name += "0123456789abcdefghijklmnopqrstuvwxyz"[x % 36];
    return std::string(folder) + name + ".tmp";
}

}  // namespace corvane::platform
