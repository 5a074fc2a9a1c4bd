#include "bench/library_gen.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <vector>

namespace corvane::bench {

namespace {

// splitmix64: small, fast and the same on every platform, unlike the
// distributions of <random>.
class Random {
  public:
    explicit Random(std::uint64_t seed) : m_State(seed) {}
    std::uint64_t Next() {
        std::uint64_t z = (m_State += 0x9e3779b97f4a7c15ULL);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        return z ^ (z >> 31);
    }
    // Uniform in [low, high].
    int Between(int low, int high) { return low + int(Next() % std::uint64_t(high - low + 1)); }
    // True with the given chance in percent, to a thousandth of a percent.
    bool Chance(double percent) { return double(Next() % 100000) < percent * 1000.0; }

  private:
    std::uint64_t m_State;
};

// What the generator makes of one category folder: its files' extension (and
// the same in capitals, used now and then), the word its item names start
// with, and its share of the files.
struct CategoryPlan {
    const char* folder;
    const char* extension;
    const char* upperExtension;
    const char* itemWord;
    int share;  // percent of all files
};
constexpr CategoryPlan kCategoryPlans[] = {
    {"Stock", ".stk", ".STK", "Coach", 30},  {"Scenery", ".stc", ".STC", "Shed", 30},
    {"Signals", ".stc", ".STC", "Post", 10}, {"Track", ".stt", ".STT", "Rail", 20},
    {"OHLE", ".stc", ".STC", "Mast", 10},
};

constexpr int kSharedTextures = 400;  // under textures/ in the root
constexpr int kLocalTextures = 6;     // beside the library files of each folder
constexpr double kDuplicatePercent = 3.0;
constexpr std::int64_t kBaseTime = 1577836800;  // 2020-01-01 00:00 UTC
constexpr std::int64_t kTimeSpan = 3LL * 365 * 24 * 3600;

[[noreturn]] void Fail(const std::string& what, const std::string& path) {
    throw std::runtime_error("cannot " + what + " " + path + ": " + std::strerror(errno));
}

void MakeFolder(const std::string& path) {
    if (::mkdir(path.c_str(), 0777) != 0 && errno != EEXIST) Fail("create the folder", path);
}

void WriteWholeFile(const std::string& path, const std::string& bytes, std::int64_t time) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) Fail("create", path);
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            Fail("write", path);
        }
        done += size_t(n);
    }
    struct timespec times[2] = {{time_t(time), 0}, {time_t(time), 0}};
    if (::futimens(fd, times) != 0) Fail("set the time of", path);
    if (::close(fd) != 0) Fail("close", path);
}

template <typename... Args>
std::string Format(const char* format, Args... args) {
    char text[256];
    std::snprintf(text, sizeof text, format, args...);
    return text;
}

std::string SharedTextureName(int index) {
    return Format("Tex%03d.bmp", index);
}
std::string LocalTextureName(int index) {
    return Format("local_%d.bmp", index);
}

// How a texture file is spelled on disk: mostly as referred to, one in five
// in upper case.
std::string OnDiskName(const std::string& name, int index) {
    if (index % 5 != 3) return name;
    std::string upper = name;
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    }
    return upper;
}

void Line(std::string& text, const std::string& line) {
    text += line;
    text += "\r\n";
}

struct FileRecord {
    std::int64_t time;
    std::vector<std::string> names;  // the names it defines first
};

class Generator {
  public:
    Generator(std::string root, int files, std::uint64_t seed, LibraryKind kind)
        : m_Root(std::move(root)), m_Files(files), m_Random(seed), m_Kind(kind) {}

    Manifest Run() {
        if (::mkdir(m_Root.c_str(), 0777) != 0) Fail("create the library root", m_Root);
        WriteSharedTextures();
        int left = m_Files;
        for (size_t c = 0; c < std::size(kCategoryPlans); ++c) {
            int count =
                c + 1 == std::size(kCategoryPlans) ? left : m_Files * kCategoryPlans[c].share / 100;
            left -= count;
            WriteCategory(kCategoryPlans[c], count);
        }
        WriteWholeFile(m_Root + "/" + kManifestName,
                       Format("files %lld\nitems %lld\nbytes %lld\n", (long long)m_Manifest.files,
                              (long long)m_Manifest.items, (long long)m_Manifest.bytes),
                       kBaseTime);
        return m_Manifest;
    }

