// How a download behind the progress page loads the host, against a plain blocking libcurl
// transfer with the same receive buffer and transfer options, from generated files of the
// local catalogue service (which writes them a page at a time, faster than a disk):
//   - 50 MB throttled to 10 MB/s through the progress page: the add-on's CPU time as a share
//     of wall time and the number of progress steps;
//   - full speed, in alternating rounds (the add-on first in one round, plain libcurl first in
//     the next): the throughput ratio round by round, min/median/max;
//   - one download of 1 GB through the progress page: the peak memory growth.
//
//   download_benchmark [--rounds N] [--size NAME]   (NAME as the service spells it, 1GB by default)
#include "DownloadManager.hpp"
#include "LocalService.hpp"
#include "Spread.hpp"

#include "DevHost/Host.hpp"
#include "DevHost/ScriptedPages.hpp"

#include <curl/curl.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

extern "C" GSErrCode GetExportedFuncAddrs(API_AddOnExports* exports);
extern "C" GSErrCode SetImportedFuncAddrs(const API_HostTable* table, size_t tableSize);

namespace {

constexpr const char* ThrottledFile = "/files/generated/50MB.bin";
constexpr const char* LargeFile = "/files/generated/1GB.bin";
// The add-on's receive buffer; the plain transfer gets the same.
constexpr long ReceiveBufferBytes = 512 * 1024;

struct Usage {
    double wallSeconds = 0;
    double cpuSeconds = 0;
    long peakKiB = 0;
};

Usage Now()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return {std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(),
            seconds(usage.ru_utime) + seconds(usage.ru_stime), usage.ru_maxrss};
}

struct Run {
    bool ok = false;
    double bytes = 0;
    double wallSeconds = 0;
    double cpuSeconds = 0;
    size_t steps = 0;
    double MBps() const { return wallSeconds > 0 ? bytes / wallSeconds / 1e6 : 0; }
};

size_t ProgressSteps(const DevHost::ScriptedPages& pages)
{
    size_t steps = 0;
    for (const auto& script : pages.Evaluated())
        steps += script.rfind("setProgress(", 0) == 0 ? 1 : 0;
    return steps;
}

uintmax_t SizeOf(const std::string& file)
{
    std::error_code ec;
    const uintmax_t size = std::filesystem::file_size(file, ec);
    return ec ? 0 : size;
}

Run ThroughTheProgressPage(const std::string& url, uintmax_t expected, const std::string& target,
                           const DevHost::ScriptedPages& pages)
{
    const size_t stepsBefore = ProgressSteps(pages);
    std::string address = url;
    std::string path = target;
    const Usage before = Now();
    const GSErrCode result = DownloadManager::getInstance().Download(address.data(), path.data());
    const Usage after = Now();
    Run run {result == NoError && SizeOf(target) == expected, static_cast<double>(expected),
             after.wallSeconds - before.wallSeconds, after.cpuSeconds - before.cpuSeconds,
             ProgressSteps(pages) - stepsBefore};
    std::filesystem::remove(target);
    return run;
}

size_t WriteToFile(void* data, size_t size, size_t count, void* file)
{
    return std::fwrite(data, size, count, static_cast<FILE*>(file));
}

Run PlainLibcurl(const std::string& url, uintmax_t expected, const std::string& target)
{
    FILE* file = std::fopen(target.c_str(), "wb");
    CURL* curl = curl_easy_init();
    if (file == nullptr || curl == nullptr)
        return {};
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_ACCEPT_ENCODING, "gzip, deflate");
    curl_easy_setopt(curl, CURLOPT_BUFFERSIZE, ReceiveBufferBytes);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, WriteToFile);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, file);
    const Usage before = Now();
    const CURLcode result = curl_easy_perform(curl);
    std::fclose(file);
    const Usage after = Now();
    curl_easy_cleanup(curl);
    Run run {result == CURLE_OK && SizeOf(target) == expected, static_cast<double>(expected),
             after.wallSeconds - before.wallSeconds, after.cpuSeconds - before.cpuSeconds, 0};
    std::filesystem::remove(target);
    return run;
}

void Print(const char* label, const Run& run)
{
    std::printf("%-34s %s  %6.0f MB  wall %6.2f s  CPU %6.3f s (%5.2f %% of wall)  %7.1f MB/s  %6zu progress steps\n",
                label, run.ok ? "ok    " : "FAILED", run.bytes / 1e6, run.wallSeconds, run.cpuSeconds,
                run.wallSeconds > 0 ? 100.0 * run.cpuSeconds / run.wallSeconds : 0.0, run.MBps(), run.steps);
}

// The size a generated file's name gives, as the service reads it.
uintmax_t GeneratedSize(const std::string& path)
{
    const std::string name = path.substr(path.rfind('/') + 1);
    const uintmax_t count = std::strtoull(name.c_str(), nullptr, 10);
    const std::string unit = name.substr(name.find_first_not_of("0123456789"));
    return unit == "GB.bin" ? count << 30 : unit == "MB.bin" ? count << 20 : unit == "KB.bin" ? count << 10 : count;
}

}  // namespace

