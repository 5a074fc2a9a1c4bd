#include "audit/pipeline.h"

#include <algorithm>
#include <atomic>

#include "audit/item_stamp.h"
#include "audit/walk.h"
#include "platform/system.h"

namespace corvane {

using Kind = CheckPipeline::Step::Kind;

unsigned CheckWorkers(unsigned jobs) {
    if (jobs > 0) return jobs;
    unsigned cores = std::thread::hardware_concurrency();
    return cores < 2 ? 2 : cores;
}

namespace {

// Thrown through the walk when the pipeline stops before the walk ends.
struct Stopped {};

// A folder held open costs a descriptor as long as a step in the window
// names it. Past this many at once, folders are read by path, so that a
// window full of folders with one file each cannot run the process out of
// descriptors.
constexpr int kMostOpenFolders = 64;

}  // namespace

// Publishes the walk's steps as the walk meets them.
class CheckPipeline::Walker final : public WalkVisitor {
  public:
    explicit Walker(CheckPipeline& pipeline) : m_Pipeline(pipeline) {}

    void ShowFolder(const std::string& folder) override {
        Publish([&](Step& step) {
            step.kind = Kind::kFolder;
            step.path = folder;
        });
    }

    void LibraryFile(const std::string& folder, const std::string& name,
                     bool throughLink) override {
        if (!m_Folder || m_Folder->Path() != folder) m_Folder = Open(folder);
        Publish([&](Step& step) {
            step.kind = Kind::kFile;
            step.path.assign(folder).append(1, platform::kSeparator);
            step.m_NameAt = step.path.size();
            step.path += name;
            step.m_Folder = m_Folder;
            step.m_ThroughLink = throughLink;
        });
    }

    void Category(size_t index) {
        Publish([&](Step& step) {
            step.kind = Kind::kCategory;
            step.category = index;
        });
    }

    void End(std::exception_ptr error) {
        m_Folder.reset();
        Publish([&](Step& step) {
            step.kind = Kind::kEnd;
            step.record.error = error;
        });
    }

  private:
    template <typename Fill>
    void Publish(Fill fill) {
        if (!m_Pipeline.Publish(fill)) throw Stopped();
    }

    std::shared_ptr<const platform::OpenFolder> Open(const std::string& folder) {
        std::atomic<int>& open = m_Pipeline.m_OpenFolders;
        if (open.load() >= kMostOpenFolders) {
            return std::make_shared<platform::OpenFolder>(folder);
        }
        ++open;
        return std::shared_ptr<const platform::OpenFolder>(
            m_Pipeline.m_Fs.OpenFolderForReading(folder).release(),
            [count = &open](const platform::OpenFolder* folder) {
                delete folder;
                --*count;
            });
    }