  private:
    void WriteSharedTextures() {
        std::string folder = m_Root + "/textures";
        MakeFolder(folder);
        for (int i = 0; i < kSharedTextures; ++i) {
            WriteWholeFile(folder + "/" + OnDiskName(SharedTextureName(i), i), "BM\r\n", kBaseTime);
        }
    }

    // Folders of 10 to 40 library files each: Set/Kit, or Set/Kit/Parts.
    void WriteCategory(const CategoryPlan& category, int count) {
        m_Records.clear();
        m_MissingPool = std::max(8, m_Kind == LibraryKind::kFindings ? count / 2 : count / 10);
        std::string top = m_Root + "/" + category.folder;
        MakeFolder(top);
        int index = 0;
        for (int folderIndex = 0; index < count; ++folderIndex) {
            int inFolder = std::min(count - index, m_Random.Between(10, 40));
            std::string folder = top + Format("/Set%02d", folderIndex / 12);
            MakeFolder(folder);
            folder += Format(folderIndex % 50 == 7 ? "/NFP_Kit%03d" : "/Kit%03d", folderIndex);
            MakeFolder(folder);
            if (folderIndex % 4 == 1) {
                folder += "/Parts";
                MakeFolder(folder);
            }
            for (int t = 0; t < kLocalTextures; ++t) {
                WriteWholeFile(folder + "/" + OnDiskName(LocalTextureName(t), t + folderIndex),
                               "BM\r\n", kBaseTime);
            }
            WriteWholeFile(folder + "/readme.txt", "Not a library file.\r\n", kBaseTime);
            for (int i = 0; i < inFolder; ++i, ++index) {
                const char* extension =
                    index % 37 == 5 ? category.upperExtension : category.extension;
                WriteLibraryFile(category,
                                 folder + Format("/%s_%05d%s", category.itemWord, index, extension),
                                 index);
            }
        }
    }

    void WriteLibraryFile(const CategoryPlan& category, const std::string& path, int index) {
        FileRecord record;
        record.time = kBaseTime + std::int64_t(m_Random.Next() % std::uint64_t(kTimeSpan));
        std::string text;
        int items = m_Random.Between(3, 7);
        for (int k = 0; k < items; ++k) {
            std::string name;
            if (!m_Records.empty() && m_Random.Chance(kDuplicatePercent)) {
                // A name defined again; the file takes the earlier file's time
                // now and then, so that the stamps are equal.
                const FileRecord& earlier = m_Records[m_Random.Next() % m_Records.size()];
                name = earlier.names[m_Random.Next() % earlier.names.size()];
                if (m_Random.Chance(30)) record.time = earlier.time;
            } else {
                name = Format("%s_%05d_%c", category.itemWord, index, 'A' + k);
                record.names.push_back(name);
            }
            WriteItem(text, name);
            ++m_Manifest.items;
        }
        WriteWholeFile(path, text, record.time);
        m_Manifest.bytes += std::int64_t(text.size());
        ++m_Manifest.files;
        if (!record.names.empty()) m_Records.push_back(std::move(record));
    }

    // A name that some item of the category bears, here or in a later file,
    // or one that none does.
    std::string ComponentName() {
        if (m_Records.empty() || m_Random.Chance(m_Kind == LibraryKind::kFindings ? 40 : 15)) {
            return Format("Missing_%04d", m_Random.Between(0, m_MissingPool));
        }
        const FileRecord& file = m_Records[m_Random.Next() % m_Records.size()];
        return file.names[m_Random.Next() % file.names.size()];
    }

