// Soak test of the store server: a long run of store commands of every kind over many
// concurrent connections, each answer checked byte for byte, and the server's resident
// memory compared between the end of a warm-up and the end of the run.
//
// It starts its own server (a copy of the program in a fresh folder under /tmp, on a free
// loopback port). Each worker owns a folder of its own with a few items, so it always
// knows what every answer must be: GET gives what it last stored, NEW of an existing item
// is a conflict, a deleted item is not found, a folder lists exactly the items that exist.
// One connection per request, as the store's protocol has it; every worker has one
// request in flight, so the connections in flight are as many as the workers.
//
// An error is: a connection that cannot be made, a request that cannot be sent, an answer
// cut short, reset or late (10 s), and an answer that differs in any byte from the one
// expected. The run fails on any error, when the server does not end cleanly on SIGTERM,
// or (unless --no-memory-check) when resident memory grew by more than 10% + 2 MiB
// after the warm-up (the first tenth of the requests).
//
//   soak [--requests N] [--connections N] [--items-per-worker N] [--program path]
//        [--no-memory-check]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "Loopback.h"

namespace {

using pelorin::bench::Loopback;

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct Options {
    long requests = 100000;
    int connections = 256;
    int itemsPerWorker = 2;
    bool memoryCheck = true;
    std::string program = PELORIN_PROGRAM_FILE;
};

bool ReadOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        if (name == "--no-memory-check") {
            options.memoryCheck = false;
            continue;
        }
        if (i + 1 >= argc) return false;
        const std::string value = argv[++i];
        if (name == "--requests") {
            options.requests = std::clamp(std::stol(value), 1L, 10000000L);
        } else if (name == "--connections") {
            options.connections = std::clamp(std::stoi(value), 1, 1000);
        } else if (name == "--items-per-worker") {
            options.itemsPerWorker = std::clamp(std::stoi(value), 1, 100);
        } else if (name == "--program") {
            options.program = value;
        } else {
            return false;
        }
    }
    return true;
}

std::uint16_t FreePort() {
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = Loopback(0);
    socklen_t length = sizeof address;
    const bool ok = bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                    getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) == 0;
    close(s);
    return ok ? ntohs(address.sin_port) : 0;
}

// One request on a connection of its own. The answer, or nullopt with `failure` set.
std::optional<std::string> Exchange(std::uint16_t port, const std::string& request,
                                    std::string& failure) {
    const int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0) {
        failure = "no socket";
        return std::nullopt;
    }
    timeval limit{10, 0};
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    const sockaddr_in address = Loopback(port);
    std::string answer;
    if (connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        failure = "connect failed";
    } else if (send(s, request.data(), request.size(), MSG_NOSIGNAL) !=
               static_cast<ssize_t>(request.size())) {
        failure = "send failed";
    } else {
        char buffer[65536];
        for (;;) {
            const ssize_t n = recv(s, buffer, sizeof buffer, 0);
            if (n == 0) break;
            if (n < 0) {
                failure = errno == ECONNRESET ? "connection reset" : "no answer in time";
                break;
            }
            answer.append(buffer, static_cast<std::size_t>(n));
        }
    }
    close(s);
    if (!failure.empty()) return std::nullopt;
    return answer;
}

std::string Answer(const char* statusAndReason, const std::string& body = {}) {
    return std::string("HTTP/1.0 ") + statusAndReason +
           "\r\nServer: Pelorin/0.1\r\nContent-Type: text/plain\r\nConnection: Close\r\n\r\n" +
           body;
}

// A listing's lines in a fixed order, so that the file system's order does not matter.
std::string SortedLines(const std::string& listing) {
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (pos < listing.size()) {
        std::size_t end = listing.find("\r\n", pos);
        end = end == std::string::npos ? listing.size() : end + 2;
        lines.push_back(listing.substr(pos, end - pos));
        pos = end;
    }
    std::sort(lines.begin(), lines.end());
    std::string sorted;
    for (const auto& line : lines) sorted += line;
    return sorted;
}

long ResidentKiB(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.starts_with("VmRSS:")) return std::stol(line.substr(6));
    }
    return -1;
}

