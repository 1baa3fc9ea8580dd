// The import job: brings PC media files onto a card folder. Prepare makes the run's private working
// folder and builds one import record per source (reserving working names there); Run converts every
// record into that folder on a worker thread while a front-end shows progress, then places the results in
// the card folder item by item (each whole or not at all, see CShellFileCalls) on that thread still, so the
// front-end shows the placement and can cancel it, and removes the working folder whatever the outcome.
//
// Threads: Prepare, Run, the setters and FailedSources on the user-interface thread. The worker converts
// audio files and stills two at a time (one such file keeps only one core busy), the second on a thread of
// its own with the converter of its own lane; each writes only its records' outcomes, which the worker
// turns into m_converted and m_failed in record order once both are done, before it places them on the
// card. The user-interface thread reads
// those only after the join. The settings are written only between runs.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "card/ImportSystemFile.h"
#include "platform/WorkFolder.h"
#include "jobs/ImportSpaceCheck.h"
#include "jobs/JobBase.h"
#include "jobs/JobOutcome.h"
#include "media/ConversionSettings.h"

struct Tq9PictureMemo;

namespace tq9 {

struct MediaInfo;

class CImporter : public CJobBase {
public:
    // Result codes (JobOutcome.h); several bits can be set together. The card's causes add their own bits.
    static constexpr int RESULT_NOT_DIRECTORY = kResultNotDirectory; // IDS_NOT_DIRECTORY (+ subject)
    static constexpr int RESULT_HAS_DIRECTORY = kResultHasDirectory; // a source is a folder
    static constexpr int RESULT_CANNOT_OPEN = kResultCannotOpen;     // a source is missing
    static constexpr int RESULT_NOT_IMPORTED = kResultNotImported;   // IDS_INVALID_FILE_INCLUDED
    static constexpr int RESULT_OTHER_ERROR = kResultOtherError;     // IDS_OTHER_ERROR
    static constexpr int RESULT_CARD_FULL = kResultCardFull;         // + the figures, when known
    static constexpr int RESULT_FILE_TOO_LARGE = kResultFileTooLarge;
    static constexpr int RESULT_READ_ONLY = kResultReadOnly;

    // A source that was not imported: the dropped path when Prepare refused it, the record's sourcePath
    // when a later step failed; with the outcome of the step that failed.
    struct FailedSrcPathT {
        std::string path;
        JobOutcome outcome;
    };

    CImporter() = default;
    ~CImporter() override;

    // Validates the sources (a folder: RESULT_HAS_DIRECTORY, a missing one: RESULT_CANNOT_OPEN), builds
    // the records and checks the card before anything is converted: a card that takes no writes
    // (RESULT_READ_ONLY) or has no room for even the least of any result (RESULT_CARD_FULL) refuses the
    // drop; a result over the card's largest file (RESULT_FILE_TOO_LARGE) or without room in what the
    // sources before it leave (RESULT_CARD_FULL) fails its source, and the placement finds which of the
    // rest the card takes (see CImportSpaceCheck; a video whose output passes the room the sources before
    // it leave is stopped while it converts, RESULT_CARD_FULL, one that passes the card's largest file
    // RESULT_FILE_TOO_LARGE). Returns 0, or a negative code (nothing built).
    // freeBytes is accepted and not used: the card is asked itself, so free space it cannot tell stays
    // unknown. variant: Copy while the program's own drag is on (the front-end knows), else Transcode.
    int Prepare(const std::string& destination, const std::vector<std::string>& sources, uint64_t freeBytes,
                CTQ9ImportSystemFile::Variant variant = CTQ9ImportSystemFile::Variant::Transcode);
    // Runs the prepared job behind frontEnd and returns 0, 1 (cancelled) or a negative code.
    int Run(IProgressFrontEnd& frontEnd);

    // Message text of a result: the catalogue lines of each cause whose bits are set (the job's cause
    // table), each followed by "\n"; IDS_ERROR_NOT_FOUND for a code of 0 or more. shown writes the
    // destination's name.
    std::string BuildErrorMessage(int code, NameTextFn shown = nullptr) const;
    // Sources not imported by the last Prepare/Run, in order.
    const std::vector<FailedSrcPathT>& FailedSources() const { return m_failed; }
    // The card paths of the media files the last Run placed, in order (also after a cancel or a failure).
    const std::vector<std::string>& Imported() const { return m_landed; }

