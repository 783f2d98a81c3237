#include "avi/avi_writer.h"

#include "avi/avi_repair.h"
#include "avi/riff.h"
#include "avi/std_file.h"
#include "avi_movie.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <sstream>

using namespace avi_test;

namespace {

// ffprobe's flat output as key -> value, quotes taken off.
std::map<std::string, std::string> Probe(const std::filesystem::path& file,
                                         const std::string& what) {
    std::map<std::string, std::string> values;
    std::istringstream lines(RunCommand("ffprobe -v error " + what + " -of flat " + Quote(file)));
    for (std::string line; std::getline(lines, line);) {
        const auto eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        std::string value = line.substr(eq + 1);
        if (value.size() >= 2 && value.front() == '"')
            value = value.substr(1, value.size() - 2);
        values[line.substr(0, eq)] = value;
    }
    return values;
}

} // namespace

// Capturing at 5 and playing at 15 frames per second: the stream says 5000 / 333. Positions the
// grabber skipped are empty frames; the sound follows the picture in the second stream. The same
// movie written into memory and into a file is the same, byte for byte.
TEST(AviWriter, MovieReadsBackWithItsHeadersRatesFramesAndSound) {
    TempDir dir;
    const auto path = dir / "movie.avi";
    auto file = avi::StdFile::Create(path);
    ASSERT_TRUE(file);
    avi::MemoryFile memory;
    std::vector<std::unique_ptr<avi::Writer>> writers;
    writers.push_back(std::make_unique<avi::Writer>(*file, Video(5000, 333), Audio()));
    writers.push_back(std::make_unique<avi::Writer>(memory, Video(5000, 333), Audio()));
    const auto format = BitmapHeader();
    const std::vector<int> positions = {0, 1, 2, 5, 6, 7, 8, 9, 10, 11};
    int64_t samples = 0;
    for (auto& w : writers) {
        ASSERT_EQ(w->Open(), avi::WriteStatus::Ok);
        ASSERT_EQ(w->SetVideoFormat(format.data(), format.size()), avi::WriteStatus::Ok);
        samples = 0;
        for (int position : positions) {
            const auto pixels = FramePixels(position);
            ASSERT_EQ(w->WriteVideo(position, pixels.data(), pixels.size(), true),
                      avi::WriteStatus::Ok);
            const auto sound = Samples(samples, 2048);
            ASSERT_EQ(w->WriteAudio(samples, sound.data(), sound.size()), avi::WriteStatus::Ok);
            samples += 2048;
            if (position % 5 == 0) {
                ASSERT_EQ(w->Checkpoint(), avi::WriteStatus::Ok);
            }
        }
        ASSERT_EQ(w->Finish(), avi::WriteStatus::Ok);
    }
    file.reset();

    auto streams = Probe(path, "-show_streams -show_format");
    EXPECT_EQ(streams["streams.stream.0.codec_type"], "video");
    EXPECT_EQ(streams["streams.stream.0.codec_name"], "rawvideo");
    EXPECT_EQ(streams["streams.stream.0.width"], "32");
    EXPECT_EQ(streams["streams.stream.0.height"], "24");
    EXPECT_EQ(streams["streams.stream.0.r_frame_rate"], "5000/333");
    EXPECT_EQ(streams["streams.stream.0.nb_frames"], "12");
    EXPECT_EQ(streams["streams.stream.0.tags.title"], "Vidorra Video");
    EXPECT_EQ(streams["streams.stream.1.codec_name"], "pcm_u8");
    EXPECT_EQ(streams["streams.stream.1.sample_rate"], "11025");
    EXPECT_EQ(streams["streams.stream.1.channels"], "1");
    EXPECT_EQ(streams["format.nb_streams"], "2");

    // The skipped positions hold the picture before them; every other frame is where it belongs.
    const Decoded decoded = Decode(path);
    EXPECT_EQ(decoded.frames, (std::vector<int>{0, 1, 2, 5, 6, 7, 8, 9, 10, 11}));
    auto packets = Probe(path, "-select_streams v -show_entries packet=pts,size,flags");
    EXPECT_EQ(packets["packets.packet.3.pts"], "5");
    const auto expected = Samples(0, samples);
    EXPECT_EQ(decoded.sound, std::string(expected.begin(), expected.end()));

    std::vector<uint8_t> written(std::filesystem::file_size(path));
    FILE* f = std::fopen(path.c_str(), "rb");
    ASSERT_TRUE(f);
    ASSERT_EQ(std::fread(written.data(), 1, written.size(), f), written.size());
    std::fclose(f);
    EXPECT_EQ(written, memory.bytes);
}

