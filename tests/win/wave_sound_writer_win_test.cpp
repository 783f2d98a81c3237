// The audio stream writer on a movie file of our writer, fed by hand: waiting until sound may be
// written, order, silence, a failing disk, and the stream it creates as the AVI services read it.

#include "sound/avi_sound_writer_win.h"

#include "avi/win_file_win.h"

#include "sound/wave.h"
#include "sound/wave_memory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <future>
#include <iterator>
#include <memory>
#include <mmsystem.h>
#include <string>
#include <thread>
#include <vector>

namespace {

class Owner : public SoundStreamOwner {
public:
    bool mayWrite = true;
    int roomFor = 1000; // writes the disk still takes
    std::vector<HRESULT> failures;

    [[nodiscard]] bool SoundMayBeWritten() const override { return mayWrite; }
    [[nodiscard]] bool RoomForSound(uint64_t) const override { return roomFor > 0; }
    void OnSoundWriteFailed(HRESULT hr) override { failures.push_back(hr); }
};

class SoundWriterTest : public ::testing::Test {
protected:
    void SetUp() override {
        live_ = wave_memory::Live();
        char temp[MAX_PATH];
        ASSERT_GT(::GetTempPathA(sizeof temp, temp), 0u);
        path_ = std::string(temp) + "vidorra_writer_" + std::to_string(::GetCurrentProcessId()) +
                ".avi";
        ::DeleteFileA(path_.c_str());
        DWORD error = 0;
        file_ = avi::WinFile::Create(path_, error);
        ASSERT_NE(file_, nullptr) << error;
        ASSERT_TRUE(wave_.SetFormat(11025, 16, 0));
        const auto audio = SoundStreamInfo(wave_.Format());
        ASSERT_TRUE(audio);
        avi::VideoStreamInfo video;
        video.rate = 10;
        video.scale = 1;
        video.width = 8;
        video.height = 8;
        movie_ = std::make_unique<avi::Writer>(*file_, video, audio);
        ASSERT_EQ(movie_->Open(), avi::WriteStatus::Ok);
        BITMAPINFOHEADER format{sizeof format, 8, 8, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        ASSERT_EQ(movie_->SetVideoFormat(&format, sizeof format), avi::WriteStatus::Ok);
        writer_.Begin(*movie_, owner_, wave_.Format());
    }
    void TearDown() override {
        writer_.End();
        movie_.reset();
        file_.reset();
        ::DeleteFileA(path_.c_str());
        wave_.ClearBlocks();
        EXPECT_EQ(wave_memory::Live(), live_);
    }

    // Completes the file and closes it.
    void Complete() {
        writer_.End();
        EXPECT_EQ(movie_->Finish(), avi::WriteStatus::Ok);
        movie_.reset();
        file_.reset();
    }

    // A block of `samples` 16-bit samples, each holding `value`, handed over as the device does.
    void Deliver(int32_t samples, int16_t value) {
        auto* data = static_cast<uint8_t*>(wave_memory::Allocate(samples * 2u));
        ASSERT_NE(data, nullptr);
        for (int32_t i = 0; i < samples; ++i) {
            data[2 * i] = static_cast<uint8_t>(value);
            data[2 * i + 1] = static_cast<uint8_t>(value >> 8);
        }
        CWaveBlockList::Item block(new CWaveBlock(data, samples * 2, samples));
        CWaveBlock* raw = block.get();
        ASSERT_TRUE(wave_.Blocks().AddTail(std::move(block)));
        writer_.OnBlockRecorded(wave_, *raw);
        EXPECT_TRUE(wave_.Blocks().IsEmpty()) << "the writer takes what it is given";
    }

    // Completes the file and reads the sound back from its chunks.
    std::vector<int16_t> Finished() {
        Complete();
        std::ifstream in(path_, std::ios::binary);
        const std::vector<uint8_t> b((std::istreambuf_iterator<char>(in)),
                                     std::istreambuf_iterator<char>());
        std::vector<int16_t> samples;
        SoundChunks(b, 0, b.size(), samples);
        return samples;
    }

    static uint32_t Read32(const std::vector<uint8_t>& b, std::size_t at) {
        return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
    }
    static void SoundChunks(const std::vector<uint8_t>& b, std::size_t at, std::size_t end,
                            std::vector<int16_t>& out) {
        while (at + 8 <= end) {
            const uint32_t id = Read32(b, at);
            const uint32_t size = Read32(b, at + 4);
            if (at + 8 + size > end)
                return;
            if (id == mmioFOURCC('R', 'I', 'F', 'F') || id == mmioFOURCC('L', 'I', 'S', 'T'))
                SoundChunks(b, at + 12, at + 8 + size, out);
            else if (id == mmioFOURCC('0', '1', 'w', 'b'))
                for (uint32_t i = 0; i + 1 < size; i += 2)
                    out.push_back(static_cast<int16_t>(b[at + 8 + i] | b[at + 9 + i] << 8));
            at += 8 + size + (size & 1);
        }
    }

    int64_t live_ = 0;
    std::string path_;
    std::unique_ptr<avi::WinFile> file_;
    std::unique_ptr<avi::Writer> movie_;
    CWave wave_;
    Owner owner_;
    CAviSoundWriter writer_;
};

TEST_F(SoundWriterTest, SoundWaitsUntilItMayBeWrittenAndKeepsItsOrder) {
    owner_.mayWrite = false;
    Deliver(100, 1);
    writer_.WriteSilence(110.25); // 100 samples of silence, between the two blocks
    Deliver(50, 2);
    EXPECT_EQ(writer_.Position(), 0) << "written before the video had its format";
    EXPECT_EQ(writer_.Chunks(), 0);

    owner_.mayWrite = true;
    Deliver(25, 3);
    EXPECT_EQ(writer_.Position(), 275);
    EXPECT_EQ(writer_.Chunks(), 4);

    // The frames' thread in the movie (a checkpoint on a slow disk): sound waits, not the caller.
    {
        std::promise<void> held, release;
        std::thread frames([&] {
            const auto hold = movie_->TryHold();
            held.set_value();
            // Let go in the end even so, or a writer that waits would hang the suite.
            release.get_future().wait_for(std::chrono::seconds(2));
        });
        held.get_future().wait();
        Deliver(30, 4);
        writer_.WriteWaiting();
        EXPECT_EQ(writer_.Position(), 275);
        release.set_value();
        frames.join();
    }
    Deliver(20, 5);
    EXPECT_EQ(writer_.Position(), 325);
    std::vector<int16_t> expected(100, 1);
    expected.insert(expected.end(), 100, 0);
    expected.insert(expected.end(), 50, 2);
    expected.insert(expected.end(), 25, 3);
    expected.insert(expected.end(), 30, 4);
    expected.insert(expected.end(), 20, 5);
    EXPECT_EQ(Finished(), expected);
    EXPECT_TRUE(owner_.failures.empty());
}

TEST_F(SoundWriterTest, AFailedWriteIsReportedOnceAndNothingFollowsIt) {
    owner_.roomFor = 0;
    Deliver(100, 1);
    Deliver(100, 2);
    writer_.Finish();
    ASSERT_EQ(owner_.failures.size(), 1u);
    EXPECT_EQ(owner_.failures[0], AVIERR_FILEWRITE);
    EXPECT_TRUE(writer_.Failed());
    EXPECT_EQ(writer_.Chunks(), 0);
}

TEST_F(SoundWriterTest, AFrameOfSilenceThatCannotBeWrittenIsIgnoredButKeepsItsPlace) {
    owner_.roomFor = 0;
    writer_.WriteSilence(10.0);
    EXPECT_TRUE(owner_.failures.empty());
    EXPECT_EQ(writer_.Position(), 1102);
    // The sound after it still goes in after a frame's time, not in the silence's place.
    owner_.roomFor = 1000;
    Deliver(100, 5);
    const std::vector<int16_t> samples = Finished();
    ASSERT_EQ(samples.size(), 1202u);
    EXPECT_EQ(samples[1101], 0);
    EXPECT_EQ(samples[1102], 5);
    EXPECT_TRUE(owner_.failures.empty());
}

// Each run's sound begins with its picture, at the sample that plays with the run's first frame:
// what the device captured before that frame is left out, a device that began after it is put
// in place with silence, and so is a run whose picture begins past where the sound so far ends;
// a run whose picture begins before that loses its first samples instead. Times are on
// timeGetTime's clock; a block's return places the run's first sample (its samples end where it
// came back).
TEST_F(SoundWriterTest, EachRunsSoundBeginsWithItsPicture) {
    const uint32_t now = ::timeGetTime();
    // Started 3 s ago, capturing at once; the first frame 1.5 s ago: 1.5 s of the 3 s is left out.
    writer_.DeviceStarted(now - 3000);
    Deliver(3 * 11025, 7);
    EXPECT_EQ(writer_.Position(), 0) << "written before its picture began";
    writer_.PictureBegan(now - 1500, 0);
    EXPECT_NEAR(writer_.Position(), 16537, 11025 / 20);
    const int64_t first = writer_.Position();

    // A run whose picture never began (paused before its first frame) leaves nothing.
    writer_.DeviceStarted(::timeGetTime());
    Deliver(500, 9);
    writer_.DeviceHalted(::timeGetTime());
    writer_.Finish();
    EXPECT_EQ(writer_.Position(), first);

    // The device began 1.2 s after the run's first frame, which plays 1000 samples after the
    // sound so far ends: 1.2 s and 1000 samples of silence first.
    const uint32_t later = ::timeGetTime();
    writer_.DeviceStarted(later - 1400);
    writer_.PictureBegan(later - 1400, first + 1000);
    Deliver(2205, 8); // 200 ms, come back now
    EXPECT_NEAR(writer_.LateSilence(), 13230 + 1000, 11025 / 20);
    const int64_t second = writer_.Position();
    EXPECT_EQ(second, first + writer_.LateSilence() + 2205);

    // A run that gives nothing at all is silence as long as its picture lasted, from its first
    // frame's sample on, which here is 500 samples before the sound so far ends.
    const uint32_t last = ::timeGetTime();
    writer_.DeviceStarted(last - 600);
    writer_.PictureBegan(last - 600, second - 500);
    writer_.DeviceHalted(last);
    writer_.Finish();
    EXPECT_NEAR(writer_.Position() - second, 6615 - 500, 11025 / 20);
    const int64_t third = writer_.Position();

    // A run whose picture begins 2000 samples before the sound so far ends: its first 2000
    // samples are left out, so the rest is in place.
    const uint32_t fourth = ::timeGetTime();
    const int64_t early = writer_.EarlySamples();
    writer_.DeviceStarted(fourth - 1000);
    writer_.PictureBegan(fourth - 1000, third - 2000);
    Deliver(11025, 6);
    writer_.DeviceHalted(::timeGetTime());
    writer_.Finish();
    EXPECT_NEAR(writer_.EarlySamples() - early, 2000, 11025 / 20);
    EXPECT_NEAR(writer_.Position() - third, 11025 - 2000, 11025 / 20);

    const std::vector<int16_t> samples = Finished();
    ASSERT_EQ(samples.size(), static_cast<std::size_t>(writer_.Position()));
    EXPECT_EQ(samples[0], 7);
    EXPECT_EQ(samples[first - 1], 7);
    EXPECT_EQ(samples[first], 0);
    EXPECT_EQ(samples[second - 2206], 0);
    EXPECT_EQ(samples[second - 2205], 8);
    EXPECT_EQ(samples[second], 0);
    EXPECT_EQ(samples[third - 1], 0);
    EXPECT_EQ(samples[third], 6);
    EXPECT_EQ(std::count(samples.begin(), samples.end(), 9), 0);
}

TEST_F(SoundWriterTest, WithoutMemoryTheSoundEndsAndTheRecordingIsNotStopped) {
    Deliver(100, 1);
    owner_.mayWrite = false;
    // Pieces wait in blocks of memory of their own; one of the next asks for a new block.
    wave_memory::FailNth(1);
    for (int i = 0; i < 200 && !writer_.GaveUp(); ++i)
        writer_.WriteSilence(110.25);
    wave_memory::FailNth(0);
    ASSERT_TRUE(writer_.GaveUp());
    owner_.mayWrite = true;
    Deliver(100, 2);
    writer_.Finish();
    EXPECT_TRUE(owner_.failures.empty());
    EXPECT_FALSE(writer_.Failed());
    const std::vector<int16_t> samples = Finished();
    EXPECT_EQ(samples, std::vector<int16_t>(100, 1));
}

TEST_F(SoundWriterTest, TheStreamIsMonoPcmInTheWavesFormat) {
    Deliver(300, 4);
    Complete();
    ::AVIFileInit();
    {
        UniqueAviFile file;
        UniqueAviStream stream;
        ASSERT_EQ(::AVIFileOpenA(file.put(), path_.c_str(), OF_READ | OF_SHARE_DENY_WRITE, nullptr),
                  AVIERR_OK);
        ASSERT_EQ(::AVIFileGetStream(file.get(), stream.put(), streamtypeAUDIO, 0), AVIERR_OK);
        AVISTREAMINFOA info{};
        ASSERT_EQ(::AVIStreamInfoA(stream.get(), &info, sizeof info), AVIERR_OK);
        EXPECT_EQ(info.fccType, streamtypeAUDIO);
        EXPECT_EQ(info.dwScale, 1u);
        EXPECT_EQ(info.dwRate, 11025u);
        EXPECT_EQ(info.dwSampleSize, 2u);
        EXPECT_EQ(info.dwInitialFrames, 2u);
        EXPECT_EQ(info.dwLength, 300u);
        LONG size = 0;
        ASSERT_EQ(::AVIStreamReadFormat(stream.get(), 0, nullptr, &size), AVIERR_OK);
        ASSERT_EQ(size, 18);
        WAVEFORMATEX format{};
        ASSERT_EQ(::AVIStreamReadFormat(stream.get(), 0, &format, &size), AVIERR_OK);
        EXPECT_EQ(format.wFormatTag, WAVE_FORMAT_PCM);
        EXPECT_EQ(format.nChannels, 1);
        EXPECT_EQ(format.nSamplesPerSec, 11025u);
        EXPECT_EQ(format.nAvgBytesPerSec, 22050u);
        EXPECT_EQ(format.nBlockAlign, 2);
        EXPECT_EQ(format.wBitsPerSample, 16);
        EXPECT_EQ(format.cbSize, 0);
    }
    ::AVIFileExit();
}

} // namespace
