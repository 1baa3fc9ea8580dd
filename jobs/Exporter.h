// The export job: takes card media files to the PC. Prepare makes the run's private working folder (in
// the temporary folder, or in the cache folder when only that has room) and builds one export record per
// source; Run performs them on a worker thread while a front-end shows progress: a card mp4 in the
// device's own coding (MPEG-4 video with MP3 audio) becomes a WMV working file, every other exportable
// file is copied byte for byte into its working file, and sidecars and types the export table does not
// list are left out. Each working file keeps its card file's date. A file that fails is named with its
// cause (FailedSources) and the run goes on with the next, so whoever hands the results on (the drag-out,
// tq9 export) hands over what worked. Working files have short names of their own; the one who hands
// them on names them after the card file, and the working folder goes with the next Prepare, the job's
// end or DeleteWorkingFiles (a killed run's is swept by the next start of either program).
//
// Threads: Prepare, Run and the record accessors on the user-interface thread; the worker changes the
// records (the mp4 retarget) and m_codes only while Run waits for it.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "card/ExportSystemFile.h"
#include "jobs/JobBase.h"
#include "media/wmv/ExportOutcome.h"
#include "platform/WorkFolder.h"

namespace tq9 {

class CExporter : public CJobBase {
public:
    // Result codes of Prepare and Run.
    static constexpr int RESULT_NOT_FOUND = static_cast<int>(0x8000000Au);  // no source can be queried
    static constexpr int RESULT_FOLDER = static_cast<int>(0x80000006u);     // a source is a folder
    static constexpr int RESULT_PLAIN_COPY = static_cast<int>(0x80000010u); // records built as plain copies
    static constexpr int RESULT_FAILED = static_cast<int>(0x80000020u);     // building failed, or a file did
    // Why one file was not exported (FailedSources): IDS_EXPORT_NOT_MEDIA .. IDS_EXPORT_NOT_WRITTEN, and
    // IDS_EXPORT_READ_FAILED.
    static constexpr int RESULT_NOT_MEDIA = static_cast<int>(0x80000040u);
    static constexpr int RESULT_NO_ROOM = static_cast<int>(0x80000080u);      // + the figures
    static constexpr int RESULT_CARD_REMOVED = static_cast<int>(0x80000100u); // or the file is gone
    static constexpr int RESULT_NAME_TOO_LONG = static_cast<int>(0x80000200u);
    static constexpr int RESULT_ENDED_EARLY = static_cast<int>(0x80000400u);
    static constexpr int RESULT_NOT_WRITTEN = static_cast<int>(0x80000800u);  // any other write failure
    static constexpr int RESULT_READ_FAILED = static_cast<int>(0x80001000u);  // a recording that breaks off

    struct FailedSource {
        std::string path;
        int code = 0;
        std::string folder;  // where it was to be written (IDS_EXPORT_NO_ROOM, IDS_EXPORT_NOT_WRITTEN)
        // Needed and free bytes for RESULT_NO_ROOM; the system's reason for RESULT_READ_FAILED and for a
        // conversion's RESULT_NOT_WRITTEN.
        std::string figures;
    };

    CExporter() = default;
    ~CExporter() override;

    // Validates the sources and builds the records. The working folder goes into parent, or, when parent is
    // empty, into the folder that has room for the estimated results (WorkParentFor). ownDrop: the program
    // itself takes the drop these files go to (the front-end knows), so the records are plain copies, no
    // working folder is made and Run does nothing. A source that is gone fails alone (RESULT_CARD_REMOVED).
    // Returns 0 or a negative code above (RESULT_NOT_FOUND when no source is left). Records and working
    // files of an earlier run are dropped.
    int Prepare(const std::vector<std::string>& sources, const std::string& parent = std::string(),
                bool ownDrop = false);
    // What hands the finished working files on (the moves into a PC folder): run on the worker after the
    // last record, unless cancelled, while the front-end still shows the job. stop() turns true when the
    // user cancels; lockWait reports a wait for another run's lock on the destination (GetWaitingFor).
    using HandOn = std::function<void(const std::function<bool()>& stop,
                                      const std::function<void(const std::string& folder)>& lockWait)>;

