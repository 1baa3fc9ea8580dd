// The list of files a shell file operation works on, built from media-file records: records in order and,
// within a record, the media file, then its ".thm", then its ".mrk", each only when its flag is set.
//
// The list is a plain vector of UTF-8 paths in that order (no NUL-separated byte buffer: nothing on this
// platform consumes that format; the drag-out hands files over as text/uri-list).
//
// A value type without locking; it belongs to the thread that builds it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "card/TQ9SystemFile.h"

namespace tq9 {

class CShellPathList {
public:
    // Appends one path.
    void Append(const std::string& path) { m_paths.push_back(path); }
    // Appends the parts of one record whose flag is set, in the order media, thumbnail, marker.
    void AppendParts(uint32_t flags, const std::string& media, const std::string& thumbnail,
                     const std::string& marker);
    // A card file record: path, thumbnailPath, markerPath.
    void AppendRecord(const CTQ9SystemFile& record)
    {
        AppendParts(record.flags, record.path, record.thumbnailPath, record.markerPath);
    }

    const std::vector<std::string>& Paths() const { return m_paths; }
    std::vector<std::string> Take() { return std::move(m_paths); }
    size_t Size() const { return m_paths.size(); }
    bool Empty() const { return m_paths.empty(); }

private:
    std::vector<std::string> m_paths;
};

} // namespace tq9
