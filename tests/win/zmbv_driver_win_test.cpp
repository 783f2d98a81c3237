#include "codec/zmbv_driver_win.h"

#include <windows.h>
// windows.h first: vfw.h depends on its types.
#include <vfw.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

// A frame format with room for a colour table or the 16-bit masks.
struct Format {
    BITMAPINFOHEADER header{};
    RGBQUAD colours[256]{};
    const BITMAPINFO* Info() const { return reinterpret_cast<const BITMAPINFO*>(this); }
    BITMAPINFOHEADER* Header() { return &header; }
};

Format MakeFormat(int width, int height, int bits, DWORD compression = BI_RGB) {
    Format f;
    f.header.biSize = sizeof(BITMAPINFOHEADER);
    f.header.biWidth = width;
    f.header.biHeight = height;
    f.header.biPlanes = 1;
    f.header.biBitCount = static_cast<WORD>(bits);
    f.header.biCompression = compression;
    if (bits == 8) {
        f.header.biClrUsed = 256;
        for (int i = 0; i < 256; ++i)
            f.colours[i] = {BYTE(i), BYTE(255 - i), BYTE(i * 3), 0};
    }
    if (compression == BI_BITFIELDS) {
        const DWORD masks[3] = {0xF800, 0x07E0, 0x001F};
        std::memcpy(f.colours, masks, sizeof masks);
    }
    return f;
}

size_t ImageBytes(const BITMAPINFOHEADER& h) {
    return (static_cast<size_t>(h.biWidth) * h.biBitCount + 31) / 32 * 4 *
           static_cast<size_t>(h.biHeight < 0 ? -h.biHeight : h.biHeight);
}

TEST(ZmbvDriver, InstalledForTheRunListedWithItsDescriptionAndChosenAsTheFallback) {
    const Format screen = MakeFormat(64, 48, 32);
    {
        zmbv_driver::Installation installed;
        ASSERT_TRUE(installed.Installed());
        bool listed = false;
        ICINFO info{};
        info.dwSize = sizeof info;
        for (DWORD i = 0; ::ICInfo(ICTYPE_VIDEO, i, &info); ++i) {
            HIC ic = ::ICOpen(info.fccType, info.fccHandler, ICMODE_QUERY);
            if (ic == nullptr)
                continue;
            ICINFO described{};
            ::ICGetInfo(ic, &described, sizeof described);
            ::ICClose(ic);
            if (described.fccHandler == zmbv_driver::kFourcc)
                listed = std::wstring(described.szDescription) == zmbv_driver::kDescription;
        }
        EXPECT_TRUE(listed);
        EXPECT_EQ(zmbv_driver::FallbackHandler(screen.Info()), zmbv_driver::kFourcc);
        const Format fourBits = MakeFormat(64, 48, 4);
        EXPECT_EQ(zmbv_driver::FallbackHandler(fourBits.Info()), mmioFOURCC('D', 'I', 'B', ' '));
    }
    // Gone with the installation: uncompressed frames, as before there was a codec of our own.
    EXPECT_EQ(zmbv_driver::FallbackHandler(screen.Info()), mmioFOURCC('D', 'I', 'B', ' '));
}

struct DepthCase {
    int bits;
    DWORD compression;
    int height; // negative: a top-down frame
};

class ZmbvDriverDepth : public testing::TestWithParam<DepthCase> {};

