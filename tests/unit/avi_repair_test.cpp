#include "avi/avi_repair.h"

#include "avi/avi_writer.h"
#include "avi/std_file.h"
#include "avi_movie.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

using namespace avi_test;

namespace {

// Keeps every write in order, so the file can be rebuilt as it stood at any moment: what a
// crash, a kill or a power cut after that many bytes would have left on the disk.
class Journal final : public avi::ByteSink {
public:
    bool WriteAt(uint64_t offset, const void* data, size_t size) override {
        const auto* p = static_cast<const uint8_t*>(data);
        writes_.push_back(Entry{offset, std::vector<uint8_t>(p, p + size)});
        total_ += size;
        return true;
    }
    bool Truncate(uint64_t size) override {
        writes_.push_back(Entry{size, {}, true});
        return true;
    }
    bool Flush() override { return true; }
    [[nodiscard]] uint64_t Total() const { return total_; }

    // The file after the first `bytes` bytes of writes reached it.
    [[nodiscard]] std::vector<uint8_t> At(uint64_t bytes) const {
        std::vector<uint8_t> file;
        for (const Entry& e : writes_) {
            if (e.truncate) {
                file.resize(std::min<uint64_t>(file.size(), e.offset));
                continue;
            }
            const size_t n = static_cast<size_t>(std::min<uint64_t>(bytes, e.bytes.size()));
            if (e.offset + n > file.size())
                file.resize(e.offset + n);
            std::copy_n(e.bytes.begin(), n, file.begin() + static_cast<ptrdiff_t>(e.offset));
            bytes -= n;
            if (bytes == 0)
                break;
        }
        return file;
    }

private:
    struct Entry {
        uint64_t offset = 0;
        std::vector<uint8_t> bytes;
        bool truncate = false;
    };
    std::vector<Entry> writes_;
    uint64_t total_ = 0;
};

struct Moment {
    uint64_t bytes = 0; // written so far
    int frames = 0;
    int64_t samples = 0;
};

std::vector<int> Numbers(int n) {
    std::vector<int> v(n);
    for (int i = 0; i < n; ++i)
        v[i] = i;
    return v;
}

} // namespace