    CheckPipeline& m_Pipeline;
    std::shared_ptr<const platform::OpenFolder> m_Folder;  // of the files being met
};

CheckPipeline::CheckPipeline(platform::FileSystem& fs, FolderCache& folders,
                             std::string libraryRoot, unsigned workers, size_t window)
    : m_Fs(fs),
      m_Folders(folders),
      m_LibraryRoot(std::move(libraryRoot)),
      m_Steps(window < 2 ? 2 : window) {
    try {
        m_Threads.emplace_back([this] { RunWalker(); });
        for (unsigned i = 0; i < (workers < 1 ? 1 : workers); ++i) {
            m_Threads.emplace_back([this] { RunWorker(); });
        }
    } catch (...) {
        Stop();
        throw;
    }
}

CheckPipeline::~CheckPipeline() {
    Stop();
}

void CheckPipeline::Stop() {
    {
        std::lock_guard<std::mutex> hold(m_Lock);
        m_Stopping = true;
    }
    m_WorkToDo.notify_all();
    m_RoomMade.notify_all();
    m_StepDone.notify_all();
    for (std::thread& thread : m_Threads) thread.join();
    m_Threads.clear();
}

template <typename Fill>
bool CheckPipeline::Publish(Fill fill) {
    if (m_Filled >= m_RoomUntil) {
        std::unique_lock<std::mutex> lock(m_Lock);
        MakePublic();
        if (m_Filled - m_Taken >= m_Steps.size()) {
            // The window is full: wait until half of it is free, so that the
            // walker wakes once per half window rather than once per step.
            if (m_WorkersWaiting > 0 && m_Claimed < m_Published) m_WorkToDo.notify_all();
            while (!m_Stopping && m_Filled - m_Taken > m_Steps.size() / 2) {
                m_WalkerWaits = true;
                m_RoomMade.wait(lock);
                m_WalkerWaits = false;
            }
        }
        if (m_Stopping) return false;
        m_RoomUntil = m_Taken + m_Steps.size();
    }
    // The slot is free: no one else looks at it until it is published.
    Step& step = At(m_Filled);
    step.m_Folder.reset();
    step.m_Done = false;
    step.record.Clear();
    fill(step);
    ++m_Filled;
    // Files are published a batch at a time; a folder or anything else at
    // once, with the files met before it, since the walker may take a while
    // to list the folder.
    if (step.kind != Kind::kFile || m_Filled - m_Published >= kBatch) {
        std::lock_guard<std::mutex> hold(m_Lock);
        if (m_Stopping) return false;
        MakePublic();
    }
    return true;
}

void CheckPipeline::MakePublic() {
    if (m_Published == m_Filled) return;
    const bool ended = At(m_Filled - 1).kind == Kind::kEnd;
    m_Published = m_Filled;
    // A sleeping worker is woken for a batch of files, not for each file;
    // the last files of the walk wake every worker.
    if (m_WorkersWaiting > 0) {
        const std::uint64_t unclaimed = m_Published - std::max(m_Claimed, m_Taken);
        if (ended || unclaimed >= 2 * kBatch) {
            m_WorkToDo.notify_all();
        } else if (unclaimed >= kBatch) {
            m_WorkToDo.notify_one();
        }
    }
    if (m_OwnerWaits && OwnerShouldWake()) m_StepDone.notify_one();
}

void CheckPipeline::RunWalker() {
    Walker walker(*this);
    try {
        LibraryWalk walk(m_Folders, m_Fs);
        for (size_t i = 0; i < std::size(kCategories); ++i) {
            walker.Category(i);
            walk.WalkCategory(walk.CategoryFolder(m_LibraryRoot, kCategories[i].title),
                              kCategories[i].pattern, walker);
        }
        walker.End(nullptr);
    } catch (const Stopped&) {
    } catch (...) {
        try {
            walker.End(std::current_exception());
        } catch (const Stopped&) {
        }
    }
}

size_t CheckPipeline::Claim(std::uint64_t* claimed, size_t count) {
    // The owner has passed steps that no worker looked at (it never waits for
    // the others); their slots may hold later steps by now.
    if (m_Claimed < m_Taken) m_Claimed = m_Taken;
    size_t n = 0;
    while (n < count && m_Claimed < m_Published) {
        if (At(m_Claimed).kind == Kind::kFile) claimed[n++] = m_Claimed;
        ++m_Claimed;
    }
    return n;
}

void CheckPipeline::RunWorker() {
    ScanMemory memory(*this);
    std::uint64_t claimed[kBatch];
    std::unique_lock<std::mutex> lock(m_Lock);
    while (!m_Stopping) {
        size_t count = Claim(claimed, kBatch);
        if (count == 0) {
            ++m_WorkersWaiting;
            m_WorkToDo.wait(lock);
            --m_WorkersWaiting;
            continue;
        }
        for (size_t i = 0; i < count; ++i) {
            Step& step = At(claimed[i]);
            lock.unlock();
            ReadAndScan(step, memory);
            lock.lock();
            step.m_Done = true;
            if (m_OwnerWaits && OwnerShouldWake()) m_StepDone.notify_one();
        }
    }
}

void CheckPipeline::ReadAndScan(Step& step, ScanMemory& memory) {
    try {
        std::string_view name = std::string_view(step.path).substr(step.m_NameAt);
        platform::FileFacts facts = m_Fs.ReadFileIn(*step.m_Folder, name, memory.bytes);
        // Files of one pack often share their time.
        if (memory.stamp.empty() || facts.lastWriteTime != memory.stampTime) {
            memory.stamp = ItemStamp(facts.lastWriteTime);
            memory.stampTime = facts.lastWriteTime;
        }
        step.record.stamp = memory.stamp;
        step.record.identity = facts.identity;
        step.record.throughLink = step.m_ThroughLink;
        memory.scanner.Scan(memory.bytes, step.record);
        memory.textures.Resolve(step.record, platform::FolderOf(step.path));
    } catch (...) {
        step.record.error = std::current_exception();
    }
    step.m_Folder.reset();
}

bool CheckPipeline::OwnerShouldWake() {
    // The owner is faster than the workers: woken for every file, it would
    // sleep again at once. It is woken when a few steps are ready.
    if (m_Taken >= m_Published) return false;
    const std::uint64_t end = std::min<std::uint64_t>(m_Taken + kOwnerWakesFor, m_Published);
    for (std::uint64_t i = m_Taken; i < end; ++i) {
        const Step& step = At(i);
        if (step.kind == Kind::kFile && !step.m_Done) return false;
    }
    return true;
}

const CheckPipeline::Step& CheckPipeline::Next() {
    if (m_HaveStep) {
        ++m_OwnerAt;
        // Steps found ready at the last look are taken without the lock.
        if (m_OwnerAt < m_ReadyUntil) return At(m_OwnerAt);
    }
    std::unique_lock<std::mutex> lock(m_Lock);
    m_Taken = m_OwnerAt;
    if (m_WalkerWaits && m_Published - m_Taken <= m_Steps.size() / 2) m_RoomMade.notify_one();
    const std::uint64_t index = m_Taken;
    for (;;) {
        if (index < m_Published) {
            Step& step = At(index);
            if (step.kind != Kind::kFile || step.m_Done) break;
            // Rather than wait while a worker reads the next file, read one
            // that no worker has claimed yet: this one when it is free, else
            // the first free one after it.
            std::uint64_t free;
            if (Claim(&free, 1) == 1) {
                Step& other = At(free);
                lock.unlock();
                ReadAndScan(other, m_OwnerMemory);
                lock.lock();
                other.m_Done = true;
                continue;
            }
        }
        m_OwnerWaits = true;
        m_StepDone.wait(lock);
        m_OwnerWaits = false;
    }
    // The steps after it that are ready now stay so: no one else writes a
    // published step once it is complete. A few at a time, so that the
    // walker gets its room back soon.
    m_ReadyUntil = index + 1;
    const std::uint64_t last = std::min<std::uint64_t>(index + kOwnerTakes, m_Published);
    while (m_ReadyUntil < last) {
        const Step& step = At(m_ReadyUntil);
        if (step.kind == Kind::kFile && !step.m_Done) break;
        ++m_ReadyUntil;
    }
    m_HaveStep = true;
    return At(index);
}

}  // namespace corvane
