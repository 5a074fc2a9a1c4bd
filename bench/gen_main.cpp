// corvane-bench-gen: writes a synthetic library for the benchmark.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "bench/library_gen.h"

namespace {

int Usage() {
    std::fputs(
        "Usage: corvane-bench-gen --files N [--seed S] [--findings] LIBRARY_ROOT\n"
        "       corvane-bench-gen --version\n"
        "LIBRARY_ROOT must not exist yet. Prints what it wrote. --findings makes a\n"
        "library heavy with missing textures and components.\n",
        stderr);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    long files = -1;
    unsigned long long seed = 1;
    std::string root;
    corvane::bench::LibraryKind kind = corvane::bench::LibraryKind::kPlain;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--version") {
            std::printf("%d\n", corvane::bench::kGeneratorVersion);
            return 0;
        }
        if (arg == "--files" && i + 1 < argc) {
            files = std::strtol(argv[++i], nullptr, 10);
        } else if (arg == "--findings") {
            kind = corvane::bench::LibraryKind::kFindings;
        } else if (arg == "--seed" && i + 1 < argc) {
            seed = std::strtoull(argv[++i], nullptr, 10);
        } else if (root.empty() && !arg.empty() && arg[0] != '-') {
            root = arg;
        } else {
            return Usage();
        }
    }
    if (files < 1 || files > 10000000 || root.empty()) return Usage();
    try {
        corvane::bench::Manifest m = corvane::bench::GenerateLibrary(root, int(files), seed, kind);
        std::printf("files %lld items %lld bytes %lld\n", (long long)m.files, (long long)m.items,
                    (long long)m.bytes);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "corvane-bench-gen: %s\n", error.what());
        return 1;
    }
    return 0;
}