// Frames through the platform's compress and decompress calls come back exactly, bottom-up or
// top-down, with the key frames where they were asked for.
TEST_P(ZmbvDriverDepth, CompressedFramesDecompressExactly) {
    const DepthCase c = GetParam();
    zmbv_driver::Installation installed;
    Format in = MakeFormat(37, c.height, c.bits, c.compression);
    HIC ic = ::ICOpen(ICTYPE_VIDEO, zmbv_driver::kFourcc, ICMODE_COMPRESS);
    ASSERT_NE(ic, nullptr);
    ASSERT_EQ(ICCompressQuery(ic, in.Info(), nullptr), ICERR_OK);
    BITMAPINFOHEADER out{};
    ASSERT_EQ(ICCompressGetFormatSize(ic, in.Info()), static_cast<LRESULT>(sizeof out));
    ASSERT_EQ(ICCompressGetFormat(ic, in.Info(), &out), ICERR_OK);
    EXPECT_EQ(out.biCompression, zmbv_driver::kFourcc);
    EXPECT_EQ(out.biBitCount, c.bits == 24 ? 32 : c.bits);
    const DWORD capacity = static_cast<DWORD>(ICCompressGetSize(ic, in.Info(), &out));
    ASSERT_EQ(ICCompressBegin(ic, in.Info(), &out), ICERR_OK);

    HIC dc = ::ICOpen(ICTYPE_VIDEO, zmbv_driver::kFourcc, ICMODE_DECOMPRESS);
    ASSERT_NE(dc, nullptr);
    Format decoded{};
    ASSERT_EQ(ICDecompressGetFormat(dc, &out, decoded.Header()), ICERR_OK);
    decoded.header.biHeight = c.height;
    if (c.bits == 24) {
        // Widened to 32 bits in the stream, asked back at 24.
        decoded.header.biBitCount = 24;
        decoded.header.biSizeImage = static_cast<DWORD>(ImageBytes(decoded.header));
    }
    ASSERT_EQ(ICDecompressBegin(dc, &out, decoded.Info()), ICERR_OK);

    const size_t bytes = ImageBytes(in.header);
    std::vector<uint8_t> frame(bytes, 0x40), packed(capacity), back(bytes);
    for (int n = 0; n < 6; ++n) {
        for (size_t i = 0; i < bytes; i += 7)
            frame[(i + n * 13) % bytes] = static_cast<uint8_t>(i + n);
        // The rows' padding is no pixel: nothing keeps it.
        const size_t row = bytes / static_cast<size_t>(c.height < 0 ? -c.height : c.height);
        for (size_t r = 0; r < bytes; r += row)
            std::fill(frame.begin() + r + 37 * c.bits / 8, frame.begin() + r + row, 0);
        if (c.bits == 8 && n == 3)
            in.colours[5] = {1, 2, 3, 0};
        DWORD flags = 0, ckid = 0;
        out.biSizeImage = capacity;
        const bool askKey = n == 0 || n == 4;
        ASSERT_EQ(static_cast<LRESULT>(ICCompress(ic, askKey ? ICCOMPRESS_KEYFRAME : 0, &out,
                                                  packed.data(), in.Header(), frame.data(), &ckid,
                                                  &flags, n, 0, 10000, nullptr, nullptr)),
                  ICERR_OK);
        EXPECT_EQ(flags == AVIIF_KEYFRAME, askKey) << n;
        if (n == 2) {
            // Asked again for the same frame, as a compressing stream retrying at another
            // quality would: the same bytes, and the stream stays decodable.
            const std::vector<uint8_t> first(packed.begin(), packed.begin() + out.biSizeImage);
            out.biSizeImage = capacity;
            ASSERT_EQ(static_cast<LRESULT>(ICCompress(ic, 0, &out, packed.data(), in.Header(),
                                                      frame.data(), &ckid, &flags, n, 0, 5000,
                                                      nullptr, nullptr)),
                      ICERR_OK);
            EXPECT_EQ(std::vector<uint8_t>(packed.begin(), packed.begin() + out.biSizeImage),
                      first);
        }
        ASSERT_LE(out.biSizeImage, capacity);
        ASSERT_EQ(static_cast<LRESULT>(
                      ICDecompress(dc, 0, &out, packed.data(), decoded.Header(), back.data())),
                  ICERR_OK);
        ASSERT_EQ(back, frame) << n;
        if (c.bits == 8) {
            EXPECT_EQ(std::memcmp(decoded.colours, in.colours, sizeof in.colours), 0) << n;
        }
    }
    ICCompressEnd(ic);
    ICDecompressEnd(dc);
    ::ICClose(ic);
    ::ICClose(dc);
}

INSTANTIATE_TEST_SUITE_P(Depths, ZmbvDriverDepth,
                         testing::Values(DepthCase{32, BI_RGB, 29}, DepthCase{32, BI_RGB, -29},
                                         DepthCase{24, BI_RGB, 29}, DepthCase{16, BI_RGB, 29},
                                         DepthCase{16, BI_BITFIELDS, 29},
                                         DepthCase{8, BI_RGB, 29}));

TEST(ZmbvDriver, RefusesWhatItCannotTakeAndDamagedFrames) {
    zmbv_driver::Installation installed;
    HIC ic = ::ICOpen(ICTYPE_VIDEO, zmbv_driver::kFourcc, ICMODE_COMPRESS);
    ASSERT_NE(ic, nullptr);
    for (const Format& f : {MakeFormat(64, 48, 4), MakeFormat(64, 48, 8, BI_RLE8),
                            MakeFormat(0, 48, 32), MakeFormat(20000, 4, 32)})
        EXPECT_EQ(ICCompressQuery(ic, f.Info(), nullptr), ICERR_BADFORMAT);
    ::ICClose(ic);

    HIC dc = ::ICOpen(ICTYPE_VIDEO, zmbv_driver::kFourcc, ICMODE_DECOMPRESS);
    ASSERT_NE(dc, nullptr);
    BITMAPINFOHEADER in{sizeof in, 16, 16, 1, 32, zmbv_driver::kFourcc, 0, 0, 0, 0, 0};
    Format out = MakeFormat(16, 16, 32);
    ASSERT_EQ(ICDecompressBegin(dc, &in, out.Info()), ICERR_OK);
    std::vector<uint8_t> garbage{1, 0, 1, 1, 8, 16, 16, 0xDE, 0xAD, 0xBE, 0xEF};
    std::vector<uint8_t> pixels(16 * 16 * 4);
    in.biSizeImage = static_cast<DWORD>(garbage.size());
    EXPECT_NE(
        static_cast<LRESULT>(ICDecompress(dc, 0, &in, garbage.data(), out.Header(), pixels.data())),
        ICERR_OK);
    ICDecompressEnd(dc);
    ::ICClose(dc);
}

} // namespace
