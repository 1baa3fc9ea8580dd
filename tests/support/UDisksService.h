// The desktop's disk service for one test: a private system bus (a dbus-daemon with a configuration of its
// own, reached through DBUS_SYSTEM_BUS_ADDRESS, which this sets for the test process and its children) and a
// real udisksd on it that knows the given loop device. Where no udev daemon runs (a container), the device's
// udev record is written as udevd would have, so udisksd sees its file system; it goes with the object.
// Needs root, dbus-daemon, dbus-send and udisksd; SkipReason says what is missing.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "support/XvfbDisplay.h"

namespace tq9test {

class UDisksService {
public:
    static std::string SkipReason();
    // Starts the bus and the service for loopDevice ("/dev/loop3"); Running() is false when it did not come up
    // (Log() says why).
    UDisksService(const std::filesystem::path& dir, const std::string& loopDevice);
    ~UDisksService();

    bool Running() const;
    std::string Log() const;
    // "DBUS_SYSTEM_BUS_ADDRESS=..." for programs the test starts.
    const std::string& BusVariable() const { return m_busVariable; }

private:
    std::unique_ptr<ChildProcess> m_bus;
    std::unique_ptr<ChildProcess> m_udisks;
    std::string m_busVariable;
    std::filesystem::path m_udevRecord; // written by us, removed at the end
    std::vector<std::filesystem::path> m_madeFolders;
    bool m_ready = false; // the service knows the device's mount
};

} // namespace tq9test
