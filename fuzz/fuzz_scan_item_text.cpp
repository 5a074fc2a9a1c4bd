// The line scan of one library file on arbitrary bytes, inside a small fixed
// library on the disk: a category folder with subfolders whose names differ
// only in case, a link back up the tree, textures beside the file and in the
// textures folder, and a FIFO named like a texture (which must never be
// opened). The input is scanned as two files, a newer one and an older one,
// so that its item names also meet their duplicates.
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "audit/check_run.h"
#include "audit/report.h"
#include "fuzz/fuzz_check.h"
#include "platform/files.h"

namespace {

// A report that goes nowhere.
class NullOutputFile final : public corvane::platform::OutputFile {
  public:
    void Write(std::string_view bytes) override { m_Size += bytes.size(); }
    void KeepPermissions(const corvane::platform::FileAttributes&) override {}
    void KeepLastWriteTime(const corvane::platform::FileAttributes&) override {}
    void Finish() override {}
    void Close() override {}
    void CloseAsNew() override {}

  private:
    size_t m_Size = 0;
};

class SilentProgress final : public corvane::ProgressDisplay {
  public:
    void SetStatus(const std::string&) override {}
    void RefreshStatus() override {}
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
    corvane::CheckState state;
    state.m_LibraryRoot = g_Root;
    corvane::Report report(std::make_unique<NullOutputFile>());
    state.m_pReport = &report;
    SilentProgress progress;
    {
        corvane::Checker checker(state, progress, corvane::platform::RealFileSystem());
        checker.ScanItemText(bytes, g_Root + "Stock/Coaches/mk1.stk", "201904021830");
        checker.ScanItemText(bytes, g_Root + "Stock/Coaches/Old/mk1.stk", "201506011200");
    }
    // Every item met twice, each older copy queued once, in step.
    FUZZ_REQUIRE(state.m_OlderNames.size() == state.m_OlderFiles.size());
    FUZZ_REQUIRE(state.m_OlderNames.size() <= state.m_Items.Count());
    for (const std::string& file : state.m_OlderFiles) {
        FUZZ_REQUIRE(file == "Stock/Coaches/Old/mk1.stk");
    }

    bool shade = false;
    for (const corvane::TextAndPath& entry : state.m_SyntaxErrors) {
        report.WriteSyntaxRow(shade, entry.text, entry.path);
    }
    for (const corvane::TextAndPath& entry : state.m_MissingTextures) {
        report.WriteMissingTextureRow(shade, entry.text, entry.path);
    }
    report.WriteFooter();
    report.Close();
    state.m_pReport = nullptr;
    return 0;
}
