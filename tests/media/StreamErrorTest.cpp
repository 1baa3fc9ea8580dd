// A stream that fails after the other one has ended: the run ends in an error, never in a completed file.
#include <gtest/gtest.h>

#include "media/FakeWriter.h"
#include "platform/streaming/AsfWriterFilter.h"
#include "platform/streaming/FilterGraph.h"
#include "platform/streaming/Source.h"
#include "support/TestSupport.h"

using namespace tq9;
using namespace tq9test;

namespace {

constexpr int kWidth = 16, kHeight = 16;
constexpr long kPictureSize = kWidth * kHeight * 3 / 2;

// Pictures that fail after a few, and sound that ends before the failure.
class CScriptedPin : public CSourceStream {
public:
    CScriptedPin(CBaseFilter& filter, bool video, int samples)
        : CSourceStream(filter, video ? "V Out" : "A Out"), m_video(video), m_samples(samples)
    {
    }
    HRESULT GetMediaType(int position, CMediaType& type) override
    {
        if (position > 0)
            return VFW_S_NO_MORE_ITEMS;
        type = CMediaType();
        if (m_video) {
            type.majorType = MajorType::Video;
            type.subType = SubType::YV12;
            VIDEOINFOHEADER2 vih{};
            vih.AvgTimePerFrame = 400000;
            vih.bmiHeader = {sizeof(BITMAPINFOHEADER), kWidth, kHeight, 1, 12, kFourCcYV12, kPictureSize, 0, 0, 0, 0};
            type.SetFormat(FormatType::VideoInfo2, vih);
        } else {
            type.majorType = MajorType::Audio;
            type.subType = SubType::PCM;
            type.SetFormat(FormatType::WaveFormatEx, WAVEFORMATEX{kWaveFormatPcm, 2, 48000, 192000, 4, 16, 0});
        }
        return S_OK;
    }
    HRESULT CheckMediaType(const CMediaType* type) override { return type ? S_OK : E_POINTER; }
    HRESULT DecideBufferSize(CMemAllocator& allocator, ALLOCATOR_PROPERTIES& request) override
    {
        request.cBuffers = 1;
        request.cbBuffer = m_video ? kPictureSize : 4800;
        ALLOCATOR_PROPERTIES actual;
        return allocator.SetProperties(request, actual);
    }
    HRESULT FillBuffer(CMediaSample& sample) override
    {
        if (m_sent == m_samples)
            return m_video ? E_FAIL : S_FALSE; // the pictures fail to decode; the sound simply ends
        if (m_video)
            std::this_thread::sleep_for(std::chrono::milliseconds(20)); // the sound has ended by now
        sample.SetActualDataLength(sample.GetSize());
        const REFERENCE_TIME start = m_sent * (m_video ? 400000 : 100000);
        sample.SetTime(start, start + 100000);
        ++m_sent;
        return S_OK;
    }

private:
    bool m_video;
    int m_samples;
    int m_sent = 0;
};

class CScriptedSource : public CSource {
public:
    CScriptedSource() : CSource("scripted")
    {
        AddPin(std::make_unique<CScriptedPin>(*this, true, 5));
        AddPin(std::make_unique<CScriptedPin>(*this, false, 2));
    }
};

} // namespace

TEST(StreamError, AFailureAfterTheOtherStreamEndedWinsOverCompletion)
{
    FakeWriter fake;
    TempDir dir;
    auto source = std::make_shared<CScriptedSource>();
    auto writer = std::make_shared<CAsfWriterFilter>();
    CFilterGraph graph;
    graph.AddFilter(source, "source");
    graph.AddFilter(writer, "writer");
    writer->SetFileName((dir / "out.wmv").string());
    CAsfProfile profile = CAsfProfile::Default();
    CAsfStreamConfig video = *profile.Find(AsfStreamType::Video);
    VIDEOINFOHEADER vih{};
    video.mediaType.GetFormat(vih);
    vih.bmiHeader.biWidth = kWidth;
    vih.bmiHeader.biHeight = kHeight;
    video.mediaType.SetFormat(FormatType::VideoInfo, vih);
    ASSERT_EQ(profile.ReconfigStream(video), S_OK);
    ASSERT_EQ(writer->ConfigureFilterUsingProfile(profile), S_OK);
    ASSERT_EQ(graph.ConnectDirect(*source->GetPin(0), *writer->GetPin(0), nullptr), S_OK);
    ASSERT_EQ(graph.ConnectDirect(*source->GetPin(1), *writer->GetPin(1), nullptr), S_OK);
    ASSERT_EQ(graph.Run(), S_OK);

    long code = 0;
    ASSERT_EQ(graph.WaitForCompletion(5000, code), S_OK);
    EXPECT_EQ(code, EC_ERRORABORT);
    // Nothing completes later either.
    EXPECT_EQ(graph.WaitForCompletion(200, code), E_ABORT);
    graph.Stop();
    EXPECT_EQ(fake.videoPts.size(), 5u);
    EXPECT_EQ(fake.closes, 0);
    EXPECT_EQ(fake.aborts, 1);
    EXPECT_FALSE(fs::exists(dir / "out.wmv"));
}
