// The converter over the real media library, with a probe that must succeed and a scratch folder.
#pragma once

#include <gtest/gtest.h>

#include "media/FFMpegConverter.h"
#include "media/MediaInfo.h"
#include "support/TestSupport.h"

namespace tq9test {

class RealLibrary : public ::testing::Test {
protected:
    tq9::MediaInfo ProbeOf(const fs::path& file)
    {
        tq9::MediaInfo info;
        EXPECT_FALSE(conv.Probe(file.string(), info).Failed()) << file;
        return info;
    }
    tq9::CFFMpegConverter& conv = tq9::CFFMpegConverter::Instance();
    tq9::ConversionSettings ntsc;
    TempDir dir;
};

} // namespace tq9test
