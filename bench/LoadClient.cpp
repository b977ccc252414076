// Load on an HTTP/1.0 server that closes after each answer, from one epoll loop: every
// request on a new connection (connect, send, read to the end, close), `--clients` of them
// at once, for `--seconds`. It counts answers by status and body size, and prints the
// rate, the body MB/s and, given the server's process ids, the server's processor time
// per answer (user + system from /proc/<pid>/stat, the change over the run) and its peak
// resident memory during the run (the high-water mark of /proc/<pid>/status, reset at the
// start through /proc/<pid>/clear_refs; the largest of the processes).
//
//   load_client --port P (--get PATH | --set PATH --body-size N | --dir PATH)
//               [--clients 32] [--seconds 10] [--idle N] [--pid PID]... [--expect N]
//               [--status 200] [--label TEXT] [--hang-up-after N] [--limit SECONDS]
//
// A SET's body is sent from one piece of 1 MiB over and over, so that its size costs the
// client nothing. --hang-up-after N closes each SET's connection once N body bytes are
// sent, without waiting for an answer; such a request counts as good. --limit is how long
// one request may take before it counts as failed (10 s).
// --idle N opens N more connections before the run and holds them open and silent until
// its end; with --pid it waits until the first server process holds them (its open
// descriptors), so they are connections the server knows, not a full accept queue.
// --expect is the body size a good answer has; by default that of the first answer.
// The last line, "RESULT key=value ...", is for scripts.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "Loopback.h"

namespace {

using pelorin::bench::Loopback;

using Clock = std::chrono::steady_clock;

struct Options {
    std::uint16_t port = 0;
    std::string method = "GET";
    std::string path;
    std::size_t bodySize = 0;                // SET only
    std::optional<std::size_t> hangUpAfter;  // SET only
    double limit = 10;
    int clients = 32;
    double seconds = 10;
    int idle = 0;
    std::vector<int> pids;
    std::optional<std::size_t> expect;
    int status = 200;
    std::string label;
};

[[noreturn]] void Usage(const char* problem) {
    std::fprintf(stderr,
                 "load_client: %s\nusage: load_client --port P (--get PATH | --set PATH "
                 "--body-size N | --dir PATH) [--clients N] [--seconds S] [--idle N] "
                 "[--pid PID]... [--expect BYTES] [--status N] [--label TEXT] "
                 "[--hang-up-after N] [--limit SECONDS]\n",
                 problem);
    std::exit(2);
}

long Number(const std::string& text, long low, long high) {
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (end == text.c_str() || *end != '\0' || value < low || value > high) {
        Usage(("not a number in range: " + text).c_str());
    }
    return value;
}

Options ReadOptions(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        if (i + 1 >= argc) Usage(("no value after " + name).c_str());
        const std::string value = argv[++i];
        if (name == "--port") {
            o.port = static_cast<std::uint16_t>(Number(value, 1, 65535));
        } else if (name == "--get" || name == "--set" || name == "--dir") {
            o.method = name == "--get" ? "GET" : name == "--set" ? "SET" : "DIR";
            o.path = value;
        } else if (name == "--body-size") {
            o.bodySize = static_cast<std::size_t>(Number(value, 0, INT32_MAX));
        } else if (name == "--hang-up-after") {
            o.hangUpAfter = static_cast<std::size_t>(Number(value, 0, INT32_MAX));
        } else if (name == "--limit") {
            o.limit = std::clamp(std::atof(value.c_str()), 0.1, 600.0);
        } else if (name == "--clients") {
            o.clients = static_cast<int>(Number(value, 1, 1024));
        } else if (name == "--seconds") {
            o.seconds = std::clamp(std::atof(value.c_str()), 0.2, 600.0);
        } else if (name == "--idle") {
            o.idle = static_cast<int>(Number(value, 0, 10000));
        } else if (name == "--pid") {
            o.pids.push_back(static_cast<int>(Number(value, 1, 1 << 30)));
        } else if (name == "--expect") {
            o.expect = static_cast<std::size_t>(Number(value, 0, 1L << 40));
        } else if (name == "--status") {
            o.status = static_cast<int>(Number(value, 100, 999));
        } else if (name == "--label") {
            o.label = value;
        } else {
            Usage(("unknown option " + name).c_str());
        }
    }
    if (o.port == 0 || o.path.empty()) Usage("--port and a request are needed");
    if (o.label.empty()) o.label = o.method + " " + o.path;
    return o;
}