// A recording cut off at any moment, across several segments: the file plays every frame and
// sample of the last checkpoint before the cut (one a second), and repair makes it whole: it
// then plays every frame that reached the disk, with headers that count them, and a second
// repair finds nothing to do.
TEST(AviRepair, MovieCutAnywherePlaysToTheLastSecondAndRepairsWhole) {
    TempDir dir;
    Journal journal;
    avi::WriterLimits limits;
    limits.segmentBytes = 48 * 1024;
    limits.indexChunkEntries = 16;
    limits.superIndexEntries = 64;
    avi::Writer w(journal, Video(), Audio(), limits);
    ASSERT_EQ(w.Open(), avi::WriteStatus::Ok);
    const auto format = BitmapHeader();
    ASSERT_EQ(w.SetVideoFormat(format.data(), format.size()), avi::WriteStatus::Ok);
    std::vector<Moment> checkpoints{{journal.Total(), 0, 0}};
    constexpr int kFrames = 60; // six seconds at 10 frames per second
    int64_t samples = 0;
    for (int i = 0; i < kFrames; ++i) {
        const auto pixels = FramePixels(i);
        ASSERT_EQ(w.WriteVideo(i, pixels.data(), pixels.size(), true), avi::WriteStatus::Ok);
        const auto sound = Samples(samples, 1102);
        ASSERT_EQ(w.WriteAudio(samples, sound.data(), sound.size()), avi::WriteStatus::Ok);
        samples += 1102;
        if (i % 10 == 9) {
            ASSERT_EQ(w.Checkpoint(), avi::WriteStatus::Ok);
            checkpoints.push_back({journal.Total(), i + 1, samples});
        }
    }
    ASSERT_EQ(w.Finish(), avi::WriteStatus::Ok);
    ASSERT_GE(w.Segments(), 3);

    std::mt19937_64 random(13);
    std::vector<uint64_t> cuts;
    for (int i = 1; i <= 12; ++i)
        cuts.push_back(journal.Total() * i / 13);
    for (int i = 0; i < 6; ++i)
        cuts.push_back(checkpoints[1].bytes + random() % (journal.Total() - checkpoints[1].bytes));
    // Just after each checkpoint: the headers then count what is there, whether or not the
    // file is whole.
    for (size_t i = 1; i < checkpoints.size(); ++i)
        cuts.push_back(checkpoints[i].bytes);
    cuts.push_back(journal.Total());
    const auto path = dir / "cut.avi";
    for (const uint64_t cut : cuts) {
        SCOPED_TRACE("cut after " + std::to_string(cut) + " of " + std::to_string(journal.Total()) +
                     " bytes");
        Moment safe;
        for (const Moment& m : checkpoints)
            if (m.bytes <= cut)
                safe = m;
        avi::MemoryFile file;
        file.bytes = journal.At(cut);
        SaveFile(path, file.bytes);

        const Decoded cutOff = Decode(path);
        ASSERT_GE(cutOff.frames.size(), static_cast<size_t>(safe.frames));
        EXPECT_EQ(std::vector<int>(cutOff.frames.begin(), cutOff.frames.begin() + safe.frames),
                  Numbers(safe.frames));
        EXPECT_TRUE(StartsWith(cutOff.sound, Samples(0, safe.samples)));

        // Looking first changes nothing and tells what the repair will find.
        const std::vector<uint8_t> before = file.bytes;
        const avi::RepairResult check = avi::CheckRepair(file);
        EXPECT_EQ(file.bytes, before);
        const avi::RepairResult result = avi::Repair(file);
        EXPECT_EQ(check, result);
        if (cut == journal.Total()) {
            EXPECT_EQ(result, avi::RepairResult::NothingToDo);
            continue;
        }
        // A cut just after a checkpoint leaves a whole file.
        ASSERT_NE(result, avi::RepairResult::NotReadable);
        ASSERT_NE(result, avi::RepairResult::WriteFailed);
        SaveFile(path, file.bytes);
        const Decoded whole = Decode(path);
        const auto& repaired = whole.frames;
        ASSERT_GE(repaired.size(), static_cast<size_t>(safe.frames));
        EXPECT_EQ(repaired, Numbers(static_cast<int>(repaired.size())));
        const auto& sound = whole.sound;
        EXPECT_GE(sound.size(), static_cast<size_t>(safe.samples));
        EXPECT_TRUE(StartsWith(sound, Samples(0, static_cast<int64_t>(sound.size()))));
        if (!repaired.empty()) {
            EXPECT_EQ(RunCommand("ffprobe -v error -count_packets -select_streams v -show_entries "
                                 "stream=nb_frames,nb_read_packets -of csv=p=0 " +
                                 Quote(path)),
                      std::to_string(repaired.size()) + "," + std::to_string(repaired.size()) +
                          "\n");
        }
        // The index leads to every frame: a seek lands on the frame it asks for.
        if (repaired.size() > 25 && cut % 2 == 0) {
            const auto seeked = DecodeFrames(path, "-ss 2");
            ASSERT_FALSE(seeked.empty());
            EXPECT_EQ(seeked.front(), 20);
        }
        EXPECT_EQ(avi::Repair(file), avi::RepairResult::NothingToDo);
    }
}

