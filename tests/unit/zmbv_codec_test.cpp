#include "codec/zmbv_decoder.h"
#include "codec/zmbv_encoder.h"

#include "zmbv_avi_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

using zmbv::PixelFormat;

// A screen in the stream's own pixel layout, top row first, that the scenes below draw on.
struct Canvas {
    int width, height, bytes;
    std::vector<uint8_t> pixels;
    Canvas(int w, int h, int b) : width(w), height(h), bytes(b), pixels(size_t(w) * h * b) {}
    void Put(int x, int y, uint32_t c) {
        if (x >= 0 && y >= 0 && x < width && y < height)
            std::memcpy(&pixels[(size_t(y) * width + x) * bytes], &c, bytes);
    }
    void Fill(int x, int y, int w, int h, uint32_t c) {
        for (int j = y; j < y + h; ++j)
            for (int i = x; i < x + w; ++i)
                Put(i, j, c);
    }
    // An 8 x 12 character cell whose shape follows `seed`.
    void Glyph(int x, int y, uint32_t seed, uint32_t ink) {
        for (int j = 1; j < 11; ++j)
            for (int i = 1; i < 7; ++i)
                if ((seed * 2654435761u >> ((i * 3 + j * 5) % 31)) & 1)
                    Put(x + i, y + j, ink);
    }
    void ScrollUp(int x, int y, int w, int h, int rows) {
        for (int j = y; j < y + h - rows; ++j)
            std::memcpy(&pixels[(size_t(j) * width + x) * bytes],
                        &pixels[(size_t(j + rows) * width + x) * bytes], size_t(w) * bytes);
    }
};

uint32_t Colour(PixelFormat f, uint8_t r, uint8_t g, uint8_t b) {
    switch (f) {
    case PixelFormat::Pal8:
        return (r + g + b) % 256u;
    case PixelFormat::Rgb555:
        return (r >> 3) << 10 | (g >> 3) << 5 | b >> 3;
    case PixelFormat::Rgb565:
        return (r >> 3) << 11 | (g >> 2) << 5 | b >> 3;
    case PixelFormat::Bgr32:
        return uint32_t(r) << 16 | uint32_t(g) << 8 | b;
    }
    return 0;
}

zmbv::Palette MakePalette(int shift) {
    zmbv::Palette p;
    for (size_t i = 0; i < 256; ++i) {
        p[i * 3] = uint8_t(i + shift);
        p[i * 3 + 1] = uint8_t(255 - i);
        p[i * 3 + 2] = uint8_t(i * 7 + shift * 3);
    }
    return p;
}

struct Frame {
    std::vector<uint8_t> pixels; // canvas layout
    zmbv::Palette palette;
};

enum class Scene { Typing, Scrolling, WindowDragged, FullChange, PaletteChanges };

std::vector<Frame> MakeScene(Scene scene, PixelFormat f, int w, int h) {
    Canvas c(w, h, zmbv::BytesPerPixel(f));
    const uint32_t paper = Colour(f, 250, 250, 245), ink = Colour(f, 10, 20, 30);
    c.Fill(0, 0, w, h, paper);
    std::mt19937 rng(7);
    std::vector<Frame> frames;
    zmbv::Palette palette = MakePalette(0);
    for (int n = 0; n < 24; ++n) {
        switch (scene) {
        case Scene::Typing:
            c.Glyph(4 + (n % 16) * 8, 4 + (n / 16) * 12, rng(), ink);
            break;
        case Scene::Scrolling:
            // The whole text scrolls by 3 rows, then a window's text inside it by 5.
            if (n == 0)
                for (int y = 0; y + 12 <= h; y += 12)
                    for (int x = 0; x + 8 <= w; x += 8)
                        c.Glyph(x, y, rng(), ink);
            else if (n < 12)
                c.ScrollUp(0, 0, w, h, 3);
            else
                c.ScrollUp(24, 16, w - 40, h - 30, 5);
            for (int x = 0; x + 8 <= w; x += 8)
                c.Glyph(x, h - 12, rng(), ink);
            break;
        case Scene::WindowDragged: {
            c.Fill(0, 0, w, h, paper);
            for (int x = 0; x + 8 <= w; x += 16)
                c.Glyph(x, 50, uint32_t(x), ink);
            const int wx = -10 + 4 * n, wy = 5 + 3 * n;
            c.Fill(wx, wy, 60, 40, Colour(f, 0, 80, 160));
            for (int i = 0; i < 6; ++i)
                c.Glyph(wx + 4 + i * 8, wy + 12, uint32_t(i + 100), paper);
            break;
        }
        case Scene::FullChange:
            for (auto& b : c.pixels)
                b = uint8_t(rng());
            if (f == PixelFormat::Bgr32)
                for (size_t i = 3; i < c.pixels.size(); i += 4)
                    c.pixels[i] = 0;
            break;
        case Scene::PaletteChanges:
            c.Glyph(4 + n * 6, 20, rng(), ink);
            if (n % 5 == 3)
                palette = MakePalette(n);
            break;
        }
        frames.push_back({c.pixels, palette});
    }
    return frames;
}