// The request head; a SET's body follows from the body piece.
std::string RequestOf(const Options& o) {
    std::string request = o.method + " " + o.path + " HTTP/1.0\r\n";
    if (o.method == "SET") request += "Content-Length: " + std::to_string(o.bodySize) + "\r\n";
    return request + "\r\n";
}

// How many bytes of a request are sent before it is complete, or before it hangs up.
std::size_t RequestBytes(const Options& o, const std::string& head) {
    if (o.method != "SET") return head.size();
    return head.size() + std::min(o.bodySize, o.hangUpAfter.value_or(o.bodySize));
}

// Resets the peak resident memory of the processes to what they hold now.
void ResetPeakMemory(const std::vector<int>& pids) {
    for (const int pid : pids) std::ofstream("/proc/" + std::to_string(pid) + "/clear_refs") << "5";
}

// The largest peak resident memory of the processes, in KiB; 0 when unknown.
long PeakMemoryKiB(const std::vector<int>& pids) {
    long peak = 0;
    for (const int pid : pids) {
        std::ifstream in("/proc/" + std::to_string(pid) + "/status");
        std::string line;
        while (std::getline(in, line)) {
            if (line.starts_with("VmHWM:")) peak = std::max(peak, std::stol(line.substr(6)));
        }
    }
    return peak;
}

// User and system time of the processes so far, in seconds; 0 for one that is gone.
double ProcessorSeconds(const std::vector<int>& pids) {
    double total = 0;
    for (const int pid : pids) {
        std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
        std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const std::size_t close = all.rfind(')');
        if (close == std::string::npos) continue;
        // Fields after the command name, which stands in parentheses and may hold spaces.
        std::istringstream fields(all.substr(close + 2));
        std::string field;
        unsigned long long utime = 0, stime = 0;
        for (int i = 3; i <= 15 && fields >> field; ++i) {
            if (i == 14) utime = std::stoull(field);
            if (i == 15) stime = std::stoull(field);
        }
        total += static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
    }
    return total;
}

double OwnProcessorSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

std::size_t OpenDescriptors(int pid) {
    std::error_code error;
    std::size_t count = 0;
    for (auto it =
             std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error);
         !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
        ++count;
    }
    return count;
}

// One request on its connection.
struct Request {
    int fd = -1;
    bool sent = false;
    std::size_t requestSent = 0;
    std::string head;  // the answer up to the end of its headers
    bool headDone = false;
    int status = 0;
    std::size_t bodyBytes = 0;
    Clock::time_point started;
};

struct Counts {
    long long good = 0;
    long long failures = 0;      // no complete answer: refused, reset, timed out
    long long wrongAnswers = 0;  // a complete answer with another status or size
    long long goodBodyBytes = 0;
    std::map<int, long long> byStatus;
    std::map<std::size_t, long long> bySize;
};

class Load {
  public:
    Load(const Options& options)
        : options_(options),
          request_(RequestOf(options)),
          requestBytes_(RequestBytes(options, request_)),
          bodyPiece_(1u << 20, 'x'),
          buffer_(256 * 1024),
          limit_(std::chrono::duration_cast<Clock::duration>(
              std::chrono::duration<double>(options.limit))) {
        epoll_ = epoll_create1(EPOLL_CLOEXEC);
        requests_.resize(static_cast<std::size_t>(options.clients));
    }
    ~Load() {
        for (auto& r : requests_) Drop(r);
        close(epoll_);
    }

    // Runs until `end`; a request still open then is not counted.
    void Run(Clock::time_point end) {
        end_ = end;
        for (auto& r : requests_) Start(r);
        epoll_event events[64];
        auto nextTimeoutCheck = Clock::now() + std::chrono::milliseconds(100);
        for (;;) {
            const auto now = Clock::now();
            if (now >= end_) break;
            const int n = epoll_wait(epoll_, events, 64, 50);
            for (int i = 0; i < n; ++i) OnReady(requests_[events[i].data.u64], events[i].events);
            if (Clock::now() >= nextTimeoutCheck) {
                DropStuck();
                nextTimeoutCheck = Clock::now() + std::chrono::milliseconds(100);
            }
        }
    }

    const Counts& counts() const { return counts_; }

