// Uses the installed library: a call to a port where no server listens must fail with
// the library's exception and its number.
#include <pelorin/PelorinClient.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    pelorin::PelorinClient client;
    client.SetPort(std::atoi(argv[1]));
    try {
        client.DirFile("x");
    } catch (const pelorin::PelorinClientError& e) {
        std::printf("consumer: error %d: %s\n", e.number(), e.what());
        return e.number() == pelorin::PelorinClient::kFailed ? 0 : 1;
    }
    std::printf("consumer: no error\n");
    return 1;
}
