#pragma once
// Frame and stream arithmetic shared by the session, the grabber and the writer: row and image
// sizes, the colour table, the stream's rate and scale, and the default compressor.

#include <cstdint>
#include <optional>
#include <string>

constexpr uint32_t MakeFourcc(char a, char b, char c, char d) noexcept {
    return static_cast<uint32_t>(static_cast<unsigned char>(a)) |
           static_cast<uint32_t>(static_cast<unsigned char>(b)) << 8 |
           static_cast<uint32_t>(static_cast<unsigned char>(c)) << 16 |
           static_cast<uint32_t>(static_cast<unsigned char>(d)) << 24;
}

namespace fourcc {
inline constexpr uint32_t Vids = MakeFourcc('v', 'i', 'd', 's');
inline constexpr uint32_t Mrle = MakeFourcc('M', 'R', 'L', 'E');
inline constexpr uint32_t Msvc = MakeFourcc('M', 'S', 'V', 'C');
inline constexpr uint32_t Dib = MakeFourcc('D', 'I', 'B', ' ');
} // namespace fourcc

std::string FourccText(uint32_t code);

// Bytes of one DIB row: padded to whole 32-bit words.
int64_t RowBytes(int32_t width, int32_t bitsPerPixel) noexcept;
// Bytes of one frame's pixels; empty when the size is not positive or does not fit in 31 bits
// (the AVI services count buffer sizes in signed 32-bit integers).
std::optional<int32_t> ImageSize(int32_t width, int32_t height, int32_t bitsPerPixel) noexcept;

// Palette entries of a frame: 2^bpp up to 8 bits per pixel, none above.
int32_t ColorCount(int32_t bitsPerPixel) noexcept;

// Compressor chosen by screen depth when the user chose none.
uint32_t DefaultHandler(int32_t bitsPerPixel) noexcept;

struct StreamRate {
    uint32_t rate;  // dwRate: thousandths of the capture rate
    uint32_t scale; // dwScale: so that rate / scale is the playback rate
};
// Empty when the rates cannot give a stream rate and scale of at least 1.
std::optional<StreamRate> VideoStreamRate(double frameRate, double playbackRate) noexcept;

// What a compressor is handed for the stored quality (0 to 100, in hundredths) and key-frame
// interval. Both are stored as the user or a client gave them; a value outside what a compressor
// understands is brought to the nearest one it does, so a negative never wraps to a huge DWORD.
uint32_t CompressorQuality(int32_t quality) noexcept;
uint32_t KeyFrameInterval(int32_t keyFrames) noexcept;

struct ColorEntry {
    uint8_t blue = 0, green = 0, red = 0, reserved = 0;
    bool operator==(const ColorEntry&) const = default;
};
struct PaletteColor {
    uint8_t red = 0, green = 0, blue = 0;
};

// The colour table of the frame format from the system palette: entry 0 forced to black and the
// last to white; the reserved byte marks the static colours at either end (0), the colours that
// repeat a static colour at the top (1) and the free ones (4). `staticHalf` is half the count of
// reserved system colours, or 1 when the screen has none.
void BuildColorTable(const PaletteColor* palette, int32_t count, int32_t staticHalf,
                     ColorEntry* table) noexcept;

// The AVI error number shown to the user: the low 16 bits of the code minus the AVI facility base.
int32_t AviErrorNumber(int32_t hresult) noexcept;
