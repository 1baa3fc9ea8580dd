// The program's debug log: one line per message on stderr, written only when the environment says
// TQ9_DEBUG=1. Users never see it; it stands where diagnostics for a developer belong.
//
// Thread-safe: each message is written with one call, so lines of different threads do not interleave.
#pragma once

#include <string>

namespace tq9 {

class CDebugLog {
public:
    // True when TQ9_DEBUG=1 (read once per process).
    static bool Enabled();
    // Writes text and a line end to stderr when enabled.
    static void Write(const std::string& text);
};

} // namespace tq9
