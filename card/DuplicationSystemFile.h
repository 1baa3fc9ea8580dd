// The record of one card media item that the duplication copies into another card folder: for the media
// file and its ".thm" and ".mrk" sidecars, the path on the source side and the new path in the receiving
// folder. Building a record reserves the new names by creating the destination files empty, so a later
// record of the same batch picks the next free name.
//
// Plain value, copied into the job's arrays; used by one thread at a time.
#pragma once

#include <string>

#include "card/TQ9SystemFile.h"

namespace tq9 {

// Extension -> flags and kind for card files copied between card folders; every row keeps its extension.
extern const ExtensionRow kDuplicationExtensionTable[];

class CTQ9DuplicationSystemFile : public CTQ9SystemFileBase {
public:
    std::string sourcePath;        // long form of the card media file
    std::string destinationFolder; // long form of the receiving card folder
    std::string sourceMediaPath;
    std::string sourceThumbnailPath;
    std::string sourceMarkerPath;
    // Set only once the reservation file exists, so clean-up never removes a file this record did not make.
    std::string destMediaPath;
    std::string destThumbnailPath;
    std::string destMarkerPath;

    // Fills the record for source going into destination. Throws CUserException when the destination is
    // not a folder, the source is missing or a folder, a path has no long form, or a reservation cannot be
    // created. A part missing at the source loses its flag; a type outside the table builds with flags 0
    // and reserves nothing.
    //
    // The new name avoids every file the record will create, not only the media file: a sidecar of
    // another item with the same base name (photo.thm of photo.jpg when clip "photo.mp4" arrives) is
    // never overwritten, and a reservation never replaces an existing file.
    void Build(const std::string& destination, const std::string& source);

    // Removes the destination files this record created (reservations, or copies it made); failures are
    // ignored. Called for records whose copy did not complete.
    void RemoveDestinationFiles() const;
};

} // namespace tq9
