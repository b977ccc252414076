// The server program as a process of its own, started the way a service manager would
// start it (no terminal, listening at once on a port given on its command line), with
// what the fault tests need from outside: its process id for signals, a file size limit,
// and another user to run as. Plus a blocking loopback client for plain exchanges.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pelorin::testing {

// A fresh folder under /tmp, removed with everything in it afterwards. Owned by `owner`
// (when given) so that a server running as that user may write in it.
class ScratchFolder {
  public:
    explicit ScratchFolder(std::optional<uid_t> owner = std::nullopt);
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::string& path() const { return path_; }  // with a trailing "/"
    std::string data() const { return path_ + "data/"; }

  private:
    std::string path_;
};

// The soft and the hard limit of a resource.
struct SoftAndHard {
    std::uint64_t soft = 0;
    std::uint64_t hard = 0;
};

struct ServerLimits {
    std::optional<std::uint64_t> fileSizeBytes{};  // RLIMIT_FSIZE of the server process
    std::optional<SoftAndHard> openFiles{};        // its RLIMIT_NOFILE
    std::optional<uid_t> user{};                   // user and group to run as
    // NOTIFY_SOCKET of the server process alone: a service manager's socket. Without
    // it the server never sees one, even where the tests themselves run as a service.
    std::optional<std::string> notifySocket{};
    // Process 1 of a PID namespace of its own, as in a container (through `unshare`, which
    // takes the process down with it when killed).
    bool firstProcess = false;
    // Every time limit of its connections (PELORIN_TEST_CONNECTION_LIMIT_MS).
    std::optional<std::uint32_t> connectionLimitMs{};
};

class ServerProcess {
  public:
    ServerProcess() = default;
    ~ServerProcess();  // kills a server that still runs
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    // Copies the program into `folder` (once) and starts it there on a free loopback
    // port, with `moreSwitches` after /PORTn /START; true once it answers (within 5 s,
    // stretched by the tests' time scale).
    bool Start(const std::string& folder, const ServerLimits& limits = {},
               const std::vector<std::string>& moreSwitches = {});
    // Starts it like Start without waiting for anything: true once the process runs.
    bool Launch(const std::string& folder, const ServerLimits& limits = {},
                const std::vector<std::string>& moreSwitches = {});
    // Sends `signal` and reaps the process.
    void Kill(int signal);
    // Ends the server as a service manager would (SIGTERM); its exit status, 128 + the
    // signal that ended it otherwise, or -1 when it did not end within 10 s (then killed).
    int Stop();
    // Waits (10 s at most, stretched by the time scale) for the process to end by itself;
    // its exit status as Stop gives it, -1 when it still runs.
    int Wait();
    // True while the process has not ended.
    bool Running();

    pid_t pid() const { return pid_; }
    std::uint16_t port() const { return port_; }

  private:
    pid_t pid_ = -1;
    std::uint16_t port_ = 0;
};

// The user the server runs as where the tests run as root: root writes through every
// permission, so a read-only folder would not be read-only to it.
constexpr uid_t kUnprivilegedUser = 65534;

// One request on a connection of its own: everything that came back until the server
// closed; "<no connection>", or what came with "<reset>" / "<time-out>" appended.
std::string Exchange(std::uint16_t port, std::string_view request);

// A loopback TCP socket bound to the local address `from` and connected to `port`, its
// receives limited to a scaled 10 s. The socket is returned even when `connected` is false.
int ConnectFrom(std::uint16_t port, const char* from, bool& connected);

// The store's answer: HTTP/1.0, status and reason, its fixed headers, the body.
std::string StoreAnswer(std::string_view statusAndReason, std::string_view body = {});

// `size` bytes of every value, different for each `seed`.
std::string PatternBytes(std::size_t size, unsigned seed);

// A file's whole content, or nullopt when it cannot be read.
std::optional<std::string> FileContents(const std::string& path);
bool WriteFile(const std::string& path, std::string_view contents);

}  // namespace pelorin::testing
