#include "ScratchMount.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sys/mount.h>
#include <unistd.h>

#include "TestSupport.h"

#include <gtest/gtest.h>

namespace tq9test {

namespace {

bool isMountPoint(const fs::path& path)
{
    std::ifstream in("/proc/self/mountinfo");
    std::string line;
    const std::string needle = " " + path.string() + " ";
    while (std::getline(in, line)) {
        if (line.find(needle) != std::string::npos)
            return true;
    }
    return false;
}

bool onPath(const std::string& tool)
{
    for (const char* dir : {"/usr/bin/", "/usr/sbin/", "/bin/", "/sbin/"}) {
        if (::access((std::string(dir) + tool).c_str(), X_OK) == 0)
            return true;
    }
    return false;
}

} // namespace

std::unique_ptr<ScratchMount> ScratchMount::Create(std::string& skipReason)
{
    if (::geteuid() != 0) {
        skipReason = "mounting a file system for the test needs root";
        return nullptr;
    }
    std::unique_ptr<ScratchMount> m(new ScratchMount);
    char pattern[] = "/tmp/tq9mnt-XXXXXX";
    if (!::mkdtemp(pattern)) {
        skipReason = "cannot make a mount folder";
        return nullptr;
    }
    m->m_folder = pattern;
    m->m_mountPoint = m->m_folder / "mnt";
    fs::create_directory(m->m_mountPoint);
    return m;
}

std::unique_ptr<ScratchMount> ScratchMount::Tmpfs(const std::string& size, std::string& skipReason)
{
    std::unique_ptr<ScratchMount> m = Create(skipReason);
    if (!m)
        return nullptr;
    const std::string options = "size=" + size;
    if (::mount("tmpfs", m->m_mountPoint.c_str(), "tmpfs", 0, options.c_str()) != 0) {
        skipReason = std::string("cannot mount a tmpfs: ") + std::strerror(errno);
        return nullptr;
    }
    m->m_mounted = true;
    return m;
}

std::unique_ptr<ScratchMount> ScratchMount::Format(int sizeMiB, const std::vector<std::string>& tools,
                                                  std::vector<std::string> mkfs, std::string& skipReason)
{
    if (::access("/dev/fuse", R_OK | W_OK) != 0) {
        skipReason = "no /dev/fuse";
        return nullptr;
    }
    std::unique_ptr<ScratchMount> m = Create(skipReason);
    if (!m)
        return nullptr;
    // Root and the devices are the machine's; the tools are ours to install, so their absence fails the
    // test instead of letting a card-safety case pass unrun.
    for (const std::string& tool : tools) {
        if (!onPath(tool)) {
            skipReason = tool + " is not installed";
            ADD_FAILURE() << skipReason << " (scripts/install-deps installs it)";
            return nullptr;
        }
    }
    m->m_image = m->m_folder / "card.img";
    std::ofstream(m->m_image).close();
    fs::resize_file(m->m_image, static_cast<uintmax_t>(sizeMiB) << 20);
    mkfs.push_back(m->m_image.string());
    if (RunProcess(mkfs).exitCode != 0) {
        skipReason = mkfs[0] + " failed";
        return nullptr;
    }
    return m;
}

std::unique_ptr<ScratchMount> ScratchMount::FatImage(int sizeMiB, std::string& skipReason, int clusterKiB)
{
    std::vector<std::string> mkfs = {"mkfs.vfat"};
    if (clusterKiB > 0)
        mkfs.insert(mkfs.end(), {"-s", std::to_string(clusterKiB * 2)});
    std::unique_ptr<ScratchMount> m = Format(sizeMiB, {"fusefat", "mkfs.vfat"}, mkfs, skipReason);
    if (!m)
        return nullptr;
    const ProcessResult r = RunProcess({"fusefat", "-o", "rw+", m->m_image.string(), m->m_mountPoint.string()});
    if (r.exitCode != 0 || !isMountPoint(m->m_mountPoint)) {
        skipReason = "fusefat could not mount the image: " + r.err;
        return nullptr;
    }
    m->m_mounted = true;
    return m;
}

std::unique_ptr<ScratchMount> ScratchMount::ExfatImage(int sizeMiB, std::string& skipReason)
{
    std::unique_ptr<ScratchMount> m =
        Format(sizeMiB, {"mount.exfat-fuse", "mkfs.exfat", "losetup"}, {"mkfs.exfat"}, skipReason);
    if (!m)
        return nullptr;
    // exfat-fuse wants a block device when it runs as root.
    if (!m->AttachLoop(skipReason))
        return nullptr;
    const ProcessResult r = RunProcess({"mount.exfat-fuse", m->m_loopDevice, m->m_mountPoint.string()});
    if (r.exitCode != 0 || !isMountPoint(m->m_mountPoint)) {
        skipReason = "exfat-fuse could not mount the image: " + r.err;
        return nullptr;
    }
    m->m_mounted = true;
    return m;
}

std::unique_ptr<ScratchMount> ScratchMount::Ext4Image(int sizeMiB, std::string& skipReason)
{
    std::unique_ptr<ScratchMount> m = Format(sizeMiB, {"mkfs.ext4", "losetup"}, {"mkfs.ext4", "-q"}, skipReason);
    if (!m || !m->AttachLoop(skipReason))
        return nullptr;
    if (::mount(m->m_loopDevice.c_str(), m->m_mountPoint.c_str(), "ext4", 0, nullptr) != 0) {
        skipReason = "the kernel could not mount ext4 from " + m->m_loopDevice;
        return nullptr;
    }
    m->m_mounted = true;
    return m;
}

bool ScratchMount::AttachLoop(std::string& skipReason)
{
    const ProcessResult loop = RunProcess({"losetup", "-f", "--show", m_image.string()});
    if (loop.exitCode != 0 || loop.out.empty()) {
        skipReason = "no loop device: " + loop.err;
        return false;
    }
    m_loopDevice = loop.out.substr(0, loop.out.find('\n'));
    return true;
}

bool ScratchMount::Remount(const std::string& options)
{
    unsigned long flags = MS_REMOUNT;
    if (options == "ro")
        flags |= MS_RDONLY;
    return ::mount("tmpfs", m_mountPoint.c_str(), "tmpfs", flags, nullptr) == 0;
}

bool ScratchMount::ChangeFatImage(const std::function<bool(const fs::path& image)>& change)
{
    if (!m_mounted || ::umount2(m_mountPoint.c_str(), 0) != 0)
        return false;
    m_mounted = false;
    if (!change(m_image))
        return false;
    m_mounted = RunProcess({"fusefat", "-o", "ro", m_image.string(), m_mountPoint.string()}).exitCode == 0 &&
        isMountPoint(m_mountPoint);
    return m_mounted;
}

ScratchMount::~ScratchMount()
{
    if (m_mounted && ::umount2(m_mountPoint.c_str(), 0) != 0)
        ::umount2(m_mountPoint.c_str(), MNT_DETACH); // still busy: let it go when the last user leaves
    if (!m_loopDevice.empty())
        RunProcess({"losetup", "-d", m_loopDevice});
    std::error_code ec;
    if (!m_folder.empty() && !isMountPoint(m_mountPoint))
        fs::remove_all(m_folder, ec);
}

} // namespace tq9test