// The frame as a bottom-up DIB, as the screen grabber holds it: rows padded to 4 bytes; at
// 32 bits also offered as 24.
struct Dib {
    std::vector<uint8_t> bits;
    zmbv::InputFrame input;
};
Dib AsDib(const Frame& frame, int w, int h, int bitsPerPixel, const zmbv::Palette* palette) {
    const int inBytes = bitsPerPixel / 8;
    const size_t row = (size_t(w) * inBytes + 3) & ~size_t{3};
    const int canvasBytes = bitsPerPixel == 24 ? 4 : inBytes;
    Dib d;
    d.bits.assign(row * h, 0xEE);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            std::memcpy(&d.bits[size_t(h - 1 - y) * row + size_t(x) * inBytes],
                        &frame.pixels[(size_t(y) * w + x) * canvasBytes], inBytes);
    d.input = {d.bits.data() + (h - 1) * row, -static_cast<ptrdiff_t>(row), bitsPerPixel, palette};
    return d;
}

std::vector<uint8_t> FfmpegDecode(const std::string& path, const char* pixelFormat) {
    const std::string command = "ffmpeg -v error -nostdin -f avi -i " + path +
                                " -f rawvideo -pix_fmt " + pixelFormat + " - 2>&1";
    std::vector<uint8_t> out;
    if (FILE* p = popen(command.c_str(), "r")) {
        uint8_t buf[65536];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, p)) > 0)
            out.insert(out.end(), buf, buf + n);
        pclose(p);
    }
    return out;
}

// What ffmpeg gives for a frame: the stream's pixels, or red-green-blue for palette frames.
std::vector<uint8_t> Expected(const Frame& f, PixelFormat format) {
    if (format != PixelFormat::Pal8)
        return f.pixels;
    std::vector<uint8_t> rgb;
    for (uint8_t i : f.pixels)
        rgb.insert(rgb.end(), f.palette.begin() + i * 3, f.palette.begin() + i * 3 + 3);
    return rgb;
}

struct Case {
    const char* name;
    Scene scene;
    int inputBits;
    PixelFormat format;
    const char* ffmpegFormat;
    int keyEvery;
    int threads = 1;
    int width = 161, height = 123; // partial blocks at the right and the bottom
};

class ZmbvRoundTrip : public testing::TestWithParam<Case> {};

