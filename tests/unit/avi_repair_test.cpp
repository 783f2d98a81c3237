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

namespace {

// A movie as other writers lay it out: padding and tag chunks among the frames, each moment's
// frame and sound in a 'LIST rec ', and every segment closed by an 'idx1' of its own. Whole:
// every size, length and index counts what is there.
std::vector<uint8_t> ForeignMovie(int frames, int perSegment, int64_t samplesPerFrame) {
    struct Entry {
        uint64_t at; // the chunk's header
        uint32_t size;
    };
    avi::ByteImage b;
    const auto chunk = [&](std::string_view id, const std::vector<uint8_t>& data) {
        const size_t size = b.BeginChunk(id);
        b.Bytes(data.data(), data.size());
        b.End(size);
    };
    const size_t riff = b.BeginChunk("RIFF");
    b.Code("AVI ");
    const size_t hdrl = b.BeginList("hdrl");
    const size_t avih = b.BeginChunk("avih");
    b.U32(100000);
    b.Zeros(8);
    b.U32(0x10); // has an index
    const size_t firstFrames = b.Size();
    b.Zeros(8);
    b.U32(2); // streams
    b.Zeros(28);
    b.End(avih);
    std::array<size_t, 2> lengthAt{};
    std::array<size_t, 2> indxAt{};
    for (int s = 0; s < 2; ++s) {
        const size_t strl = b.BeginList("strl");
        const size_t strh = b.BeginChunk("strh");
        b.Code(s == 0 ? "vids" : "auds");
        b.U32(s == 0 ? avi::Fourcc("DIB ") : 0);
        b.Zeros(12);
        b.U32(1);                   // scale
        b.U32(s == 0 ? 10 : 11025); // rate
        b.U32(0);                   // start
        lengthAt[s] = b.Size();
        b.U32(0);
        b.Zeros(8);
        b.U32(s == 0 ? 0 : 1); // sample size
        b.Zeros(8);
        b.End(strh);
        if (s == 0) {
            chunk("strf", BitmapHeader());
        } else {
            avi::ByteImage w;
            w.U16(1);
            w.U16(1);
            w.U32(11025);
            w.U32(11025);
            w.U16(1);
            w.U16(8);
            chunk("strf", w.Vector());
        }
        const size_t indx = b.BeginChunk("indx");
        b.U16(4);
        b.U8(0);
        b.U8(0);
        indxAt[s] = b.Size();
        b.Zeros(20 + 16 * 8);
        b.End(indx);
        b.End(strl);
    }
    const size_t odml = b.BeginList("odml");
    const size_t dmlh = b.BeginChunk("dmlh");
    const size_t totalFrames = b.Size();
    b.Zeros(248);
    b.End(dmlh);
    b.End(odml);
    b.End(hdrl);
    chunk("JUNK", std::vector<uint8_t>(100, 0));

    std::array<int, 2> superCount{};
    int64_t sample = 0;
    for (int first = 0; first < frames; first += perSegment) {
        size_t segment = riff;
        if (first > 0) {
            segment = b.BeginChunk("RIFF");
            b.Code("AVIX");
        }
        const size_t movi = b.BeginList("movi");
        const uint64_t moviAt = movi - 4;
        chunk("JUNK", std::vector<uint8_t>(20, 0));
        std::array<std::vector<Entry>, 2> entries;
        for (int i = first; i < std::min(frames, first + perSegment); ++i) {
            const size_t rec = b.BeginList("rec ");
            entries[0].push_back({b.Size(), static_cast<uint32_t>(kFrameBytes)});
            chunk("00db", FramePixels(i));
            entries[1].push_back({b.Size(), static_cast<uint32_t>(samplesPerFrame)});
            chunk("01wb", Samples(sample, samplesPerFrame));
            sample += samplesPerFrame;
            b.End(rec);
            if (i % 4 == 1)
                chunk("vtag", std::vector<uint8_t>(6, 'v')); // a tag of its own, not a frame
        }
        for (int s = 0; s < 2; ++s) {
            const uint64_t ixAt = b.Size();
            const size_t ix = b.BeginChunk(s == 0 ? "ix00" : "ix01");
            b.U16(2);
            b.U8(0);
            b.U8(1);
            b.U32(static_cast<uint32_t>(entries[s].size()));
            b.Code(s == 0 ? "00db" : "01wb");
            b.U64(moviAt);
            b.U32(0);
            for (const Entry& e : entries[s]) {
                b.U32(static_cast<uint32_t>(e.at + 8 - moviAt));
                b.U32(e.size);
            }
            b.End(ix);
            const size_t slot = indxAt[s] + 20 + 16 * superCount[s]++;
            for (int i = 0; i < 8; ++i)
                b.Vector()[slot + i] = static_cast<uint8_t>(ixAt >> (8 * i));
            b.PutU32(slot + 8, static_cast<uint32_t>(b.Size() - ixAt));
            b.PutU32(slot + 12,
                     static_cast<uint32_t>(s == 0 ? entries[0].size()
                                                  : entries[1].size() * samplesPerFrame));
        }
        b.End(movi);
        const size_t idx1 = b.BeginChunk("idx1");
        for (size_t k = 0; k < entries[0].size(); ++k)
            for (int s = 0; s < 2; ++s) {
                b.Code(s == 0 ? "00db" : "01wb");
                b.U32(0x10);
                b.U32(static_cast<uint32_t>(entries[s][k].at - moviAt - 8));
                b.U32(entries[s][k].size);
            }
        b.End(idx1);
        if (first == 0) {
            b.PutU32(firstFrames, static_cast<uint32_t>(entries[0].size()));
            chunk("JUNK", std::vector<uint8_t>(30, 0));
        }
        b.End(segment);
    }
    for (int s = 0; s < 2; ++s) {
        b.PutU32(indxAt[s], static_cast<uint32_t>(superCount[s]));
        b.PutU32(indxAt[s] + 4, avi::Fourcc(s == 0 ? "00db" : "01wb"));
    }
    b.PutU32(lengthAt[0], static_cast<uint32_t>(frames));
    b.PutU32(lengthAt[1], static_cast<uint32_t>(sample));
    b.PutU32(totalFrames, static_cast<uint32_t>(frames));
    return b.Vector();
}

} // namespace

