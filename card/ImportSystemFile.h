// The record of one PC file that the import brings onto a card: for the media file and its ".thm" and
// ".mrk" sidecars, the working copy's path in the run's working folder and the final path in the card folder,
// plus the pass-log path of two-pass encoding. Building a record reserves its temporary names by creating
// the working files empty, so a later record of the same drop with the same base name picks another name.
//
// Plain value, copied into the job's arrays; used by one thread at a time.
#pragma once

#include <string>

#include "card/TQ9SystemFile.h"

namespace tq9 {

// Source extension -> target extension, flags and kind, for files brought onto a card.
extern const ExtensionRow kImportExtensionTable[];

class CTQ9ImportSystemFile : public CTQ9SystemFileBase {
public:
    enum class Variant {
        Transcode, // target extension and kind from the table
        Copy,      // a drop of the program's own drag: KIND_COPY added, the source extension kept
    };

    std::string sourcePath;        // long form of the PC source
    std::string destinationFolder; // long form of the card folder
    int tempCreated = 0;           // 1 once building started; the job deletes working files only then
    std::string tempMediaPath;
    std::string tempThumbnailPath;
    std::string tempMarkerPath;
    std::string destMediaPath;
    std::string destThumbnailPath;
    std::string destMarkerPath;
    std::string passLogPath; // transcoding variant only; the file itself is made by the encoder

    // Fills the record for source going into destinationFolder. Throws CUserException when the
    // destination is not a folder, the source is missing or a folder, a path has no long form, there is
    // no temporary folder, or a working file cannot be created. A source whose extension is not in the
    // table builds with flags 0, no paths and no working files.
    // workFolder holds the working files (the run's private folder); empty means the temporary folder.
    // The card name is one FAT and exFAT take (see FreeBaseNameForImport).
    void Build(const std::string& destination, const std::string& source, Variant variant,
               const std::string& workFolder = std::string());

    // Removes the working files and the pass log (only when tempCreated); failures are ignored, since
    // moved files are gone already.
    void DeleteWorkingFiles() const;
};

} // namespace tq9