class Errors {
  public:
    void Add(const std::string& what) {
        std::lock_guard lock(mutex_);
        ++count_;
        if (examples_.size() < 10) examples_.push_back(what);
    }
    long count() const { return count_; }
    void Print() const {
        for (const auto& e : examples_) std::printf("  error: %s\n", e.c_str());
    }

  private:
    mutable std::mutex mutex_;
    long count_ = 0;
    std::vector<std::string> examples_;
};

struct Shared {
    std::uint16_t port = 0;
    pid_t server = -1;
    long warmUpAfter = 0;
    std::atomic<long> done{0};
    std::atomic<long> warmResidentKiB{-1};
    Errors errors;
};

// One worker: its folder, its items' states, its share of the requests.
class Worker {
  public:
    Worker(int number, int items, Shared& shared)
        : folder_("/w" + std::to_string(number) + "/"),
          items_(items),
          shared_(shared),
          random_(static_cast<unsigned>(number) * 7919u + 17u) {}

    void Run(long requests) {
        Check("NEW " + folder_, Answer("201 Created"), Request("NEW", folder_));
        for (long n = 1; n < requests; ++n) Step();
    }

  private:
    std::string Request(const std::string& command, const std::string& target,
                        const std::string& body = {}) {
        std::string request = command + " " + target + " HTTP/1.0\r\n";
        if (!body.empty()) request += "Content-Length: " + std::to_string(body.size()) + "\r\n";
        return request + "\r\n" + body;
    }

    std::string Item(int i) const { return "item" + std::string(1, static_cast<char>('a' + i)); }

    std::string Body() {
        std::uniform_int_distribution<int> percent(0, 99);
        const std::size_t size =
            percent(random_) < 5
                ? std::uniform_int_distribution<std::size_t>(1, 256 * 1024)(random_)
                : std::uniform_int_distribution<std::size_t>(1, 2048)(random_);
        std::string body(size, '\0');
        std::uniform_int_distribution<int> byte(0, 255);
        for (char& c : body) c = static_cast<char>(byte(random_));
        return body;
    }

    void Step() {
        const int i = std::uniform_int_distribution<int>(0, items_ - 1)(random_);
        const std::string target = folder_ + Item(i);
        auto& state = state_[i];  // nullopt: the item does not exist
        const int pick = std::uniform_int_distribution<int>(0, 99)(random_);
        if (pick < 30) {
            Check("GET " + target, state ? Answer("200 OK", *state) : Answer("404 Not Found"),
                  Request("GET", target));
        } else if (pick < 55) {
            std::string body = Body();
            const bool exists = state.has_value();
            Check("SET " + target, exists ? Answer("200 OK") : Answer("404 Not Found"),
                  Request("SET", target, body));
            if (exists) state = std::move(body);
        } else if (pick < 67) {
            Check("NEW " + target, state ? Answer("409 Conflict") : Answer("201 Created"),
                  Request("NEW", target));
            if (!state) state = std::string();
        } else if (pick < 79) {
            Check("DEL " + target, state ? Answer("200 OK") : Answer("404 Not Found"),
                  Request("DEL", target));
            state.reset();
        } else if (pick < 91) {
            Check("DIR " + target, state ? Answer("200 Found") : Answer("404 Not Found"),
                  Request("DIR", target));
        } else {
            std::string listing;
            for (int k = 0; k < items_; ++k) {
                if (state_[k]) listing += Item(k) + "\r\n";
            }
            Check("DIR " + folder_, Answer("200 OK", listing), Request("DIR", folder_), true);
        }
    }

    void Check(const std::string& what, const std::string& expected, const std::string& request,
               bool listing = false) {
        std::string failure;
        const std::optional<std::string> answer = Exchange(shared_.port, request, failure);
        if (!answer) {
            shared_.errors.Add(what + ": " + failure);
        } else if (listing ? SortedLines(*answer) != SortedLines(expected) : *answer != expected) {
            shared_.errors.Add(what + ": unexpected answer (" + std::to_string(answer->size()) +
                               " bytes): " + answer->substr(0, 80));
        }
        if (++shared_.done == shared_.warmUpAfter) {
            shared_.warmResidentKiB = ResidentKiB(shared_.server);
        }
    }

