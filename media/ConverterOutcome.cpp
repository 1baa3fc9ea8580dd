#include "media/ConverterOutcome.h"

namespace tq9 {

std::string ConverterOutcome::Detail() const
{
    if (!Failed() || status == TQ9_MEDIA_UNKNOWN)
        return std::string();
    char reason[128] = "";
    return Tq9MediaErrorText(status, reason, sizeof reason);
}

} // namespace tq9
