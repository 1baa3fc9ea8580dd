// Still pictures fitted into the device frame, and their thumbnails: geometry, file formats, failures.
#include <QColor>
#include <QElapsedTimer>
#include <QImage>

#include <gtest/gtest.h>

#include "support/TestSupport.h"
#include "media/StillImage.h"

using namespace tq9;
using tq9test::TempDir;
namespace fs = std::filesystem;

namespace {

void ExpectPlacement(const StillPlacement& at, int x, int y, int w, int h)
{
    EXPECT_EQ(x, at.x);
    EXPECT_EQ(y, at.y);
    EXPECT_EQ(w, at.width);
    EXPECT_EQ(h, at.height);
}

std::string MakePicture(const fs::path& path, int w, int h, QColor colour = Qt::white, const char* format = nullptr)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(colour);
    EXPECT_TRUE(image.save(QString::fromStdString(path.string()), format));
    return path.string();
}

uint32_t Le32(const std::string& b, size_t at)
{
    return static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1]) << 8 | static_cast<uint8_t>(b[at + 2]) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(b[at + 3])) << 24;
}

uint16_t Le16(const std::string& b, size_t at)
{
    return static_cast<uint16_t>(static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1]) << 8);
}

// The first 8-bit quantisation table of a JPEG file (64 values, zig-zag order), or empty.
std::vector<int> FirstQuantTable(const std::string& jpeg)
{
    for (size_t i = 2; i + 4 < jpeg.size();) {
        if (static_cast<uint8_t>(jpeg[i]) != 0xFF)
            return {};
        const uint8_t marker = static_cast<uint8_t>(jpeg[i + 1]);
        const size_t length = static_cast<uint8_t>(jpeg[i + 2]) << 8 | static_cast<uint8_t>(jpeg[i + 3]);
        if (marker == 0xDB && i + 5 + 64 <= jpeg.size() && (static_cast<uint8_t>(jpeg[i + 4]) >> 4) == 0) {
            std::vector<int> table;
            for (size_t k = 0; k < 64; ++k)
                table.push_back(static_cast<uint8_t>(jpeg[i + 5 + k]));
            return table;
        }
        i += 2 + length;
    }
    return {};
}

// The luminance table an IJG-style encoder writes at quality 80 (scale 40%).
std::vector<int> LuminanceTableAtQuality80()
{
    static const int base[64] = {16, 11, 12, 14, 12, 10, 16, 14, 13, 14, 18, 17, 16, 19, 24, 40,
                                 26, 24, 22, 22, 24, 49, 35, 37, 29, 40, 58, 51, 61, 60, 57, 51,
                                 56, 55, 64, 72, 92, 78, 64, 68, 87, 69, 55, 56, 80, 109, 81, 87,
                                 95, 98, 103, 104, 103, 62, 77, 113, 121, 112, 100, 120, 92, 101, 103, 99};
    std::vector<int> out;
    for (int q : base)
        out.push_back(std::clamp((q * 40 + 50) / 100, 1, 255));
    return out;
}

bool IsBlack(QRgb p)
{
    return qRed(p) < 8 && qGreen(p) < 8 && qBlue(p) < 8;
}

bool IsWhite(QRgb p)
{
    return qRed(p) > 247 && qGreen(p) > 247 && qBlue(p) > 247;
}

} // namespace

TEST(StillGeometry, FramePlacement)
{
    ExpectPlacement(StillFramePlacement(640, 480, 480), 0, 0, 720, 480);
    ExpectPlacement(StillFramePlacement(640, 480, 576), 0, 0, 720, 576);
    ExpectPlacement(StillFramePlacement(1920, 1080, 480), 0, 60, 720, 360);
    ExpectPlacement(StillFramePlacement(1920, 1080, 576), 0, 72, 720, 432);
    ExpectPlacement(StillFramePlacement(1000, 2000, 480), 225, 0, 270, 480);
    // PAL pillarbox: full height, width still reckoned against 480 lines.
    ExpectPlacement(StillFramePlacement(1000, 2000, 576), 225, 0, 270, 576);
    ExpectPlacement(StillFramePlacement(1, 1, 480), 90, 0, 540, 480);
    // Extreme shapes shrink to nothing rather than overflow the frame.
    ExpectPlacement(StillFramePlacement(100000, 1, 480), 0, 240, 720, 0);
    ExpectPlacement(StillFramePlacement(1, 100000, 480), 360, 0, 0, 480);
}

