// How a download behind the progress page loads the host: a 50 MB file from the local
// catalogue service, once throttled to about 10 MB/s and once at full speed, stepped by the
// progress page exactly as in the host, and once with a plain blocking libcurl transfer for
// comparison. Prints the add-on's CPU time as a share of wall time, the number of progress
// steps, the throughput against plain libcurl and the peak memory growth.
#include "DownloadManager.hpp"
#include "LocalService.hpp"

#include "DevHost/Host.hpp"
#include "DevHost/ScriptedPages.hpp"

#include <curl/curl.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

extern "C" GSErrCode GetExportedFuncAddrs(API_AddOnExports* exports);
extern "C" GSErrCode SetImportedFuncAddrs(const API_HostTable* table, size_t tableSize);

namespace {

constexpr const char* FilePath = "/files/generated/50MB.bin";
constexpr double FileBytes = 50.0 * 1024 * 1024;
constexpr int Rounds = 3;

struct Usage {
    double wallSeconds = 0;
    double cpuSeconds = 0;
    long peakKiB = 0;
};

Usage Now()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; };
    return {std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(),
            seconds(usage.ru_utime) + seconds(usage.ru_stime), usage.ru_maxrss};
}

struct Run {
    bool ok = false;
    double wallSeconds = 0;
    double cpuSeconds = 0;
    size_t steps = 0;
};

size_t ProgressSteps(const DevHost::ScriptedPages& pages)
{
    size_t steps = 0;
    for (const auto& script : pages.Evaluated())
        steps += script.rfind("setProgress(", 0) == 0 ? 1 : 0;
    return steps;
}

Run ThroughTheProgressPage(const std::string& url, const std::string& target, const DevHost::ScriptedPages& pages)
{
    const size_t stepsBefore = ProgressSteps(pages);
    std::string address = url;
    std::string path = target;
    const Usage before = Now();
    const GSErrCode result = DownloadManager::getInstance().Download(address.data(), path.data());
    const Usage after = Now();
    Run run {result == NoError && std::filesystem::file_size(target) == static_cast<uintmax_t>(FileBytes),
             after.wallSeconds - before.wallSeconds, after.cpuSeconds - before.cpuSeconds,
             ProgressSteps(pages) - stepsBefore};
    std::filesystem::remove(target);
    return run;
}

size_t WriteToFile(void* data, size_t size, size_t count, void* file)
{
    return std::fwrite(data, size, count, static_cast<FILE*>(file));
}

Run PlainLibcurl(const std::string& url, const std::string& target)
{
    FILE* file = std::fopen(target.c_str(), "wb");
    CURL* curl = curl_easy_init();
    if (file == nullptr || curl == nullptr)
        return {};
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, WriteToFile);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, file);
    const Usage before = Now();
    const CURLcode result = curl_easy_perform(curl);
    const Usage after = Now();
    curl_easy_cleanup(curl);
    std::fclose(file);
    Run run {result == CURLE_OK, after.wallSeconds - before.wallSeconds, after.cpuSeconds - before.cpuSeconds, 0};
    std::filesystem::remove(target);
    return run;
}

void Print(const char* label, const Run& run)
{
    std::printf("%-34s %s  wall %6.2f s  CPU %6.3f s (%5.2f %% of wall)  %7.1f MB/s  %6zu progress steps\n", label,
                run.ok ? "ok    " : "FAILED", run.wallSeconds, run.cpuSeconds,
                run.wallSeconds > 0 ? 100.0 * run.cpuSeconds / run.wallSeconds : 0.0,
                run.wallSeconds > 0 ? FileBytes / run.wallSeconds / 1e6 : 0.0, run.steps);
}

}  // namespace

int main()
{
    kordela::test::LocalService::Options options;
    options.logFile = "/dev/null";
    kordela::test::LocalService service(options);
    if (!service.Running()) {
        std::fprintf(stderr, "the local catalogue service did not start\n");
        return 1;
    }
    setenv("KORDELA_SERVICE_ORIGIN", service.Origin().c_str(), 1);

    DevHost::Host host(DevHost::Options {});
    if (const std::string problem = host.Attach(GetExportedFuncAddrs, SetImportedFuncAddrs, KORDELA_RESOURCES_DIR, "add-on");
        !problem.empty()) {
        std::fprintf(stderr, "%s\n", problem.c_str());
        return 1;
    }
    DevHost::ScriptedPages pages;
#if KORDELA_HOST_VERSION != 18
    pages.AddStep("/CadApplication/ProgressDialog", {DevHost::PageStep::Kind::Post, R"({"functionName":"downloadProgress"})", {}});
#endif
    host.modalDriver = [&pages](short) { pages.RunPending(); };

    const std::string url = service.Url(FilePath);
    const std::string target = host.ProfileFolder() + "/benchmark.bin";
    const long peakBefore = Now().peakKiB;

    service.SetFault(FilePath, "throttle", {{"bytes_per_second", 10000000}});
    const Run throttled = ThroughTheProgressPage(url, target, pages);
    service.Reset();
    // Full speed depends on the machine's load; alternating runs and keeping the best of
    // each side compares the two under the same conditions.
    Run unthrottled;
    Run plain;
    for (int round = 0; round < Rounds; ++round) {
        const Run stepped = ThroughTheProgressPage(url, target, pages);
        if (round == 0 || (stepped.ok && stepped.wallSeconds < unthrottled.wallSeconds))
            unthrottled = stepped;
        const Run direct = PlainLibcurl(url, target);
        if (round == 0 || (direct.ok && direct.wallSeconds < plain.wallSeconds))
            plain = direct;
    }
    const long peakAfter = Now().peakKiB;

    std::printf("download of %s (%.0f MB), host %d build\n", FilePath, FileBytes / 1024 / 1024, KORDELA_HOST_VERSION);
    Print("progress page, throttled 10 MB/s", throttled);
    Print("progress page, full speed (best)", unthrottled);
    Print("plain libcurl, full speed (best)", plain);
    const double ratio = unthrottled.wallSeconds > 0 ? plain.wallSeconds / unthrottled.wallSeconds : 0;
    const double growthMiB = static_cast<double>(peakAfter - peakBefore) / 1024.0;
    std::printf("CPU share throttled: %.2f %% (target < 5 %%)\n",
                throttled.wallSeconds > 0 ? 100.0 * throttled.cpuSeconds / throttled.wallSeconds : 0.0);
    std::printf("throughput against plain libcurl: %.2fx (target >= 0.95x)\n", ratio);
    std::printf("peak memory growth over all downloads: %.1f MiB for a %.0f MiB file (%.1f %%)\n", growthMiB,
                FileBytes / 1024 / 1024, 100.0 * growthMiB * 1024 * 1024 / FileBytes);
    return throttled.ok && unthrottled.ok && plain.ok ? 0 : 1;
}
