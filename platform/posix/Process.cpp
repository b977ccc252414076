#include "platform/Process.h"

#include <sys/resource.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>

#include "platform/ArgumentQuoting.h"

namespace pelorin::platform {

std::string ProgramFolder() {
    char* resolved = realpath("/proc/self/exe", nullptr);
    if (resolved == nullptr) return "./";
    std::string path(resolved);
    std::free(resolved);
    return path.substr(0, path.rfind('/') + 1);
}

std::string CommandLineArguments() {
    std::ifstream in("/proc/self/cmdline", std::ios::binary);
    const std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::string> arguments;
    std::size_t start = all.find('\0');  // skips the program name
    while (start != std::string::npos && start + 1 < all.size()) {
        const std::size_t end = all.find('\0', start + 1);
        arguments.push_back(all.substr(start + 1, end - start - 1));
        start = end;
    }
    return JoinArguments(arguments);
}

void ShowMessageBox(std::string_view text, std::string_view title) {
    std::fprintf(stderr, "%.*s: %.*s\n", static_cast<int>(title.size()), title.data(),
                 static_cast<int>(text.size()), text.data());
}

void ShowInformation(std::string_view text, std::string_view /*title*/) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

void WriteDebugOutput(std::string_view line) {
    std::fprintf(stderr, "%.*s\n", static_cast<int>(line.size()), line.data());
}

void RaiseOpenFileLimit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= limit.rlim_max) return;
    rlimit raised = limit;
    raised.rlim_cur = limit.rlim_max;
    if (setrlimit(RLIMIT_NOFILE, &raised) == 0) return;
    // An unlimited hard limit still stops at the kernel's most descriptors per process.
    std::ifstream in("/proc/sys/fs/nr_open");
    rlim_t most = 0;
    if (!(in >> most) || most <= limit.rlim_cur || most > limit.rlim_max) return;
    raised.rlim_cur = most;
    setrlimit(RLIMIT_NOFILE, &raised);
}

}  // namespace pelorin::platform
