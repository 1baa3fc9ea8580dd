// The duplication job: copies card media files, with their .thm and .mrk sidecars, from one card folder
// into another under free names, byte for byte. Prepare builds one record per source; Run copies record
// after record on a worker while a front-end shows progress. Each record is one item of the shell file
// operations' placement (platform/ItemPlacement.h): copied to hidden names, then, under the receiving
// folder's lock, given the first free name of base, base_0, base_1... shared by all its files, sidecars
// first and the media file last. So an item lands whole or not at all, also when the run is killed or
// another run writes into the folder at the same time; a cancel ends the run after the items already
// landed, a failed item is named with its cause and the run goes on.
//
// Threads: Prepare, Run and the readers on the user-interface thread (or tq9's thread); the worker runs
// between the two and writes only the index, the percent, m_result, m_landed, m_failed, m_spaceFigures
// and (at its end) the state; the others read those only after the join.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "card/DuplicationSystemFile.h"
#include "card/UserException.h"
#include "jobs/JobBase.h"
#include "jobs/JobOutcome.h"

namespace tq9 {

class CDuplicator : public CJobBase {
public:
    // Result codes (JobOutcome.h); several bits can be set together. An item that did not land carries
    // its cause: the card's (CCardWriteCause), JobCause::SourceGone for a source gone or unreadable, else
    // JobCause::Other. Run's result ORs their bits.
    static constexpr int RESULT_NOT_DIRECTORY = kResultNotDirectory; // IDS_NOT_DIRECTORY (+ destination)
    static constexpr int RESULT_HAS_DIRECTORY = kResultHasDirectory; // a source is a folder
    static constexpr int RESULT_CANNOT_OPEN = kResultCannotOpen;     // a source is missing
    static constexpr int RESULT_OTHER_ERROR = kResultOtherError;     // IDS_OTHER_ERROR
    static constexpr int RESULT_SOURCE_GONE = kResultSourceGone;     // IDS_CANNOT_OPEN_FILE

    struct FailedSource {
        std::string path;
        JobOutcome outcome;
    };

    CDuplicator() = default;
    ~CDuplicator() override;

    // Validates the request and builds the records; writes nothing. Returns 0 or a negative code.
    // freeBytes is accepted and not used: each item is checked against the card's free space before any
    // of it is written.
    int Prepare(const std::string& destination, const std::vector<std::string>& sources, uint64_t freeBytes);
    // Copies the prepared records behind frontEnd; an item that fails is named in FailedSources and the
    // next one goes on. Returns 0, 1 (cancelled) or the failed items' causes ORed together.
    int Run(IProgressFrontEnd& frontEnd);

    // Message text of a code: the catalogue lines of each cause whose bits are set (the job's cause
    // table), each followed by "\n" (the card-full line with the figures); IDS_ERROR_NOT_FOUND for a code
    // of 0 or more.
    std::string BuildErrorMessage(int code) const;
    // Sources the last Prepare refused because they have nothing to copy (a type outside the table).
    const std::vector<std::string>& RefusedSources() const { return m_refused; }
    // Why Prepare refused a source that is on the card but not a regular file ("<path>: is a link", the
    // path written by shown); empty otherwise.
    std::string RefusalReason(NameTextFn shown = nullptr) const
    {
        return m_refusal ? m_refusal->Said(shown) : std::string();
    }
    // New media paths of the items the last Run copied completely, in source order.
    const std::vector<std::string>& Duplicated() const { return m_duplicated; }
    // Items the last Run could not copy, with their causes, in source order.
    const std::vector<FailedSource>& FailedSources() const { return m_failed; }
    // The records of the prepared job (tests, diagnostics).
    const std::vector<CTQ9DuplicationSystemFile>& Records() const { return m_records; }

    // IConvProgress
    int GetFileCount() override { return static_cast<int>(m_sources.size()); }
    int GetPercent() override { return m_percent.load(); }
    std::string GetCurrentFileName() override;
    bool Copies() const override { return true; }
    JobKind Kind() const override { return JobKind::Duplication; }
    // Read by the front-end after the worker's end, before Run hands the landed paths over.
    Tally EndTally() override { return {static_cast<int>(m_landed.size()), static_cast<int>(m_failed.size())}; }

protected:
    void WorkerMain() override;

private:
    void CopyRecord(const CTQ9DuplicationSystemFile& record);
    void DropRecords();

    std::string m_destination;
    std::vector<std::string> m_sources;
    std::vector<CTQ9DuplicationSystemFile> m_records;
    std::vector<std::string> m_refused;
    std::optional<CUserException> m_refusal;
    std::vector<std::string> m_duplicated;
    std::vector<std::string> m_landed; // new media paths, written by the worker
    std::vector<FailedSource> m_failed; // written by the worker
    std::string m_spaceFigures;        // needed and free bytes, for IDS_CARD_FULL
    std::string m_rejectedDestination; // for IDS_NOT_DIRECTORY
};

// What a drop handler or tq9 shows after Prepare (when negative) or Run returned result: "Duplication
// canceled." for a cancellation; for a negative result the builder's text, then IDS_FAILED_FILES_HEADING
// and the refused sources one a line, then each failed item's cause and path; nothing otherwise. shown
// writes the names.
std::string DuplicationReportText(const CDuplicator& duplicator, int result, NameTextFn shown = nullptr);

} // namespace tq9
