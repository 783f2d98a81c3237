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
    // The record tells 5-5-5 (15) from 5-6-5 (16), so players are offered the right one.
    EXPECT_EQ(out.biBitCount, c.bits == 24                              ? 32
                              : c.bits == 16 && c.compression == BI_RGB ? 15
                                                                        : c.bits);
    const DWORD capacity = static_cast<DWORD>(ICCompressGetSize(ic, in.Info(), &out));
    ASSERT_EQ(ICCompressBegin(ic, in.Info(), &out), ICERR_OK);

    HIC dc = ::ICOpen(ICTYPE_VIDEO, zmbv_driver::kFourcc, ICMODE_DECOMPRESS);
    ASSERT_NE(dc, nullptr);
    Format decoded{};
    ASSERT_EQ(ICDecompressGetFormat(dc, &out, decoded.Header()), ICERR_OK);
    EXPECT_EQ(decoded.header.biCompression, c.compression);
    EXPECT_EQ(std::memcmp(decoded.colours, in.colours, c.compression == BI_BITFIELDS ? 12 : 0), 0);
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

// One key frame of four colours: white, black, a red and a grey that no 16-bit layout holds
// exactly, in the stream's format `bits` (5-6-5 when `compression` is BI_BITFIELDS).
struct FourColours {
    Format in;
    BITMAPINFOHEADER out{};
    std::vector<uint8_t> packed, key;
};

FourColours CompressFourColours(int bits, DWORD compression) {
    FourColours f{MakeFormat(4, 2, bits, compression), {}, {}, {}};
    const uint8_t rgb[4][3] = {{255, 255, 255}, {0, 0, 0}, {255, 0, 0}, {0x87, 0x86, 0x85}};
    std::vector<uint8_t> frame(ImageBytes(f.in.header), 0);
    for (int i = 0; i < 8; ++i) {
        const uint8_t* c = rgb[i % 4];
        uint8_t* p = frame.data() + i * bits / 8;
        if (bits == 8) {
            f.in.colours[i % 4] = {c[2], c[1], c[0], 0};
            p[0] = static_cast<uint8_t>(i % 4);
        } else if (bits == 32) {
            p[0] = c[2], p[1] = c[1], p[2] = c[0];
        } else {
            const unsigned v = compression == BI_BITFIELDS
                                   ? (c[0] >> 3) << 11 | (c[1] >> 2) << 5 | c[2] >> 3
                                   : (c[0] >> 3) << 10 | (c[1] >> 3) << 5 | c[2] >> 3;
            p[0] = static_cast<uint8_t>(v), p[1] = static_cast<uint8_t>(v >> 8);
        }
    }
    HIC ic = ::ICOpen(ICTYPE_VIDEO, zmbv_driver::kFourcc, ICMODE_COMPRESS);
    ICCompressGetFormat(ic, f.in.Info(), &f.out);
    f.packed.resize(static_cast<size_t>(ICCompressGetSize(ic, f.in.Info(), &f.out)));
    ICCompressBegin(ic, f.in.Info(), &f.out);
    DWORD flags = 0, ckid = 0;
    for (int n = 0; n < 2; ++n) {
        f.out.biSizeImage = static_cast<DWORD>(f.packed.size());
        EXPECT_EQ(static_cast<LRESULT>(ICCompress(ic, 0, &f.out, f.packed.data(), f.in.Header(),
                                                  frame.data(), &ckid, &flags, n, 0, 10000, nullptr,
                                                  nullptr)),
                  ICERR_OK);
        if (n == 0)
            f.key.assign(f.packed.begin(), f.packed.begin() + f.out.biSizeImage);
    }
    f.packed.resize(f.out.biSizeImage); // the delta frame
    ICCompressEnd(ic);
    ::ICClose(ic);
    return f;
}

struct LayoutCase {
    WORD bits;
    DWORD compression;
    DWORD masks[3];
    // White, black and red as written, little-endian.
    uint32_t white, black, red;
};