    // Conversion preferences for the next runs (start-up, Setup dialog, tq9's flags).
    void SetNTSC(int ntsc) { m_settings.NTSC = ntsc; }
    void SetLetterBox(int letterBox) { m_settings.LetterBox = letterBox; }
    void SetTwoPass(int twoPass) { m_settings.TwoPass = twoPass; }
    void SetSettings(const ConversionSettings& settings) { m_settings = settings; }
    const ConversionSettings& Settings() const { return m_settings; }

    // IConvProgress
    int GetFileCount() override;
    int GetPercent() override;
    std::string GetCurrentFileName() override;
    Tally EndTally() override;
    // A pass's percentage as a share of the whole conversion: half 1 (first pass) 0-50, half 2 50-100,
    // half 0 (a single pass) unchanged.
    static int TwoPassPercent(int half, int percent);

    // The records of the prepared job (tests, diagnostics).
    const std::vector<CTQ9ImportSystemFile>& Records() const { return m_records; }

protected:
    void WorkerMain() override;
    // Asked on the worker by the placement before each item and at every block: true stops it (a
    // cancel). Tests override it to cancel at a chosen point of the placement.
    virtual bool StopPlacement();

private:
    struct StepTimes;
    // outputBound: the size past which a video's output cannot land (see CImportSpaceCheck::OutputBound).
    void ProcessRecord(const CTQ9ImportSystemFile& record, int lane, StepTimes& times,
                       const CImportSpaceCheck::BoundT& outputBound);
    // The video thumbnail: the picture 5 s in, or the first one when that fails; from the pictures the
    // record's conversion kept, when it kept them.
    bool ExtractThumbnail(const CTQ9ImportSystemFile& record, const MediaInfo& info, int lane,
                          Tq9PictureMemo* pictures);
    // The bound of record index's video output, from how the records before it ended (nullopt: not run).
    CImportSpaceCheck::BoundT OutputBound(size_t index, const std::vector<std::optional<JobOutcome>>& outcomes) const;
    // Whether a record may convert beside another: sound alone and stills, which use one core each.
    static bool ConvertsOnOneCore(const CTQ9ImportSystemFile& record);
    // On the worker, after the conversions: moves or copies the converted files onto the card. A cancel
    // stops it part-way (also while it waits for another run's lock on the folder, which GetWaitingFor names).
    void Complete();
    void CleanUp();
    // The card check of Prepare; 0 or the code that refuses the whole drop.
    int CheckCard();

    std::string m_destination;
    std::vector<std::string> m_sources;
    std::unique_ptr<CWorkFolder> m_work; // the run's working files, from Prepare to the clean-up
    std::vector<CTQ9ImportSystemFile> m_records;   // the file sequence
    std::vector<CTQ9ImportSystemFile> m_converted; // records whose files were all produced
    std::vector<FailedSrcPathT> m_failed;
    std::vector<std::string> m_landed; // see Imported
    std::string m_errorSubject; // the destination, for the message of RESULT_NOT_DIRECTORY
    std::string m_spaceFigures; // needed and free space, for the message of RESULT_CARD_FULL
    ConversionSettings m_settings; // NTSC 1, LetterBox 0, 2pass 0 until set
    std::atomic<int> m_twoPassHalf{0}; // written by the worker, read by GetPercent: see TwoPassPercent
    // The record each lane works on (-1: none), read by GetPercent to find the converter of the record shown.
    std::atomic<int> m_laneRecord[2] = {-1, -1};
    // Per lane: time per step over the run, written to the debug log.
    struct StepTimes {
        double probe = 0, media = 0, thumbnail = 0, marker = 0;
    };
};

// What a drop handler or tq9 shows after Prepare (when negative) or Run returned result: for a
// cancellation "Import canceled.", then (withLanded) the media files that had landed, then the failure
// text; for a negative result the builder's text followed by the failure text (IDS_FAILED_FILES_HEADING,
// then per failed source the builder's text for its code, its path and "\n"); nothing otherwise. shown
// writes the names.
std::string ImportReportText(const CImporter& importer, int result, bool withLanded = true,
                             NameTextFn shown = nullptr);
// The failure text alone; empty when nothing failed.
std::string ImportFailureText(const CImporter& importer, NameTextFn shown = nullptr);

} // namespace tq9
