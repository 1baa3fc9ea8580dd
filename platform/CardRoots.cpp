#include "platform/CardRoots.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>
#include <set>
#include <sstream>

namespace tq9 {

namespace {

std::mutex g_lock;
std::vector<std::string> g_extra;
std::string g_mountsFile; // guarded by g_lock

// /proc/self/mounts escapes blanks, tabs, newlines and backslashes as octal (\040 ...).
std::string unescapeMountPath(const std::string& s)
{
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 3 < s.size()) {
            const std::string oct = s.substr(i + 1, 3);
            if (oct.size() == 3 && std::all_of(oct.begin(), oct.end(), [](char c) { return c >= '0' && c <= '7'; })) {
                out += static_cast<char>(std::stoi(oct, nullptr, 8));
                i += 3;
                continue;
            }
        }
        out += s[i];
    }
    return out;
}

struct MountEntry {
    std::string point;
    std::string type;
};

std::vector<MountEntry> readMounts(const std::string& mountsFile)
{
    std::vector<MountEntry> entries;
    std::ifstream in(mountsFile);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string device, point, type;
        if (fields >> device >> point) {
            fields >> type;
            entries.push_back({unescapeMountPath(point), type});
        }
    }
    return entries;
}

bool worthWatching(const std::string& type)
{
    static const std::set<std::string> kSkipped = {
        "autofs", "proc", "sysfs", "cgroup", "cgroup2", "devpts", "devtmpfs", "mqueue", "debugfs", "tracefs",
        "securityfs", "pstore", "bpf", "configfs", "fusectl", "hugetlbfs", "binfmt_misc", "efivarfs",
        "rpc_pipefs", "nsfs", "nfs", "nfs4", "cifs", "smb3", "smbfs", "ceph", "9p", "afs", "fuse.sshfs"};
    return kSkipped.count(type) == 0;
}

std::string mountsFileInUse()
{
    std::string mountsFile;
    {
        std::lock_guard<std::mutex> guard(g_lock);
        mountsFile = g_mountsFile;
    }
    if (const char* fromEnv = std::getenv("TQ9_MOUNTS_FILE"); mountsFile.empty() && fromEnv && *fromEnv)
        mountsFile = fromEnv;
    return mountsFile.empty() ? "/proc/self/mounts" : mountsFile;
}

} // namespace

std::vector<std::string> CCardRoots::MountPoints(const std::string& mountsFile)
{
    std::vector<std::string> roots;
    for (const MountEntry& entry : readMounts(mountsFile))
        roots.push_back(entry.point);
    std::sort(roots.begin(), roots.end());
    roots.erase(std::unique(roots.begin(), roots.end()), roots.end());
    return roots;
}

std::vector<std::string> CCardRoots::ExtraRoots()
{
    std::lock_guard<std::mutex> guard(g_lock);
    return g_extra;
}

void CCardRoots::AddExtraRoot(const std::string& folder)
{
    std::string f = folder;
    while (f.size() > 1 && f.back() == '/')
        f.pop_back();
    std::lock_guard<std::mutex> guard(g_lock);
    if (std::find(g_extra.begin(), g_extra.end(), f) == g_extra.end())
        g_extra.push_back(f);
}

void CCardRoots::ClearExtraRoots()
{
    std::lock_guard<std::mutex> guard(g_lock);
    g_extra.clear();
}

void CCardRoots::SetMountsFile(const std::string& file)
{
    std::lock_guard<std::mutex> guard(g_lock);
    g_mountsFile = file;
}

std::vector<std::string> CCardRoots::All()
{
    std::vector<std::string> roots = MountPoints(mountsFileInUse());
    for (const std::string& extra : ExtraRoots())
        if (std::find(roots.begin(), roots.end(), extra) == roots.end())
            roots.push_back(extra);
    return roots;
}

std::vector<std::string> CCardRoots::Watchable()
{
    // What is mounted on top counts: an automount point with its file system mounted over it is that file
    // system.
    std::map<std::string, std::string> typeOf;
    for (const MountEntry& entry : readMounts(mountsFileInUse()))
        typeOf[entry.point] = entry.type;
    std::vector<std::string> roots = All();
    roots.erase(std::remove_if(roots.begin(), roots.end(),
                               [&typeOf](const std::string& root) {
                                   const auto it = typeOf.find(root);
                                   return it != typeOf.end() && !worthWatching(it->second);
                               }),
                roots.end());
    return roots;
}

} // namespace tq9
