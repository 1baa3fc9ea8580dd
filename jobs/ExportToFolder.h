// An export into a PC folder, for the front ends that take card files out without a drag (tq9 export,
// File > Export): the export job runs behind a front-end, then its results go into the folder under the
// card file's name with the export's extension (clip.mp4 recorded by the device arrives as clip.wmv); a
// taken name gets the next "name (2).ext". All or nothing: after a failure or a cancel, what was moved is
// removed again, and the working files go in every case.
//
// UI thread (the front-end's); blocks while the job's worker runs.
#pragma once

#include <string>
#include <vector>

#include "jobs/ProgressFrontEnd.h"

namespace tq9 {

class CExporter;

class CExportToFolder {
public:
    struct Outcome {
        int result = 0;                 // 0, 1 (cancelled) or a negative code of the export job
        bool prepareRefused = false;    // Prepare refused the sources (result holds its code)
        int placementCode = 0;          // the move's code when the results could not be put into the folder
        std::vector<std::string> placed; // the files now in the folder, in source order
    };

    // sources: absolute card paths of media files; folder: an existing folder.
    static Outcome Run(CExporter& exporter, IProgressFrontEnd& frontEnd, const std::vector<std::string>& sources,
                       const std::string& folder);
};

} // namespace tq9
