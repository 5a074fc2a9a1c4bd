// The check's reading and scanning on several threads. A walker thread walks
// the five categories and publishes every step of the walk in walk order: a
// category begins, a folder is shown, a library file is met. Worker threads
// claim the files in small batches, read each through an open folder, scan it
// into its record and look up the textures it names. The thread that owns the
// pipeline takes the steps in walk order, each file's record complete, and
// applies them; so whatever it makes of them is what a walk on that one thread
// would have made.
//
// At most a fixed window of steps is in flight: the walker waits while the
// window is full. The walker publishes files a few at a time and the owner
// takes the steps that are ready a few at a time, so that the lock is taken
// once per batch rather than once per step. When the owner's next file is not
// claimed yet, the owner reads and scans it itself rather than wait.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "audit/file_record.h"
#include "audit/folder_cache.h"
#include "audit/texture_lookup.h"
#include "platform/files.h"

namespace corvane {

class CheckPipeline {
  public:
    struct Step {
        enum class Kind : std::uint8_t {
            kCategory,  // category: the index in kCategories
            kFolder,    // path: the folder shown
            kFile,      // path: the library file; record: what it holds, or its read error
            kEnd,       // the walk is over; record.error: what ended it early, if anything
        };
        Kind kind = Kind::kEnd;
        size_t category = 0;
        std::string path;
        FileRecord record;

      private:
        friend class CheckPipeline;
        std::shared_ptr<const platform::OpenFolder> m_Folder;
        size_t m_NameAt = 0;  // where the file's name begins in path
        bool m_ThroughLink = false;
        bool m_Done = false;  // the record is complete
    };

    // Starts the walk of the library whose root (ending in the separator) is
    // libraryRoot, with this many worker threads (at least one). folders is
    // shared with the owner's texture lookups.
    CheckPipeline(platform::FileSystem& fs, FolderCache& folders, std::string libraryRoot,
                  unsigned workers, size_t window = kDefaultWindow);
    // Stops the walk and the workers, wherever they are, and waits for them.
    ~CheckPipeline();
    CheckPipeline(const CheckPipeline&) = delete;
    CheckPipeline& operator=(const CheckPipeline&) = delete;

    // The next step in walk order, complete; valid until the next call. After
    // the kEnd step there is none.
    const Step& Next();

    static constexpr size_t kDefaultWindow = 1024;
    static constexpr size_t kBatch = 4;          // files a worker claims at once
    static constexpr size_t kOwnerWakesFor = 8;  // steps ready
    static constexpr size_t kOwnerTakes = 64;    // ready steps taken at one look

  private:
    class Walker;
    struct ScanMemory {
        explicit ScanMemory(CheckPipeline& pipeline)
            : textures(pipeline.m_Folders, pipeline.m_LibraryRoot) {}
        std::string bytes;
        ItemFileScanner scanner;
        TextureLookup textures;
        std::string stamp;  // the item stamp of stampTime
        std::int64_t stampTime = 0;
    };

    Step& At(std::uint64_t index) { return m_Steps[index % m_Steps.size()]; }
    // Called by the walker: waits for room, lets fill set up the step, then
    // publishes it. False when the pipeline is stopping.
    template <typename Fill>
    bool Publish(Fill fill);
    // Under the lock: publishes the steps the walker has filled.
    void MakePublic();
    void RunWalker();
    void RunWorker();
    // Under the lock: claims up to count files from m_Claimed on; gives the
    // indexes claimed.
    size_t Claim(std::uint64_t* claimed, size_t count);
    void ReadAndScan(Step& step, ScanMemory& memory);
    // Under the lock: whether the owner, waiting, should be woken.
    bool OwnerShouldWake();
    void Stop();

    platform::FileSystem& m_Fs;
    FolderCache& m_Folders;
    const std::string m_LibraryRoot;
    std::atomic<int> m_OpenFolders{0};  // held open by the steps, see Walker
    std::vector<Step> m_Steps;          // a ring: step i in slot i % size

    std::mutex m_Lock;                   // over everything below, and the steps' m_Done
    std::condition_variable m_WorkToDo;  // workers wait for files to claim
    std::condition_variable m_StepDone;  // the owner waits for its next step
    std::condition_variable m_RoomMade;  // the walker waits for room
    std::uint64_t m_Published = 0;       // steps published
    std::uint64_t m_Claimed = 0;         // steps before this are claimed or no files
    std::uint64_t m_Taken = 0;           // steps before this are the walker's again
    bool m_HaveStep = false;             // the owner holds step m_OwnerAt
    bool m_OwnerWaits = false;
    bool m_WalkerWaits = false;
    unsigned m_WorkersWaiting = 0;
    bool m_Stopping = false;

    // The walker's own: steps filled (published or not), and the end of the
    // room it knows of.
    std::uint64_t m_Filled = 0;
    std::uint64_t m_RoomUntil = 0;
    // The owner's own: the step it holds, and the end of the steps it knows
    // to be ready.
    std::uint64_t m_OwnerAt = 0;
    std::uint64_t m_ReadyUntil = 0;

    ScanMemory m_OwnerMemory{*this};
    std::vector<std::thread> m_Threads;  // the walker first, then the workers
};

// How many workers a check uses when asked for jobs (0: as many as the
// machine has cores, and at least two, so that reads overlap even on one).
unsigned CheckWorkers(unsigned jobs);

}  // namespace corvane
