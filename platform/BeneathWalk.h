// Where a path below a folder leads once its links are followed, without letting it out:
// the store's items must all lie below its data folder, links included.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace pelorin::platform {

// What a look at one path below the root finds.
struct PathLook {
    bool exists = false;
    bool link = false;
    std::string target;  // of a link: as it was written, relative or absolute
};

// Follows `relative` ("/" between names) from `root` (absolute, without links, without a
// trailing "/") name by name as the kernel would, asking `look` about each path below the
// root ("a", "a/b"). A link goes on from its target: a relative one from the link's
// folder, an absolute one from the file system's root. From the first name that does not
// exist on, the names are taken as written. "." stays, ".." goes up.
// The path below the root where it ends ("" for the root itself), or nullopt when it
// would leave the root on the way or at its end, or follows more than 40 links.
std::optional<std::string> WalkBeneath(std::string_view root, std::string_view relative,
                                       const std::function<PathLook(const std::string&)>& look);

}  // namespace pelorin::platform