TEST(StillGeometry, ThumbnailPlacement)
{
    ExpectPlacement(StillThumbnailPlacement(640, 480), 0, 0, 48, 36);
    ExpectPlacement(StillThumbnailPlacement(1920, 1080), 0, 4, 48, 27);
    ExpectPlacement(StillThumbnailPlacement(1000, 2000), 15, 0, 18, 36);
    ExpectPlacement(StillThumbnailPlacement(1, 1), 6, 0, 36, 36);
}

TEST(StillImage, FindEncoderIsExactAndCaseSensitive)
{
    std::string encoder;
    EXPECT_GE(FindEncoder("image/bmp", encoder), 0);
    EXPECT_EQ("bmp", encoder);
    EXPECT_GE(FindEncoder("image/jpeg", encoder), 0);
    EXPECT_NE("bmp", encoder);
    EXPECT_EQ(-1, FindEncoder("image/BMP", encoder));
    EXPECT_EQ(-1, FindEncoder("image/bm", encoder));
    EXPECT_EQ(-1, FindEncoder("", encoder));
}

TEST(StillImage, ThumbnailIsA48x36TwentyFourBitBmp)
{
    TempDir dir;
    const std::string src = MakePicture(dir / "wide.png", 1920, 1080);
    const fs::path thumb = dir / "clip.thm"; // the extension does not choose the format
    ASSERT_EQ(0, MakeStillThumbnail(src, thumb.string()));
    const std::string bmp = tq9test::ReadFile(thumb);
    ASSERT_EQ(54u + 48 * 3 * 36, bmp.size());
    EXPECT_EQ("BM", bmp.substr(0, 2));
    EXPECT_EQ(bmp.size(), Le32(bmp, 2));
    EXPECT_EQ(54u, Le32(bmp, 10));
    EXPECT_EQ(40u, Le32(bmp, 14));
    EXPECT_EQ(48u, Le32(bmp, 18));
    EXPECT_EQ(36u, Le32(bmp, 22)); // positive: bottom-up rows
    EXPECT_EQ(1, Le16(bmp, 26));
    EXPECT_EQ(24, Le16(bmp, 28));
    EXPECT_EQ(0u, Le32(bmp, 30));

    const QImage back(QString::fromStdString(thumb.string()), "BMP");
    ASSERT_EQ(QSize(48, 36), back.size());
    EXPECT_TRUE(IsBlack(back.pixel(24, 1)));  // bar above (y 0..3)
    EXPECT_TRUE(IsWhite(back.pixel(24, 18))); // picture y 4..30
    EXPECT_TRUE(IsBlack(back.pixel(24, 34))); // bar below
}

