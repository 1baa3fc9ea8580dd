#include "support/UDisksService.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdlib>

namespace tq9test {

namespace {

const char* const kUDisksd = "/usr/libexec/udisks2/udisksd";

} // namespace

std::string UDisksService::SkipReason()
{
    if (::geteuid() != 0)
        return "needs root (a loop device and its mount)";
    if (::access(kUDisksd, X_OK) != 0)
        return "needs udisksd (udisks2, scripts/install-deps)";
    if (RunProcess({"sh", "-c", "command -v dbus-daemon"}).exitCode != 0)
        return "needs dbus-daemon";
    return {};
}

UDisksService::UDisksService(const fs::path& dir, const std::string& loopDevice)
{
    using namespace std::chrono_literals;
    const fs::path socket = dir / "system_bus";
    // A system bus (the service refuses a session one) that lets everything through: the test is root.
    WriteFile(dir / "system-bus.conf",
              "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
              " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
              "<busconfig><type>system</type><listen>unix:path=" + socket.string() + "</listen>"
              "<auth>EXTERNAL</auth><policy context=\"default\"><allow user=\"*\"/><allow own=\"*\"/>"
              "<allow send_type=\"method_call\"/><allow send_destination=\"*\"/><allow receive_sender=\"*\"/>"
              "</policy></busconfig>\n");
    m_bus = std::make_unique<ChildProcess>(
        std::vector<std::string>{"dbus-daemon", "--nofork", "--nopidfile", "--config-file=" + (dir / "system-bus.conf").string()},
        std::vector<std::string>{});
    if (!WaitUntil([&] { return fs::exists(socket); }, 10s))
        return;
    m_busVariable = "DBUS_SYSTEM_BUS_ADDRESS=unix:path=" + socket.string();
    ::setenv("DBUS_SYSTEM_BUS_ADDRESS", m_busVariable.substr(m_busVariable.find('=') + 1).c_str(), 1);

    // The udev record of the device, unless a udev daemon keeps the records here.
    struct stat device {};
    if (!fs::exists("/run/udev/control") && ::stat(loopDevice.c_str(), &device) == 0) {
        for (const char* folder : {"/run/udev", "/run/udev/data"})
            if (!fs::exists(folder) && fs::create_directory(folder))
                m_madeFolders.insert(m_madeFolders.begin(), folder);
        m_udevRecord = "/run/udev/data/b" + std::to_string(major(device.st_rdev)) + ":" + std::to_string(minor(device.st_rdev));
        WriteFile(m_udevRecord, "I:1\nE:ID_FS_USAGE=filesystem\nE:ID_FS_TYPE=ext4\n");
    }
    m_udisks = std::make_unique<ChildProcess>(std::vector<std::string>{kUDisksd, "--no-sigint"},
                                              std::vector<std::string>{m_busVariable});
    WaitUntil([&] { return Log().find("Acquired the name") != std::string::npos || !m_udisks->Running(); }, 30s);
    // Ready once it has read the mount table and knows the file system is mounted.
    const std::string object = "/org/freedesktop/UDisks2/block_devices/" + fs::path(loopDevice).filename().string();
    m_ready = WaitUntil([&] {
        const ProcessResult points = RunProcess(
            {"dbus-send", "--system", "--print-reply", "--dest=org.freedesktop.UDisks2", object,
             "org.freedesktop.DBus.Properties.Get", "string:org.freedesktop.UDisks2.Filesystem", "string:MountPoints"},
            {m_busVariable});
        return points.exitCode == 0 && points.out.find("array of bytes") != std::string::npos;
    }, 30s);
}

UDisksService::~UDisksService()
{
    m_udisks.reset();
    m_bus.reset();
    std::error_code error;
    if (!m_udevRecord.empty())
        fs::remove(m_udevRecord, error);
    for (const fs::path& folder : m_madeFolders)
        fs::remove(folder, error); // only when empty: another test's record stays
}

bool UDisksService::Running() const
{
    return m_ready && m_udisks->Running();
}

std::string UDisksService::Log() const
{
    return m_udisks ? m_udisks->Err() : "the private system bus did not start";
}

} // namespace tq9test
