// An import over the real media library converts songs and stills two at a time: what lands on the card
// is byte for byte what each file gives when converted alone.
#include <gtest/gtest.h>

#include "jobs/FakeFrontEnds.h"
#include "jobs/ImportFixture.h"
#include "jobs/Importer.h"
#include "media/FFMpegConverter.h"
#include "media/StillImage.h"

using namespace tq9;
using namespace tq9test;

namespace {

class PairedImportTest : public ImportFixture {
protected:
    fs::path Put(const std::string& name, const fs::path& cached)
    {
        const fs::path p = pc / name;
        fs::copy_file(cached, p, fs::copy_options::overwrite_existing);
        return p;
    }
    static fs::path Tone(int hz, const std::string& ext)
    {
        return SynthMedia("paired-" + std::to_string(hz) + "." + ext,
                          {"-f", "lavfi", "-i", "sine=frequency=" + std::to_string(hz) + ":duration=1.5", "-ac", "2"});
    }
    static fs::path Picture(const std::string& pattern)
    {
        return SynthMedia("paired-" + pattern + ".png", {"-f", "lavfi", "-i", pattern + "=size=320x200", "-frames:v", "1"});
    }
};

TEST_F(PairedImportTest, EachFileLandsAsItConvertsAlone)
{
    const std::vector<fs::path> songs = {Put("a.wav", Tone(300, "wav")), Put("b.mp3", Tone(500, "mp3")),
                                         Put("c.wav", Tone(700, "wav")), Put("d.flac", Tone(900, "flac"))};
    const std::vector<fs::path> stills = {Put("e.png", Picture("testsrc")), Put("f.png", Picture("smptebars"))};
    std::vector<std::string> sources;
    for (const auto* group : {&songs, &stills})
        for (const fs::path& p : *group)
            sources.push_back(p.string());

    CImporter importer;
    ASSERT_EQ(importer.Prepare(card.string(), sources, 0), 0);
    WaitingFrontEnd frontEnd;
    ASSERT_EQ(importer.Run(frontEnd), 0);

    const fs::path alone = dir / "alone";
    fs::create_directories(alone);
    CFFMpegConverter& converter = CFFMpegConverter::Instance();
    for (const fs::path& song : songs) {
        const fs::path out = alone / (song.stem().string() + ".mp3");
        ASSERT_FALSE(converter.ConvertAudio(song.string(), out.string()).Failed()) << song;
        EXPECT_EQ(ReadFile(card / out.filename()), ReadFile(out)) << song;
    }
    ConversionSettings ntsc;
    for (const fs::path& still : stills) {
        const fs::path out = alone / (still.stem().string() + ".jpg");
        const fs::path thm = alone / (still.stem().string() + ".thm");
        ASSERT_EQ(ConvertStill(ntsc, still.string(), out.string()), 0);
        ASSERT_EQ(MakeStillThumbnail(still.string(), thm.string()), 0);
        EXPECT_EQ(ReadFile(card / out.filename()), ReadFile(out)) << still;
        EXPECT_EQ(ReadFile(card / thm.filename()), ReadFile(thm)) << still;
    }
    EXPECT_TRUE(Names(tmp).empty());
}

} // namespace
