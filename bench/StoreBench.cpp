// Load on the store server: GETs of a 1 KiB file, a new connection per request, from 32
// clients at once; then GETs of a 10 MiB file. It starts its own server (a copy of the
// program in a folder of its own, on a free loopback port), and prints requests per
// second, MB/s and the server's processor time per request from /proc/<pid>/stat.
//
//   store_bench [--seconds N] [--clients N] [--program path/to/pelorin]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kSmallSize = 1024;
constexpr std::size_t kBigSize = 10u << 20;
constexpr std::size_t kAnswerHeadSize =
    sizeof(
        "HTTP/1.0 200 OK\r\nServer: Pelorin/0.1\r\nContent-Type: text/plain\r\n"
        "Connection: Close\r\n\r\n") -
    1;

struct Options {
    double seconds = 5;
    int clients = 32;
    std::string program = PELORIN_PROGRAM_FILE;
};

Options ReadOptions(int argc, char** argv) {
    Options options;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        const std::string value = argv[i + 1];
        if (name == "--seconds") options.seconds = std::clamp(std::stod(value), 0.5, 120.0);
        if (name == "--clients") options.clients = std::clamp(std::stoi(value), 1, 256);
        if (name == "--program") options.program = value;
    }
    return options;
}

sockaddr_in Loopback(std::uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

std::uint16_t FreePort() {
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = Loopback(0);
    bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
    close(s);
    return ntohs(address.sin_port);
}

// One request on a new connection; the number of answer bytes, or -1 when it failed.
long long Get(std::uint16_t port, const std::string& request) {
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    if (s < 0) return -1;
    timeval limit{10, 0};  // a stuck server ends the request, not the bench
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    sockaddr_in address = Loopback(port);
    long long received = -1;
    if (connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        send(s, request.data(), request.size(), MSG_NOSIGNAL) ==
            static_cast<ssize_t>(request.size())) {
        static thread_local std::vector<char> buffer(1 << 16);
        received = 0;
        for (;;) {
            const ssize_t n = recv(s, buffer.data(), buffer.size(), 0);
            if (n == 0) break;
            if (n < 0) {
                received = -1;
                break;
            }
            received += n;
        }
    }
    close(s);
    return received;
}

// The server's user and system time so far, in seconds.
double ProcessorSeconds(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // Fields after the command name, which stands in parentheses and may hold spaces.
    std::istringstream fields(all.substr(all.rfind(')') + 2));
    std::string field;
    unsigned long long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14) utime = std::stoull(field);
        if (i == 15) stime = std::stoull(field);
    }
    return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

struct Server {
    pid_t pid = -1;
    std::uint16_t port = 0;
    fs::path folder;
};

bool StartServer(const Options& options, Server& server) {
    char pattern[] = "/tmp/pelorin-bench-XXXXXX";
    if (mkdtemp(pattern) == nullptr) return false;
    server.folder = pattern;
    const fs::path program = server.folder / "pelorin";
    fs::copy_file(options.program, program);
    fs::create_directory(server.folder / "data");
    std::ofstream(server.folder / "data" / "small", std::ios::binary)
        << std::string(kSmallSize, 's');
    std::ofstream(server.folder / "data" / "big", std::ios::binary) << std::string(kBigSize, 'b');
    server.port = FreePort();
    const std::string port = "/PORT" + std::to_string(server.port);
    server.pid = fork();
    if (server.pid == 0) {
        freopen("/dev/null", "r", stdin);  // no terminal: no keyboard commands
        freopen("/dev/null", "w", stdout);
        execl(program.c_str(), program.c_str(), port.c_str(), "/START", nullptr);
        _exit(127);
    }
    for (int i = 0; i < 250; ++i) {  // up to 5 s until it listens
        if (Get(server.port, "DIR /x HTTP/1.0\r\n\r\n") > 0) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

void StopServer(Server& server) {
    if (server.pid > 0) {
        kill(server.pid, SIGTERM);
        waitpid(server.pid, nullptr, 0);
    }
    std::error_code ignored;
    fs::remove_all(server.folder, ignored);
}

struct Result {
    long long requests = 0;
    long long failures = 0;
    long long bytes = 0;
    double seconds = 0;
    double serverSeconds = 0;
};

// `clients` threads each send the request on new connections until the time is up.
Result Run(const Server& server, const std::string& request, std::size_t expected, int clients,
           double seconds) {
    std::atomic<long long> requests{0}, failures{0}, bytes{0};
    const double cpuBefore = ProcessorSeconds(server.pid);
    const auto start = Clock::now();
    const auto end =
        start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    std::vector<std::thread> threads;
    for (int i = 0; i < clients; ++i) {
        threads.emplace_back([&] {
            while (Clock::now() < end) {
                const long long n = Get(server.port, request);
                if (n == static_cast<long long>(kAnswerHeadSize + expected)) {
                    ++requests;
                    bytes += n;
                } else {
                    ++failures;
                }
            }
        });
    }
    for (auto& t : threads) t.join();
    Result result;
    result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    result.serverSeconds = ProcessorSeconds(server.pid) - cpuBefore;
    result.requests = requests;
    result.failures = failures;
    result.bytes = bytes;
    return result;
}

void Print(const char* title, const Result& r) {
    const double perSecond = static_cast<double>(r.requests) / r.seconds;
    const double megabytes = static_cast<double>(r.bytes) / 1e6 / r.seconds;
    const double cpuMs =
        r.requests == 0 ? 0 : r.serverSeconds * 1000 / static_cast<double>(r.requests);
    std::printf(
        "%s\n  %lld requests (%lld failed) in %.2f s: %.0f requests/s, %.1f MB/s, "
        "server processor time %.3f ms/request\n",
        title, r.requests, r.failures, r.seconds, perSecond, megabytes, cpuMs);
}

}  // namespace

int main(int argc, char** argv) {
    const Options options = ReadOptions(argc, argv);
    Server server;
    if (!StartServer(options, server)) {
        std::fprintf(stderr, "store_bench: the server %s did not start\n", options.program.c_str());
        StopServer(server);
        return 1;
    }
    std::printf("server pid %d on 127.0.0.1:%u, %.1f s per run\n", static_cast<int>(server.pid),
                server.port, options.seconds);
    Print(("GET of a 1 KiB file, new connection per request, " + std::to_string(options.clients) +
           " clients")
              .c_str(),
          Run(server, "GET /small HTTP/1.0\r\n\r\n", kSmallSize, options.clients, options.seconds));
    Print("GET of a 10 MiB file, 1 client",
          Run(server, "GET /big HTTP/1.0\r\n\r\n", kBigSize, 1, options.seconds));
    StopServer(server);
    return 0;
}
