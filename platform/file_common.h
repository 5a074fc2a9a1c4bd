// What the POSIX and Win32 file layers share: the staged output file (its
// buffer, its state, the checks before it is placed), the creation of its
// temporary under a free name, the bounded read of a whole file, and the
// process's own record of the folders it holds locked. Each system supplies
// only the calls beneath them. Only platform/*.cpp include this.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files.h"

namespace corvane::platform {

// The system's side of one temporary file beside its target.
class Staging {
  public:
    // Removes the temporary file unless MoveToTarget moved it (errors
    // ignored).
    virtual ~Staging() = default;

    virtual void Write(std::string_view bytes) = 0;
    virtual std::vector<std::string> KeepAttributesOf(InputFile& source) = 0;
    // Every byte handed to the system, the last-write time set when one is
    // given, the file closed.
    virtual void Close(const FileVersion* lastWriteTime) = 0;
    // The version of the regular file that stands at the target, links not
    // followed; nothing when none does.
    virtual std::optional<FileVersion> VersionAtTarget() = 0;
    // Moves the closed temporary file to its target in one step: replacing
    // whatever but a folder stands there, or only when nothing does.
    virtual void MoveToTarget(bool replace) = 0;
};

// The OutputFile of both systems over a Staging.
class StagedFile final : public OutputFile {
  public:
    StagedFile(std::unique_ptr<Staging> staging, std::string target);
    ~StagedFile() override;

    void Write(std::string_view bytes) override;
    std::vector<std::string> KeepAttributesOf(InputFile& source, bool lastWriteTime) override;
    void Finish() override;
    void Place() override;
    void PlaceIfFree() override;
    void PlaceIfUnchanged(const FileVersion& expected) override;

  private:
    static constexpr size_t kBufferSize = 1 << 16;
    void Flush();

    std::unique_ptr<Staging> m_Staging;
    std::string m_Target;
    std::string m_Buffer;
    std::optional<FileVersion> m_Time;
    bool m_Finished = false;
    bool m_Placed = false;
};

// Creates the temporary file for target under the first free name that
// TemporaryNameBeside gives for tag. createAt(name) creates it exclusively at
// that name beside the target and gives its Staging, or nullptr when the name
// is taken; other failures are its FileErrors.
std::unique_ptr<OutputFile> CreateStaged(
    const std::string& target, std::string_view tag,
    const std::function<std::unique_ptr<Staging>(const std::string& name)>& createAt);

// Reads a file whole into bytes through readSome (up to n bytes into a
// buffer; 0 at the end), bounded by the size the system gave for it plus
// kReadMargin; path names it in errors. bytes keeps its capacity.
void ReadBounded(std::string& bytes, std::uint64_t size, const std::string& path,
                 const std::function<size_t(char* into, size_t n)>& readSome);

// The folders this process holds locked, by identity: a second lock of one of
// them fails at once, whatever the system's own lock would make of it.
bool ClaimFolderInProcess(const FileIdentity& folder);
void ReleaseFolderInProcess(const FileIdentity& folder);

}  // namespace corvane::platform