TEST(StillImage, ConvertedFramesFillTheDeviceFrame)
{
    TempDir dir;
    const std::string wide = MakePicture(dir / "wide.png", 1920, 1080);
    const std::string tall = MakePicture(dir / "tall.jpg", 1000, 2000, Qt::white, "JPEG");
    const std::string tiny = MakePicture(dir / "tiny.bmp", 1, 1);
    ConversionSettings ntsc;
    ConversionSettings pal;
    pal.NTSC = 0;

    ASSERT_EQ(0, ConvertStill(ntsc, wide, (dir / "a.bmp").string()));
    QImage a(QString::fromStdString((dir / "a.bmp").string()));
    ASSERT_EQ(QSize(720, 480), a.size());
    EXPECT_EQ(24, Le16(tq9test::ReadFile(dir / "a.bmp"), 28));
    EXPECT_TRUE(IsBlack(a.pixel(360, 58)));
    EXPECT_TRUE(IsWhite(a.pixel(360, 62)));
    EXPECT_TRUE(IsWhite(a.pixel(360, 417)));
    EXPECT_TRUE(IsBlack(a.pixel(360, 422)));

    ASSERT_EQ(0, ConvertStill(pal, tall, (dir / "b.BMP").string()));
    QImage b(QString::fromStdString((dir / "b.BMP").string()));
    ASSERT_EQ(QSize(720, 576), b.size());
    EXPECT_TRUE(IsBlack(b.pixel(223, 288)));
    EXPECT_TRUE(IsWhite(b.pixel(228, 288)));
    EXPECT_TRUE(IsWhite(b.pixel(492, 288)));
    EXPECT_TRUE(IsBlack(b.pixel(497, 288)));

    // A single pixel is enlarged into the pillarbox (540 wide at x 90).
    ASSERT_EQ(0, ConvertStill(ntsc, tiny, (dir / "c.bmp").string()));
    QImage c(QString::fromStdString((dir / "c.bmp").string()));
    EXPECT_TRUE(IsBlack(c.pixel(85, 240)));
    EXPECT_TRUE(IsWhite(c.pixel(360, 240)));
    EXPECT_TRUE(IsBlack(c.pixel(635, 240)));
}

TEST(StillImage, JpegAndPngDestinationsGetJpegAtQuality80)
{
    TempDir dir;
    const std::string src = MakePicture(dir / "src.png", 640, 480, QColor(200, 30, 30));
    for (const char* name : {"out.jpg", "out.JPG", "out.png", "out.Png"}) {
        SCOPED_TRACE(name);
        ASSERT_EQ(0, ConvertStill(ConversionSettings{}, src, (dir / name).string()));
        const std::string data = tq9test::ReadFile(dir / name);
        ASSERT_GE(data.size(), 4u);
        EXPECT_EQ('\xFF', data[0]);
        EXPECT_EQ('\xD8', data[1]);
        EXPECT_EQ(LuminanceTableAtQuality80(), FirstQuantTable(data));
        EXPECT_EQ(QSize(720, 480), QImage(QString::fromStdString((dir / name).string()), "JPEG").size());
    }
}

