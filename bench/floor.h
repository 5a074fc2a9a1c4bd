// The read-only floor of a check run: the walk over the five category folders
// and the reading of every library file's bytes through the platform layer,
// with nothing parsed. A check run cannot be faster than this.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "platform/files.h"
#include "platform/forwarding_files.h"

namespace corvane::bench {

struct FloorResult {
    std::int64_t files = 0;
    std::int64_t bytes = 0;
};

// Reads every library file of the library whose root ends in the separator,
// on this thread.
FloorResult ReadLibraryFiles(platform::FileSystem& fs, const std::string& libraryRoot);

// The same on threads threads: the walk lists the files first, then the
// threads read them, each taking the next file not yet taken.
FloorResult ReadLibraryFilesOnThreads(platform::FileSystem& fs, const std::string& libraryRoot,
                                      unsigned threads);

// Passes every call on to another file system and counts the library files
// read (ReadFile calls) and the texture tests (CanRead calls).
class CountingFileSystem final : public platform::ForwardingFileSystem {
  public:
    explicit CountingFileSystem(platform::FileSystem& inner) : ForwardingFileSystem(inner) {}

    std::int64_t Reads() const { return m_Reads; }
    std::int64_t ReadBytes() const { return m_ReadBytes; }

    platform::FileFacts ReadFile(const std::string& path, std::string& bytes) override {
        platform::FileFacts facts = m_Target.ReadFile(path, bytes);
        ++m_Reads;
        m_ReadBytes += std::int64_t(bytes.size());
        return facts;
    }

  private:
    std::atomic<std::int64_t> m_Reads{0};
    std::atomic<std::int64_t> m_ReadBytes{0};
};

}  // namespace corvane::bench