TEST_P(ZmbvRoundTrip, OurDecoderAndFfmpegGiveBackEveryPixel) {
    const Case& c = GetParam();
    const int w = c.width, h = c.height;
    const auto frames = MakeScene(c.scene, c.format, w, h);
    zmbv::Encoder enc;
    ASSERT_TRUE(enc.Start(w, h, c.format, zmbv::kDefaultLevel, c.threads));
    zmbv::Decoder dec;
    ASSERT_TRUE(dec.Start(w, h));
    std::vector<std::vector<uint8_t>> packets;
    std::vector<bool> keys;
    size_t deltaBytes = 0;
    for (size_t i = 0; i < frames.size(); ++i) {
        const Dib dib = AsDib(frames[i], w, h, c.inputBits, &frames[i].palette);
        std::vector<uint8_t> packet;
        ASSERT_TRUE(enc.Encode(dib.input, c.keyEvery && i % c.keyEvery == 0, packet));
        EXPECT_EQ(enc.LastWasKey(), i == 0 || (c.keyEvery && i % c.keyEvery == 0)) << i;
        EXPECT_LE(packet.size(), enc.MaxFrameBytes());
        if (!enc.LastWasKey())
            deltaBytes += packet.size();
        ASSERT_EQ(dec.Decode(packet), zmbv::DecodeResult::Ok) << "frame " << i;
        ASSERT_EQ(dec.Format(), c.format);
        ASSERT_TRUE(std::equal(frames[i].pixels.begin(), frames[i].pixels.end(),
                               dec.Pixels().begin(), dec.Pixels().end()))
            << "frame " << i;
        if (c.format == PixelFormat::Pal8) {
            ASSERT_EQ(dec.PaletteRgb(), frames[i].palette) << "frame " << i;
        }
        packets.push_back(std::move(packet));
        keys.push_back(enc.LastWasKey());
    }
    if (c.scene == Scene::Scrolling || c.scene == Scene::Typing) {
        // Moved and unchanged blocks cost next to nothing: far less than the raw frames.
        EXPECT_LT(deltaBytes, frames[0].pixels.size() * frames.size() / 40) << deltaBytes;
    }

    const std::string path = testing::TempDir() + "zmbv_" + c.name + ".avi";
    zmbv_avi::Write(path, w, h, c.inputBits == 24 ? 32 : c.inputBits, packets, keys);
    const auto decoded = FfmpegDecode(path, c.ffmpegFormat);
    const size_t frameBytes = Expected(frames[0], c.format).size();
    ASSERT_EQ(decoded.size(), frameBytes * frames.size())
        << std::string(decoded.begin(), decoded.begin() + std::min<size_t>(decoded.size(), 300));
    for (size_t i = 0; i < frames.size(); ++i) {
        const auto expected = Expected(frames[i], c.format);
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(),
                               decoded.begin() + ptrdiff_t(i * frameBytes)))
            << "ffmpeg frame " << i;
    }
    std::remove(path.c_str());
}

INSTANTIATE_TEST_SUITE_P(
    Scenes, ZmbvRoundTrip,
    testing::Values(Case{"typing32", Scene::Typing, 32, PixelFormat::Bgr32, "bgr0", 0},
                    Case{"scroll32", Scene::Scrolling, 32, PixelFormat::Bgr32, "bgr0", 0},
                    Case{"scroll16", Scene::Scrolling, 16, PixelFormat::Rgb555, "rgb555le", 0},
                    Case{"scroll565", Scene::Scrolling, 16, PixelFormat::Rgb565, "rgb565le", 0},
                    Case{"drag24", Scene::WindowDragged, 24, PixelFormat::Bgr32, "bgr0", 7},
                    Case{"drag8", Scene::WindowDragged, 8, PixelFormat::Pal8, "rgb24", 0},
                    Case{"full16", Scene::FullChange, 16, PixelFormat::Rgb555, "rgb555le", 10},
                    Case{"full32", Scene::FullChange, 32, PixelFormat::Bgr32, "bgr0", 0},
                    Case{"palette8", Scene::PaletteChanges, 8, PixelFormat::Pal8, "rgb24", 10},
                    // Frames large enough to deflate in several pieces.
                    Case{"full32_3threads", Scene::FullChange, 32, PixelFormat::Bgr32, "bgr0", 10,
                         3, 400, 300},
                    Case{"scroll565_2threads", Scene::Scrolling, 16, PixelFormat::Rgb565,
                         "rgb565le", 0, 2, 640, 480},
                    Case{"drag8_4threads", Scene::WindowDragged, 8, PixelFormat::Pal8, "rgb24", 0,
                         4, 400, 300}),
    [](const auto& info) { return std::string(info.param.name); });

