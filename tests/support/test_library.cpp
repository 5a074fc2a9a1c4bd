#include "tests/support/test_library.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <random>
#include <sstream>
#include <stdexcept>

namespace corvane::testing {

namespace fs = std::filesystem;

TempLibrary::TempLibrary() {
    std::random_device random;
    fs::path base = fs::temp_directory_path();
    for (;;) {
        fs::path candidate = base / ("corvane-test-" + std::to_string(random()));
        if (fs::create_directory(candidate)) {
            m_Root = candidate.string() + "/";
            break;
        }
    }
}

TempLibrary::~TempLibrary() {
    std::error_code ignored;
    fs::remove_all(m_Root, ignored);
}

void TempLibrary::Write(std::string_view relative, std::string_view bytes, std::string_view stamp) {
    fs::path path = Path(relative);
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
    out.close();
    if (!out) throw std::runtime_error("cannot write test file " + path.string());
    if (stamp.empty()) return;
    std::tm local{};
    std::istringstream in{std::string(stamp)};
    in >> std::get_time(&local, "%Y-%m-%d %H:%M");
    if (in.fail()) throw std::runtime_error("bad stamp " + std::string(stamp));
    local.tm_isdst = -1;
    struct timespec times[2];
    times[0].tv_sec = times[1].tv_sec = std::mktime(&local);
    times[0].tv_nsec = times[1].tv_nsec = 0;
    if (::utimensat(AT_FDCWD, path.c_str(), times, 0) != 0) {
        throw std::runtime_error("cannot set the time of " + path.string());
    }
}

void TempLibrary::MakeFolder(std::string_view relative) {
    fs::create_directories(Path(relative));
}

std::string TempLibrary::Read(std::string_view relative) const {
    std::ifstream in(Path(relative), std::ios::binary);
    if (!in) throw std::runtime_error("cannot read test file " + Path(relative));
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

bool TempLibrary::Exists(std::string_view relative) const {
    std::error_code ignored;
    return fs::exists(fs::symlink_status(Path(relative), ignored));
}

std::vector<std::string> TempLibrary::Files() const {
    std::vector<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(m_Root)) {
        if (entry.is_regular_file()) files.push_back(entry.path().string().substr(m_Root.size()));
    }
    std::sort(files.begin(), files.end());
    return files;
}

Tree TreeOf(const std::string& root, bool libraryOnly) {
    Tree tree;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (!entry.is_regular_file() || entry.is_symlink()) continue;
        std::string path = entry.path().string().substr(root.size());
        if (libraryOnly &&
            (path.starts_with("backup/") || path == "Corvane.htm" || path.ends_with(".tmp"))) {
            continue;
        }
        struct stat st;
        if (::lstat(entry.path().c_str(), &st) != 0)
            throw std::runtime_error("cannot stat " + path);
        std::ifstream in(entry.path(), std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        tree[path] = {bytes.str(), unsigned(st.st_mode & 07777), std::int64_t(st.st_mtime)};
    }
    return tree;
}

std::string CrLf(std::initializer_list<std::string_view> lines) {
    std::string text;
    for (std::string_view line : lines) {
        text.append(line);
        text.append("\r\n");
    }
    return text;
}

}  // namespace corvane::testing
