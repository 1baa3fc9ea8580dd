// The record of one card media item that the duplication copies into another card folder: for the media
// file and its ".thm" and ".mrk" sidecars, the path on the source side and the new path in the receiving
// folder. Building a record writes nothing: the copy picks the final names again under the folder's lock
// (CollisionPath gives the candidates), so items of one batch or of two runs at once never share a name.
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
    // The names free when the record was built; the copy lands under these or the next free candidate.
    std::string destMediaPath;
    std::string destThumbnailPath;
    std::string destMarkerPath;
    std::string sourceBase; // the source's name without folder and extension

    // Fills the record for source going into destination. Throws CUserException when the destination is
    // not a folder, the source is missing or a folder, or a path has no long form. A part missing at the
    // source loses its flag; a type outside the table builds with flags 0.
    //
    // The new name avoids every file the record will create, not only the media file: a sidecar of
    // another item with the same base name (photo.thm of photo.jpg when clip "photo.mp4" arrives) is
    // never overwritten.
    void Build(const std::string& destination, const std::string& source);

    // The path of the file bound for path (one of the dest paths) at collision number n >= 2: the n-1st
    // of base, base_0, base_1... with path's folder and extension, so every part of the item takes the
    // same name.
    std::string CollisionPath(const std::string& path, int n) const;
};

} // namespace tq9
