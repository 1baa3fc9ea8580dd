// What an import will need on the card, checked before anything is converted: each output estimated
// from the source (bit rates times duration, fixed sizes for stills and sidecars) and rounded up to the
// card's cluster, against the card's free space, its largest file and whether it takes writes at all.
// Free space a card cannot tell is unknown, not 0: nothing is refused for it.
//
// A video's size is known only once it is encoded: easy pictures take a fraction of the bit rate, busy
// ones all of it, full-frame noise more. So each output has a range: at most what the encoder's rate
// control aims for (its target and tolerance), at least what is certain (the constant-rate sound, a
// copy's bytes). A record that cannot fit even at its
// least, in what the records before it leave, is refused before converting; the others are converted and
// their real sizes decide at placement. A video's conversion is bounded by OutputBound, so one that
// cannot land stops as soon as that is certain.
//
// No state; Check and Figures are called on the user-interface thread by the import's Prepare,
// OutputBound on its worker.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "card/ImportSystemFile.h"
#include "media/ConversionSettings.h"

namespace tq9 {

class CImportSpaceCheck {
public:
    enum class Verdict { Fits, ReadOnly, Full };

    struct ResultT {
        Verdict verdict = Verdict::Fits;
        uint64_t neededBytes = 0;              // all records, clusters counted
        std::optional<uint64_t> freeBytes;     // nullopt when the card cannot tell
        std::vector<size_t> tooLarge;          // records whose media file exceeds the card's largest file
        std::vector<size_t> noRoom;            // records that cannot fit, in order (Full: all of them)
    };

    // Checks records (going into folder) against the card. Video and audio sources are opened for their
    // duration (a source that does not tell counts as empty: its conversion would fail anyway).
    static ResultT Check(const std::string& folder, const std::vector<CTQ9ImportSystemFile>& records,
                         const ConversionSettings& settings);

    // The size range of a record's media file, before rounding.
    struct EstimateT {
        uint64_t most = 0;
        uint64_t least = 0;
    };
    static EstimateT EstimateMedia(const CTQ9ImportSystemFile& record, const ConversionSettings& settings);

    // How far each record before the one bounded has come: its files are in the working folder
    // (Converted), it is still to run (Pending) or it will not land (Failed).
    enum class Stage { Pending, Converted, Failed };
    struct BoundT {
        std::optional<uint64_t> bytes; // nullopt: none (the card cannot tell its free space, no file limit)
        bool largestFile = false;      // the bound is the card's largest file rather than its room
    };
    // The size past which records[before.size()]'s media file cannot land in folder: the card's free space
    // less what the records before it take there (the real files of the converted ones unless they are on
    // that file system already, the least of the pending ones; they are placed first), less its own
    // sidecars, rounded down to whole clusters; and at most the card's largest file (0: no room at all).
    static BoundT OutputBound(const std::string& folder, const std::vector<CTQ9ImportSystemFile>& records,
                              const std::vector<Stage>& before, const ConversionSettings& settings);

    // "About 1.5 MB needed, 200 KB free." (IDS_SPACE_NEEDED, IDS_SPACE_FREE), said under a message about room.
    static std::string Figures(uint64_t neededBytes, uint64_t freeBytes);
};

} // namespace tq9
