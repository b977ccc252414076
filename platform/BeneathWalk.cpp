#include "platform/BeneathWalk.h"

#include <deque>
#include <vector>

namespace pelorin::platform {
namespace {

// The kernel's own limit on links followed in one lookup.
constexpr int kMaxLinks = 40;

void PushNames(std::string_view path, std::deque<std::string>& names) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t end = std::min(path.find('/', start), path.size());
        if (end > start) parts.emplace_back(path.substr(start, end - start));
        start = end + 1;
    }
    names.insert(names.begin(), parts.begin(), parts.end());
}

std::string Joined(const std::vector<std::string>& names) {
    std::string path;
    for (const std::string& name : names) path += (path.empty() ? "" : "/") + name;
    return path;
}

}  // namespace

std::optional<std::string> WalkBeneath(std::string_view root, std::string_view relative,
                                       const std::function<PathLook(const std::string&)>& look) {
    std::vector<std::string> done;  // the names below the root reached so far
    std::deque<std::string> pending;
    PushNames(relative, pending);
    bool missing = false;  // a name did not exist: the rest is taken as written
    int links = 0;
    while (!pending.empty()) {
        const std::string name = std::move(pending.front());
        pending.pop_front();
        if (name == ".") continue;
        if (name == "..") {
            if (done.empty()) return std::nullopt;
            done.pop_back();
            continue;
        }
        done.push_back(name);
        if (missing) continue;
        const PathLook found = look(Joined(done));
        if (!found.exists) {
            missing = true;
            continue;
        }
        if (!found.link) continue;
        if (++links > kMaxLinks) return std::nullopt;
        done.pop_back();
        std::string_view target = found.target;
        if (target.starts_with('/')) {
            // Absolute: only a target below the root (or the root itself) stays in.
            if (!target.starts_with(root) ||
                (target.size() > root.size() && target[root.size()] != '/')) {
                return std::nullopt;
            }
            target.remove_prefix(root.size());
            done.clear();
        }
        PushNames(target, pending);
    }
    return Joined(done);
}

}  // namespace pelorin::platform
