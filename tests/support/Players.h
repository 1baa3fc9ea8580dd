// The players people open media files with, run by the tests on a file to its end with their outputs
// discarded: VLC (cvlc, dummy outputs; as nobody when the tests run as root, for VLC refuses root), mpv
// (null outputs) and GStreamer (playbin to fake sinks). Each reports how far it played, what it
// skipped and what it complained about. The helpers' scripts are in tests/players.
#pragma once

#include <string>
#include <vector>

#include "TestSupport.h"

namespace tq9test {

struct Playback {
    std::string player;
    bool available = true;    // false: the player is not installed (why is in log)
    bool ended = false;       // it reached the end of the file by itself
    double playedSeconds = 0; // how far it played (a still: how long its picture was shown)
    double soundSeconds = -1; // the sound that reached the output (VLC), -1 when not measured
    int pictures = -1;        // pictures that reached the video output (GStreamer), -1 when not counted
    int skipped = 0;          // pictures skipped or dropped, sound lost
    std::vector<std::string> errors;
    std::string log; // what the player said, for a failure message
};

// Runs the three players on the files they need, each from a private copy of the file in a folder that
// the unprivileged user can read. A still is shown for stillSeconds.
class Players {
public:
    static constexpr double kStillSeconds = 1.0;
    Players();
    ~Players();
    Players(const Players&) = delete;
    Players& operator=(const Players&) = delete;

    Playback Vlc(const fs::path& file) const;
    Playback Mpv(const fs::path& file) const;
    Playback GStreamer(const fs::path& file) const;
    // The three at once (they play in real time), in that order.
    std::vector<Playback> All(const fs::path& file) const;

private:
    // A copy of file in a folder of its own that every user can read.
    fs::path Copy(const fs::path& file) const;

    fs::path m_dir;     // under /tmp, which every user can reach whatever TMPDIR says
    fs::path m_vlcHome; // HOME of the VLC runs, with the interface script
};

} // namespace tq9test
