// A synthetic library for the benchmark. The same seed and file count always
// give the same tree, the same bytes and the same file times, so that timings
// and reports can be compared between builds.
//
// Per category folder (nested two or three deep) it holds:
// - library files of three to seven items each, 10 to 40 lines an item: a
//   name line, a skin line, quoted texture lines, include/wheel/door/bogie
//   lines with tags and comments, vertex-like filler and "[end]", in CR LF;
// - about 3 % of the item names defined again in a later file, the later
//   file's time sometimes equal to the earlier one's, mostly not;
// - textures beside the library files, under textures/ in the library root
//   (some stored in another letter case), and some that are nowhere;
// - component references to items that no file defines, and a few folders
//   whose path holds "NFP".
#pragma once

#include <cstdint>
#include <string>

namespace corvane::bench {

// Raised when a change makes the generator write different libraries, so that
// cached libraries of the old kind are not taken for new ones.
inline constexpr int kGeneratorVersion = 1;

// Written into the library root beside the category folders.
inline constexpr const char* kManifestName = "corvane-bench-manifest.txt";

struct Manifest {
    std::int64_t files = 0;  // library files
    std::int64_t items = 0;  // name lines
    std::int64_t bytes = 0;  // bytes of all library files
};

// The two kinds of library the benchmark times: one as packs usually are, and
// one heavy with findings (about four missing textures a file, and a missing
// component for every other file, each a report row), where the work per
// item weighs more than the reading.
enum class LibraryKind { kPlain, kFindings };

// Writes a library of `files` library files into root, which must not exist
// yet, and its manifest. Throws std::runtime_error when a write fails.
Manifest GenerateLibrary(const std::string& root, int files, std::uint64_t seed,
                         LibraryKind kind = LibraryKind::kPlain);

// The manifest of a generated library; all zero when it has none.
Manifest ReadManifest(const std::string& root);

}  // namespace corvane::bench
