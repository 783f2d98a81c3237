#pragma once
// Movies of known content for the AVI writer's tests, and what ffmpeg reads back from them:
// every frame is one flat colour that names its number, every sample a known byte.

#include "avi/avi_writer.h"
#include "avi/riff.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

namespace avi_test {

constexpr int32_t kWidth = 32;
constexpr int32_t kHeight = 24;
constexpr size_t kFrameBytes = kWidth * 3 * kHeight; // 24 bits, rows already whole words

inline std::vector<uint8_t> BitmapHeader() {
    avi::ByteImage b;
    b.U32(40);
    b.U32(kWidth);
    b.U32(kHeight);
    b.U16(1);
    b.U16(24);
    b.Zeros(24);
    return b.Vector();
}

// Blue and green hold the number, red a check of it.
inline uint8_t FrameColour(int frame, int channel) {
    return static_cast<uint8_t>(channel == 0   ? frame
                                : channel == 1 ? (frame >> 8) * 16 + 7
                                               : frame * 29 + 2);
}

inline std::vector<uint8_t> FramePixels(int frame) {
    std::vector<uint8_t> p(kFrameBytes);
    for (size_t i = 0; i < p.size(); ++i)
        p[i] = FrameColour(frame, static_cast<int>(i % 3));
    return p;
}

inline uint8_t Sample(int64_t n) {
    return static_cast<uint8_t>(n % 251);
}

inline std::vector<uint8_t> Samples(int64_t from, int64_t count) {
    std::vector<uint8_t> s(static_cast<size_t>(count));
    for (int64_t i = 0; i < count; ++i)
        s[static_cast<size_t>(i)] = Sample(from + i);
    return s;
}

// Uncompressed 32 x 24 frames; 8-bit mono sound at 11025 per second.
inline avi::VideoStreamInfo Video(uint32_t rate = 10000, uint32_t scale = 1000) {
    avi::VideoStreamInfo v;
    v.handler = avi::Fourcc("DIB ");
    v.rate = rate;
    v.scale = scale;
    v.suggestedBufferSize = kFrameBytes;
    v.width = kWidth;
    v.height = kHeight;
    v.name = "Vidorra Video";
    return v;
}

inline avi::AudioStreamInfo Audio() {
    avi::AudioStreamInfo a;
    a.samplesPerSec = 11025;
    a.blockAlign = 1;
    a.bitsPerSample = 8;
    return a;
}

inline std::string RunCommand(const std::string& command) {
    std::string out;
    if (FILE* p = ::popen(command.c_str(), "r")) {
        char buf[65536];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
            out.append(buf, n);
        ::pclose(p);
    }
    return out;
}

inline std::string Quote(const std::filesystem::path& p) {
    return "'" + p.string() + "'";
}

// Writes a whole movie: `frames` numbered frames, each followed by `samplesPerFrame` samples of
// sound, a checkpoint every ten frames, then the finish. The first failure, or Ok.
inline avi::WriteStatus WriteTake(avi::Writer& w, int frames, int64_t samplesPerFrame) {
    avi::WriteStatus status = w.Open();
    const auto format = BitmapHeader();
    if (status == avi::WriteStatus::Ok)
        status = w.SetVideoFormat(format.data(), format.size());
    for (int i = 0; i < frames && status == avi::WriteStatus::Ok; ++i) {
        const auto pixels = FramePixels(i);
        status = w.WriteVideo(i, pixels.data(), pixels.size(), true);
        const auto sound = Samples(i * samplesPerFrame, samplesPerFrame);
        if (status == avi::WriteStatus::Ok)
            status = w.WriteAudio(i * samplesPerFrame, sound.data(), sound.size());
        if (status == avi::WriteStatus::Ok && i % 10 == 9)
            status = w.Checkpoint();
    }
    return status == avi::WriteStatus::Ok ? w.Finish() : status;
}

// Every packet ffprobe reads from a movie, in file order: its stream, its size, where its
// data lies in the file and whether the index marks it a key frame.
struct Packet {
    int stream = -1;
    long size = 0;
    uint64_t pos = 0;
    bool key = false;
};
inline std::vector<Packet> Packets(const std::filesystem::path& file) {
    std::vector<Packet> packets;
    std::istringstream lines(RunCommand(
        "ffprobe -v error -show_entries packet=stream_index,size,pos,flags -of csv=p=0 " +
        Quote(file)));
    for (std::string line; std::getline(lines, line);) {
        Packet p;
        unsigned long long pos = 0;
        char flags[4] = {};
        if (std::sscanf(line.c_str(), "%d,%ld,%llu,%3s", &p.stream, &p.size, &pos, flags) >= 3) {
            p.pos = pos;
            p.key = flags[0] == 'K';
            packets.push_back(p);
        }
    }
    return packets;
}

// What ffmpeg decodes: the frame numbers in order (-1 for a frame of no known colour), and the
// sound. One run for both, since starting ffmpeg costs more than the decoding.
struct Decoded {
    std::vector<int> frames;
    std::string sound;
};

inline Decoded Decode(const std::filesystem::path& file, const std::string& input = "",
                      bool withSound = true) {
    const auto video = file.string() + ".bgr";
    const auto sound = file.string() + ".u8";
    std::filesystem::remove(video);
    std::filesystem::remove(sound);
    RunCommand("ffmpeg -v quiet " + input + " -i " + Quote(file) +
               " -map 0:v -fps_mode passthrough -f rawvideo -pix_fmt bgr24 " + Quote(video) +
               (withSound ? " -map 0:a -f u8 " + Quote(sound) : std::string()));
    Decoded d;
    std::string raw;
    for (auto [path, out] : {std::pair{video, &raw}, std::pair{sound, &d.sound}})
        if (FILE* f = std::fopen(path.c_str(), "rb")) {
            char buf[65536];
            size_t n;
            while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
                out->append(buf, n);
            std::fclose(f);
        }
    for (size_t at = 0; at + kFrameBytes <= raw.size(); at += kFrameBytes) {
        const int n =
            static_cast<uint8_t>(raw[at]) + (static_cast<uint8_t>(raw[at + 1]) / 16) * 256;
        const bool known = static_cast<uint8_t>(raw[at + 1]) == FrameColour(n, 1) &&
                           static_cast<uint8_t>(raw[at + 2]) == FrameColour(n, 2);
        d.frames.push_back(known ? n : -1);
    }
    return d;
}

inline std::vector<int> DecodeFrames(const std::filesystem::path& file,
                                     const std::string& input = "") {
    return Decode(file, input, false).frames;
}

inline bool StartsWith(const std::string& s, const std::vector<uint8_t>& prefix) {
    return s.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), s.begin(),
                      [](uint8_t a, char b) { return a == static_cast<uint8_t>(b); });
}

inline void SaveFile(const std::filesystem::path& file, const std::vector<uint8_t>& bytes) {
    if (FILE* f = std::fopen(file.c_str(), "wb")) {
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
}

// A directory of its own for one test, removed with it.
class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "vidorra-avi-XXXXXX");
        if (::mkdtemp(pattern.data()))
            path_ = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    [[nodiscard]] std::filesystem::path operator/(const std::string& name) const {
        return path_ / name;
    }

private:
    std::filesystem::path path_;
};

} // namespace avi_test