  private:
    void Start(Request& r) {
        r = Request{};
        if (Clock::now() >= end_) return;
        r.started = Clock::now();
        r.fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (r.fd < 0) {
            ++counts_.failures;
            return;
        }
        const sockaddr_in address = Loopback(options_.port);
        if (connect(r.fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 &&
            errno != EINPROGRESS) {
            Fail(r);
            return;
        }
        epoll_event ev{};
        ev.events = EPOLLIN | EPOLLOUT | EPOLLRDHUP | EPOLLET;
        ev.data.u64 = static_cast<std::uint64_t>(&r - requests_.data());
        epoll_ctl(epoll_, EPOLL_CTL_ADD, r.fd, &ev);
    }

    void OnReady(Request& r, std::uint32_t events) {
        if (r.fd < 0) return;
        if (!r.sent && (events & EPOLLOUT) && !SendRequest(r)) return;
        if (r.sent && (events & (EPOLLIN | EPOLLRDHUP | EPOLLHUP | EPOLLERR)))
            ReadAnswer(r);
        else if (!r.sent && (events & (EPOLLERR | EPOLLHUP)))
            Fail(r);
    }

    // False when the request failed or hung up as planned.
    bool SendRequest(Request& r) {
        while (r.requestSent < requestBytes_) {
            const std::string_view next = NextBytes(r);
            const ssize_t n = send(r.fd, next.data(), next.size(), MSG_NOSIGNAL);
            if (n < 0) {
                if (errno == EAGAIN) return true;  // the next EPOLLOUT goes on
                Fail(r);
                return false;
            }
            r.requestSent += static_cast<std::size_t>(n);
        }
        if (options_.hangUpAfter && options_.method == "SET") {
            HangUp(r);
            return false;
        }
        r.sent = true;
        return true;
    }

    // What of the request is to be sent next: the rest of the head, or of a body piece.
    std::string_view NextBytes(const Request& r) const {
        if (r.requestSent < request_.size())
            return std::string_view(request_).substr(r.requestSent);
        const std::size_t bodySent = r.requestSent - request_.size();
        const std::size_t left = requestBytes_ - r.requestSent;
        const std::size_t inPiece = bodySent % bodyPiece_.size();
        return std::string_view(bodyPiece_)
            .substr(inPiece, std::min(left, bodyPiece_.size() - inPiece));
    }

    void HangUp(Request& r) {
        if (Clock::now() <= end_) {
            ++counts_.good;
            counts_.goodBodyBytes += static_cast<long long>(requestBytes_ - request_.size());
        }
        Drop(r);
        Start(r);
    }

    void ReadAnswer(Request& r) {
        // Edge-triggered: read until the socket is empty. Bounded by the answer's size.
        for (;;) {
            const ssize_t n = recv(r.fd, buffer_.data(), buffer_.size(), 0);
            if (n == 0) return Finish(r);
            if (n < 0) {
                if (errno != EAGAIN) Fail(r);
                return;
            }
            Take(r, std::string_view(buffer_.data(), static_cast<std::size_t>(n)));
        }
    }

    void Take(Request& r, std::string_view bytes) {
        if (r.headDone) {
            r.bodyBytes += bytes.size();
            return;
        }
        const std::size_t had = r.head.size();
        r.head.append(bytes.substr(0, std::min<std::size_t>(bytes.size(), 16384)));
        const std::size_t end = r.head.find("\r\n\r\n", had < 3 ? 0 : had - 3);
        if (end == std::string::npos) {
            if (r.head.size() >= 16384) Fail(r);  // no end of headers in sight
            return;
        }
        r.headDone = true;
        r.bodyBytes = r.head.size() - (end + 4) + (bytes.size() - (r.head.size() - had));
        if (r.head.compare(0, 5, "HTTP/") == 0) {
            const std::size_t space = r.head.find(' ');
            if (space != std::string::npos) r.status = std::atoi(r.head.c_str() + space + 1);
        }
    }

    void Finish(Request& r) {
        if (Clock::now() <= end_) {
            if (!r.headDone) {
                ++counts_.failures;
            } else {
                ++counts_.byStatus[r.status];
                ++counts_.bySize[r.bodyBytes];
                if (!expect_) expect_ = options_.expect ? *options_.expect : r.bodyBytes;
                if (r.status == options_.status && r.bodyBytes == *expect_) {
                    ++counts_.good;
                    // A SET's body is the one it sent.
                    const std::size_t body =
                        options_.method == "SET" ? options_.bodySize : r.bodyBytes;
                    counts_.goodBodyBytes += static_cast<long long>(body);
                } else {
                    ++counts_.wrongAnswers;
                }
            }
        }
        Drop(r);
        Start(r);
    }

    void Fail(Request& r) {
        if (Clock::now() <= end_) ++counts_.failures;
        Drop(r);
        Start(r);
    }

    void Drop(Request& r) {
        if (r.fd >= 0) close(r.fd);  // closing also leaves the epoll set
        r.fd = -1;
    }

    void DropStuck() {
        const auto now = Clock::now();
        for (auto& r : requests_) {
            if (r.fd >= 0 && now - r.started > limit_) Fail(r);
        }
    }

    const Options& options_;
    const std::string request_;
    const std::size_t requestBytes_;
    const std::string bodyPiece_;
    std::vector<char> buffer_;
    const Clock::duration limit_;
    std::vector<Request> requests_;
    int epoll_ = -1;
    Clock::time_point end_;
    std::optional<std::size_t> expect_;
    Counts counts_;
};

// Connections that stay open and silent during the run. Blocking connects one by one, so
// a short accept queue only slows the opening down.
std::vector<int> OpenIdle(const Options& o) {
    std::vector<int> idle;
    const std::size_t before = o.pids.empty() ? 0 : OpenDescriptors(o.pids.front());
    const sockaddr_in address = Loopback(o.port);
    for (int i = 0; i < o.idle; ++i) {
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0 || connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address)) {
            std::fprintf(stderr, "load_client: idle connection %d: %s\n", i, std::strerror(errno));
            if (fd >= 0) close(fd);
            break;
        }
        idle.push_back(fd);
    }
    if (o.pids.empty()) return idle;
    // Wait (up to 10 s) until the server holds them.
    for (int round = 0; round < 200; ++round) {
        if (OpenDescriptors(o.pids.front()) >= before + idle.size()) return idle;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    std::fprintf(stderr, "load_client: the server holds only %zu descriptors\n",
                 OpenDescriptors(o.pids.front()));
    return idle;
}

