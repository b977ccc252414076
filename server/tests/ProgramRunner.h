// The server program run as a process of its own, from a copy in a folder of the test's
// own (so its program folder, data folder and log are the test's), and worked the way a
// user works it: on Windows through its real window, on Linux through the terminal that
// stands in for the window.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace pelorin::testing {

class ProgramRunner {
  public:
    ProgramRunner();
    ~ProgramRunner();  // ends a program that still runs
    ProgramRunner(const ProgramRunner&) = delete;
    ProgramRunner& operator=(const ProgramRunner&) = delete;

    // Copies `programFile` into `folder` (with its trailing separator) and starts the
    // copy there with `arguments`; waits until its window is up. Standard error goes to
    // the file "stderr.txt" in that folder.
    bool Start(const std::string& programFile, const std::string& folder,
               const std::string& arguments);

    // What the user does with the window.
    bool TypePort(const std::string& port);
    bool PressButton();
    bool CloseWindow();
    // The button's caption as the user sees it now ("" when unknown).
    std::string ButtonCaption();

    // The request to end the program from outside: SIGTERM on Linux; on Windows, where a
    // window program has no console to break, closing the window.
    bool RequestStop();

    // The exit status, once the program ended within `timeoutMs`.
    std::optional<int> Wait(std::uint32_t timeoutMs);

    // The most memory the running program has held resident so far, in bytes (Linux:
    // its high-water mark; Windows: its peak working set); nullopt when it cannot be had.
    std::optional<std::uint64_t> PeakResidentBytes();

  private:
    struct Process;
    std::unique_ptr<Process> process_;
};

}  // namespace pelorin::testing