TEST(StillImage, FailuresLeaveTheDestinationAsItWas)
{
    TempDir dir;
    const std::string src = MakePicture(dir / "src.png", 64, 48);
    tq9test::WriteFile(dir / "garbage.jpg", "this is not a picture");
    struct Case {
        const char* what;
        std::string source;
        std::string destination;
    };
    const Case cases[] = {
        {"four-letter jpeg", src, "out.jpeg"},
        {"gif", src, "out.gif"},
        {"no extension", src, "out"},
        {"dot only in the folder", src, "sub.bmp/out"},
        {"unreadable source", (dir / "garbage.jpg").string(), "out.bmp"},
        {"missing source", (dir / "none.png").string(), "out2.bmp"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path reserved = dir / "reserved" / c.destination;
        fs::create_directories(reserved.parent_path());
        tq9test::WriteFile(reserved, ""); // the import record reserves the name as an empty file
        EXPECT_EQ(1, ConvertStill(ConversionSettings{}, c.source, reserved.string()));
        EXPECT_EQ("", tq9test::ReadFile(reserved));
    }
    EXPECT_EQ(1, MakeStillThumbnail((dir / "garbage.jpg").string(), (dir / "reserved" / "t.thm").string()));
    EXPECT_FALSE(fs::exists(dir / "reserved" / "t.thm"));
    EXPECT_EQ(1, MakeStillThumbnail(src, (dir / "no-folder" / "t.thm").string()));

    // Nothing but the reserved files is left behind (no temporary names).
    size_t files = 0;
    for (const auto& entry : fs::recursive_directory_iterator(dir / "reserved"))
        files += entry.is_regular_file() ? 1 : 0;
    EXPECT_EQ(std::size(cases), files);
}

TEST(StillImage, LargeJpegConvertsQuickly)
{
    TempDir dir;
    QImage big(6000, 4000, QImage::Format_RGB32); // 24 megapixels
    for (int y = 0; y < big.height(); ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(big.scanLine(y));
        for (int x = 0; x < big.width(); ++x)
            line[x] = qRgb(x & 0xFF, y & 0xFF, (x + y) & 0xFF);
    }
    const std::string src = (dir / "big.jpg").string();
    ASSERT_TRUE(big.save(QString::fromStdString(src), "JPEG", 90));
    big = QImage();

    QElapsedTimer timer;
    timer.start();
    ASSERT_EQ(0, ConvertStill(ConversionSettings{}, src, (dir / "out.jpg").string()));
    const qint64 convertMs = timer.restart();
    ASSERT_EQ(0, MakeStillThumbnail(src, (dir / "out.thm").string()));
    const qint64 thumbMs = timer.elapsed();
    RecordProperty("convert_ms", static_cast<int>(convertMs));
    RecordProperty("thumbnail_ms", static_cast<int>(thumbMs));
    std::printf("24 MP JPEG: still %lld ms, thumbnail %lld ms\n", static_cast<long long>(convertMs),
                static_cast<long long>(thumbMs));
    // Generous bound for a loaded 2-core machine; a full-size decode plus scale takes several times longer.
    EXPECT_LT(convertMs, 4000);
    EXPECT_LT(thumbMs, 4000);
}

TEST(StillImage, CameraOrientationIsTurnedUprightBeforeFitting)
{
    // Stored 160x120 with red on the left; the EXIF orientation 6 says "turn a quarter clockwise to view",
    // so the photo is a 120x160 portrait with red at the top, pillarboxed like any portrait.
    TempDir dir;
    QImage stored(160, 120, QImage::Format_RGB32);
    stored.fill(Qt::blue);
    for (int y = 0; y < 120; ++y)
        for (int x = 0; x < 80; ++x)
            stored.setPixel(x, y, qRgb(255, 0, 0));
    const fs::path plain = dir / "plain.jpg";
    ASSERT_TRUE(stored.save(QString::fromStdString(plain.string()), "JPEG", 95));
    std::string jpeg = tq9test::ReadFile(plain);
    const std::string exif("\xFF\xE1\x00\x22"
                           "Exif\0\0"
                           "MM\0\x2A\0\0\0\x08"
                           "\0\x01"
                           "\x01\x12\0\x03\0\0\0\x01\0\x06\0\0"
                           "\0\0\0\0",
                           36);
    jpeg.insert(2, exif); // right after the start-of-image marker
    const fs::path photo = dir / "photo.jpeg";
    tq9test::WriteFile(photo, jpeg);

    ConversionSettings ntsc;
    const fs::path out = dir / "photo.jpg";
    ASSERT_EQ(0, ConvertStill(ntsc, photo.string(), out.string()));
    const QImage frame(QString::fromStdString(out.string()));
    ASSERT_EQ(QSize(720, 480), frame.size());
    auto isRed = [](QRgb c) { return qRed(c) > 160 && qGreen(c) < 80 && qBlue(c) < 80; };
    auto isBlue = [](QRgb c) { return qBlue(c) > 160 && qRed(c) < 80 && qGreen(c) < 80; };
    EXPECT_TRUE(isRed(frame.pixel(360, 60)));
    EXPECT_TRUE(isBlue(frame.pixel(360, 420)));
    EXPECT_LT(qGray(frame.pixel(100, 240)), 24) << "bars left and right of the 405-pixel portrait";

    const fs::path thumb = dir / "photo.thm";
    ASSERT_EQ(0, MakeStillThumbnail(photo.string(), thumb.string()));
    const QImage small(QString::fromStdString(thumb.string()), "BMP");
    EXPECT_TRUE(isRed(small.pixel(24, 4)));
    EXPECT_TRUE(isBlue(small.pixel(24, 32)));
    EXPECT_LT(qGray(small.pixel(3, 18)), 24);
}