// A finished take copied only in part (or cut by a power failure after a segment was closed):
// the closed segments declare sizes that run past the end of the copy. Repair walks into them
// anyway and keeps every frame and sample whose chunk lies wholly before the cut.
TEST(AviRepair, AFinishedTakeCutAnywhereKeepsEveryChunkBeforeTheCut) {
    TempDir dir;
    avi::MemoryFile finished;
    avi::WriterLimits limits;
    limits.segmentBytes = 48 * 1024;
    limits.indexChunkEntries = 16;
    avi::Writer w(finished, Video(), Audio(), limits);
    constexpr int kFrames = 60;
    ASSERT_EQ(WriteTake(w, kFrames, 1102), avi::WriteStatus::Ok);
    ASSERT_GE(w.Segments(), 4);
    const auto path = dir / "copy.avi";
    SaveFile(path, finished.bytes);

    // Where each chunk of the whole file ends, by stream.
    std::vector<uint64_t> frameEnds;
    std::vector<uint64_t> soundEnds;
    for (const Packet& p : Packets(path))
        (p.stream == 0 ? frameEnds : soundEnds).push_back(p.pos + 8 + p.size);
    ASSERT_EQ(frameEnds.size(), static_cast<size_t>(kFrames));

    for (int i = 0; i < 24; ++i) {
        const uint64_t cut = frameEnds[0] + (finished.bytes.size() - frameEnds[0]) * i / 24;
        SCOPED_TRACE("copied " + std::to_string(cut) + " of " +
                     std::to_string(finished.bytes.size()) + " bytes");
        avi::MemoryFile copy;
        copy.bytes.assign(finished.bytes.begin(), finished.bytes.begin() + cut);
        ASSERT_EQ(avi::Repair(copy), avi::RepairResult::Repaired);
        SaveFile(path, copy.bytes);
        const auto before = [cut](const std::vector<uint64_t>& ends) {
            return static_cast<int>(std::count_if(ends.begin(), ends.end(),
                                                  [cut](uint64_t end) { return end <= cut; }));
        };
        const Decoded whole = Decode(path);
        EXPECT_EQ(whole.frames, Numbers(before(frameEnds)));
        EXPECT_EQ(whole.sound.size(), static_cast<size_t>(before(soundEnds)) * 1102);
        EXPECT_EQ(avi::Repair(copy), avi::RepairResult::NothingToDo);
    }
}

// Looking for a cut-off take at every start-up must not read a long one chunk by chunk: a whole
// movie is known from its headers and indexes, and one written past its last checkpoint is
// still found out.
TEST(AviRepair, CheckKnowsAWholeMovieFromItsHeadersAndACutOneStill) {
    class CountingFile final : public avi::ByteFile {
    public:
        explicit CountingFile(avi::MemoryFile& file) : file_(file) {}
        bool WriteAt(uint64_t offset, const void* data, size_t size) override {
            return file_.WriteAt(offset, data, size);
        }
        bool Truncate(uint64_t size) override { return file_.Truncate(size); }
        bool Flush() override { return true; }
        uint64_t Size() override { return file_.Size(); }
        bool ReadAt(uint64_t offset, void* data, size_t size) override {
            ++reads;
            return file_.ReadAt(offset, data, size);
        }
        int reads = 0;

    private:
        avi::MemoryFile& file_;
    };

    constexpr int kFrames = 6000;
    struct Case {
        uint64_t segmentBytes;
        bool finished;
        bool sound; // false: a sound stream the input never filled
    };
    for (const Case c : {Case{uint64_t{1} << 30, true, true}, Case{uint64_t{1} << 30, false, true},
                         Case{128 * 1024, true, true}, Case{128 * 1024, false, true},
                         Case{uint64_t{1} << 30, true, false}}) {
        const uint64_t segmentBytes = c.segmentBytes;
        const bool finished = c.finished;
        {
            SCOPED_TRACE(std::to_string(segmentBytes) + (finished ? " finished" : " cut off") +
                         (c.sound ? "" : ", silent"));
            avi::MemoryFile file;
            avi::WriterLimits limits;
            limits.segmentBytes = segmentBytes;
            limits.indexChunkEntries = 256;
            avi::Writer w(file, Video(), Audio(), limits);
            ASSERT_EQ(w.Open(), avi::WriteStatus::Ok);
            const auto format = BitmapHeader();
            ASSERT_EQ(w.SetVideoFormat(format.data(), format.size()), avi::WriteStatus::Ok);
            const std::vector<uint8_t> delta(24, 7);
            const auto sound = Samples(0, 32);
            for (int i = 0; i < kFrames; ++i) {
                ASSERT_EQ(w.WriteVideo(i, delta.data(), delta.size(), i % 100 == 0),
                          avi::WriteStatus::Ok);
                if (c.sound) {
                    ASSERT_EQ(w.WriteAudio(int64_t{32} * i, sound.data(), sound.size()),
                              avi::WriteStatus::Ok);
                }
                if (i % 10 == 9) {
                    ASSERT_EQ(w.Checkpoint(), avi::WriteStatus::Ok);
                }
            }
            // Cut off: a frame after the last checkpoint, and the program gone.
            ASSERT_EQ(finished ? w.Finish()
                               : w.WriteVideo(kFrames, delta.data(), delta.size(), false),
                      avi::WriteStatus::Ok);
            CountingFile counted(file);
            EXPECT_EQ(avi::CheckRepair(counted),
                      finished ? avi::RepairResult::NothingToDo : avi::RepairResult::Repaired);
            if (finished) {
                EXPECT_LT(counted.reads, 100);
            }
        }
    }
}

