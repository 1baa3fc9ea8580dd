// An export into a PC folder, for the front ends that take card files out without a drag (tq9 export,
// File > Export): the export job runs behind a front-end, then each result goes into the folder under the
// card file's name with the export's extension (clip.mp4 recorded by the device arrives as clip.wmv) and
// the card file's date; a taken name gets the next "name (2).ext". What can be exported is: a file that
// fails, in the export or when it is put into the folder, is named in failed with its cause and the others
// go on. The moves run on the job's worker, so the front-end shows them (and a wait for another run
// writing into the folder) and can cancel them; a cancel removes what was moved; the working files go in
// every case.
//
// UI thread (the front-end's); blocks while the job's worker runs.
#pragma once

#include <string>
#include <vector>

#include "jobs/Exporter.h"
#include "jobs/ProgressFrontEnd.h"

namespace tq9 {

class CExportToFolder {
public:
    struct Outcome {
        int result = 0;                  // 0, 1 (cancelled) or a negative code of the export job
        bool prepareRefused = false;     // Prepare refused the sources (result holds its code)
        std::vector<std::string> placed; // the files now in the folder, in source order
        std::vector<CExporter::FailedSource> failed; // the files left out (or cut short), with their causes
    };

    // sources: absolute card paths of media files; folder: an existing folder.
    static Outcome Run(CExporter& exporter, IProgressFrontEnd& frontEnd, const std::vector<std::string>& sources,
                       const std::string& folder);
};

} // namespace tq9