// Another writer's whole movie is left byte for byte as it is, and what stops the reading
// where the headers say chunks are is refused, not cut off: a repair never makes a file lose
// what a player reads. Cut off, the same movie keeps every record and tag before the cut.
TEST(AviRepair, AnotherWritersMovieKeepsEveryChunkAReaderUses) {
    TempDir dir;
    const auto path = dir / "foreign.avi";
    constexpr int kFrames = 24;
    const std::vector<uint8_t> movie = ForeignMovie(kFrames, 8, 1102);
    SaveFile(path, movie);
    const Decoded played = Decode(path);
    ASSERT_EQ(played.frames, Numbers(kFrames));
    ASSERT_TRUE(StartsWith(played.sound, Samples(0, 1102 * kFrames)));
    ASSERT_EQ(played.sound.size(), size_t{1102} * kFrames);
    std::vector<uint64_t> recordEnds; // each record ends with its sound
    for (const Packet& p : Packets(path))
        if (p.stream == 1)
            recordEnds.push_back(p.pos + 8 + static_cast<uint64_t>(p.size));
    const auto tags = [](const std::vector<uint8_t>& bytes, uint64_t within) {
        int n = 0;
        for (uint64_t at = 0; at + 14 <= std::min<uint64_t>(within, bytes.size()); ++at)
            n += std::memcmp(&bytes[at], "vtag", 4) == 0;
        return n;
    };

    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        avi::RepairResult result;
    };
    std::vector<Case> cases{{"whole", movie, avi::RepairResult::NothingToDo}};
    const auto damaged = [&](int record) { // the code of that record's frame zeroed
        std::vector<uint8_t> v = movie;
        const std::string_view code("rec 00db");
        auto at = v.begin();
        for (int i = 0; i <= record; ++i)
            at = std::search(at + 1, v.end(), code.begin(), code.end());
        std::fill_n(at + 4, 4, 0);
        return v;
    };
    const auto damagedAndCut = [&](int record) {
        std::vector<uint8_t> v = damaged(record);
        v.resize(v.size() - 100);
        return v;
    };
    // Whole by its headers: there is nothing a repair could do about a damaged frame.
    cases.push_back({"whole, a frame's code zeroed", damaged(3), avi::RepairResult::NothingToDo});
    cases.push_back({"cut, a frame's code zeroed in the first segment", damagedAndCut(3),
                     avi::RepairResult::NotReadable});
    cases.push_back({"cut, a frame's code zeroed in the last segment", damagedAndCut(20),
                     avi::RepairResult::NotReadable});
    for (int i = 1; i < 12; ++i) {
        const uint64_t cut = recordEnds[0] + (movie.size() - recordEnds[0]) * i / 12;
        cases.push_back({"cut", std::vector<uint8_t>(movie.begin(), movie.begin() + cut),
                         avi::RepairResult::Repaired});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.what) + ", " + std::to_string(c.bytes.size()) + " bytes");
        avi::MemoryFile file;
        file.bytes = c.bytes;
        EXPECT_EQ(avi::CheckRepair(file), c.result);
        ASSERT_EQ(avi::Repair(file), c.result);
        if (c.result != avi::RepairResult::Repaired) {
            EXPECT_EQ(file.bytes, c.bytes);
            continue;
        }
        const uint64_t cut = c.bytes.size();
        SaveFile(path, file.bytes);
        const auto before = static_cast<int>(std::count_if(
            recordEnds.begin(), recordEnds.end(), [&](uint64_t end) { return end <= cut; }));
        const Decoded whole = Decode(path);
        EXPECT_EQ(whole.frames, Numbers(before));
        EXPECT_EQ(whole.sound.size(), static_cast<size_t>(before) * 1102);
        EXPECT_EQ(tags(file.bytes, file.bytes.size()), tags(movie, cut));
        EXPECT_EQ(avi::Repair(file), avi::RepairResult::NothingToDo);
    }
}

