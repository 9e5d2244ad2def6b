// How a download behind the progress page loads the host, against a plain blocking libcurl
// transfer with the same receive buffer and transfer options, from generated files of the
// local catalogue service (which writes them a page at a time, faster than a disk):
//   - one download of 1 GB through the progress page: the peak memory growth;
//   - 50 MB throttled to 10 MB/s through the progress page: the add-on's CPU time as a share
//     of wall time and the number of progress steps;
//   - full speed, in alternating rounds (the add-on first in one round, plain libcurl first in
//     the next): the throughput ratio round by round, min/median/max.
// A transfer that fails ends the program with exit code 1: its figures would measure nothing.
// Its options (the sizes and which parts run): download_benchmark --help.
#include "CommandLine.hpp"
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
#include <optional>
#include <string>
#include <vector>

extern "C" GSErrCode GetExportedFuncAddrs(API_AddOnExports* exports);
extern "C" GSErrCode SetImportedFuncAddrs(const API_HostTable* table, size_t tableSize);

namespace {

constexpr long ThrottledBytesPerSecond = 10000000;
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
    std::string failure;  // empty when the whole file arrived
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

// What is wrong with a transfer that ended with `problem` (empty when it said it succeeded).
std::string TransferFailure(const std::string& problem, const std::string& target, uintmax_t expected)
{
    if (!problem.empty())
        return problem;
    const uintmax_t size = SizeOf(target);
    return size == expected ? std::string()
                            : "it wrote " + std::to_string(size) + " bytes of " + std::to_string(expected);
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
    Run run {
        TransferFailure(result == NoError ? "" : "the add-on answered error " + DevHost::Hex(result), target, expected),
        static_cast<double>(expected), after.wallSeconds - before.wallSeconds, after.cpuSeconds - before.cpuSeconds,
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
    if (file == nullptr)
        return {"cannot write " + target};
    CURL* curl = curl_easy_init();
    if (curl == nullptr) {
        std::fclose(file);
        return {"libcurl did not start"};
    }
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(curl, CURLOPT_ACCEPT_ENCODING, "gzip, deflate");
    curl_easy_setopt(curl, CURLOPT_BUFFERSIZE, ReceiveBufferBytes);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, WriteToFile);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, file);
    const Usage before = Now();
    const CURLcode result = curl_easy_perform(curl);
    std::fclose(file);
    const Usage after = Now();
    curl_easy_cleanup(curl);
    Run run {TransferFailure(result == CURLE_OK ? "" : curl_easy_strerror(result), target, expected),
             static_cast<double>(expected), after.wallSeconds - before.wallSeconds,
             after.cpuSeconds - before.cpuSeconds, 0};
    std::filesystem::remove(target);
    return run;
}

void Print(const std::string& label, const Run& run)
{
    std::printf("%-36s %6.0f MB  wall %6.2f s  CPU %6.3f s (%5.2f %% of wall)  %7.1f MB/s  %6zu progress steps\n",
                label.c_str(), run.bytes / 1e6, run.wallSeconds, run.cpuSeconds,
                run.wallSeconds > 0 ? 100.0 * run.cpuSeconds / run.wallSeconds : 0.0, run.MBps(), run.steps);
}

// The size of a generated file the service serves under NAME.bin: a whole number of bytes,
// KiB, MiB or GiB (B, KB, MB, GB), of up to ten digits, at most 4 GiB. Nothing for a name it
// does not generate, nor for an empty file, which measures nothing.
std::optional<uintmax_t> GeneratedSize(const std::string& name)
{
    const size_t digits = name.find_first_not_of("0123456789");
    if (digits == 0 || digits == std::string::npos || digits > 10)
        return std::nullopt;
    const std::string unit = name.substr(digits);
    const int shift = unit == "GB" ? 30 : unit == "MB" ? 20 : unit == "KB" ? 10 : unit == "B" ? 0 : -1;
    const uintmax_t count = std::stoull(name.substr(0, digits));
    if (shift < 0 || count == 0 || count > (uintmax_t {4} << 30 >> shift))
        return std::nullopt;
    return count << shift;
}

bench::ReadValue SizeName(std::string& into)
{
    return [&into](const std::string& value) -> std::string {
        if (!GeneratedSize(value))
            return bench::Quoted(value) + " is not a size the service generates (1B to 4GB: a whole number and B, " +
                   "KB, MB or GB, as in 50MB)";
        into = value;
        return {};
    };
}

// A generated file as the service serves it.
struct Generated {
    std::string name;
    std::string path() const { return "/files/generated/" + name + ".bin"; }
    uintmax_t bytes() const { return GeneratedSize(name).value_or(0); }
};

