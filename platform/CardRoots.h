// Where cards may be: the mount points of the system, in path order, followed by folders the user names
// with --card-root (tests and the demo card use those).
#pragma once

#include <string>
#include <vector>

namespace tq9 {

class CCardRoots {
public:
    // Mount points from /proc/self/mounts (or the given mounts file), sorted by path, duplicates removed.
    static std::vector<std::string> MountPoints(const std::string& mountsFile = "/proc/self/mounts");
    // Folders added with AddExtraRoot, in the order given.
    static std::vector<std::string> ExtraRoots();
    static void AddExtraRoot(const std::string& folder);
    static void ClearExtraRoots();
    // The mount points, then the extra roots not already among them.
    static std::vector<std::string> All();
    // All() without the mount points of kernel, automount and network file systems: the roots that are
    // cheap and safe to look at every few seconds (a look under an automount point mounts it, a hung
    // server blocks it).
    static std::vector<std::string> Watchable();
    // Where All() reads the mount points; empty for $TQ9_MOUNTS_FILE, or /proc/self/mounts when that is
    // not set. Tests give a file of their own, so that cards other tests mount meanwhile do not show up in
    // theirs.
    static void SetMountsFile(const std::string& file);
};

} // namespace tq9
