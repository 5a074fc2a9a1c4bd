// corvane-bench: times check runs on a library against the read-only floors
// (one thread and two), in one process, and prints one row of the benchmark
// table.
//
// Usage: corvane-bench [--runs N] [--cold] [--jobs J] LIBRARY_ROOT
//                                                         one table row
//        corvane-bench --header                           the table's heading
//        corvane-bench --check-only N [--jobs J] ROOT     N check runs, nothing
//                                                         else (for a profiler)
//
// --cold empties the page cache before every timed run (root only, through
// /proc/sys/vm/drop_caches); otherwise a first pass warms it.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/floor.h"
#include "bench/library_gen.h"
#include "commands/commands.h"
#include "platform/system.h"
#include "report/html_report.h"

namespace {

using corvane::bench::CountingFileSystem;
using corvane::bench::FloorResult;
using corvane::bench::ReadLibraryFiles;
using corvane::bench::ReadLibraryFilesOnThreads;
namespace platform = corvane::platform;

class SilentProgress final : public corvane::ProgressObserver {
  public:
    void Status(const std::string&) override {}
};

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double TimeCheck(const std::string& root, platform::FileSystem& fs, unsigned jobs = 0) {
    SilentProgress progress;
    Clock::time_point start = Clock::now();
    corvane::CheckAndWriteReport(root, progress, {.fs = &fs, .jobs = jobs});
    return SecondsSince(start);
}

// Writes the dirty pages out and drops the page cache, so that the next run
// reads from the disk.
bool DropCaches() {
    ::sync();
    std::FILE* drop = std::fopen("/proc/sys/vm/drop_caches", "w");
    if (!drop) return false;
    bool done = std::fputs("3\n", drop) >= 0;
    return std::fclose(drop) == 0 && done;
}

// The CPU time this process has had so far, on all its threads.
double CpuSeconds() {
    struct rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// The peak memory of one check run alone, in a process of its own: this
// process's peak holds the floors' buffers and what earlier runs left in the
// allocator. Called before any other run, since the child starts with what
// this process holds.
double CheckPeakMiB(const std::string& root, unsigned jobs) {
    const pid_t child = ::fork();
    if (child < 0) return 0;
    if (child == 0) {
        try {
            TimeCheck(root, platform::RealFileSystem(), jobs);
        } catch (...) {
            ::_exit(1);
        }
        ::_exit(0);
    }
    int status = 0;
    struct rusage usage {};
    if (::wait4(child, &status, 0, &usage) != child || status != 0) return 0;
    return double(usage.ru_maxrss) / 1024.0;  // KiB on Linux
}

int Fail(const std::string& problem) {
    std::fprintf(stderr, "corvane-bench: %s\n", problem.c_str());
    return 1;
}

int Bench(const std::string& root, int runs, bool cold, unsigned jobs) {
    platform::FileSystem& fs = platform::RealFileSystem();

    const double peakMiB = CheckPeakMiB(root, jobs);

    // The first pass of each warms the page cache and checks that the check
    // run reads exactly the files that the floor reads.
    FloorResult floor = ReadLibraryFiles(fs, root);
    CountingFileSystem counting(fs);
    TimeCheck(root, counting);
    if (counting.Reads() != floor.files || counting.ReadBytes() != floor.bytes) {
        return Fail("the check run read " + std::to_string(counting.Reads()) + " files (" +
                    std::to_string(counting.ReadBytes()) + " bytes), the floor " +
                    std::to_string(floor.files) + " (" + std::to_string(floor.bytes) + ")");
    }
    if (fs.KindOf(root + corvane::kReportName) != platform::EntryKind::kFile) {
        return Fail("the check run wrote no report in " + root);
    }
    corvane::bench::Manifest manifest = corvane::bench::ReadManifest(root);
    if (manifest.files != 0 && manifest.files != floor.files) {
        return Fail("the manifest lists " + std::to_string(manifest.files) +
                    " library files, the floor read " + std::to_string(floor.files));
    }

    // Each kind of run in turn, so that a slow spell of the machine falls on
    // all of them alike.
    std::vector<double> check, serial, floor1, floor2, checkCpu, floorCpu;
    auto timed = [&](std::vector<double>& times, std::vector<double>* cpu, auto run) {
        if (cold && !DropCaches()) throw std::runtime_error("cannot drop the page cache");
        const double cpuStart = CpuSeconds();
        Clock::time_point start = Clock::now();
        run();
        times.push_back(SecondsSince(start));
        if (cpu) cpu->push_back(CpuSeconds() - cpuStart);
    };
    for (int i = 0; i < runs; ++i) {
        timed(floor1, &floorCpu, [&] { ReadLibraryFiles(fs, root); });
        timed(floor2, nullptr, [&] { ReadLibraryFilesOnThreads(fs, root, 2); });
        timed(check, &checkCpu, [&] { TimeCheck(root, fs, jobs); });
        timed(serial, nullptr, [&] { TimeCheck(root, fs, 1); });
    }
    double checkTime = Median(check);
    double floor1Time = Median(floor1);
    double floor2Time = Median(floor2);
    double items = double(manifest.items);
    std::printf(
        "| %7lld | %9lld | %6.1f | %7.3f | %8.3f | %7.3f | %10.3f | %5.2f | %8.2f | %9.2f | %7.2f "
        "| %8.1f |\n",
        (long long)floor.files, (long long)manifest.items, double(floor.bytes) / (1024.0 * 1024.0),
        checkTime, Median(serial), floor1Time, floor2Time, checkTime / floor1Time,
        checkTime / floor2Time, Median(checkCpu) / Median(floorCpu),
        checkTime * 1e6 / std::max(items, 1.0), peakMiB);
    return 0;
}

int Usage() {
    std::fputs(
        "Usage: corvane-bench [--runs N] [--cold] [--jobs J] LIBRARY_ROOT\n"
        "       corvane-bench --header\n"
        "       corvane-bench --check-only N [--jobs J] LIBRARY_ROOT\n",
        stderr);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    int runs = 5;
    int checkOnly = 0;
    int jobs = 0;
    bool cold = false;
    std::string root;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--header") {
            std::puts(
                "|   files |     items |    MiB | check s | jobs 1 s | floor s | floor 2T s | "
                "ratio | ratio 2T | CPU ratio | µs/item | peak MiB |\n"
                "|--------:|----------:|-------:|--------:|---------:|--------:|-----------:|"
                "------:|---------:|----------:|--------:|---------:|");
            return 0;
        }
        if (arg == "--runs" && i + 1 < argc) {
            runs = std::atoi(argv[++i]);
        } else if (arg == "--check-only" && i + 1 < argc) {
            checkOnly = std::atoi(argv[++i]);
        } else if (arg == "--jobs" && i + 1 < argc) {
            jobs = std::atoi(argv[++i]);
        } else if (arg == "--cold") {
            cold = true;
        } else if (root.empty() && !arg.empty() && arg[0] != '-') {
            root = arg;
        } else {
            return Usage();
        }
    }
    if (root.empty() || runs < 1 || checkOnly < 0 || jobs < 0) return Usage();
    try {
        root = platform::WithTrailingSeparator(platform::AbsolutePath(root));
        if (checkOnly > 0) {
            for (int i = 0; i < checkOnly; ++i) {
                TimeCheck(root, platform::RealFileSystem(), unsigned(jobs));
            }
            return 0;
        }
        return Bench(root, runs, cold, unsigned(jobs));
    } catch (const std::exception& error) {
        return Fail(error.what());
    }
}