// What the deflate stream of each frame inflates to: the encoder's choices, before deflate.
std::vector<std::vector<uint8_t>> Inflated(const std::vector<std::vector<uint8_t>>& packets,
                                           size_t most) {
    zmbv::Inflater inflater;
    std::vector<std::vector<uint8_t>> out;
    for (const auto& p : packets) {
        const bool key = p[0] & zmbv::kKeyFrame;
        if (key) {
            EXPECT_TRUE(inflater.Reset());
        }
        std::vector<uint8_t> data(most);
        const size_t skip = key ? zmbv::kKeyHeaderBytes : 1;
        const int64_t n = inflater.Decompress({p.data() + skip, p.size() - skip}, data);
        EXPECT_GE(n, 0);
        data.resize(size_t(std::max<int64_t>(n, 0)));
        out.push_back(std::move(data));
    }
    return out;
}

TEST(ZmbvEncoder, BandsAndPiecesOnSeveralThreadsChooseWhatOneThreadChooses) {
    const int w = 700, h = 390;
    for (const Scene scene :
         {Scene::Typing, Scene::Scrolling, Scene::WindowDragged, Scene::FullChange}) {
        const auto frames = MakeScene(scene, PixelFormat::Bgr32, w, h);
        std::vector<std::vector<uint8_t>> streams[2];
        for (const int threads : {1, 3}) {
            zmbv::Encoder enc;
            ASSERT_TRUE(enc.Start(w, h, PixelFormat::Bgr32, zmbv::kDefaultLevel, threads));
            for (size_t i = 0; i < frames.size(); ++i) {
                std::vector<uint8_t> p;
                ASSERT_TRUE(enc.Encode({frames[i].pixels.data(), w * 4, 32, nullptr}, i == 12, p));
                streams[threads > 1].push_back(std::move(p));
            }
        }
        const size_t most = size_t(w) * h * 4 + 8192;
        EXPECT_TRUE(Inflated(streams[0], most) == Inflated(streams[1], most)) << int(scene);
        size_t one = 0, several = 0;
        for (size_t i = 0; i < frames.size(); ++i) {
            one += streams[0][i].size();
            several += streams[1][i].size();
        }
        // Pieces lose only the matches that would cross into the piece before.
        EXPECT_LT(several, one + one / 20 + 64 * frames.size()) << int(scene);
    }
}

// A valid little stream to damage: a key frame and two delta frames of a 40 x 20 screen.
std::vector<std::vector<uint8_t>> SmallStream() {
    Canvas c(40, 20, 4);
    zmbv::Encoder enc;
    EXPECT_TRUE(enc.Start(40, 20, PixelFormat::Bgr32));
    std::vector<std::vector<uint8_t>> packets;
    for (int n = 0; n < 3; ++n) {
        c.Glyph(n * 8, 4, uint32_t(n + 1), 0xFFFFFF);
        std::vector<uint8_t> p;
        EXPECT_TRUE(enc.Encode({c.pixels.data(), 160, 32, nullptr}, false, p));
        packets.push_back(p);
    }
    return packets;
}

