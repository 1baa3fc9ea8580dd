#include "jobs/ProgressFrontEnd.h"

#include "media/FFMpegConverter.h"
#include "media/wmv/WMVConverter.h"

namespace tq9 {

void CancelJob(IConvProgress& job)
{
    // Stop the running conversion first, so the worker's wait after the front-end closes is short.
    CFFMpegConverter::RequestStopAll();
    CWMVConverter::Instance().RequestStop();
    job.SetState(STATE_CANCELED);
}

} // namespace tq9
