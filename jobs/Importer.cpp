#include "jobs/Importer.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <iterator>
#include <optional>

#include "card/CardClaim.h"
#include "card/CardLayout.h"
#include "card/UserException.h"
#include "jobs/CardWriteCause.h"
#include "jobs/CauseTable.h"
#include "jobs/ImportSpaceCheck.h"
#include "jobs/ShellFileCalls.h"
#include "media/FFMpegConverter.h"
#include "media/StillImage.h"
#include "medialib/tq9media.h"
#include "platform/FileAttributes.h"
#include "platform/FileIo.h"
#include "platform/ImageFile.h"
#include "platform/ShellFileOperation.h"
#include "platform/DebugLog.h"
#include "res/MessageCatalogue.h"
#include "platform/UniqueFd.h"

namespace tq9 {

namespace {

// Marks the current record as failed; caught per record by the worker.
[[noreturn]] void fail(const std::string& why)
{
    throw CUserException(why);
}

// A source that is not media at all (its probe or its picture fails), which the failure text says.
struct CNotMediaException : CUserException {
    using CUserException::CUserException;
};

// A video whose output outgrew all the room the card had: it could never land.
struct CNoRoomException : CUserException {
    using CUserException::CUserException;
};

// A video whose output outgrew the card's largest file.
struct CTooLargeException : CUserException {
    using CUserException::CUserException;
};

// Only a video's size is unknown until it is encoded (see CImportSpaceCheck).
bool encodesVideo(const CTQ9ImportSystemFile& record)
{
    return (record.flags & FILE_MEDIA) && (record.kind & KIND_VIDEO) && !(record.kind & KIND_COPY);
}

// Stops a lane's video conversion once its output passes bytes, for the scope's length.
class OutputLimit {
public:
    OutputLimit(CFFMpegConverter& converter, const std::string& output, std::optional<uint64_t> bytes)
        : m_converter(converter)
    {
        m_converter.SetOutputLimit(output, bytes.value_or(0));
    }
    ~OutputLimit() { m_converter.SetOutputLimit(std::string(), 0); }
    OutputLimit(const OutputLimit&) = delete;
    OutputLimit& operator=(const OutputLimit&) = delete;

private:
    CFFMpegConverter& m_converter;
};

// Writes the 4-byte big-endian length in seconds into the reserved (existing, empty) marker file.
void writeMarker(const std::string& path, int32_t durationMs)
{
    CUniqueFd fd(CFileIo::OpenWriteExisting(path));
    if (!fd.IsOpen())
        fail("cannot open the marker " + path);
    unsigned char bytes[4];
    CCardLayout::EncodeMarker(static_cast<uint32_t>(std::max<int32_t>(durationMs, 0)) / 1000, bytes);
    const bool written = CFileIo::WriteAll(fd.Get(), bytes, sizeof bytes) == static_cast<ssize_t>(sizeof bytes);
    const bool closed = fd.Close() == 0;
    if (!written || !closed)
        fail("cannot write the marker " + path);
}

// The import's one table from a cause to its result bits and lines.
const CCauseTable& importCauses()
{
    static const CCauseTable table(
        {
            {JobCause::NotDirectory, kResultNotDirectory, {IDS_NOT_DIRECTORY}},
            {JobCause::HasDirectory, kResultHasDirectory, {IDS_INVALID_FILE_TYPE, IDS_INCLUDING_DIRECTORY}},
            {JobCause::CannotOpen, kResultCannotOpen, {IDS_INVALID_FILE_TYPE, IDS_CANNOT_OPEN_FILE}},
            {JobCause::KindRefused, kResultNotImported, {IDS_INVALID_FILE_INCLUDED}, IDS_IMPORT_KIND_REFUSED},
            {JobCause::NotMedia, kResultNotImported, {IDS_INVALID_FILE_INCLUDED}, IDS_IMPORT_NOT_MEDIA},
            {JobCause::NotConverted, kResultNotImported, {IDS_INVALID_FILE_INCLUDED}},
            {JobCause::Other, kResultOtherError, {IDS_OTHER_ERROR}},
        },
        CCardWriteCause::kCardRows, std::size(CCardWriteCause::kCardRows));
    return table;
}

// Milliseconds spent in each worker step over one run, for the debug log (the benchmark reads it to tell
// the transcoding time from the job's own overhead).
struct StepClock {
    using Clock = std::chrono::steady_clock;
    Clock::time_point start = Clock::now();
    // Adds the time since the last call to total.
    void Lap(double& total)
    {
        const auto now = Clock::now();
        total += std::chrono::duration<double, std::milli>(now - start).count();
        start = now;
    }
};

} // namespace

CImporter::~CImporter() = default;

int CImporter::Prepare(const std::string& destination, const std::vector<std::string>& sources, uint64_t,
                       CTQ9ImportSystemFile::Variant variant)
{
    m_records.clear();
    m_converted.clear();
    m_failed.clear();
    m_landed.clear();
    m_spaceFigures.clear();

    // A missing destination counts as "not a folder" too: its failed query reports every bit.
    if (!CFileAttributes::IsDirectory(destination)) {
        m_errorSubject = destination;
        return RESULT_NOT_DIRECTORY;
    }
    for (const std::string& source : sources) {
        const uint32_t attrs = CFileAttributes::Get(source);
        if (attrs == INVALID_FILE_ATTRIBUTES)
            return RESULT_CANNOT_OPEN;
        if (attrs & FILE_ATTRIBUTE_DIRECTORY)
            return RESULT_HAS_DIRECTORY;
    }

    m_work = CWorkFolder::Create();
    if (!m_work)
        return RESULT_OTHER_ERROR;
    m_destination = destination;
    m_sources = sources;
    for (const std::string& source : m_sources) {
        CTQ9ImportSystemFile record;
        try {
            record.Build(m_destination, source, variant, m_work->Path());
        } catch (const CUserException& e) {
            CDebugLog::Write(std::string("import: ") + e.what());
            // Nothing of this drop will run: give back the names reserved so far.
            record.DeleteWorkingFiles();
            for (const CTQ9ImportSystemFile& built : m_records)
                built.DeleteWorkingFiles();
            m_records.clear();
            m_destination.clear();
            m_sources.clear();
            m_work.reset();
            return RESULT_OTHER_ERROR;
        }
        if (record.flags != 0)
            m_records.push_back(record);
        else
            m_failed.push_back({source, {JobCause::KindRefused, 0, "no import for this kind", {}}});
    }
    const int refused = m_records.empty() ? RESULT_NOT_IMPORTED : CheckCard();
    if (refused != 0 || m_records.empty()) {
        for (const CTQ9ImportSystemFile& built : m_records)
            built.DeleteWorkingFiles();
        m_records.clear();
        m_work.reset();
        return refused != 0 ? refused : RESULT_FILE_TOO_LARGE;
    }
    return 0;
}

int CImporter::CheckCard()
{
    const CImportSpaceCheck::ResultT check = CImportSpaceCheck::Check(m_destination, m_records, m_settings);
    if (check.verdict == CImportSpaceCheck::Verdict::ReadOnly)
        return RESULT_READ_ONLY;
    if (check.verdict == CImportSpaceCheck::Verdict::Full) {
        m_spaceFigures = CImportSpaceCheck::Figures(check.neededBytes, *check.freeBytes);
        return RESULT_CARD_FULL;
    }
    // A result the card cannot hold in one file, or that cannot fit in what the records before it leave,
    // fails its own source; the others go on.
    std::vector<std::pair<size_t, JobOutcome>> refused;
    for (size_t index : check.tooLarge)
        refused.emplace_back(index, JobOutcome{JobCause::FileTooLarge, 0, "over the card's largest file", {}});
    for (size_t index : check.noRoom)
        refused.emplace_back(index, JobOutcome{JobCause::CardFull, 0, "no room in what the sources before it leave", {}});
    std::sort(refused.begin(), refused.end(), [](const auto& x, const auto& y) { return x.first < y.first; });
    for (const auto& [index, outcome] : refused)
        m_failed.push_back({m_records[index].sourcePath, outcome});
    for (auto it = refused.rbegin(); it != refused.rend(); ++it) {
        m_records[it->first].DeleteWorkingFiles();
        m_records.erase(m_records.begin() + static_cast<long>(it->first));
    }
    return 0;
}

int CImporter::Run(IProgressFrontEnd& frontEnd)
{
    ResetRunFields();
    const CCardClaim claim(m_destination); // an eject of this card waits for the end
    const int endCode = StartWorkerAndWait(frontEnd);
    if (endCode == 0) {
        m_result = RESULT_OTHER_ERROR;
    } else if (endCode == FRONTEND_CANCELED) {
        m_result = JOB_RESULT_CANCELED;
    }
    const int result = m_result;
    CleanUp();
    return result;
}

void CImporter::WorkerMain()
{
    // Per record: nullopt until it ran, then how its conversion ended.
    std::vector<std::optional<JobOutcome>> outcomes(m_records.size());
    StepTimes times[CFFMpegConverter::kLanes];
    auto finish = [&] {
        for (size_t i = 0; i < m_records.size(); ++i) {
            if (outcomes[i] && !outcomes[i]->Failed())
                m_converted.push_back(m_records[i]);
            else if (outcomes[i]) {
                CDebugLog::Write("import: " + m_records[i].sourcePath + ": " + outcomes[i]->detail);
                m_failed.push_back({m_records[i].sourcePath, *outcomes[i]});
            }
        }
        if (CDebugLog::Enabled()) {
            StepTimes sum;
            for (const StepTimes& lane : times) {
                sum.probe += lane.probe;
                sum.media += lane.media;
                sum.thumbnail += lane.thumbnail;
                sum.marker += lane.marker;
            }
            char line[160];
            std::snprintf(line, sizeof line,
                          "import timing: probe %.0f ms, media %.0f ms, thumbnails %.0f ms, markers %.0f ms", sum.probe,
                          sum.media, sum.thumbnail, sum.marker);
            CDebugLog::Write(line);
        }
        // Placed while the front-end still shows the job: a wait for another run's lock shows there, and
        // Cancel ends it.
        if (m_result == JOB_RESULT_DONE && GetState() == STATE_RUNNING)
            Complete();
        // Sources that failed to convert (or that Prepare refused) make a run that otherwise went well
        // "not imported", and its progress "failed"; a placement failure keeps its own cause.
        if (m_result == JOB_RESULT_DONE && !m_failed.empty())
            m_result = RESULT_NOT_IMPORTED;
    };
    PairedWorkerLoop(
        static_cast<int>(m_records.size()), RESULT_OTHER_ERROR,
        [this](int index) { return ConvertsOnOneCore(m_records[static_cast<size_t>(index)]); },
        [&](int index, int lane) {
            const CTQ9ImportSystemFile& record = m_records[static_cast<size_t>(index)];
            m_laneRecord[lane].store(index);
            std::optional<JobOutcome>& outcome = outcomes[static_cast<size_t>(index)];
            try {
                ProcessRecord(record, lane, times[lane], OutputBound(static_cast<size_t>(index), outcomes));
                outcome = JobOutcome{};
            } catch (const CNotMediaException& e) {
                outcome = JobOutcome{JobCause::NotMedia, 0, e.what(), {}};
            } catch (const CNoRoomException& e) {
                outcome = JobOutcome{JobCause::CardFull, ENOSPC, std::string("stopped converting: ") + e.what(), {}};
            } catch (const CTooLargeException& e) {
                outcome = JobOutcome{JobCause::FileTooLarge, EFBIG, std::string("stopped converting: ") + e.what(), {}};
            } catch (const CUserException& e) {
                outcome = JobOutcome{JobCause::NotConverted, 0, e.what(), {}};
            }
            // A step the cancel stopped did not fail: the source was not tried to its end.
            if (outcome && outcome->Failed() && GetState() != STATE_RUNNING)
                outcome.reset();
            m_laneRecord[lane].store(-1);
        },
        finish);
}

bool CImporter::ConvertsOnOneCore(const CTQ9ImportSystemFile& record)
{
    // A video conversion fills both cores by itself (threaded decoder, encoder on its own thread) and
    // keeps its pictures for its thumbnail; a plain copy waits on the disk.
    return (record.flags & FILE_MEDIA) && !(record.kind & (KIND_VIDEO | KIND_COPY)) &&
           (record.kind & (KIND_AUDIO | KIND_STILL));
}

CImportSpaceCheck::BoundT CImporter::OutputBound(size_t index,
                                                 const std::vector<std::optional<JobOutcome>>& outcomes) const
{
    if (!encodesVideo(m_records[index]))
        return {};
    // A video converts alone, so the records before it have ended; the stages cover the general case.
    std::vector<CImportSpaceCheck::Stage> before;
    for (size_t i = 0; i < index; ++i)
        before.push_back(!outcomes[i]              ? CImportSpaceCheck::Stage::Pending
                         : outcomes[i]->Failed() ? CImportSpaceCheck::Stage::Failed
                                                 : CImportSpaceCheck::Stage::Converted);
    return CImportSpaceCheck::OutputBound(m_destination, m_records, before, m_settings);
}

void CImporter::ProcessRecord(const CTQ9ImportSystemFile& record, int lane, StepTimes& times,
                              const CImportSpaceCheck::BoundT& outputBound)
{
    CFFMpegConverter& converter = CFFMpegConverter::Lane(lane);
    const std::string& source = record.sourcePath;
    MediaInfo info;
    StepClock clock;
    // A stop request reaches only the converter operation that is running; one that arrives between two
    // steps would be forgotten and the next conversion would run to its end with the dialog already gone.
    auto stopIfCanceled = [&] {
        if (GetState() != STATE_RUNNING)
            fail("cancelled");
    };

    if ((record.flags & FILE_MEDIA) && (record.kind & (KIND_VIDEO | KIND_AUDIO))) {
        if (converter.Probe(source, info).Failed())
            throw CNotMediaException("cannot probe " + source);
    }
    clock.Lap(times.probe);

    stopIfCanceled();
    // The marker gives what the device will play: the length the conversion wrote, not the probe's figure
    // (an estimate for some sources, and a damaged source's timestamps may claim anything).
    int32_t lengthMs = info.durationMs;
    // The video conversion keeps here the pictures its thumbnail starts from, so that is not decoded again.
    const CFFMpegConverter::PictureMemoPtr pictures = CFFMpegConverter::NewPictureMemo();
    if (record.flags & FILE_MEDIA) {
        if (outputBound.bytes == 0u)
            throw CNoRoomException("no room is left for " + source);
        const OutputLimit limit(converter, record.tempMediaPath, outputBound.bytes);
        ConverterOutcome outcome; // failed until an operation says otherwise
        if (record.kind & KIND_COPY) {
            outcome = converter.CopyFile(source, record.tempMediaPath);
        } else if ((record.kind & KIND_VIDEO) && m_settings.TwoPass) {
            // One sweep of the bar over both passes: the first fills its first half, the second the rest.
            m_twoPassHalf = 1;
            outcome = converter.ConvertToDeviceTwoPass(m_settings, source, info, record.tempMediaPath,
                                                       record.passLogPath, 0, pictures.get());
            if (!outcome.Failed()) {
                stopIfCanceled();
                m_twoPassHalf = 2;
                outcome = converter.ConvertToDeviceTwoPass(m_settings, source, info, record.tempMediaPath,
                                                           record.passLogPath, 1, pictures.get());
            }
            m_twoPassHalf = 0;
        } else if (record.kind & KIND_VIDEO) {
            outcome = converter.ConvertToDevice(m_settings, source, info, record.tempMediaPath, pictures.get());
        } else if (record.kind & KIND_STILL) {
            if (ConvertStill(m_settings, source, record.tempMediaPath) == 0)
                outcome = ConverterOutcome::Done();
            uint32_t width = 0, height = 0;
            if (outcome.Failed() && !CImageFile::ReadSize(source, width, height))
                throw CNotMediaException("not a picture: " + source);
        } else if (record.kind & KIND_AUDIO) {
            outcome = converter.ConvertAudio(source, record.tempMediaPath);
        }
        if (outcome.Failed() && outcome.OutgrewLimit() && outputBound.largestFile)
            throw CTooLargeException("the output of " + source + " passed the card's largest file");
        if (outcome.Failed() && outcome.OutgrewLimit())
            throw CNoRoomException("the output of " + source + " passed the card's free space");
        if (outcome.Failed() && (record.kind & KIND_STILL))
            fail("cannot convert the picture " + source);
        if (outcome.Failed()) {
            // The library's own status when it stopped the conversion; the generic one says nothing.
            const std::string reason = outcome.Detail();
            fail("cannot convert " + source + (reason.empty() ? std::string() : " (" + reason + ")"));
        }
        if (!(record.kind & (KIND_COPY | KIND_STILL)) && outcome.outputLengthMs >= 0)
            lengthMs = outcome.outputLengthMs;
    }
    clock.Lap(times.media);

    stopIfCanceled();
    if (record.flags & FILE_THUMBNAIL) {
        bool ok = false;
        if (record.kind & KIND_VIDEO)
            ok = ExtractThumbnail(record, info, lane, pictures.get());
        else if (record.kind & KIND_STILL)
            ok = MakeStillThumbnail(source, record.tempThumbnailPath) == 0;
        if (!ok)
            fail("cannot make the thumbnail of " + source);
    }
    clock.Lap(times.thumbnail);

    if (record.flags & FILE_MARKER)
        writeMarker(record.tempMarkerPath, lengthMs);
    clock.Lap(times.marker);
}

bool CImporter::ExtractThumbnail(const CTQ9ImportSystemFile& record, const MediaInfo& info, int lane,
                                 Tq9PictureMemo* pictures)
{
    CFFMpegConverter& converter = CFFMpegConverter::Lane(lane);
    if (!converter.ExtractFrame(m_settings, record.sourcePath, info, record.tempThumbnailPath, pictures).Failed())
        return true;
    // A thumbnail never costs a good conversion: when the picture 5 s in cannot be had, the first one.
    if (static_cast<uint32_t>(info.durationMs) <= 5000 || GetState() != STATE_RUNNING)
        return false;
    MediaInfo fromStart = info;
    fromStart.durationMs = 0;
    return !converter.ExtractFrame(m_settings, record.sourcePath, fromStart, record.tempThumbnailPath, pictures)
                .Failed();
}

void CImporter::Complete()
{
    StepClock clock;
    const ImportResultT moved = CShellFileCalls::MoveOrCopyImport(
        m_work ? m_work->Path() : std::string(), m_destination, m_converted,
        [this] { return StopPlacement(); }, [this](const std::string& folder) { SetWaitingFor(folder); },
        [this](uint64_t copied, uint64_t total) {
            if (copied == 0)
                BeginPlacement(total);
            else
                PlacementAdvanced(copied);
        });
    EndPlacement();
    if (CDebugLog::Enabled()) {
        double ms = 0;
        clock.Lap(ms);
        CDebugLog::Write("import timing: " + std::string(moved.moved ? "move " : "copy ") +
                         std::to_string(static_cast<long>(ms)) + " ms");
    }
    for (size_t i = 0; i < m_converted.size(); ++i)
        if (moved.RecordLanded(i, m_converted[i].flags))
            m_landed.push_back(moved.landed[i][PART_MEDIA]);
    if (moved.Succeeded())
        return;
    // Items land whole or not at all, and one failing never stops the others: the ones that landed
    // stay, each one that did not is reported. A cancel (also after an item had failed) reports only the
    // items that failed before it: the rest were not tried.
    const bool cancelled = moved.aborted || moved.code == DE_OPCANCELLED;
    int causes = 0;
    for (size_t i = 0; i < m_converted.size(); ++i) {
        if (moved.RecordLanded(i, m_converted[i].flags))
            continue;
        const int code = i < moved.codes.size() ? moved.codes[i] : moved.code;
        if (cancelled && (code == 0 || code == DE_OPCANCELLED))
            continue;
        JobOutcome outcome = CCardWriteCause::OfWriteInto(code, m_destination);
        if (!outcome.Failed())
            outcome.cause = JobCause::Other;
        causes |= importCauses().ResultOf(outcome.cause, RESULT_OTHER_ERROR);
        m_failed.push_back({m_converted[i].sourcePath, std::move(outcome)});
    }
    if (cancelled)
        m_result = JOB_RESULT_CANCELED;
    else
        m_result = causes != 0 ? causes : RESULT_OTHER_ERROR;
}

bool CImporter::StopPlacement()
{
    return GetState() != STATE_RUNNING;
}

void CImporter::CleanUp()
{
    for (const CTQ9ImportSystemFile& record : m_records)
        record.DeleteWorkingFiles();
    m_work.reset();
    m_records.clear();
    m_converted.clear();
    m_destination.clear();
    m_sources.clear();
    ResetRunFields();
}

int CImporter::GetFileCount()
{
    return static_cast<int>(m_records.size());
}

int CImporter::GetPercent()
{
    const int half = m_twoPassHalf.load();
    const int lane = m_laneRecord[1].load() == GetFileIndex() ? 1 : 0;
    const int percent = PercentFromConverter(CFFMpegConverter::Lane(lane), GetFileCount());
    if (half == 0 || GetFileIndex() >= GetFileCount())
        return percent;
    const int share = TwoPassPercent(half, percent);
    m_percent.store(share);
    return share;
}

int CImporter::TwoPassPercent(int half, int percent)
{
    if (half == 1)
        return percent / 2;
    if (half == 2)
        return 50 + percent / 2;
    return percent;
}

IConvProgress::Tally CImporter::EndTally()
{
    return {static_cast<int>(m_landed.size()), static_cast<int>(m_failed.size())};
}

std::string CImporter::GetCurrentFileName()
{
    const int index = GetFileIndex();
    if (index < 0 || index >= GetFileCount())
        return std::string();
    return m_records[static_cast<size_t>(index)].sourcePath;
}

std::string CImporter::BuildErrorMessage(int code, NameTextFn shown) const
{
    return importCauses().ResultText(code, shown ? shown(m_errorSubject) : m_errorSubject, m_spaceFigures);
}

std::string ImportFailureText(const CImporter& importer, NameTextFn shown)
{
    if (importer.FailedSources().empty())
        return std::string();
    std::string text = CMessageCatalogue::Get(IDS_FAILED_FILES_HEADING);
    for (const CImporter::FailedSrcPathT& entry : importer.FailedSources())
        text += importCauses().FailureText(entry.outcome, shown ? shown(entry.path) : entry.path);
    return text;
}

std::string ImportReportText(const CImporter& importer, int result, bool withLanded, NameTextFn shown)
{
    if (result == JOB_RESULT_CANCELED) {
        // A cancel ends the run, not what it had done or found: what landed stays, what failed failed.
        std::string text = CMessageCatalogue::Get(IDS_IMPORT_CANCELED);
        if (withLanded && !importer.Imported().empty()) {
            text += "\n" + CMessageCatalogue::Get(IDS_IMPORT_LANDED_BEFORE_CANCEL) + "\n";
            for (const std::string& path : importer.Imported())
                text += (shown ? shown(path) : path) + "\n";
        }
        return text + ImportFailureText(importer, shown);
    }
    if (result < 0)
        return importer.BuildErrorMessage(result, shown) + ImportFailureText(importer, shown);
    return std::string();
}

} // namespace tq9
