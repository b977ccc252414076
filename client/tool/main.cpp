// pelorin-client: runs one store method from the command line (see StoreTool.h).
#include <iostream>
#include <string>
#include <vector>

#include "client/tool/StoreTool.h"

int main(int argc, char** argv) {
    using namespace pelorin::tool;
    UseBinaryStreams();
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    return RunStoreTool(arguments, OpenStoreAccess, std::cin, std::cout, std::cerr);
}
