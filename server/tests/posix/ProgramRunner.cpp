// The program's standard input and output are a pseudo terminal, so it offers its
// keyboard commands; the test types them into the terminal's other side.
#include "../ProgramRunner.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>
#include <vector>

#include "platform/Files.h"
#include "testing/TestLoop.h"
#include "server/CommandLine.h"

namespace pelorin::testing {

struct ProgramRunner::Process {
    pid_t pid = -1;
    int terminal = -1;   // the side the test writes to and reads from
    std::string output;  // what the program wrote to its terminal so far
    std::optional<int> status;
};

namespace {

void Pause() {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

bool CopyProgram(const std::string& from, const std::string& to) {
    std::string bytes;
    if (platform::ReadWholeFile(from, bytes) != 0) return false;
    if (platform::WriteWholeFile(to, bytes) != 0) return false;
    return chmod(to.c_str(), 0755) == 0;
}

std::string Native(std::string path) {
    for (char& c : path) {
        if (c == '\\') c = '/';
    }
    return path;
}

// The child's side: the terminal as standard input and output, stderr into a file.
[[noreturn]] void RunChild(const std::string& program, const std::vector<std::string>& args,
                           const char* terminalName, const std::string& stderrFile) {
    setsid();
    const int slave = open(terminalName, O_RDWR);
    const int errors = open(stderrFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (slave < 0 || errors < 0) _exit(126);
    dup2(slave, STDIN_FILENO);
    dup2(slave, STDOUT_FILENO);
    dup2(errors, STDERR_FILENO);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
}

}  // namespace

ProgramRunner::ProgramRunner() : process_(std::make_unique<Process>()) {}

ProgramRunner::~ProgramRunner() {
    if (process_->pid > 0 && !process_->status) {
        kill(process_->pid, SIGKILL);
        waitpid(process_->pid, nullptr, 0);
    }
    if (process_->terminal >= 0) close(process_->terminal);
}

bool ProgramRunner::Start(const std::string& programFile, const std::string& folder,
                          const std::string& arguments) {
    const std::string copy = Native(folder) + "pelorin";
    if (!CopyProgram(Native(programFile), copy)) return false;
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return false;
    fcntl(master, F_SETFL, O_NONBLOCK);
    process_->terminal = master;
    const std::string terminalName = ptsname(master);
    const std::vector<std::string> args = SplitArguments(arguments);
    const pid_t pid = fork();
    if (pid < 0) return false;
    if (pid == 0) RunChild(copy, args, terminalName.c_str(), Native(folder) + "stderr.txt");
    process_->pid = pid;
    // The window is up once the terminal shows its state.
    for (std::uint32_t i = 0; i < 500 * TimeScale(); ++i) {
        if (ButtonCaption() != "") return true;
        if (Wait(0)) return false;
        Pause();
    }
    return false;
}

bool ProgramRunner::TypePort(const std::string& port) {
    const std::string line = port + "\n";
    return write(process_->terminal, line.data(), line.size()) == static_cast<ssize_t>(line.size());
}

bool ProgramRunner::PressButton() {
    return write(process_->terminal, "\n", 1) == 1;
}

bool ProgramRunner::CloseWindow() {
    return write(process_->terminal, "q\n", 2) == 2;
}

// The last state line the program wrote ends in "[caption]".
std::string ProgramRunner::ButtonCaption() {
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(process_->terminal, buffer, sizeof buffer);
        if (n <= 0) break;
        process_->output.append(buffer, static_cast<std::size_t>(n));
    }
    const std::size_t close = process_->output.rfind(']');
    const std::size_t open = process_->output.rfind('[', close);
    if (close == std::string::npos || open == std::string::npos) return {};
    return process_->output.substr(open + 1, close - open - 1);
}

bool ProgramRunner::RequestStop() {
    return kill(process_->pid, SIGTERM) == 0;
}

std::optional<int> ProgramRunner::Wait(std::uint32_t timeoutMs) {
    if (process_->status) return process_->status;
    for (std::uint32_t waited = 0;; waited += 10) {
        int status = 0;
        if (waitpid(process_->pid, &status, WNOHANG) == process_->pid) {
            process_->status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            return process_->status;
        }
        if (waited >= ScaledMs(timeoutMs)) return std::nullopt;
        Pause();
    }
}

std::optional<std::uint64_t> ProgramRunner::PeakResidentBytes() {
    std::ifstream status("/proc/" + std::to_string(process_->pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.starts_with("VmHWM:")) return std::stoull(line.substr(6)) * 1024;  // kB
    }
    return std::nullopt;
}

}  // namespace pelorin::testing
