// corvane-bench: times check runs on a library against the read-only floor,
// in one process, and prints one row of the benchmark table.
//
// Usage: corvane-bench [--runs N] LIBRARY_ROOT   one table row
//        corvane-bench --header                  the table's heading
//        corvane-bench --check-only N ROOT       N check runs, nothing else
//                                                (for a profiler)
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "bench/floor.h"
#include "bench/library_gen.h"
#include "platform/system.h"
#include "report/html_report.h"

namespace {

using corvane::bench::CountingFileSystem;
using corvane::bench::FloorResult;
using corvane::bench::ReadLibraryFiles;
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

double TimeCheck(const std::string& root, platform::FileSystem& fs) {
    SilentProgress progress;
    Clock::time_point start = Clock::now();
    corvane::CheckAndWriteReport(root, progress, fs);
    return SecondsSince(start);
}

double PeakMiB() {
    struct rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0;  // KiB on Linux
}

int Fail(const std::string& problem) {
    std::fprintf(stderr, "corvane-bench: %s\n", problem.c_str());
    return 1;
}

int Bench(const std::string& root, int runs) {
    platform::FileSystem& fs = platform::RealFileSystem();

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

    std::vector<double> checkTimes;
    std::vector<double> floorTimes;
    for (int i = 0; i < runs; ++i) {
        Clock::time_point start = Clock::now();
        ReadLibraryFiles(fs, root);
        floorTimes.push_back(SecondsSince(start));
        checkTimes.push_back(TimeCheck(root, fs));
    }
    double check = Median(checkTimes);
    double floorTime = Median(floorTimes);
    double items = double(manifest.items);
    std::printf("| %7lld | %9lld | %7.1f | %8.3f | %8.3f | %5.2f | %9.0f | %6.2f | %8.1f |\n",
                (long long)floor.files, (long long)manifest.items,
                double(floor.bytes) / (1024.0 * 1024.0), check, floorTime, check / floorTime,
                items / check, check * 1e6 / std::max(items, 1.0), PeakMiB());
    return 0;
}

int Usage() {
    std::fputs(
        "Usage: corvane-bench [--runs N] LIBRARY_ROOT\n"
        "       corvane-bench --header\n"
        "       corvane-bench --check-only N LIBRARY_ROOT\n",
        stderr);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    int runs = 5;
    int checkOnly = 0;
    std::string root;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--header") {
            std::puts(
                "|   files |     items |     MiB |  check s |  floor s | ratio |   items/s | "
                "µs/item | peak MiB |\n"
                "|--------:|----------:|--------:|---------:|---------:|------:|----------:|"
                "-------:|---------:|");
            return 0;
        }
        if (arg == "--runs" && i + 1 < argc) {
            runs = std::atoi(argv[++i]);
        } else if (arg == "--check-only" && i + 1 < argc) {
            checkOnly = std::atoi(argv[++i]);
        } else if (root.empty() && !arg.empty() && arg[0] != '-') {
            root = arg;
        } else {
            return Usage();
        }
    }
    if (root.empty() || runs < 1 || checkOnly < 0) return Usage();
    try {
        root = platform::WithTrailingSeparator(platform::AbsolutePath(root));
        if (checkOnly > 0) {
            for (int i = 0; i < checkOnly; ++i) TimeCheck(root, platform::RealFileSystem());
            return 0;
        }
        return Bench(root, runs);
    } catch (const std::exception& error) {
        return Fail(error.what());
    }
}
