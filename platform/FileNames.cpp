#include "platform/FileNames.h"

namespace pelorin::platform {

bool HasRefusedNameCharacter(std::string_view path, bool wildcardsAllowed) {
    for (const char c : path) {
        if (static_cast<unsigned char>(c) < 32) return true;
        switch (c) {
            case '<':
            case '>':
            case ':':
            case '"':
            case '|':
                return true;
            case '*':
            case '?':
                if (!wildcardsAllowed) return true;
                break;
            default:
                break;
        }
    }
    return false;
}

}  // namespace pelorin::platform
