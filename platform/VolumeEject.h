// Takes a mounted volume out safely through the desktop's disk service, UDisks2, on the system bus: unmounts
// its file system, then powers off its drive where the drive can be (a card reader's slot, a USB stick).
// Both front ends use it; it has no user interface and says what happened in Result.
//
// Blocking D-Bus calls (an unmount flushes the card's cache, so it takes as long as the writing left);
// any thread, no state.
#pragma once

#include <string>

namespace tq9 {

class CVolumeEject {
public:
    enum class Outcome {
        Ejected,   // unmounted (and powered off where it could be)
        Busy,      // the system refused: a program has files open on it
        Refused,   // the system refused for another reason (reason says which)
        NoService, // no UDisks2 on the system bus, or it does not know the volume: unmount by hand
    };
    struct Result {
        Outcome outcome = Outcome::NoService;
        std::string reason;      // the service's message when Refused
        bool poweredOff = false; // the drive was powered off too
    };

    // Ejects the volume mounted at mountPoint.
    static Result Eject(const std::string& mountPoint);
    // The block device that holds mountPoint's file system ("/dev/sdb1"); empty when it is none (a FUSE,
    // network or memory file system) or mountPoint is not where a file system is mounted.
    static std::string DeviceOf(const std::string& mountPoint);
    // Whether a file system is mounted at path (not a folder inside one).
    static bool IsMountPoint(const std::string& path);
};

} // namespace tq9
