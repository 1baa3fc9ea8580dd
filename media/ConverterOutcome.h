// How one operation of a converter ended, returned by the call itself so that two lanes running side by
// side never read each other's ending. status is in the media library's vocabulary: 0 or more when the
// operation did its whole work, a negative FFmpeg code otherwise (-ENOSPC, -EIO for a system error the
// copy met, TQ9_MEDIA_EXIT for a stop, TQ9_MEDIA_UNKNOWN when nothing more is known).
//
// Plain value.
#pragma once

#include <cstdint>
#include <string>

#include "medialib/tq9media.h"

namespace tq9 {

struct ConverterOutcome {
    int32_t status = TQ9_MEDIA_UNKNOWN;
    // The run was stopped because its output passed the limit set with SetOutputLimit.
    bool outgrewLimit = false;
    // Length in milliseconds of what a conversion wrote, as the library reported it when it finished; -1
    // when it reported none (a failure, a stop, a probe, a copy).
    int32_t outputLengthMs = -1;

    static ConverterOutcome Done() { return ConverterOutcome{0}; }

    bool Failed() const { return status < 0; }
    bool StoppedByUser() const { return status == TQ9_MEDIA_EXIT && !outgrewLimit; }
    bool OutgrewLimit() const { return outgrewLimit; }
    // The system error behind status (ENOSPC, EIO, ...), 0 when status is no system error.
    int Errno() const { return status < 0 && status > -4096 ? -status : 0; }
    // The library's words for a failure; empty on success and for the generic status, which says nothing.
    std::string Detail() const;
};

} // namespace tq9
