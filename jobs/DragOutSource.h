// The files one drag of card files out of the file list hands over, and their life: the names are fixed
// when the drag starts (a target may read the list while the pointer is still over it) without opening
// the card files, the export fills them once the user drops outside the program, and they stay while a
// target may still want them.
//
// The copies of one drag live in a folder of their own, "tq9-drag-<pid>-<n>", in the folder the export's
// working folder goes to (the temporary folder, or the cache folder when only that has room), under the
// card file's own name with the export's extension. A card mp4 is named as the device's recording it
// almost always is (clip.wmv); one the export finds in another coding is handed over as it is (clip.mp4)
// under the name the list then carries.
//
// A folder goes only when none of its files is open in any process and it was neither handed over nor
// seen in use for kGraceSeconds (a file manager copying a queue opens one file after the other); what is
// left at exit goes at a later start by the same rule.
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
        // As the export job's Prepare (working folder in parent) and Run.
        virtual int Prepare(const std::vector<std::string>& sources, const std::string& parent) = 0;
        virtual int Run(IProgressFrontEnd& frontEnd) = 0;
        // Per source, in order, the finished working file ("" for a source it exports nothing of or that
        // failed).
        virtual std::vector<std::string> WorkingFiles() const = 0;
        virtual void DeleteWorkingFiles() = 0;
        // The message naming each failed file and why; empty when none failed.
        virtual std::string FailureText(bool handedOver) const = 0;
    };

    // Decides the names for cardPaths and where the copies go. Nothing is opened or created yet.
    explicit CDragOutSource(std::vector<std::string> cardPaths);
    ~CDragOutSource();
    CDragOutSource(const CDragOutSource&) = delete;
    CDragOutSource& operator=(const CDragOutSource&) = delete;

    const std::vector<std::string>& CardPaths() const { return m_cardPaths; }
    // The files a target receives, in card order; sources the export leaves out (sidecars, other types)
    // have none. After Export, only the files that were made.
    const std::vector<std::string>& HandOverPaths() const { return m_handOver; }
    // After Export: the message naming each file that failed and why (empty when none did).
    const std::string& FailureText() const { return m_failureText; }

    // Runs the export behind frontEnd and puts its results under the hand-over names. Returns 0 when at
    // least one file is handed over (the others named in FailureText), 1 when cancelled, else a negative
    // code; then the hand-over list is empty and nothing of this drag stays behind.
    int Export(IExport& job, IProgressFrontEnd& frontEnd);
    // Removes this drag's copies and their folder (failures are ignored).
    void RemoveCopies();
    // Moves the copies into folder, each under its name or the next free "name (2).ext", with its date;
    // never over a file there. Returns the new paths of those moved.
    std::vector<std::string> MoveCopiesTo(const std::string& folder);

    // Removes the folders of earlier drags (of processes that no longer run and this one's) that nobody
    // uses any more, by the rule above; called when a drag starts, now and then after one, at exit and at
    // start-up. Returns how many folders are left for later.
    static int RemoveLeftovers();
    // Prefix of the folders.
    static constexpr const char* kFolderPrefix = "tq9-drag-";
    // How long a handed-over folder, or one last seen in use, is kept whatever /proc says.
    static int GraceSeconds();

private:
    std::vector<std::string> m_cardPaths;
    std::vector<std::string> m_handOver;
    std::vector<size_t> m_handOverSource; // index into m_cardPaths of each hand-over path
    std::string m_parent;
    std::string m_folder;
    bool m_madeFolder = false; // m_folder was made by this object
    std::string m_failureText;
};

} // namespace tq9
