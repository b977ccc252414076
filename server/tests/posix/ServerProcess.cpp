#include "ServerProcess.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <grp.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <thread>
#include <vector>

#include "testing/TestLoop.h"

namespace pelorin::testing {
namespace {

namespace fs = std::filesystem;

sockaddr_in Loopback(std::uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

bool Bindable(std::uint16_t port) {
    const int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in address = Loopback(port);
    const bool bound = bind(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    close(s);
    return bound;
}

// The lowest port the system hands out to connections of its own choosing.
std::uint16_t FirstEphemeralPort() {
    std::ifstream range("/proc/sys/net/ipv4/ip_local_port_range");
    unsigned low = 0;
    return range >> low && low <= 65535 ? static_cast<std::uint16_t>(low) : 0;
}

// A free port below those the system gives connections: one it chose for the server could
// be taken by a connection of a test running beside this one before the server binds it,
// and the server would then listen nowhere.
std::uint16_t FreeLoopbackPort() {
    const std::uint16_t first = FirstEphemeralPort();
    constexpr std::uint16_t kLowest = 20000;
    if (first > kLowest + 1000) {
        std::minstd_rand pick(std::random_device{}());
        std::uniform_int_distribution<int> ports(kLowest, first - 1);
        for (int attempt = 0; attempt < 64; ++attempt) {
            const auto port = static_cast<std::uint16_t>(ports(pick));
            if (Bindable(port)) return port;
        }
    }
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = Loopback(0);
    socklen_t length = sizeof address;
    const bool bound = bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                       getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) == 0;
    close(s);
    return bound ? ntohs(address.sin_port) : 0;
}

// The child's side: limits and user first, then the program, with no terminal.
[[noreturn]] void RunChild(const std::string& program, const std::vector<std::string>& switches,
                           const std::string& stderrFile, const ServerLimits& limits) {
    const int in = open("/dev/null", O_RDONLY);
    const int out = open("/dev/null", O_WRONLY);
    const int err = open(stderrFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0) _exit(126);
    dup2(in, STDIN_FILENO);
    dup2(out, STDOUT_FILENO);
    dup2(err, STDERR_FILENO);
    if (limits.fileSizeBytes) {
        const rlimit limit{*limits.fileSizeBytes, *limits.fileSizeBytes};
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(125);
    }
    if (limits.openFiles) {
        const rlimit limit{limits.openFiles->soft, limits.openFiles->hard};
        if (setrlimit(RLIMIT_NOFILE, &limit) != 0) _exit(125);
    }
    if (limits.connectionLimitMs) {
        setenv("PELORIN_TEST_CONNECTION_LIMIT_MS",
               std::to_string(*limits.connectionLimitMs).c_str(), 1);
    }
    if (limits.user) {
        const gid_t group = static_cast<gid_t>(*limits.user);
        if (setgroups(0, nullptr) != 0 || setresgid(group, group, group) != 0 ||
            setresuid(*limits.user, *limits.user, *limits.user) != 0) {
            _exit(124);
        }
    }
    if (limits.notifySocket) {
        setenv("NOTIFY_SOCKET", limits.notifySocket->c_str(), 1);
    } else {
        unsetenv("NOTIFY_SOCKET");
    }
    std::vector<char*> argv;
    if (limits.firstProcess) {
        for (const char* word : {"unshare", "--pid", "--fork", "--kill-child"}) {
            argv.push_back(const_cast<char*>(word));
        }
    }
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& one : switches) argv.push_back(const_cast<char*>(one.c_str()));
    argv.push_back(nullptr);
    if (limits.firstProcess) {
        execvp(argv[0], argv.data());
    } else {
        execv(program.c_str(), argv.data());
    }
    _exit(127);
}

}  // namespace

ScratchFolder::ScratchFolder(std::optional<uid_t> owner) {
    char pattern[] = "/tmp/pelorin-faults-XXXXXX";
    if (mkdtemp(pattern) == nullptr) return;
    path_ = std::string(pattern) + "/";
    fs::create_directory(path_ + "data");
    if (owner) {
        const gid_t group = static_cast<gid_t>(*owner);
        if (chown(pattern, *owner, group) != 0 || chown(data().c_str(), *owner, group) != 0) {
            path_.clear();
        }
    }
}

ScratchFolder::~ScratchFolder() {
    if (path_.empty()) return;
    std::error_code ignored;
    // A test may have made parts read-only; give them back before removing them.
    for (const auto& entry : fs::recursive_directory_iterator(path_, ignored)) {
        fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    }
    fs::remove_all(path_, ignored);
}

ServerProcess::~ServerProcess() {
    if (Running()) Kill(SIGKILL);
}

bool ServerProcess::Start(const std::string& folder, const ServerLimits& limits,
                          const std::vector<std::string>& moreSwitches) {
    if (!Launch(folder, limits, moreSwitches)) return false;
    for (std::uint32_t i = 0; i < 500 * TimeScale() && Running(); ++i) {  // 5 s until it answers
        if (Exchange(port_, "DIR /x HTTP/1.0\r\n\r\n").starts_with("HTTP/1.0 ")) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

bool ServerProcess::Launch(const std::string& folder, const ServerLimits& limits,
                           const std::vector<std::string>& moreSwitches) {
    const std::string program = folder + "pelorin";
    std::error_code error;
    if (!fs::exists(program)) {
        fs::copy_file(PELORIN_PROGRAM_FILE, program, error);
        if (error) return false;
        chmod(program.c_str(), 0755);
    }
    port_ = FreeLoopbackPort();
    if (port_ == 0) return false;
    std::vector<std::string> switches{"/PORT" + std::to_string(port_), "/START"};
    switches.insert(switches.end(), moreSwitches.begin(), moreSwitches.end());
    pid_ = fork();
    if (pid_ < 0) return false;
    if (pid_ == 0) RunChild(program, switches, folder + "stderr.txt", limits);
    return true;
}

void ServerProcess::Kill(int signal) {
    if (pid_ <= 0) return;
    kill(pid_, signal);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

int ServerProcess::Stop() {
    if (pid_ <= 0) return -1;
    kill(pid_, SIGTERM);
    const int status = Wait();
    if (status == -1) Kill(SIGKILL);
    return status;
}

int ServerProcess::Wait() {
    if (pid_ <= 0) return -1;
    for (std::uint32_t waited = 0; waited < 1000 * TimeScale(); ++waited) {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return -1;
}

bool ServerProcess::Running() {
    if (pid_ <= 0) return false;
    if (waitpid(pid_, nullptr, WNOHANG) != pid_) return true;
    pid_ = -1;
    return false;
}

std::string Exchange(std::uint16_t port, std::string_view request) {
    const int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0) return "<no connection>";
    // A stuck server fails the test, it does not hang it.
    timeval limit{static_cast<time_t>(ScaledMs(10000) / 1000), 0};
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    const sockaddr_in address = Loopback(port);
    if (connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        close(s);
        return "<no connection>";
    }
    std::string received;
    // A server that answers before it has read everything may refuse the rest: the
    // answer still counts.
    std::size_t sent = 0;
    while (sent < request.size()) {
        const ssize_t n = send(s, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) break;
        sent += static_cast<std::size_t>(n);
    }
    char buffer[65536];
    for (;;) {
        const ssize_t n = recv(s, buffer, sizeof buffer, 0);
        if (n == 0) break;
        if (n < 0) {
            received += errno == ECONNRESET ? "<reset>" : "<time-out>";
            break;
        }
        received.append(buffer, static_cast<std::size_t>(n));
    }
    close(s);
    return received;
}

std::string StoreAnswer(std::string_view statusAndReason, std::string_view body) {
    return "HTTP/1.0 " + std::string(statusAndReason) +
           "\r\nServer: Pelorin/0.1\r\nContent-Type: text/plain\r\nConnection: Close\r\n\r\n" +
           std::string(body);
}

std::string PatternBytes(std::size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    std::uint32_t state = seed * 2654435761u + 1;
    for (char& c : bytes) {
        state = state * 1664525u + 1013904223u;
        c = static_cast<char>(state >> 24);
    }
    return bytes;
}

std::optional<std::string> FileContents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool WriteFile(const std::string& path, std::string_view contents) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
    return static_cast<bool>(out);
}

int ConnectFrom(std::uint16_t port, const char* from, bool& connected) {
    const int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    timeval limit{static_cast<time_t>(ScaledMs(10000) / 1000), 0};
    setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = inet_addr(from);
    sockaddr_in remote{};
    remote.sin_family = AF_INET;
    remote.sin_port = htons(port);
    remote.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connected = bind(socket, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0 &&
                connect(socket, reinterpret_cast<sockaddr*>(&remote), sizeof remote) == 0;
    return socket;
}

}  // namespace pelorin::testing
