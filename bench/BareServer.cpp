// The least an HTTP/1.0 server of this kind can do, as a reference figure: one epoll loop
// that accepts, reads the request head, writes a fixed answer and closes. The answers are
// the files of one folder, read into memory at start (a GET of "/name" gets the file
// "name"; anything else gets 404), so no request touches the file system.
//
//   bare_server --port P --folder DIR [--lifetime SECONDS]
//
// It ends by itself after --lifetime seconds (1 hour by default), so that a forgotten one
// does not linger.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kHead =
    "HTTP/1.0 200 OK\r\nServer: bare\r\nContent-Type: text/plain\r\nConnection: Close\r\n\r\n";
constexpr std::string_view kNotFound =
    "HTTP/1.0 404 Not Found\r\nServer: bare\r\nContent-Type: text/plain\r\n"
    "Connection: Close\r\n\r\n";
constexpr std::size_t kMaxHead = 8192;

struct Connection {
    std::string request;
    const std::string* answer = nullptr;
    std::size_t sent = 0;
};

std::unordered_map<std::string, std::string> LoadAnswers(const fs::path& folder) {
    std::unordered_map<std::string, std::string> answers;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (!entry.is_regular_file()) continue;
        std::ifstream in(entry.path(), std::ios::binary);
        std::string body((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        answers["/" + entry.path().filename().string()] = std::string(kHead) + body;
    }
    return answers;
}

class Server {
  public:
    Server(int listener, std::unordered_map<std::string, std::string> answers)
        : listener_(listener),
          answers_(std::move(answers)),
          notFound_(kNotFound),
          epoll_(epoll_create1(EPOLL_CLOEXEC)) {
        Watch(listener_, EPOLLIN, EPOLL_CTL_ADD);
    }

    void Run(double lifetimeSeconds) {
        const auto end = std::chrono::steady_clock::now() +
                         std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                             std::chrono::duration<double>(lifetimeSeconds));
        epoll_event events[128];
        while (std::chrono::steady_clock::now() < end) {
            const int n = epoll_wait(epoll_, events, 128, 1000);
            for (int i = 0; i < n; ++i) {
                const int fd = events[i].data.fd;
                if (fd == listener_) {
                    AcceptAll();
                } else if (events[i].events & EPOLLOUT) {
                    Write(fd);
                } else {
                    Read(fd);
                }
            }
        }
    }

  private:
    void Watch(int fd, std::uint32_t events, int op) {
        epoll_event ev{};
        ev.events = events;
        ev.data.fd = fd;
        epoll_ctl(epoll_, op, fd, &ev);
    }

    void AcceptAll() {
        // Bounded by the accept queue's length.
        for (;;) {
            const int fd = accept4(listener_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (fd < 0) return;
            connections_[fd] = Connection{};
            Watch(fd, EPOLLIN, EPOLL_CTL_ADD);
        }
    }

    void Read(int fd) {
        Connection& c = connections_[fd];
        char buffer[4096];
        const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) return Close(fd);
        c.request.append(buffer, static_cast<std::size_t>(n));
        const std::size_t end = c.request.find("\r\n\r\n");
        if (end == std::string::npos) {
            if (c.request.size() > kMaxHead) Close(fd);
            return;
        }
        c.answer = &AnswerFor(c.request);
        Write(fd);
    }

    const std::string& AnswerFor(const std::string& request) const {
        const std::size_t first = request.find(' ');
        const std::size_t second = request.find(' ', first + 1);
        if (first == std::string::npos || second == std::string::npos) return notFound_;
        const auto found = answers_.find(request.substr(first + 1, second - first - 1));
        return found == answers_.end() ? notFound_ : found->second;
    }

    void Write(int fd) {
        Connection& c = connections_[fd];
        if (c.answer == nullptr) return Close(fd);
        while (c.sent < c.answer->size()) {
            const ssize_t n =
                send(fd, c.answer->data() + c.sent, c.answer->size() - c.sent, MSG_NOSIGNAL);
            if (n < 0) {
                if (errno == EAGAIN) return Watch(fd, EPOLLOUT, EPOLL_CTL_MOD);
                return Close(fd);
            }
            c.sent += static_cast<std::size_t>(n);
        }
        Close(fd);
    }

    void Close(int fd) {
        connections_.erase(fd);
        close(fd);
    }

    int listener_;
    std::unordered_map<std::string, std::string> answers_;
    std::string notFound_;
    int epoll_;
    std::unordered_map<int, Connection> connections_;
};

}  // namespace

int main(int argc, char** argv) {
    long port = 0;
    std::string folder;
    double lifetime = 3600;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        if (name == "--port") port = std::strtol(argv[i + 1], nullptr, 10);
        if (name == "--folder") folder = argv[i + 1];
        if (name == "--lifetime") lifetime = std::atof(argv[i + 1]);
    }
    if (port <= 0 || port > 65535 || folder.empty()) {
        std::fprintf(stderr, "usage: bare_server --port P --folder DIR [--lifetime SECONDS]\n");
        return 2;
    }
    const int listener = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    int on = 1;
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener, 511) != 0) {
        std::perror("bare_server: listen");
        return 1;
    }
    Server(listener, LoadAnswers(folder)).Run(lifetime);
    return 0;
}