TEST(ZmbvDecoder, RefusesMalformedFramesAndWaitsForTheNextKeyFrame) {
    const auto good = SmallStream();
    struct Bad {
        const char* what;
        std::vector<uint8_t> frame;
        zmbv::DecodeResult result;
    };
    auto with = [&](size_t at, uint8_t value) {
        auto f = good[0];
        f[at] = value;
        return f;
    };
    // A key frame of raw pixels that stops short, and one with a huge vector table left out.
    std::vector<uint8_t> rawShort{1, 0, 1, 0, 8, 16, 16, 1, 2, 3};
    std::vector<uint8_t> corrupt = good[0];
    for (size_t i = 10; i < corrupt.size(); ++i)
        corrupt[i] ^= 0x5A;
    const std::vector<Bad> bad{
        {"header cut", {1, 0, 1}, zmbv::DecodeResult::Truncated},
        {"version", with(2, 2), zmbv::DecodeResult::BadHeader},
        {"compression", with(3, 7), zmbv::DecodeResult::BadHeader},
        {"format 24", with(4, 7), zmbv::DecodeResult::BadHeader},
        {"block width 0", with(5, 0), zmbv::DecodeResult::BadHeader},
        {"raw pixels cut", rawShort, zmbv::DecodeResult::Truncated},
        {"deflate corrupt", corrupt, zmbv::DecodeResult::BadData},
        {"deflate cut", {good[0].begin(), good[0].begin() + 20}, zmbv::DecodeResult::Truncated},
    };
    for (const auto& b : bad) {
        zmbv::Decoder dec;
        ASSERT_TRUE(dec.Start(40, 20));
        EXPECT_EQ(dec.Decode(b.frame), b.result) << b.what;
        EXPECT_EQ(dec.Decode(good[1]), zmbv::DecodeResult::NeedKeyFrame) << b.what;
        EXPECT_EQ(dec.Decode(good[0]), zmbv::DecodeResult::Ok) << b.what;
        EXPECT_EQ(dec.Decode(good[1]), zmbv::DecodeResult::Ok) << b.what;
    }

    zmbv::Decoder dec;
    ASSERT_TRUE(dec.Start(40, 20));
    EXPECT_EQ(dec.Decode(good[1]), zmbv::DecodeResult::NeedKeyFrame);
    ASSERT_EQ(dec.Decode(good[0]), zmbv::DecodeResult::Ok);
    // A delta frame whose data stops inside its vectors or its XOR data.
    auto cut = good[1];
    cut.resize(cut.size() / 2);
    EXPECT_NE(dec.Decode(cut), zmbv::DecodeResult::Ok);
    EXPECT_EQ(dec.Decode(good[2]), zmbv::DecodeResult::NeedKeyFrame);

    // Uncompressed delta frames with vectors pointing out of the frame read zeros there; one
    // that promises XOR data it lacks is refused.
    std::vector<uint8_t> key{1, 0, 1, 0, 8, 16, 16};
    key.resize(7 + 40 * 20 * 4, 0x11);
    ASSERT_EQ(dec.Decode(key), zmbv::DecodeResult::Ok);
    std::vector<uint8_t> delta{0};
    for (int b = 0; b < 6; ++b) {
        delta.push_back(uint8_t(-64 * 2 + 0));
        delta.push_back(uint8_t(63 * 2));
    }
    ASSERT_EQ(dec.Decode(delta), zmbv::DecodeResult::Ok);
    EXPECT_EQ(dec.Pixels()[0], 0);
    delta[1] |= 1;
    EXPECT_EQ(dec.Decode(delta), zmbv::DecodeResult::Truncated);
    // An empty frame repeats the last good one.
    ASSERT_EQ(dec.Decode(key), zmbv::DecodeResult::Ok);
    EXPECT_EQ(dec.Decode({}), zmbv::DecodeResult::Ok);
    EXPECT_EQ(dec.Pixels()[0], 0x11);
}

TEST(ZmbvEncoder, RefusesSizesAndInputsItCannotStore) {
    zmbv::Encoder enc;
    EXPECT_FALSE(enc.Start(0, 10, PixelFormat::Bgr32));
    EXPECT_FALSE(enc.Start(10, -1, PixelFormat::Bgr32));
    EXPECT_FALSE(enc.Start(20000, 10, PixelFormat::Bgr32));
    EXPECT_FALSE(enc.Start(8192, 8192, PixelFormat::Bgr32));
    EXPECT_FALSE(enc.Start(16, 16, PixelFormat::Bgr32, 10));
    ASSERT_TRUE(enc.Start(16, 16, PixelFormat::Pal8));
    std::vector<uint8_t> pixels(256), out;
    EXPECT_FALSE(enc.Encode({pixels.data(), 16, 8, nullptr}, false, out)); // no palette
    EXPECT_FALSE(enc.Encode({pixels.data(), 16, 16, nullptr}, false, out));
    zmbv::Decoder dec;
    EXPECT_FALSE(dec.Start(0, 1));
    EXPECT_EQ(dec.Decode(std::vector<uint8_t>{1}), zmbv::DecodeResult::NeedKeyFrame);
}

} // namespace