    // Runs the prepared records behind frontEnd, then handOn, and returns 0, 1 (cancelled) or RESULT_FAILED
    // when a file failed (the others are exported). After a Prepare for the program's own drop it does
    // nothing and returns 0.
    int Run(IProgressFrontEnd& frontEnd, const HandOn& handOn = {});

    // The records of the last Prepare, one per source in source order; kept after Run.
    int GetRecordCount() const { return static_cast<int>(m_records.size()); }
    CTQ9ExportSystemFile GetRecord(int index) const { return m_records.at(static_cast<size_t>(index)); }
    const std::vector<CTQ9ExportSystemFile>& Records() const { return m_records; }
    // True when the record's working file holds its finished result (a recording that ended early: as far
    // as it goes, and named in FailedSources too).
    bool Exported(size_t index) const;
    // Sources whose records were built as plain copies.
    const std::vector<std::string>& UnconvertedSources() const { return m_unconverted; }
    // The sources the last Prepare and Run could not export, with their causes, in source order.
    std::vector<FailedSource> FailedSources() const;
    // Removes the working files and the working folder (after they were handed on, or when nothing is).
    void DeleteWorkingFiles();

    // Estimated bytes of a card file's export, without opening it: its size, and for a card mp4 at
    // least its .mrk length at the WMV's bit rates.
    static uint64_t EstimateBytes(const std::string& cardPath);
    // Where working files of that many bytes go: the temporary folder when it has room (or cannot tell),
    // else the program's cache folder when that has, else the temporary folder (each file then fails
    // with RESULT_NO_ROOM and the figures). nullopt when there is no temporary folder.
    static std::optional<std::string> WorkParentFor(uint64_t bytes);

    // IConvProgress
    int GetFileCount() override;
    int GetPercent() override;
    JobKind Kind() const override { return JobKind::Export; }
    std::string GetCurrentFileName() override;
    bool SomeEndedEarly() const override { return m_endedEarly.load(); }

protected:
    void WorkerMain() override;

private:
    void ExportRecord(size_t index);
    // The cause of a failed export step; figures filled for RESULT_NO_ROOM.
    int CauseOf(const CTQ9ExportSystemFile& record, int err, uint64_t needed, std::string& figures) const;
    // The cause of a failed conversion, from the outcome the converter carried up from the failing stage.
    int CauseOf(const CTQ9ExportSystemFile& record, const ExportOutcome& outcome, uint64_t needed,
                std::string& figures) const;

    std::vector<std::string> m_sources;
    std::vector<CTQ9ExportSystemFile> m_records;
    std::vector<int> m_codes;                 // per record: 0, or why it was not exported
    std::vector<std::string> m_figures;       // per record: the figures of RESULT_NO_ROOM
    std::vector<std::string> m_unconverted;
    std::unique_ptr<CWorkFolder> m_work;
    std::string m_parent; // the folder holding m_work
    bool m_ownDrop = false; // the last Prepare's: Run has nothing to do
    std::atomic<bool> m_endedEarly{false}; // written by the worker, read by the front-end
    HandOn m_handOn;                       // set by Run before the worker starts
};

// What the drag-out and File > Export show after a run in which files failed: IDS_EXPORT_SOME_FAILED
// (left out of total), IDS_EXPORT_OTHERS_HANDED_OVER when handedOver, then IDS_FAILED_FILES_HEADING and
// per failed source its cause and path. A recording that ended early is exported as far as it goes and
// only named. Empty when nothing failed.
std::string ExportFailureText(const CExporter& exporter, bool handedOver);
std::string ExportFailureText(const std::vector<CExporter::FailedSource>& failed, int total, bool handedOver);
// The cause of one failure in a line or two, each ended by "\n"; shown writes the folder's name.
std::string ExportCauseText(const CExporter::FailedSource& failed, NameTextFn shown = nullptr);

} // namespace tq9