    std::string TextureName() {
        const int gone = m_Kind == LibraryKind::kFindings ? 30 : 5;  // percent
        int roll = m_Random.Between(0, 99);
        if (roll < 40) return LocalTextureName(m_Random.Between(0, kLocalTextures - 1));
        if (roll < 100 - gone) return SharedTextureName(m_Random.Between(0, kSharedTextures - 1));
        return Format("Gone_%03d.bmp", m_Random.Between(0, 199));
    }

    void WriteItem(std::string& text, const std::string& name) {
        int lines = m_Random.Between(10, 40);
        int used = 3;  // name, skin and [end]
        if (m_Random.Chance(10)) {
            Line(text, "Name " + name + Format(" // rev %d", m_Random.Between(1, 9)));
        } else {
            Line(text, "name " + name);
        }
        std::string skin = TextureName();
        if (m_Random.Chance(0.2)) {
            Line(text, "  skin \"" + skin);  // the quote is never closed
        } else if (m_Random.Chance(50)) {
            Line(text, "  skin \"" + skin.substr(0, skin.size() - 4) + "\"");
        } else {
            Line(text, "  Skin " + skin);
        }
        int textures = m_Random.Between(1, 3);
        for (int i = 0; i < textures; ++i, ++used) {
            switch (m_Random.Between(0, 2)) {
                case 0:
                    Line(text, "\ttexture \"" + TextureName() + "\"");
                    break;
                case 1:
                    Line(text, "\tbitmap \"maps/" + TextureName() + "\" [d3d]");
                    break;
                default:
                    Line(text, "\tTexture 1 \"" + TextureName() + "\" // tiled");
                    break;
            }
        }
        int components = m_Random.Between(1, 4);
        for (int i = 0; i < components && used < lines - 1; ++i, ++used) {
            std::string target = ComponentName();
            switch (m_Random.Between(0, 5)) {
                case 0:
                    Line(text, "include 0.000 1.250 -0.500 [d3d]" + target + " // lod 0");
                    break;
                case 1:
                    Line(text, "wheel 0 0 0 1 1 " + target);
                    break;
                case 2:
                    Line(text, "door 0.5 0 0 " + target + "[left]");
                    break;
                case 3:
                    Line(text, "Bogie 1 2 3 =" + target);
                    break;
                case 4:
                    Line(text, "include 0:0:0 <500 " + target + " # far");
                    break;
                default:
                    Line(text, "Include 2 0 -1 !" + target);
                    break;
            }
        }
        for (; used < lines; ++used) {
            int roll = m_Random.Between(0, 99);
            if (roll < 80) {
                Line(text, Format("vertex %d.%03d %d.%03d -%d.%03d", m_Random.Between(0, 9),
                                  m_Random.Between(0, 999), m_Random.Between(0, 9),
                                  m_Random.Between(0, 999), m_Random.Between(0, 9),
                                  m_Random.Between(0, 999)));
            } else if (roll < 90) {
                Line(text, Format("face %d %d %d", m_Random.Between(0, 99), m_Random.Between(0, 99),
                                  m_Random.Between(0, 99)));
            } else if (roll < 94) {
                Line(text, "// built with care");
            } else if (roll < 97) {
                Line(text,
                     Format("wheelbase %d.%d", m_Random.Between(1, 9), m_Random.Between(0, 9)));
            } else {
                Line(text, "");
            }
        }
        Line(text, "[end]");
    }

    std::string m_Root;
    int m_Files;
    Random m_Random;
    LibraryKind m_Kind;
    std::vector<FileRecord> m_Records;  // the current category's files so far
    int m_MissingPool = 8;
    Manifest m_Manifest;
};

}  // namespace

Manifest GenerateLibrary(const std::string& root, int files, std::uint64_t seed, LibraryKind kind) {
    return Generator(root, files, seed, kind).Run();
}

Manifest ReadManifest(const std::string& root) {
    Manifest manifest;
    std::ifstream in(root + "/" + kManifestName);
    std::string key;
    long long value;
    while (in >> key >> value) {
        if (key == "files") manifest.files = value;
        if (key == "items") manifest.items = value;
        if (key == "bytes") manifest.bytes = value;
    }
    return manifest;
}

}  // namespace corvane::bench
