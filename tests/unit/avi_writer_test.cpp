#include "avi/avi_writer.h"

#include "avi/std_file.h"
#include "avi_movie.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>

using namespace avi_test;

namespace {

// ffprobe's flat output as key -> value, quotes taken off.
std::map<std::string, std::string> Probe(const std::filesystem::path& file,
                                         const std::string& what) {
    std::map<std::string, std::string> values;
    std::istringstream lines(Run("ffprobe -v error " + what + " -of flat " + Quote(file)));
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
    const auto frames = DecodeFrames(path);
    EXPECT_EQ(frames, (std::vector<int>{0, 1, 2, 5, 6, 7, 8, 9, 10, 11}));
    auto packets = Probe(path, "-select_streams v -show_entries packet=pts,size,flags");
    EXPECT_EQ(packets["packets.packet.3.pts"], "5");
    const auto sound = DecodeSound(path);
    const auto expected = Samples(0, samples);
    EXPECT_EQ(sound, std::string(expected.begin(), expected.end()));

    std::vector<uint8_t> written(std::filesystem::file_size(path));
    FILE* f = std::fopen(path.c_str(), "rb");
    ASSERT_TRUE(f);
    ASSERT_EQ(std::fread(written.data(), 1, written.size(), f), written.size());
    std::fclose(f);
    EXPECT_EQ(written, memory.bytes);
}