// After a repair, a frame keeps the key-frame mark it had: our codec's from the frame's own
// first byte, even for frames no index chunk held yet; another codec's from the index chunks
// the take had written.
TEST(AviRepair, FramesKeepTheirKeyFrameMarks) {
    TempDir dir;
    const auto path = dir / "keys.avi";
    for (const char* codec : {"ZMBV", "cvid"}) {
        SCOPED_TRACE(codec);
        avi::MemoryFile file;
        avi::Writer w(file, Video(), std::nullopt);
        ASSERT_EQ(w.Open(), avi::WriteStatus::Ok);
        auto format = BitmapHeader();
        std::memcpy(&format[16], codec, 4);
        ASSERT_EQ(w.SetVideoFormat(format.data(), format.size()), avi::WriteStatus::Ok);
        constexpr int kFrames = 37;
        constexpr int kCheckpointed = 30;
        for (int i = 0; i < kFrames; ++i) {
            std::vector<uint8_t> frame(40, static_cast<uint8_t>(i));
            frame[0] = i % 5 == 0 ? 1 : 0; // the flags byte
            ASSERT_EQ(w.WriteVideo(i, frame.data(), frame.size(), i % 5 == 0),
                      avi::WriteStatus::Ok);
            if (i + 1 == kCheckpointed) {
                ASSERT_EQ(w.Checkpoint(), avi::WriteStatus::Ok);
            }
        }
        ASSERT_EQ(avi::Repair(file), avi::RepairResult::Repaired);
        SaveFile(path, file.bytes);
        const std::vector<Packet> packets = Packets(path);
        ASSERT_EQ(packets.size(), static_cast<size_t>(kFrames));
        const int marked = std::string_view(codec) == "ZMBV" ? kFrames : kCheckpointed;
        for (int i = 0; i < kFrames; ++i)
            EXPECT_EQ(packets[i].key, i < marked && i % 5 == 0) << "frame " << i;
    }
}

// A file that holds more chunks or index entries than a repair can keep in mind is refused,
// quickly and within a bounded memory, instead of exhausting it.
TEST(AviRepair, AFileOfCountlessChunksIsRefused) {
    // A real movie's headers, then a 'movi' list of 2 GiB that repeats one element to its end.
    class Endless final : public avi::ByteFile {
    public:
        Endless(std::vector<uint8_t> head, std::vector<uint8_t> element)
            : head_(std::move(head)), element_(std::move(element)) {}
        bool WriteAt(uint64_t, const void*, size_t) override { return false; }
        bool Truncate(uint64_t) override { return false; }
        bool Flush() override { return true; }
        uint64_t Size() override { return head_.size() + (uint64_t{1} << 31); }
        bool ReadAt(uint64_t offset, void* data, size_t size) override {
            auto* out = static_cast<uint8_t*>(data);
            read += size;
            for (size_t i = 0; i < size; ++i) {
                const uint64_t at = offset + i;
                out[i] =
                    at < head_.size() ? head_[at] : element_[(at - head_.size()) % element_.size()];
            }
            return true;
        }
        uint64_t read = 0;

    private:
        std::vector<uint8_t> head_;
        std::vector<uint8_t> element_;
    };

    avi::MemoryFile written;
    avi::Writer w(written, Video(), std::nullopt);
    ASSERT_EQ(w.Open(), avi::WriteStatus::Ok);
    auto format = BitmapHeader();
    std::memcpy(&format[16], "cvid", 4);
    ASSERT_EQ(w.SetVideoFormat(format.data(), format.size()), avi::WriteStatus::Ok);
    std::vector<uint8_t> head = written.bytes;

    avi::ByteImage emptyFrame;
    emptyFrame.Code("00dc");
    emptyFrame.U32(0);
    avi::ByteImage index; // an index chunk of 2^20 key frames, 8 MiB
    index.Code("ix00");
    index.U32(24 + 8 * (1u << 20));
    index.U16(2);
    index.U8(0);
    index.U8(1);
    index.U32(1u << 20);
    index.Code("00dc");
    index.Zeros(12);
    for (uint32_t i = 0; i < (1u << 20); ++i) {
        index.U32(8 + 8 * i);
        index.U32(0);
    }
    for (auto* element : {&emptyFrame, &index}) {
        Endless file(head, element->Vector());
        EXPECT_EQ(avi::CheckRepair(file), avi::RepairResult::NotReadable);
        EXPECT_EQ(avi::Repair(file), avi::RepairResult::NotReadable);
        EXPECT_LT(file.read, uint64_t{1} << 30);
    }
}