// What is not a movie of ours is left alone.
TEST(AviRepair, LeavesWhatItCannotReadAsItWas) {
    avi::MemoryFile written;
    avi::Writer w(written, Video(), std::nullopt);
    ASSERT_EQ(w.Open(), avi::WriteStatus::Ok);
    const std::vector<uint8_t> movie = written.bytes;

    const std::vector<std::pair<const char*, std::vector<uint8_t>>> files = {
        {"empty", {}},
        {"text", std::vector<uint8_t>(100, 'x')},
        {"a wave file",
         [] {
             avi::ByteImage b;
             b.Code("RIFF");
             b.U32(36);
             b.Code("WAVE");
             b.Code("fmt ");
             b.U32(16);
             b.Zeros(16);
             b.Code("data");
             b.U32(0);
             return b.Vector();
         }()},
        {"headers cut short", std::vector<uint8_t>(movie.begin(), movie.begin() + 200)},
        {"a take cut off before its first frame (no picture format yet)", movie},
        {"header list larger than the file",
         [&] {
             auto v = std::vector<uint8_t>(movie.begin(), movie.begin() + 600);
             v[16] = 0xff;
             return v;
         }()},
    };
    for (const auto& [what, bytes] : files) {
        avi::MemoryFile file;
        file.bytes = bytes;
        EXPECT_EQ(avi::CheckRepair(file), avi::RepairResult::NotReadable) << what;
        EXPECT_EQ(avi::Repair(file), avi::RepairResult::NotReadable) << what;
        EXPECT_EQ(file.bytes, bytes) << what;
    }
}

// The repair works on files on disk, through the same byte file the writer uses.
TEST(AviRepair, RepairsAFileOnDisk) {
    TempDir dir;
    const auto path = dir / "killed.avi";
    {
        auto file = avi::StdFile::Create(path);
        ASSERT_TRUE(file);
        avi::Writer w(*file, Video(), std::nullopt);
        ASSERT_EQ(w.Open(), avi::WriteStatus::Ok);
        const auto format = BitmapHeader();
        ASSERT_EQ(w.SetVideoFormat(format.data(), format.size()), avi::WriteStatus::Ok);
        for (int i = 0; i < 25; ++i) {
            const auto pixels = FramePixels(i);
            ASSERT_EQ(w.WriteVideo(i, pixels.data(), pixels.size(), true), avi::WriteStatus::Ok);
            if (i == 9) {
                ASSERT_EQ(w.Checkpoint(), avi::WriteStatus::Ok);
            }
        }
        // Never finished: the process died here, half way through a frame.
        const auto pixels = FramePixels(25);
        ASSERT_TRUE(file->WriteAt(w.FileSize(), "00db", 4));
        ASSERT_TRUE(file->WriteAt(w.FileSize() + 8, pixels.data(), 100));
    }
    auto file = avi::StdFile::Open(path);
    ASSERT_TRUE(file);
    EXPECT_EQ(avi::Repair(*file), avi::RepairResult::Repaired);
    file.reset();
    EXPECT_EQ(DecodeFrames(path), Numbers(25));
    EXPECT_EQ(RunCommand("ffprobe -v error -show_streams " + Quote(path) + " 2>&1 >/dev/null"), "");
    EXPECT_FALSE(avi::StdFile::Open(dir / "missing.avi"));
}