void Print(const Options& o, const Counts& c, double seconds, double serverSeconds,
           double ownSeconds, long peakKiB) {
    const double rate = static_cast<double>(c.good) / seconds;
    const double megabytes = static_cast<double>(c.goodBodyBytes) / 1e6 / seconds;
    const double answers = static_cast<double>(std::max<long long>(c.good, 1));
    const double serverUs = o.pids.empty() ? 0 : serverSeconds * 1e6 / answers;
    const double clientUs = ownSeconds * 1e6 / answers;
    std::printf("%s: %lld good answers in %.2f s: %.0f/s, %.1f MB/s of body", o.label.c_str(),
                c.good, seconds, rate, megabytes);
    if (!o.pids.empty()) std::printf(", server %.1f us/answer, peak %ld KiB", serverUs, peakKiB);
    std::printf(", load client %.1f us/answer\n ", clientUs);
    for (const auto& [status, n] : c.byStatus) std::printf(" status %d: %lld;", status, n);
    int shown = 0;
    for (const auto& [size, n] : c.bySize) {
        if (++shown <= 4) std::printf(" %zu body bytes: %lld;", size, n);
    }
    std::printf(" wrong answers %lld; failures %lld\n", c.wrongAnswers, c.failures);
    std::printf(
        "RESULT rate=%.1f mbps=%.2f server_us=%.2f client_us=%.2f peak_kib=%ld good=%lld "
        "wrong=%lld failures=%lld\n",
        rate, megabytes, serverUs, clientUs, peakKiB, c.good, c.wrongAnswers, c.failures);
}

}  // namespace

int main(int argc, char** argv) {
    const Options options = ReadOptions(argc, argv);
    const std::vector<int> idle = OpenIdle(options);
    if (static_cast<int>(idle.size()) < options.idle) {
        for (const int fd : idle) close(fd);
        return 1;
    }
    Counts counts;
    ResetPeakMemory(options.pids);
    const double serverBefore = ProcessorSeconds(options.pids);
    const double ownBefore = OwnProcessorSeconds();
    const auto start = Clock::now();
    const auto end = start + std::chrono::duration_cast<Clock::duration>(
                                 std::chrono::duration<double>(options.seconds));
    {
        Load load(options);
        load.Run(end);
        counts = load.counts();
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const double serverSeconds = ProcessorSeconds(options.pids) - serverBefore;
    const double ownSeconds = OwnProcessorSeconds() - ownBefore;
    const long peakKiB = PeakMemoryKiB(options.pids);
    for (const int fd : idle) close(fd);
    Print(options, counts, seconds, serverSeconds, ownSeconds, peakKiB);
    return counts.good > 0 ? 0 : 1;
}