int main(int argc, char** argv)
{
    int rounds = 5;
    std::string fullSpeedFile = "/files/generated/1GB.bin";
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string arg = argv[i];
        if (arg == "--rounds")
            rounds = std::max(1, std::atoi(argv[i + 1]));
        else if (arg == "--size")
            fullSpeedFile = std::string("/files/generated/") + argv[i + 1] + ".bin";
    }

    kordela::test::LocalService::Options options;
    options.logFile = "/dev/null";
    kordela::test::LocalService service(options);
    if (!service.Running()) {
        std::fprintf(stderr, "the local catalogue service did not start\n");
        return 1;
    }
    setenv("KORDELA_SERVICE_ORIGIN", service.Origin().c_str(), 1);

    DevHost::Host host(DevHost::Options {});
    if (const std::string problem =
            host.Attach(GetExportedFuncAddrs, SetImportedFuncAddrs, KORDELA_RESOURCES_DIR, "add-on");
        !problem.empty()) {
        std::fprintf(stderr, "%s\n", problem.c_str());
        return 1;
    }
    DevHost::ScriptedPages pages;
#if KORDELA_HOST_VERSION != 18
    pages.AddStep("/CadApplication/ProgressDialog",
                  {DevHost::PageStep::Kind::Post, R"({"functionName":"downloadProgress"})", {}});
#endif
    host.modalDriver = [&pages](short) { pages.RunPending(); };
    const std::string target = host.ProfileFolder() + "/benchmark.bin";
    std::printf(
        "downloads from the local service, host %d build; the plain transfer has the same %ld KiB buffer, "
        "content decoding and redirects\n",
        KORDELA_HOST_VERSION, ReceiveBufferBytes / 1024);
    bool ok = true;

    // Memory first, so that the peak before it is the program's own.
    const long peakBefore = Now().peakKiB;
    const Run large = ThroughTheProgressPage(service.Url(LargeFile), GeneratedSize(LargeFile), target, pages);
    const double growthMiB = static_cast<double>(Now().peakKiB - peakBefore) / 1024.0;
    Print("progress page, 1 GB", large);
    std::printf("  peak memory growth: %.1f MiB for %.0f MB (target <= 10 MB)\n", growthMiB, large.bytes / 1e6);
    ok = ok && large.ok;

    service.SetFault(ThrottledFile, "throttle", {{"bytes_per_second", 10000000}});
    const Run throttled =
        ThroughTheProgressPage(service.Url(ThrottledFile), GeneratedSize(ThrottledFile), target, pages);
    service.Reset();
    Print("progress page, throttled 10 MB/s", throttled);
    std::printf("  CPU share: %.2f %% of wall time (target <= 5 %%)\n",
                throttled.wallSeconds > 0 ? 100.0 * throttled.cpuSeconds / throttled.wallSeconds : 0.0);
    ok = ok && throttled.ok;

    // Full speed depends on the machine's load: the two sides take turns, and each round's
    // ratio compares them under the same conditions.
    const std::string url = service.Url(fullSpeedFile);
    const uintmax_t size = GeneratedSize(fullSpeedFile);
    std::vector<double> stepped;
    std::vector<double> direct;
    std::vector<double> ratios;
    for (int round = 0; round < rounds; ++round) {
        Run runs[2];
        for (int turn = 0; turn < 2; ++turn) {
            const bool addOnTurn = (turn == 0) == (round % 2 == 0);
            runs[addOnTurn ? 0 : 1] =
                addOnTurn ? ThroughTheProgressPage(url, size, target, pages) : PlainLibcurl(url, size, target);
        }
        ok = ok && runs[0].ok && runs[1].ok;
        stepped.push_back(runs[0].MBps());
        direct.push_back(runs[1].MBps());
        ratios.push_back(runs[1].MBps() > 0 ? runs[0].MBps() / runs[1].MBps() : 0);
        std::printf("  round %d: progress page %7.1f MB/s (%zu steps), plain libcurl %7.1f MB/s\n", round + 1,
                    runs[0].MBps(), runs[0].steps, runs[1].MBps());
    }
    const Spread s = SpreadOf(stepped);
    const Spread d = SpreadOf(direct);
    const Spread r = SpreadOf(ratios);
    std::printf("full speed, %s, %d rounds (min / median / max)\n", fullSpeedFile.c_str(), rounds);
    std::printf("  progress page   %8.1f %8.1f %8.1f MB/s\n", s.min, s.median, s.max);
    std::printf("  plain libcurl   %8.1f %8.1f %8.1f MB/s\n", d.min, d.median, d.max);
    std::printf("  ratio           %8.2f %8.2f %8.2f   (target: median >= 0.95)\n", r.min, r.median, r.max);
    return ok ? 0 : 1;
}
