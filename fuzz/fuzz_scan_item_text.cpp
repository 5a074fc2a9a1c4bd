// The line scan of one library file on arbitrary bytes, inside a small fixed
// library on the disk: a category folder with subfolders whose names differ
// only in case, a link back up the tree, textures beside the file and in the
// textures folder, and a FIFO named like a texture (which must never be
// opened). The input is scanned as two files, a newer one and an older one,
// so that its item names also meet their duplicates.
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "audit/check_run.h"
#include "fuzz/fuzz_check.h"
#include "platform/files.h"
#include "report/html_report.h"

namespace {

// A report that goes nowhere.
class NullOutputFile final : public corvane::platform::OutputFile {
  public:
    void Write(std::string_view bytes) override { m_Size += bytes.size(); }
    std::vector<std::string> KeepAttributesOf(corvane::platform::InputFile&, bool) override {
        return {};
    }
    void Finish() override {}
    void Place() override {}
    void PlaceIfFree() override {}
    void PlaceIfUnchanged(const corvane::platform::FileVersion&) override {}

  private:
    size_t m_Size = 0;
};

class SilentProgress final : public corvane::ProgressObserver {
  public:
    void Status(const std::string&) override {}
};

std::string g_Root;  // ends in the separator

void Touch(const std::string& relative) {
    std::FILE* file = std::fopen((g_Root + relative).c_str(), "wb");
    FUZZ_REQUIRE(file != nullptr);
    std::fputs("BM", file);
    std::fclose(file);
}

void RemoveLibrary() {
    std::error_code ignored;
    std::filesystem::remove_all(g_Root, ignored);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::string pattern = std::filesystem::temp_directory_path().string() + "/corvane-fuzz-XXXXXX";
    FUZZ_REQUIRE(::mkdtemp(pattern.data()) != nullptr);
    g_Root = pattern + "/";
    for (const char* folder : {"Stock", "Stock/Coaches", "Stock/Coaches/sub", "Stock/Coaches/SUB",
                               "Stock/Coaches/Old", "textures", "textures/Sub"}) {
        FUZZ_REQUIRE(::mkdir((g_Root + folder).c_str(), 0777) == 0);
    }
    for (const char* texture :
         {"Stock/Coaches/mk1.bmp", "Stock/Coaches/sub/roof.bmp", "Stock/Coaches/SUB/Roof.BMP",
          "textures/brick.bmp", "textures/Sub/ballast.bmp"}) {
        Touch(texture);
    }
    FUZZ_REQUIRE(::symlink("..", (g_Root + "Stock/Coaches/up").c_str()) == 0);
    FUZZ_REQUIRE(::symlink("UP", (g_Root + "Stock/Coaches/Up").c_str()) == 0);
    FUZZ_REQUIRE(::mkfifo((g_Root + "textures/pipe.bmp").c_str(), 0666) == 0);
    std::atexit(RemoveLibrary);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    corvane::HtmlReport report(std::make_unique<NullOutputFile>());
    SilentProgress progress;
    report.BeginCheck(g_Root);
    report.BeginCategory("Stock");
    corvane::LibraryCheck checker(g_Root, report, progress, corvane::platform::RealFileSystem());
    checker.ScanItemText(bytes, g_Root + "Stock/Coaches/mk1.stk", "201904021830", {1, 1});
    checker.ScanItemText(bytes, g_Root + "Stock/Coaches/Old/mk1.stk", "201506011200", {1, 2});
    // Every item met twice, each older copy queued once, on a line of the
    // file.
    const size_t lines = size_t(std::count(bytes.begin(), bytes.end(), '\n')) +
                         (bytes.empty() || bytes.back() == '\n' ? 0 : 1);
    FUZZ_REQUIRE(checker.OlderItems().size() <= checker.ItemCount());
    for (const corvane::OlderItem& item : checker.OlderItems()) {
        FUZZ_REQUIRE(item.file == "Stock/Coaches/Old/mk1.stk");
        FUZZ_REQUIRE(item.lineNumber >= 1 && item.lineNumber <= lines);
    }
    checker.EndCategory();
    report.EndCheck(checker.OlderItems());
    return 0;
}