// Every stream is written as players ask, as 32- and 24-bit RGB, as 5-5-5 and as 5-6-5, the top
// bits kept and widened by repeating them; through the plain and the extended calls, bottom-up
// and top-down.
TEST(ZmbvDriver, EveryStreamIsWrittenInTheLayoutsPlayersAskFor) {
    zmbv_driver::Installation installed;
    const LayoutCase layouts[] = {
        {32, BI_RGB, {}, 0xFFFFFF, 0, 0xFF0000},
        {24, BI_RGB, {}, 0xFFFFFF, 0, 0xFF0000},
        {16, BI_RGB, {}, 0x7FFF, 0, 0x7C00},
        {16, BI_BITFIELDS, {0xF800, 0x07E0, 0x001F}, 0xFFFF, 0, 0xF800},
        {16, BI_BITFIELDS, {0x7C00, 0x03E0, 0x001F}, 0x7FFF, 0, 0x7C00},
    };
    // What each stream keeps of the grey: 8 and 32 bits all of it, 16 bits the top bits.
    const struct {
        int bits;
        DWORD compression;
        uint32_t grey32;
    } streams[] = {{32, BI_RGB, 0x878685},
                   {8, BI_RGB, 0x878685},
                   {16, BI_RGB, 0x848484},
                   {16, BI_BITFIELDS, 0x848684}};
    for (const auto& s : streams) {
        FourColours f = CompressFourColours(s.bits, s.compression);
        HIC dc = ::ICOpen(ICTYPE_VIDEO, zmbv_driver::kFourcc, ICMODE_DECOMPRESS);
        ASSERT_NE(dc, nullptr);
        for (const LayoutCase& l : layouts) {
            for (const LONG height : {2L, -2L}) {
                for (const bool extended : {false, true}) {
                    Format want = MakeFormat(4, height, l.bits, l.compression);
                    std::memcpy(want.colours, l.masks, sizeof l.masks);
                    const std::string what =
                        std::to_string(s.bits) + "/" + std::to_string(s.compression) + " as " +
                        std::to_string(l.bits) + "/" + std::to_string(l.masks[1]) + " " +
                        std::to_string(height) + (extended ? " ex" : "");
                    std::vector<uint8_t> pixels(ImageBytes(want.header), 0xCC);
                    if (extended) {
                        ASSERT_EQ(ICDecompressExBegin(dc, 0, &f.out, nullptr, 0, 0, 0, 0,
                                                      want.Header(), nullptr, 0, 0, 0, 0),
                                  ICERR_OK)
                            << what;
                        f.out.biSizeImage = static_cast<DWORD>(f.key.size());
                        ASSERT_EQ(ICDecompressEx(dc, 0, &f.out, f.key.data(), 0, 0, 4, 2,
                                                 want.Header(), pixels.data(), 0, 0, 4, 2),
                                  ICERR_OK)
                            << what;
                        ICDecompressExEnd(dc);
                    } else {
                        ASSERT_EQ(ICDecompressBegin(dc, &f.out, want.Info()), ICERR_OK) << what;
                        f.out.biSizeImage = static_cast<DWORD>(f.key.size());
                        ASSERT_EQ(static_cast<LRESULT>(ICDecompress(dc, 0, &f.out, f.key.data(),
                                                                    want.Header(), pixels.data())),
                                  ICERR_OK)
                            << what;
                        ICDecompressEnd(dc);
                    }
                    const uint32_t grey =
                        l.bits >= 24 ? s.grey32
                        : l.masks[1] == 0x07E0
                            ? ((s.grey32 >> 19) << 11 | (s.grey32 >> 10 & 63) << 5 |
                               (s.grey32 & 255) >> 3)
                            : ((s.grey32 >> 19) << 10 | (s.grey32 >> 11 & 31) << 5 |
                               (s.grey32 & 255) >> 3);
                    const uint32_t expected[4] = {l.white, l.black, l.red, grey};
                    const size_t row = pixels.size() / 2, bytes = l.bits / 8;
                    for (int i = 0; i < 8; ++i) {
                        uint32_t got = 0;
                        std::memcpy(&got, pixels.data() + row * (i / 4) + bytes * (i % 4), bytes);
                        EXPECT_EQ(got & (bytes == 4 ? 0xFFFFFF : ~0u), expected[i % 4])
                            << what << " pixel " << i;
                    }
                }
            }
        }
        // Palette indices only from a palette stream; the natural layout says what it is.
        Format natural{};
        ASSERT_EQ(ICDecompressGetFormat(dc, &f.out, natural.Header()), ICERR_OK);
        const Format eight = MakeFormat(4, 2, 8);
        EXPECT_EQ(ICDecompressQuery(dc, &f.out, eight.Info()) == ICERR_OK, s.bits == 8);
        EXPECT_EQ(natural.header.biBitCount, s.bits);
        EXPECT_EQ(natural.header.biCompression, s.compression);
        ::ICClose(dc);
    }
}

// A player that seeks starts again at a key frame; a delta frame it hands first, or after a
// damaged frame, is refused rather than drawn on the wrong picture. A frame skipped in a hurry
// still counts for the next one.
TEST(ZmbvDriver, DeltaFramesNeedTheirKeyFrameAndAStreamOfAnotherProgramPlaysAt32Bits) {
    zmbv_driver::Installation installed;
    FourColours f = CompressFourColours(32, BI_RGB);
    HIC dc = ::ICOpen(ICTYPE_VIDEO, zmbv_driver::kFourcc, ICMODE_DECOMPRESS);
    Format want = MakeFormat(4, 2, 32);
    std::vector<uint8_t> pixels(ImageBytes(want.header), 0xCC);
    const auto decode = [&](const std::vector<uint8_t>& frame, DWORD flags) {
        f.out.biSizeImage = static_cast<DWORD>(frame.size());
        return static_cast<LRESULT>(ICDecompress(
            dc, flags, &f.out, const_cast<uint8_t*>(frame.data()), want.Header(), pixels.data()));
    };
    // Begun with the compressed format for the picture's, as Wine's DirectShow decompressor
    // does: each frame's own picture format is what counts.
    ASSERT_EQ(ICDecompressBegin(dc, &f.out, &f.out), ICERR_OK);
    EXPECT_NE(decode(f.packed, 0), ICERR_OK);
    EXPECT_EQ(pixels, std::vector<uint8_t>(pixels.size(), 0xCC));
    EXPECT_EQ(decode(f.key, ICDECOMPRESS_HURRYUP), ICERR_OK);
    EXPECT_EQ(pixels, std::vector<uint8_t>(pixels.size(), 0xCC));
    EXPECT_EQ(decode(f.packed, 0), ICERR_OK);
    EXPECT_EQ(pixels[0], 0xFF);
    std::vector<uint8_t> damaged = f.key;
    damaged.resize(damaged.size() / 2);
    EXPECT_NE(decode(damaged, 0), ICERR_OK);
    EXPECT_NE(decode(f.packed, 0), ICERR_OK);
    ICDecompressEnd(dc);

    // Another program's record may give any bit count (24 for every format, say): offered as
    // 32-bit RGB, which every format fits.
    f.out.biBitCount = 24;
    Format natural{};
    ASSERT_EQ(ICDecompressGetFormat(dc, &f.out, natural.Header()), ICERR_OK);
    EXPECT_EQ(natural.header.biBitCount, 32);
    EXPECT_EQ(natural.header.biCompression, static_cast<DWORD>(BI_RGB));
    ::ICClose(dc);
}

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
