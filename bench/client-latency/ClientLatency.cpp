// client-latency: what one store call costs the caller. Each call waits for the 100 ms
// request delay and the server's answer; the caller's thread sleeps in its message queue
// meanwhile, so its processor time per call should stay near zero.
//
//   client-latency --port N [--calls N]
//
// Needs a store server listening on the port (see README.md). Prints the figures and
// asserts nothing.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "client/PelorinClient.h"
#include "platform/ProcessorTime.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Sample {
    double wallMs = 0;
    double processorMs = 0;
};

Sample Measure(const std::function<void()>& call) {
    const std::uint64_t processorStart = pelorin::platform::ProcessorTimeMicroseconds();
    const Clock::time_point start = Clock::now();
    call();
    const auto wall = std::chrono::duration<double, std::milli>(Clock::now() - start);
    const std::uint64_t processor = pelorin::platform::ProcessorTimeMicroseconds() - processorStart;
    return Sample{wall.count(), static_cast<double>(processor) / 1000.0};
}

void Report(const char* label, std::vector<Sample> samples) {
    if (samples.empty()) return;
    std::sort(samples.begin(), samples.end(),
              [](const Sample& a, const Sample& b) { return a.wallMs < b.wallMs; });
    double processor = 0;
    double wall = 0;
    for (const Sample& s : samples) {
        processor += s.processorMs;
        wall += s.wallMs;
    }
    const auto n = static_cast<double>(samples.size());
    std::printf(
        "%-22s calls %3zu  wall ms: min %7.2f  median %7.2f  max %7.2f  "
        "processor ms/call %6.3f (%.2f%% of wall)\n",
        label, samples.size(), samples.front().wallMs, samples[samples.size() / 2].wallMs,
        samples.back().wallMs, processor / n, wall > 0 ? 100.0 * processor / wall : 0.0);
}

int Usage() {
    std::fprintf(stderr, "usage: client-latency --port N [--calls N]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    int port = 0;
    int calls = 20;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--port") {
            port = std::atoi(argv[i + 1]);
        } else if (option == "--calls") {
            calls = std::clamp(std::atoi(argv[i + 1]), 1, 1000);
        } else {
            return Usage();
        }
    }
    if (port <= 0 || argc % 2 == 0) return Usage();

    const std::string probe = "client-latency-probe";
    try {
        pelorin::PelorinClient client;
        client.SetPort(port);
        if (!client.DirFile(probe)) client.NewFile(probe);
        client.SetFile(probe, std::string(1024, 'x'));

        std::vector<Sample> dirFile, getFile, setFile;
        for (int i = 0; i < calls; ++i) {
            dirFile.push_back(Measure([&] { client.DirFile(probe); }));
            getFile.push_back(Measure([&] { client.GetFile(probe); }));
            setFile.push_back(Measure([&] { client.SetFile(probe, std::string(1024, 'y')); }));
        }
        client.DeleteFile(probe);

        std::printf("store calls on port %d (the request is written 100 ms after connecting)\n",
                    port);
        Report("DirFile (existing)", dirFile);
        Report("GetFile (1 KiB)", getFile);
        Report("SetFile (1 KiB)", setFile);
    } catch (const pelorin::PelorinClientError& e) {
        std::fprintf(stderr, "client-latency: error %d: %s (is a server listening on %d?)\n",
                     e.number(), e.what(), port);
        return 1;
    }
    return 0;
}
