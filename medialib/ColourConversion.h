// Internal to the media library: how a source's colours reach what the device decodes. The device is an SD
// player: BT.601 matrix, limited range, SDR. An SD BT.601 source passes untouched (no filter at all, so its
// pictures stay bit for bit what they were); BT.709 and the other SDR matrices (also HD that does not say,
// judged by its size) get their matrix converted; PQ and HLG are tone-mapped to SDR with reference white at
// SDR white and the gamut taken from BT.2020; other BT.2020 material has its gamut mapped. A value object:
// VideoChain keeps the one its filter graph was built for and builds anew when a picture needs another.
// HDR still pictures (R'G'B', shown as sRGB) take the same tone mapping through ForHdrStill.
#pragma once

#include "medialib/Ffmpeg.h"

#include <string>

namespace tq9media {

class ColourConversion {
public:
    enum class Kind { None, Matrix, Gamut, Pq, Hlg };

    // From what the stream and its decoder say before any picture is decoded.
    static ColourConversion ForStream(const AVStream* in, const AVCodecContext* decoder);
    // From a decoded picture; a light level that only some pictures carry is kept from previous.
    static ColourConversion ForFrame(const AVFrame* frame, const ColourConversion& previous);
    // A still picture in full-range R'G'B' with the transfer and primaries given: PQ and HLG are tone-mapped
    // as the video's pictures are, and come out in sRGB (a photo is shown as sRGB, not as BT.709 video);
    // None for an SDR transfer.
    static ColourConversion ForHdrStill(AVColorTransferCharacteristic transfer, AVColorPrimaries primaries,
        double peakNits);
    // PQ or HLG: the transfers that are tone-mapped.
    static bool IsHdrTransfer(AVColorTransferCharacteristic transfer)
    {
        return transfer == AVCOL_TRC_SMPTE2084 || transfer == AVCOL_TRC_ARIB_STD_B67;
    }

    Kind GetKind() const { return m_kind; }
    // The filters that convert, for a picture of width x height at that point of the chain; empty for None.
    // scaled: a scaler came before (it leaves limited range); next: the format the step after wants (its
    // 8-bit form is given, or RGB as planar GBR).
    std::string Filters(int width, int height, bool scaled, AVPixelFormat next) const;
    // The device's colour description on the encoder, so that no player has to guess.
    static void TagOutput(AVCodecContext* encoder);

    bool operator==(const ColourConversion&) const = default;

private:
    static ColourConversion Classify(AVColorSpace matrix, AVColorPrimaries primaries,
        AVColorTransferCharacteristic transfer, AVColorRange range, AVPixelFormat format, int width, int height,
        double peakNits);

    Kind m_kind = Kind::None;
    AVColorSpace m_matrix = AVCOL_SPC_UNSPECIFIED; // the source's matrix, HD without one taken as BT.709
    bool m_fullRange = false;
    double m_peakNits = 0; // the brightest the source gets (content light level, mastering display); 0 unknown
    AVColorPrimaries m_hdrPrimaries = AVCOL_PRI_BT2020; // what PQ and HLG are read in (video: always BT.2020)
    bool m_srgbOut = false; // a still picture: sRGB's curve out instead of BT.709's
};

} // namespace tq9media
