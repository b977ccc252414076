// A reading thread waits on standard input and posts each line to the window's thread;
// the lines themselves wait here until that thread takes them.
#include "platform/Console.h"

#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <deque>
#include <mutex>
#include <thread>

#include "platform/MessageQueue.h"

namespace pelorin::platform {
namespace {

std::mutex gMutex;
std::deque<std::string> gLines;

// Ends at the end of input, or when the window is gone.
void ReadLines(WindowHandle window, MessageId message) {
    std::string line;
    char buffer[256];
    for (;;) {
        const ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) return;
        for (ssize_t i = 0; i < n; ++i) {
            if (buffer[i] != '\n') {
                line += buffer[i];
                continue;
            }
            if (!line.empty() && line.back() == '\r') line.pop_back();
            {
                std::lock_guard lock(gMutex);
                gLines.push_back(std::move(line));
            }
            line.clear();
            if (!PostMsg(window, message, 0, 0)) return;
        }
    }
}

}  // namespace

bool StartConsoleCommands(WindowHandle window, MessageId message) {
    if (isatty(STDIN_FILENO) == 0) return false;
    // A program started in the background leaves the terminal to the shell. Should it be
    // sent there later, reading fails instead of stopping the whole server.
    if (tcgetpgrp(STDIN_FILENO) != getpgrp()) return false;
    signal(SIGTTIN, SIG_IGN);
    std::thread(ReadLines, window, message).detach();
    return true;
}

bool TakeConsoleLine(std::string& line) {
    std::lock_guard lock(gMutex);
    if (gLines.empty()) return false;
    line = std::move(gLines.front());
    gLines.pop_front();
    return true;
}

void WriteConsoleLine(std::string_view line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

}  // namespace pelorin::platform
