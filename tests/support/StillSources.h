// Still pictures for the tests: pictures holding a known sRGB colour in another colour space, and HEIC
// files written with libheif's own encoder (as a phone's camera writes them).
#pragma once

#include <QColorSpace>
#include <QImage>
#include <filesystem>

namespace tq9test {

// A w x h picture whose pixels hold the sRGB colour srgb expressed in space, and tagged with space.
QImage PictureIn(const QColorSpace& space, QRgb srgb, int w, int h);

// Writes picture as HEIC (HEVC, quality 90) with the EXIF-style orientation given (6: turn a quarter
// clockwise to view) as the file's rotation and mirroring, and picture's colour space, when it has one, as
// its ICC profile. false when libheif fails.
bool WriteHeic(const std::filesystem::path& path, const QImage& picture, int orientation = 1);

// HDR pictures as phones and HDR tools write them: picture's 16-bit R'G'B' (PQ or HLG, BT.2020) as a
// 10-bit HEIC whose colour description (nclx) says so, with a content light level when maxCll > 0, or as a
// 16-bit PNG with a cICP chunk. transfer: 16 PQ, 18 HLG.
bool WriteHdrHeic(const std::filesystem::path& path, const QImage& picture, int transfer, int maxCll = 0);
bool WriteHdrPng(const std::filesystem::path& path, const QImage& picture, int transfer);

} // namespace tq9test
