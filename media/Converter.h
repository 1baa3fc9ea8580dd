// Common base of the two process-wide converters (CFFMpegConverter, CWMVConverter), so a job can hold
// either through one pointer. It owns nothing.
#pragma once

namespace tq9 {

class CConverter {
public:
    virtual ~CConverter() = default;
};

} // namespace tq9
