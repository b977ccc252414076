// pelorin-client: runs one store method from the command line (see StoreTool.h).
#include <chrono>
#include <iostream>
#include <string>
#include <vector>

#include "client/tool/StoreTool.h"

int main(int argc, char** argv) {
    using namespace pelorin::tool;
    UseBinaryStreams();
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const ToolConsole console{ErrorIsTerminal(), [] {
                                  return std::chrono::duration<double>(
                                             std::chrono::steady_clock::now().time_since_epoch())
                                      .count();
                              }};
    return RunStoreTool(arguments, OpenStoreAccess, std::cin, std::cout, std::cerr, console);
}
