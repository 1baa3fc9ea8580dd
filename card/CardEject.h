// Ejects a TQ-9 card for either front end: refuses while a job of this program writes to it (CCardClaim),
// then goes through the desktop's disk service (CVolumeEject), and puts the outcome in the program's words:
// that the card can be removed, that it is in use by another program, the system's reason, or, without the
// service, the command to run instead.
//
// Blocking (see CVolumeEject); any thread.
#pragma once

#include <string>

namespace tq9 {

class CCardEject {
public:
    struct Result {
        bool ejected = false;
        std::string message; // for the status bar when ejected, for a message box otherwise
    };
    // cardRoot: where the card is mounted (the folder holding its device folder). shown writes it into
    // the message (nullptr: as it is; a terminal quotes a name holding a newline).
    static Result Eject(const std::string& cardRoot, std::string (*shown)(const std::string&) = nullptr);
};

} // namespace tq9
