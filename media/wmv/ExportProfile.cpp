#include "media/wmv/ExportProfile.h"

#include <iterator>
#include <numeric>

namespace tq9 {

namespace {

// The 256016 row is wmav2 at 256 kbit/s: there is no WMA Pro encoder to take it.
constexpr CExportProfile::AudioRow kRows[] = {{100000, 96000}, {130000, 128016}, {0, 256016}};

} // namespace

const CExportProfile::AudioRow& CExportProfile::ChooseAudioRow(int64_t audioBitRate)
{
    for (const AudioRow& row : kRows)
        if (row.below == 0 || row.below > audioBitRate)
            return row;
    return kRows[std::size(kRows) - 1];
}

Tq9WriterSettings CExportProfile::SettingsFor(const Tq9MediaStreamInfo& video, const Tq9MediaStreamInfo& audio)
{
    Tq9WriterSettings s{};
    s.width = video.width;
    s.height = video.height;
    s.frameRateNum = video.frameRateNum;
    s.frameRateDen = video.frameRateDen;
    s.videoBitRate = kVideoBitRate;
    const int64_t num = video.sampleAspectNum, den = video.sampleAspectDen;
    if (num > 0 && den > 0 && num != den) {
        const int64_t divisor = std::gcd(num, den);
        s.sampleAspectNum = static_cast<int>(num / divisor);
        s.sampleAspectDen = static_cast<int>(den / divisor);
    }
    s.sampleRate = audio.sampleRate == 48000 ? 48000 : 44100;
    s.channels = 2;
    s.audioBitRate = ChooseAudioRow(audio.bitRate).bitrate;
    s.inputSampleRate = audio.sampleRate;
    s.inputChannels = audio.channels > 0 ? audio.channels : 2;
    return s;
}

} // namespace tq9
