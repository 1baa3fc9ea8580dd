// The files one drag of card files out of the file list hands over, and their life: the names are fixed
// when the drag starts (a target may read the list while the pointer is still over it), the export fills
// them once the user drops outside the program, and they stay until the program is done with them (the
// next drag, program exit, or the start-up sweep of a run that died), because a target may still be
// copying when the drag call returns.
//
// The copies of one drag live in a folder of their own in the temporary folder,
// "tq9-drag-<pid>-<n>", under the card file's own name with the export's extension (clip.mp4 recorded by
// the device is handed over as clip.wmv). The export job writes its working files under names of its own;
// Export moves them into that folder.
//
// UI thread only (Export blocks in the front-end while the export's worker runs).
#pragma once

#include <string>
#include <vector>

#include "jobs/ProgressFrontEnd.h"

namespace tq9 {

class CDragOutSource {
public:
    // What the drag needs of the export job.
    class IExport {
    public:
        virtual ~IExport() = default;
        // As the export job's Prepare and Run: 0 or a negative code; 0, 1 (cancelled) or a negative code.
        virtual int Prepare(const std::vector<std::string>& sources) = 0;
        virtual int Run(IProgressFrontEnd& frontEnd) = 0;
        // Per source, in order, the working file the run wrote ("" for a source it exports nothing of).
        virtual std::vector<std::string> WorkingFiles() const = 0;
        virtual void DeleteWorkingFiles() = 0;
    };

    // Decides the names for cardPaths (probing card mp4 files). Nothing is created yet.
    explicit CDragOutSource(std::vector<std::string> cardPaths);
    ~CDragOutSource();
    CDragOutSource(const CDragOutSource&) = delete;
    CDragOutSource& operator=(const CDragOutSource&) = delete;

    const std::vector<std::string>& CardPaths() const { return m_cardPaths; }
    // The files a target receives, in card order; sources the export leaves out (sidecars, other types)
    // have none.
    const std::vector<std::string>& HandOverPaths() const { return m_handOver; }

    // Runs the export behind frontEnd and puts its results under the hand-over names. Returns the export's
    // result; on anything but 0 the hand-over list is empty and nothing of this drag stays in the temporary
    // folder.
    int Export(IExport& job, IProgressFrontEnd& frontEnd);
    // Removes this drag's copies and their folder (failures are ignored).
    void RemoveCopies();

    // Removes the folders of earlier drags: those of processes that no longer run and this process's own
    // (called when a drag starts, at exit and at start-up; a target has long finished by then).
    static void RemoveLeftovers();
    // Prefix of the folders in the temporary folder.
    static constexpr const char* kFolderPrefix = "tq9-drag-";

private:
    std::vector<std::string> m_cardPaths;
    std::vector<std::string> m_handOver;
    std::vector<size_t> m_handOverSource; // index into m_cardPaths of each hand-over path
    std::string m_folder;
};

} // namespace tq9
