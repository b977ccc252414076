// The entry point of the store server program.
#include "server/MainCode.h"

int main() {
    return pelorin::RunServerProgram();
}
