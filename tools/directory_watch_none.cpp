// Where the host has no system watch of its own (Windows), the tree is
// looked at by polling.
#include "directory_watch.h"

namespace host {

std::unique_ptr<DirectoryWatch> SystemWatch(const std::filesystem::path&, const WatchedNames&, std::string& why) {
    why.clear();
    return nullptr;
}

}  // namespace host
