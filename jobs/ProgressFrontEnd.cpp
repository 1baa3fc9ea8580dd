#include "jobs/ProgressFrontEnd.h"

#include "media/FFMpegConverter.h"
#include "media/wmv/WMVConverter.h"
#include "res/MessageCatalogue.h"

namespace tq9 {

void CancelJob(IConvProgress& job)
{
    // Stop the running conversion first, so the worker's wait after the front-end closes is short.
    CFFMpegConverter::RequestStopAll();
    CWMVConverter::Instance().RequestStop();
    job.SetState(STATE_CANCELED);
}

int ProgressTextIds::Ending(int state) const
{
    switch (state) {
    case STATE_CANCELED:
        return canceled;
    case STATE_FAILED:
        return failed;
    case STATE_DONE:
        return finished;
    default:
        return 0;
    }
}

ProgressTextIds ProgressTextsFor(const IConvProgress& job)
{
    const int title = job.Kind() == JobKind::Export        ? IDS_EXPORTING_TITLE
                      : job.Kind() == JobKind::Duplication ? IDS_DUPLICATING_TITLE
                                                           : IDS_IMPORTING_TITLE;
    if (job.Copies())
        return {IDS_NOW_COPYING,      IDS_COPIED_FILE,    IDS_COPYING_FILE,
                IDS_COPYING_CANCELED, IDS_COPYING_FAILED, IDS_COPYING_FINISHED, title};
    return {IDS_NOW_CONVERTING,      IDS_CONVERTED_FILE,    IDS_CONVERTING_FILE,
            IDS_CONVERTING_CANCELED, IDS_CONVERTING_FAILED,
            job.SomeEndedEarly() ? IDS_CONVERTING_ENDED_EARLY : IDS_CONVERTING_FINISHED, title};
}

std::string ProgressEndingText(IConvProgress& job, int state)
{
    if (state == STATE_FAILED) {
        const IConvProgress::Tally tally = job.EndTally();
        if (tally.placed > 0 && tally.failed > 0)
            return FormatText(CMessageCatalogue::Get(job.Copies() ? IDS_COPIED_SOME : IDS_CONVERTED_SOME),
                              tally.placed, tally.placed + tally.failed, tally.failed);
    }
    const int id = ProgressTextsFor(job).Ending(state);
    return id != 0 ? CMessageCatalogue::Get(id) : std::string();
}

} // namespace tq9