int Failed(const std::string& what, const Run& run)
{
    std::fprintf(stderr, "download_benchmark: %s failed: %s\n", what.c_str(), run.failure.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv)
{
    int rounds = 5;
    Generated peakFile {"1GB"};
    Generated throttledFile {"50MB"};
    Generated fullSpeedFile {"1GB"};
    const std::vector<std::string> allParts = {"peak", "throttled", "full"};
    std::vector<std::string> parts = allParts;
    bench::CommandLine commandLine(
        "download_benchmark",
        R"([--parts LIST] [--peak-size SIZE] [--throttled-size SIZE] [--size SIZE] [--rounds N]
  --parts LIST            the parts to run, of peak, throttled and full (all three)
  --peak-size SIZE        peak: one download through the progress page, its peak memory
                          growth (1GB)
  --throttled-size SIZE   throttled: one download throttled to 10 MB/s through the progress
                          page, the add-on's CPU time as a share of wall time (50MB)
  --size SIZE             full: each round's download, through the progress page and plain
                          libcurl in turn (1GB)
  --rounds N              full: the rounds (5)
SIZE is the size of a file the local service generates: a whole number and B, KB, MB or GB
(bytes, KiB, MiB, GiB), from 1B to 4GB.
)");
    commandLine.Add("--parts", bench::List<std::string>(parts, [&allParts](const std::string& item, std::string& part) {
                        if (std::find(allParts.begin(), allParts.end(), item) == allParts.end())
                            return bench::Quoted(item) + " is not one of peak, throttled, full";
                        part = item;
                        return std::string();
                    }));
    commandLine.Add("--peak-size", SizeName(peakFile.name));
    commandLine.Add("--throttled-size", SizeName(throttledFile.name));
    commandLine.Add("--size", SizeName(fullSpeedFile.name));
    commandLine.Add("--rounds", bench::Count(rounds, 1));
    if (const auto exitCode = commandLine.Read(argc, argv))
        return *exitCode;
    const auto chosen = [&parts](const char* part) {
        return std::find(parts.begin(), parts.end(), part) != parts.end();
    };

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

    // Memory first, so that the peak before it is the program's own.
    if (chosen("peak")) {
        constexpr double MostGrowthMB = 10;
        const long peakBefore = Now().peakKiB;
        const Run large = ThroughTheProgressPage(service.Url(peakFile.path()), peakFile.bytes(), target, pages);
        const std::string label = "progress page, " + peakFile.name;
        if (!large.failure.empty())
            return Failed(label, large);
        const double growthMB = static_cast<double>(Now().peakKiB - peakBefore) * 1024 / 1e6;
        Print(label, large);
        std::printf("  peak memory growth: %.1f MB for %.0f MB (target: at most %.0f MB; %s)\n", growthMB,
                    large.bytes / 1e6, MostGrowthMB, Verdict(growthMB <= MostGrowthMB));
    }

    if (chosen("throttled")) {
        constexpr double MostCpuPercent = 5;
        service.SetFault(throttledFile.path(), "throttle", {{"bytes_per_second", ThrottledBytesPerSecond}});
        const Run throttled =
            ThroughTheProgressPage(service.Url(throttledFile.path()), throttledFile.bytes(), target, pages);
        service.Reset();
        const std::string label = "progress page, " + throttledFile.name + " at 10 MB/s";
        if (!throttled.failure.empty())
            return Failed(label, throttled);
        Print(label, throttled);
        const double cpuPercent =
            throttled.wallSeconds > 0 ? 100.0 * throttled.cpuSeconds / throttled.wallSeconds : 0.0;
        std::printf("  CPU share: %.2f %% of wall time (target: at most %.0f %%; %s)\n", cpuPercent, MostCpuPercent,
                    Verdict(cpuPercent <= MostCpuPercent));
    }

    if (!chosen("full"))
        return 0;
    // Full speed depends on the machine's load: the two sides take turns, and each round's
    // ratio compares them under the same conditions.
    constexpr double LeastRatio = 0.95;
    const std::string url = service.Url(fullSpeedFile.path());
    std::vector<double> stepped;
    std::vector<double> direct;
    std::vector<double> ratios;
    for (int round = 0; round < rounds; ++round) {
        Run runs[2];
        for (int turn = 0; turn < 2; ++turn) {
            const bool addOnTurn = (turn == 0) == (round % 2 == 0);
            Run& run = runs[addOnTurn ? 0 : 1];
            run = addOnTurn ? ThroughTheProgressPage(url, fullSpeedFile.bytes(), target, pages)
                            : PlainLibcurl(url, fullSpeedFile.bytes(), target);
            if (!run.failure.empty())
                return Failed("round " + std::to_string(round + 1) + ", " +
                                  (addOnTurn ? "progress page, " : "plain libcurl, ") + fullSpeedFile.name,
                              run);
        }
        stepped.push_back(runs[0].MBps());
        direct.push_back(runs[1].MBps());
        ratios.push_back(runs[1].MBps() > 0 ? runs[0].MBps() / runs[1].MBps() : 0);
        std::printf("  round %d: progress page %7.1f MB/s (%zu steps), plain libcurl %7.1f MB/s\n", round + 1,
                    runs[0].MBps(), runs[0].steps, runs[1].MBps());
    }
    const Spread s = SpreadOf(stepped);
    const Spread d = SpreadOf(direct);
    const Spread r = SpreadOf(ratios);
    std::printf("full speed, %s, %d rounds (min / median / max)\n", fullSpeedFile.name.c_str(), rounds);
    std::printf("  progress page   %8.1f %8.1f %8.1f MB/s\n", s.min, s.median, s.max);
    std::printf("  plain libcurl   %8.1f %8.1f %8.1f MB/s\n", d.min, d.median, d.max);
    std::printf("  ratio           %8.2f %8.2f %8.2f   (target: median at least %.2f; %s)\n", r.min, r.median, r.max,
                LeastRatio, Verdict(r.median >= LeastRatio));
    return 0;
}