namespace {

size_t Count(const std::vector<uint8_t>& bytes, std::string_view what) {
    size_t n = 0;
    for (auto it = bytes.begin();
         (it = std::search(it, bytes.end(), what.begin(), what.end())) != bytes.end(); ++it)
        ++n;
    return n;
}

} // namespace

// A compressor that fails as it begins gives way to uncompressed frames: until the first format
// the header may still say so, never after. Each segment's first chunk is a frame, right at the
// start of its list, where the AVI services look for the first entry of the old index.
TEST(AviWriter, TheHeaderNamesWhatReallyMadeTheFramesAndTheFirstChunkOpensTheList) {
    TempDir dir;
    const auto path = dir / "gave_way.avi";
    avi::MemoryFile memory;
    auto video = Video();
    video.handler = avi::Fourcc("ZMBV");
    video.compressed = true;
    avi::Writer w(memory, video, Audio());
    ASSERT_EQ(w.Open(), avi::WriteStatus::Ok);
    EXPECT_EQ(w.SetVideoHandler(avi::Fourcc("DIB "), false), avi::WriteStatus::Ok);
    const auto format = BitmapHeader();
    ASSERT_EQ(w.SetVideoFormat(format.data(), format.size()), avi::WriteStatus::Ok);
    EXPECT_EQ(w.SetVideoHandler(avi::Fourcc("ZMBV"), true), avi::WriteStatus::BadCall);
    for (int i = 0; i < 3; ++i) {
        const auto pixels = FramePixels(i);
        ASSERT_EQ(w.WriteVideo(i, pixels.data(), pixels.size(), true), avi::WriteStatus::Ok);
        const auto sound = Samples(i * 100, 100);
        ASSERT_EQ(w.WriteAudio(i * 100, sound.data(), sound.size()), avi::WriteStatus::Ok);
    }
    ASSERT_EQ(w.Finish(), avi::WriteStatus::Ok);
    SaveFile(path, memory.bytes);

    EXPECT_EQ(Probe(path, "-show_streams")["streams.stream.0.codec_name"], "rawvideo");
    EXPECT_EQ(Decode(path).frames, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(Count(memory.bytes, "00dc"), 0u);
    const std::string_view movi = "movi";
    const auto list =
        std::search(memory.bytes.begin(), memory.bytes.end(), movi.begin(), movi.end());
    ASSERT_LE(list + 8, memory.bytes.end());
    EXPECT_EQ(std::string(list + 4, list + 8), "00db");
}

// With a tiny segment limit and small index chunks the movie spans many 'AVIX' segments and
// index chunks: ffmpeg still decodes every frame and sample in order, and seeks through the
// indexes to the right frame, in a later segment as in the first (read through 'idx1' there).
TEST(AviWriter, SegmentsAndIndexChunksHoldEveryFrameAndSampleInOrder) {
    TempDir dir;
    const auto path = dir / "long.avi";
    avi::MemoryFile memory;
    avi::WriterLimits limits;
    limits.segmentBytes = 64 * 1024;
    limits.indexChunkEntries = 8;
    limits.superIndexEntries = 256;
    avi::Writer w(memory, Video(), Audio(), limits);
    constexpr int kFrames = 300;
    constexpr int64_t samples = int64_t{kFrames} * 1103;
    ASSERT_EQ(WriteTake(w, kFrames, 1103), avi::WriteStatus::Ok);
    SaveFile(path, memory.bytes);

    EXPECT_GE(w.Segments(), 10);
    EXPECT_EQ(Count(memory.bytes, "AVIX"), static_cast<size_t>(w.Segments() - 1));
    EXPECT_EQ(Count(memory.bytes, "idx1"), 1u);
    EXPECT_GT(Count(memory.bytes, "ix00"), static_cast<size_t>(w.Segments()));

    std::vector<int> all(kFrames);
    for (int i = 0; i < kFrames; ++i)
        all[i] = i;
    const Decoded decoded = Decode(path);
    EXPECT_EQ(decoded.frames, all);
    const auto expected = Samples(0, samples);
    EXPECT_EQ(decoded.sound, std::string(expected.begin(), expected.end()));
    EXPECT_EQ(Probe(path, "-show_streams")["streams.stream.0.nb_frames"], "300");
    EXPECT_EQ(RunCommand("ffprobe -v error -show_streams " + Quote(path) + " 2>&1 >/dev/null"), "");

    for (int second : {1, 7, 23}) {
        const auto frames = DecodeFrames(path, "-ss " + std::to_string(second));
        ASSERT_FALSE(frames.empty());
        EXPECT_EQ(frames.front(), second * 10);
        EXPECT_EQ(frames.back(), kFrames - 1);
    }
    const auto old = DecodeFrames(path, "-use_odml 0 -ss 1");
    ASSERT_FALSE(old.empty());
    EXPECT_EQ(old.front(), 10);
}

namespace {

// A file on disk whose frames' pixels are never written: the writer's own headers, chunk
// headers and indexes land where it puts them, and each frame's pixels stay a hole. A movie of
// many gigabytes then takes a few megabytes of disk and a few seconds to write and read back.
class PixelsLeftOut final : public avi::ByteSink {
public:
    explicit PixelsLeftOut(avi::ByteFile& file) : file_(file) {}
    bool WriteAt(uint64_t offset, const void* data, size_t size) override {
        if (size < kPixelWrite)
            return file_.WriteAt(offset, data, size);
        pixelsAt.push_back(offset);
        return true;
    }
    bool Truncate(uint64_t size) override { return file_.Truncate(size); }
    bool Flush() override { return file_.Flush(); }
    static constexpr size_t kPixelWrite = 1 << 20;
    std::vector<uint64_t> pixelsAt; // where each frame's pixels were to go

private:
    avi::ByteFile& file_;
};

} // namespace

// A take past 4 GiB at the real segment limit: the super index and the standard index chunks
// point past 2^32 into the 'AVIX' segments, the first segment's 'idx1' holds exactly its own
// frames, and ffmpeg reads every frame and sound chunk back at the offset it was written, through
// the OpenDML indexes. The start-up look and the repair find it whole.
TEST(AviWriter, ATakePastFourGibIsIndexedThroughEverySegment) {
    TempDir dir;
    const auto path = dir / "huge.avi";
    constexpr int kFrames = 1650;   // positions, of which 1100 hold a frame
    constexpr int32_t kSide = 1024; // 32-bit frames of 4 MiB: 4.3 GiB in all
    constexpr size_t kFrameSize = size_t{kSide} * kSide * 4;
    const std::vector<uint8_t> pixels(kFrameSize, 0x7f);
    std::vector<uint64_t> pixelsAt;
    {
        auto file = avi::StdFile::Create(path);
        ASSERT_TRUE(file);
        PixelsLeftOut sink(*file);
        avi::VideoStreamInfo video = Video();
        video.width = kSide;
        video.height = kSide;
        avi::Writer w(sink, video, Audio());
        ASSERT_EQ(w.Open(), avi::WriteStatus::Ok);
        avi::ByteImage format;
        format.U32(40);
        format.U32(kSide);
        format.U32(kSide);
        format.U16(1);
        format.U16(32);
        format.U32(0);
        format.U32(static_cast<uint32_t>(kFrameSize));
        format.Zeros(16);
        ASSERT_EQ(w.SetVideoFormat(format.Data(), format.Size()), avi::WriteStatus::Ok);
        for (int i = 0; i < kFrames; ++i) {
            // Every third position is skipped: an empty frame, indexed like any other.
            if (i % 3 != 2) {
                ASSERT_EQ(w.WriteVideo(i, pixels.data(), pixels.size(), i % 50 == 0),
                          avi::WriteStatus::Ok);
            }
            const auto sound = Samples(int64_t{i} * 1103, 1103);
            ASSERT_EQ(w.WriteAudio(int64_t{i} * 1103, sound.data(), sound.size()),
                      avi::WriteStatus::Ok);
            if (i % 25 == 24) {
                ASSERT_EQ(w.Checkpoint(), avi::WriteStatus::Ok);
            }
        }
        ASSERT_EQ(w.Finish(), avi::WriteStatus::Ok);
        EXPECT_GE(w.Segments(), 5);
        EXPECT_GT(w.FileSize(), uint64_t{4} << 30);
        EXPECT_EQ(file->Size(), w.FileSize());
        pixelsAt = sink.pixelsAt;
    }

    std::vector<uint64_t> seenAt;
    int64_t soundBytes = 0;
    for (const Packet& p : Packets(path)) {
        if (p.stream == 1) {
            soundBytes += p.size;
        } else if (p.size > 0) {
            EXPECT_EQ(p.size, static_cast<long>(kFrameSize));
            seenAt.push_back(p.pos);
        }
    }
    EXPECT_EQ(seenAt, pixelsAt);
    EXPECT_GT(seenAt.back(), uint64_t{1} << 32);
    EXPECT_EQ(soundBytes, int64_t{kFrames} * 1103);
    // The skipped positions are empty frames; the last one is not, as no frame came after it.
    EXPECT_EQ(Probe(path, "-show_streams")["streams.stream.0.nb_frames"],
              std::to_string(kFrames - 1));
    EXPECT_EQ(RunCommand("ffprobe -v error -show_streams " + Quote(path) + " 2>&1 >/dev/null"), "");

    // The segments one after another, each within its limit and a chunk; 'idx1' for older
    // players closes the first and holds exactly the frames in it.
    auto file = avi::StdFile::Open(path);
    ASSERT_TRUE(file);
    std::vector<std::pair<uint64_t, std::string>> segments; // offset, form
    for (uint64_t at = 0; at + 12 <= file->Size();) {
        uint8_t head[12];
        ASSERT_TRUE(file->ReadAt(at, head, sizeof head));
        ASSERT_EQ(std::string(reinterpret_cast<char*>(head), 4), "RIFF") << at;
        segments.emplace_back(at, std::string(reinterpret_cast<char*>(head) + 8, 4));
        const uint64_t size = avi::LoadU32(head + 4);
        EXPECT_LE(size, (uint64_t{1} << 30) + kFrameSize + (1 << 20));
        at += 8 + size + (size & 1);
    }
    ASSERT_EQ(segments.size(), 5u);
    EXPECT_EQ(segments[0].second, "AVI ");
    for (size_t i = 1; i < segments.size(); ++i)
        EXPECT_EQ(segments[i].second, "AVIX");
    int idx1Frames = -1;
    for (uint64_t at = 12; at + 8 <= segments[1].first;) {
        uint8_t head[8];
        ASSERT_TRUE(file->ReadAt(at, head, sizeof head));
        const uint32_t size = avi::LoadU32(head + 4);
        if (std::string(reinterpret_cast<char*>(head), 4) == "idx1") {
            std::vector<uint8_t> entries(size);
            ASSERT_TRUE(file->ReadAt(at + 8, entries.data(), size));
            idx1Frames = 0;
            for (size_t e = 0; e + 16 <= entries.size(); e += 16)
                idx1Frames += std::memcmp(entries.data() + e, "00db", 4) == 0;
        }
        at += 8 + size + (size & 1);
    }
    EXPECT_EQ(idx1Frames, std::count_if(pixelsAt.begin(), pixelsAt.end(),
                                        [&](uint64_t at) { return at < segments[1].first; }));
    EXPECT_GT(idx1Frames, 100);

    EXPECT_EQ(avi::CheckRepair(*file), avi::RepairResult::NothingToDo);
    EXPECT_EQ(avi::Repair(*file), avi::RepairResult::NothingToDo);
}

// A disk that fills up: the failing write is reported, every later call fails the same way,
// and the file plays every frame written before it. Where there is room left, the first segment
// gets its classic index; where there is not, the header no longer says it has one.
TEST(AviWriter, FullDiskEndsTheMovieWithEveryFrameBeforeItPlayable) {
    TempDir dir;
    std::set<bool> closed;
    for (uint64_t capacity = 60000; capacity < 62400; capacity += 200) {
        SCOPED_TRACE("room for " + std::to_string(capacity) + " bytes");
        avi::MemoryFile memory;
        memory.capacity = capacity;
        avi::WriterLimits limits;
        limits.indexChunkEntries = 64;
        limits.superIndexEntries = 16;
        avi::Writer w(memory, Video(), Audio(), limits);
        ASSERT_EQ(w.Open(), avi::WriteStatus::Ok);
        const auto format = BitmapHeader();
        ASSERT_EQ(w.SetVideoFormat(format.data(), format.size()), avi::WriteStatus::Ok);
        int written = 0;
        int64_t samples = 0;
        for (;; ++written) {
            const auto pixels = FramePixels(written);
            if (w.WriteVideo(written, pixels.data(), pixels.size(), true) != avi::WriteStatus::Ok)
                break;
            const auto sound = Samples(samples, 500);
            if (w.WriteAudio(samples, sound.data(), sound.size()) != avi::WriteStatus::Ok) {
                ++written;
                break;
            }
            samples += 500;
        }
        const auto pixels = FramePixels(0);
        EXPECT_EQ(w.WriteVideo(written + 1, pixels.data(), pixels.size(), true),
                  avi::WriteStatus::WriteFailed);
        EXPECT_EQ(w.Checkpoint(), avi::WriteStatus::WriteFailed);
        EXPECT_EQ(w.Finish(), avi::WriteStatus::WriteFailed);
        EXPECT_GT(written, 5);
        EXPECT_LE(memory.bytes.size(), memory.capacity);

        const auto path = dir / "full.avi";
        SaveFile(path, memory.bytes);
        std::vector<int> all(written);
        for (int i = 0; i < written; ++i)
            all[i] = i;
        const Decoded decoded = Decode(path);
        EXPECT_EQ(decoded.frames, all);
        const auto expected = Samples(0, samples);
        EXPECT_EQ(decoded.sound, std::string(expected.begin(), expected.end()));

        const std::string_view code("idx1");
        const bool hasIdx1 = std::search(memory.bytes.begin(), memory.bytes.end(), code.begin(),
                                         code.end()) != memory.bytes.end();
        const bool promised = (avi::LoadU32(&memory.bytes[44]) & 0x10) != 0; // AVIF_HASINDEX
        EXPECT_EQ(promised, hasIdx1);
        EXPECT_EQ(avi::CheckRepair(memory),
                  hasIdx1 ? avi::RepairResult::NothingToDo : avi::RepairResult::Repaired);
        closed.insert(hasIdx1);
    }
    EXPECT_EQ(closed.size(), 2u) << "room for the classic index, and none, are both met";
}

// Calls out of order are refused without harm to the movie.
TEST(AviWriter, RefusesCallsOutOfOrder) {
    avi::MemoryFile memory;
    avi::Writer w(memory, Video(), std::nullopt);
    const auto format = BitmapHeader();
    const auto pixels = FramePixels(1);
    const auto sound = Samples(0, 100);
    EXPECT_EQ(w.WriteVideo(0, pixels.data(), pixels.size(), true), avi::WriteStatus::BadCall);
    ASSERT_EQ(w.Open(), avi::WriteStatus::Ok);
    EXPECT_EQ(w.Open(), avi::WriteStatus::BadCall);
    EXPECT_EQ(w.WriteVideo(0, pixels.data(), pixels.size(), true), avi::WriteStatus::BadCall)
        << "a frame before the format";
    EXPECT_EQ(w.SetVideoFormat(format.data(), 20), avi::WriteStatus::BadCall);
    std::vector<uint8_t> huge(4096, 0);
    huge[0] = 40;
    EXPECT_EQ(w.SetVideoFormat(huge.data(), huge.size()), avi::WriteStatus::BadCall)
        << "more than the header keeps room for";
    ASSERT_EQ(w.SetVideoFormat(format.data(), format.size()), avi::WriteStatus::Ok);
    auto other = format;
    other[4] = 64; // another width
    EXPECT_EQ(w.SetVideoFormat(other.data(), other.size()), avi::WriteStatus::BadCall);
    EXPECT_EQ(w.SetVideoFormat(format.data(), format.size()), avi::WriteStatus::Ok);
    ASSERT_EQ(w.WriteVideo(3, pixels.data(), pixels.size(), true), avi::WriteStatus::Ok);
    EXPECT_EQ(w.WriteVideo(2, pixels.data(), pixels.size(), true), avi::WriteStatus::BadCall);
    EXPECT_EQ(w.WriteVideo(-1, pixels.data(), pixels.size(), true), avi::WriteStatus::BadCall);
    EXPECT_EQ(w.WriteAudio(0, sound.data(), sound.size()), avi::WriteStatus::BadCall)
        << "no audio stream";
    EXPECT_EQ(w.VideoLength(), 4);
    ASSERT_EQ(w.Finish(), avi::WriteStatus::Ok);
    EXPECT_EQ(w.WriteVideo(4, pixels.data(), pixels.size(), true), avi::WriteStatus::BadCall);
    EXPECT_EQ(w.Checkpoint(), avi::WriteStatus::BadCall);

    avi::MemoryFile m2;
    avi::Writer sound8(m2, Video(), Audio());
    ASSERT_EQ(sound8.Open(), avi::WriteStatus::Ok);
    ASSERT_EQ(sound8.WriteAudio(0, sound.data(), sound.size()), avi::WriteStatus::Ok);
    EXPECT_EQ(sound8.WriteAudio(0, sound.data(), sound.size()), avi::WriteStatus::BadCall);
    EXPECT_EQ(sound8.WriteAudio(200, sound.data(), sound.size()), avi::WriteStatus::BadCall);
    EXPECT_EQ(sound8.AudioLength(), 100);
}

// On a screen of 256 colours a palette change between frames reaches the movie as a palette
// change chunk: the frames before it keep their colours, the frames after it get the new ones.
TEST(AviWriter, PaletteChangeRecoloursTheFramesAfterIt) {
    TempDir dir;
    avi::MemoryFile memory;
    avi::VideoStreamInfo video = Video();
    video.suggestedBufferSize = kWidth * kHeight;
    avi::Writer w(memory, video, std::nullopt);
    ASSERT_EQ(w.Open(), avi::WriteStatus::Ok);
    avi::ByteImage format;
    format.U32(40);
    format.U32(kWidth);
    format.U32(kHeight);
    format.U16(1);
    format.U16(8);
    format.U32(0);
    format.U32(0);
    format.U32(0);
    format.U32(0);
    format.U32(256);
    format.U32(0);
    for (int i = 0; i < 256; ++i)
        format.U32(i == 1 ? 0x00ff0000 : 0); // entry 1 red (blue, green, red, reserved)
    auto bytes = format.Vector();
    ASSERT_EQ(w.SetVideoFormat(bytes.data(), bytes.size()), avi::WriteStatus::Ok);
    const std::vector<uint8_t> pixels(kWidth * kHeight, 1);
    for (int i = 0; i < 4; ++i) {
        if (i == 2) {
            bytes[40 + 4 + 0] = 0xff; // entry 1 blue
            bytes[40 + 4 + 2] = 0;
            ASSERT_EQ(w.SetVideoFormat(bytes.data(), bytes.size()), avi::WriteStatus::Ok);
        }
        ASSERT_EQ(w.WriteVideo(i, pixels.data(), pixels.size(), true), avi::WriteStatus::Ok);
    }
    ASSERT_EQ(w.Finish(), avi::WriteStatus::Ok);
    const auto path = dir / "palette.avi";
    SaveFile(path, memory.bytes);

    const std::string raw = RunCommand("ffmpeg -v quiet -i " + Quote(path) +
                                       " -fps_mode passthrough -f rawvideo -pix_fmt bgr24 -");
    const size_t frameBytes = kWidth * kHeight * 3;
    ASSERT_EQ(raw.size(), 4 * frameBytes);
    for (int i = 0; i < 4; ++i) {
        const std::string pixel = raw.substr(i * frameBytes, 3);
        EXPECT_EQ(pixel, i < 2 ? std::string("\x00\x00\xff", 3) : std::string("\xff\x00\x00", 3))
            << "frame " << i;
    }
}

// What a check for room on the disk counts before a frame covers what writing it adds, however
// many positions a stall left empty before it, across index chunks and segments.
TEST(AviWriter, TheRoomAFrameNeedsCountsTheEmptyFramesBeforeIt) {
    avi::MemoryFile memory;
    avi::WriterLimits limits;
    limits.indexChunkEntries = 16;
    limits.segmentBytes = 40000;
    avi::Writer w(memory, Video(), std::nullopt, limits);
    ASSERT_EQ(w.Open(), avi::WriteStatus::Ok);
    const auto format = BitmapHeader();
    ASSERT_EQ(w.SetVideoFormat(format.data(), format.size()), avi::WriteStatus::Ok);
    int64_t position = 0;
    for (const int64_t gap : {0, 1, 15, 16, 17, 300, 0, 5000, 2}) {
        position += gap;
        const auto pixels = FramePixels(static_cast<int>(position));
        const uint64_t predicted = w.BytesForVideo(position, pixels.size());
        const uint64_t before = w.FileSize();
        ASSERT_EQ(w.WriteVideo(position, pixels.data(), pixels.size(), true), avi::WriteStatus::Ok);
        // While the first segment is open, its classic index grows by one entry a chunk,
        // written at its close.
        const uint64_t idx1 = w.Segments() == 1 ? 16 * static_cast<uint64_t>(gap + 1) : 0;
        EXPECT_LE(w.FileSize() - before + idx1, predicted) << "gap " << gap;
        // Not more than one index chunk (160 bytes here) over: a disk is not called full early.
        EXPECT_LE(predicted, w.FileSize() - before + idx1 + 160) << "gap " << gap;
        ++position;
    }
    EXPECT_GT(w.Segments(), 1);
}

// The indexes of a movie hold a week of frames at its rate, however fast, and a slow movie keeps
// index chunks of the usual size.
TEST(AviWriter, IndexesAreSizedForAWeekAtTheRate) {
    constexpr uint64_t kWeek = 7 * 24 * 3600;
    struct Case {
        uint32_t rate, scale, entries;
    };
    for (const Case c : {Case{10, 1, 4096}, Case{60, 1, 17719}, Case{30000, 1001, 8851},
                         Case{1000, 1, 295313}, Case{0, 1, 4096}, Case{1u << 30, 1, 1u << 20}}) {
        const avi::WriterLimits limits = avi::LimitsForRate(c.rate, c.scale);
        EXPECT_EQ(limits.indexChunkEntries, c.entries) << c.rate << "/" << c.scale;
        if (c.scale != 0 && c.rate != 0 && c.entries < (1u << 20)) {
            EXPECT_GE(uint64_t{limits.indexChunkEntries} * limits.superIndexEntries,
                      kWeek * c.rate / c.scale);
        }
    }
}

// A movie whose indexes are full refuses the next frame as TooLong, says it is full, and is
// still finished whole with every frame before it.
TEST(AviWriter, AFullMovieRefusesMoreAndFinishesWhole) {
    TempDir dir;
    avi::MemoryFile memory;
    avi::WriterLimits limits;
    limits.indexChunkEntries = 4;
    limits.superIndexEntries = 2;
    avi::Writer w(memory, Video(), std::nullopt, limits);
    ASSERT_EQ(w.Open(), avi::WriteStatus::Ok);
    const auto format = BitmapHeader();
    ASSERT_EQ(w.SetVideoFormat(format.data(), format.size()), avi::WriteStatus::Ok);
    int written = 0;
    for (; written < 20; ++written) {
        const auto pixels = FramePixels(written);
        const avi::WriteStatus status = w.WriteVideo(written, pixels.data(), pixels.size(), true);
        if (status != avi::WriteStatus::Ok) {
            EXPECT_EQ(status, avi::WriteStatus::TooLong);
            break;
        }
        EXPECT_FALSE(w.Full());
    }
    EXPECT_EQ(written, 8);
    EXPECT_TRUE(w.Full());
    ASSERT_EQ(w.Finish(), avi::WriteStatus::Ok);
    const auto path = dir / "full.avi";
    SaveFile(path, memory.bytes);
    std::vector<int> all(written);
    for (int i = 0; i < written; ++i)
        all[i] = i;
    EXPECT_EQ(DecodeFrames(path), all);
    EXPECT_EQ(avi::CheckRepair(memory), avi::RepairResult::NothingToDo);
}
