// The export job: takes card media files to the PC. Prepare builds one export record per source; Run
// performs them on a worker thread while a front-end shows progress: a card mp4 in the device's own coding
// (MPEG-4 video with MP3 audio) becomes a WMV working file, every other exportable file is copied byte
// for byte into its working file, and sidecars and types the export table does not list are left out.
// Working files live in the temporary folder; the job never deletes them. Whoever hands them on (the
// drag-out data source, tq9 export) reads the records after Run and removes the working files when done
// with them (DeleteWorkingFiles).
//
// Threads: Prepare, Run and the record accessors on the user-interface thread; the worker changes the
// records (the mp4 retarget) only while Run waits for it.
#pragma once

#include <string>
#include <vector>

#include "card/ExportSystemFile.h"
#include "jobs/JobBase.h"

namespace tq9 {

class CExporter : public CJobBase {
public:
    // Result codes of Prepare and Run.
    static constexpr int RESULT_NOT_FOUND = static_cast<int>(0x8000000Au);  // a source cannot be queried
    static constexpr int RESULT_FOLDER = static_cast<int>(0x80000006u);     // a source is a folder
    static constexpr int RESULT_PLAIN_COPY = static_cast<int>(0x80000010u); // records built as plain copies
    static constexpr int RESULT_FAILED = static_cast<int>(0x80000020u);     // building or exporting failed

    CExporter() = default;
    ~CExporter() override = default;

    // Validates the sources and builds the records (plain-copy records while the program itself takes a
    // drop). Returns 0 or a negative code above. Records of an earlier run are dropped, not their files.
    int Prepare(const std::vector<std::string>& sources);
    // Runs the prepared records behind frontEnd and returns 0, 1 (cancelled) or RESULT_FAILED. While the
    // program itself takes a drop it does nothing and returns 0.
    int Run(IProgressFrontEnd& frontEnd);

    // The records of the last Prepare, in source order; kept after Run.
    int GetRecordCount() const { return static_cast<int>(m_records.size()); }
    CTQ9ExportSystemFile GetRecord(int index) const { return m_records.at(static_cast<size_t>(index)); }
    const std::vector<CTQ9ExportSystemFile>& Records() const { return m_records; }
    // Sources whose records were built as plain copies.
    const std::vector<std::string>& UnconvertedSources() const { return m_unconverted; }
    // The source the last run stopped at and why; empty after a run without a failure.
    const std::string& FailedSource() const { return m_failedSource; }
    const std::string& FailureReason() const { return m_failureReason; }
    // Removes the working file of every record (after they were handed on, or when nothing is).
    void DeleteWorkingFiles() const;

    // IConvProgress
    int GetFileCount() override;
    int GetPercent() override;
    std::string GetCurrentFileName() override;

protected:
    void WorkerMain() override;

private:
    void ExportRecord(CTQ9ExportSystemFile& record);

    std::vector<std::string> m_sources;
    std::vector<CTQ9ExportSystemFile> m_records;
    std::vector<std::string> m_unconverted;
    std::string m_failedSource;  // written by the worker, read after the join
    std::string m_failureReason;
};

} // namespace tq9