    std::string folder_;
    int items_;
    Shared& shared_;
    std::mt19937 random_;
    std::map<int, std::optional<std::string>> state_;
};

struct Server {
    pid_t pid = -1;
    std::uint16_t port = 0;
    fs::path folder;
};

bool StartServer(const Options& options, Server& server) {
    char pattern[] = "/tmp/pelorin-soak-XXXXXX";
    if (mkdtemp(pattern) == nullptr) return false;
    server.folder = pattern;
    const fs::path program = server.folder / "pelorin";
    std::error_code error;
    fs::copy_file(options.program, program, error);
    if (error) return false;
    server.port = FreePort();
    const std::string port = "/PORT" + std::to_string(server.port);
    server.pid = fork();
    if (server.pid < 0) return false;
    if (server.pid == 0) {
        // No terminal: no keyboard commands.
        if (freopen("/dev/null", "r", stdin) == nullptr ||
            freopen("/dev/null", "w", stdout) == nullptr) {
            _exit(126);
        }
        execl(program.c_str(), program.c_str(), port.c_str(), "/START", nullptr);
        _exit(127);
    }
    for (int i = 0; i < 250; ++i) {  // up to 5 s until it answers
        std::string failure;
        if (Exchange(server.port, "DIR /x HTTP/1.0\r\n\r\n", failure)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

// Ends the server the way a service manager would; its exit status, or -1.
int StopServer(Server& server) {
    int status = -1;
    if (server.pid > 0) {
        kill(server.pid, SIGTERM);
        int raw = 0;
        if (waitpid(server.pid, &raw, 0) == server.pid) {
            status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
        }
    }
    std::error_code ignored;
    fs::remove_all(server.folder, ignored);
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ReadOptions(argc, argv, options)) {
        std::fprintf(stderr,
                     "usage: soak [--requests N] [--connections N] [--items-per-worker N] "
                     "[--program path] [--no-memory-check]\n");
        return 2;
    }
    Server server;
    if (!StartServer(options, server)) {
        std::fprintf(stderr, "soak: the server %s did not start\n", options.program.c_str());
        StopServer(server);
        return 1;
    }
    const int workers = static_cast<int>(std::min<long>(options.connections, options.requests));
    Shared shared;
    shared.port = server.port;
    shared.server = server.pid;
    shared.warmUpAfter = std::max(1L, options.requests / 10);
    std::printf("soak: %ld requests over %d connections, %d items, server pid %d on port %u\n",
                options.requests, workers, workers * options.itemsPerWorker,
                static_cast<int>(server.pid), server.port);
    std::fflush(stdout);

    const auto start = Clock::now();
    std::vector<std::thread> threads;
    for (int w = 0; w < workers; ++w) {
        const long share = options.requests / workers + (w < options.requests % workers ? 1 : 0);
        threads.emplace_back(
            [&, w, share] { Worker(w, options.itemsPerWorker, shared).Run(share); });
    }
    for (auto& t : threads) t.join();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const long warmKiB = shared.warmResidentKiB;
    const long endKiB = ResidentKiB(server.pid);
    const int exitStatus = StopServer(server);

    const long boundKiB = warmKiB + warmKiB / 10 + 2048;
    const bool memoryOk = !options.memoryCheck || (warmKiB > 0 && endKiB > 0 && endKiB <= boundKiB);
    std::printf("requests %ld, errors %ld, %.1f s (%.0f requests/s)\n", shared.done.load(),
                shared.errors.count(), seconds, static_cast<double>(shared.done) / seconds);
    std::printf(
        "server resident memory: %ld KiB after warm-up, %ld KiB at the end (bound %ld KiB%s)\n",
        warmKiB, endKiB, boundKiB, options.memoryCheck ? "" : ", not checked");
    std::printf("server exit status %d\n", exitStatus);
    shared.errors.Print();
    const bool ok = shared.errors.count() == 0 && memoryOk && exitStatus == 0;
    std::printf("soak: %s\n", ok ? "passed" : "FAILED");
    return ok ? 0 : 1;
}
