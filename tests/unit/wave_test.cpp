#include "sound/wave.h"

#include "framework/archive.h"
#include "sound/wave_block.h"
#include "sound/wave_memory.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace {

// Every test must give back all sound memory it took, failures included.
class WaveTest : public ::testing::Test {
protected:
    void SetUp() override { live_ = wave_memory::Live(); }
    void TearDown() override {
        wave_memory::FailNth(0);
        EXPECT_EQ(wave_memory::Live(), live_) << "sound memory leaked";
    }

    static CWaveBlockList::Item RecordedBlock(int32_t size, int32_t samples, uint8_t first) {
        auto* data = static_cast<uint8_t*>(wave_memory::Allocate(static_cast<std::size_t>(size)));
        for (int32_t i = 0; i < size; ++i)
            data[i] = static_cast<uint8_t>(first + i);
        return CWaveBlockList::Item(new CWaveBlock(data, size, samples));
    }

private:
    int64_t live_ = 0;
};

TEST_F(WaveTest, SetFormatTakesTheSupportedFormatsAndRefusesOthersWithoutChange) {
    CWave wave;
    EXPECT_EQ(wave.Format(), *MonoPcmFormat(11025, 8)); // as constructed
    ASSERT_TRUE(wave.SetFormat(22050, 16, 0));
    EXPECT_EQ(wave.Format().avgBytesPerSec, 44100u);
    EXPECT_EQ(wave.Format().blockAlign, 2);

    ASSERT_TRUE(wave.Blocks().AddTail(RecordedBlock(16, 8, 0)));
    EXPECT_FALSE(wave.SetFormat(16000, 8, 0));
    EXPECT_FALSE(wave.SetFormat(11025, 12, 0));
    EXPECT_EQ(wave.Format(), *MonoPcmFormat(22050, 16));
    EXPECT_EQ(wave.Blocks().Count(), 1u) << "a refused format deletes nothing";

    // An accepted one starts afresh, with an empty block when samples are asked for.
    ASSERT_TRUE(wave.SetFormat(8000, 16, 100));
    ASSERT_EQ(wave.Blocks().Count(), 1u);
    EXPECT_EQ(wave.Blocks().Tail()->Size(), 200);
    EXPECT_EQ(wave.Blocks().Tail()->Samples(), 0);
    ASSERT_TRUE(wave.SetFormat(8000, 8, 0));
    EXPECT_TRUE(wave.Blocks().IsEmpty());
}

TEST_F(WaveTest, BlocksThatCannotBeHadAreEmptyOrRefusedAndLeakNothing) {
    wave_memory::FailNth(1);
    const CWaveBlock noBytes(4096);
    EXPECT_EQ(noBytes.Size(), 0);
    EXPECT_EQ(noBytes.Data(), nullptr);

    wave_memory::FailNth(1);
    EXPECT_EQ(new (std::nothrow) CWaveBlock(16), nullptr);

    // No node for the list: the block goes with the refusal.
    CWaveBlockList list;
    auto block = RecordedBlock(64, 64, 0);
    wave_memory::FailNth(1);
    EXPECT_FALSE(list.AddTail(std::move(block)));
    EXPECT_TRUE(list.IsEmpty());

    // A wave whose preallocated block cannot be had says so.
    CWave wave;
    wave_memory::FailNth(1);
    EXPECT_FALSE(wave.SetFormat(11025, 8, 1000));
    EXPECT_TRUE(wave.Blocks().IsEmpty());
}

TEST_F(WaveTest, ListTakesBlocksOutByIdentityNewestFirst) {
    CWaveBlockList list;
    ASSERT_TRUE(list.AddTail(RecordedBlock(4, 4, 0)));
    ASSERT_TRUE(list.AddTail(RecordedBlock(8, 8, 0)));
    CWaveBlock* newest = list.Tail();
    CWaveBlock stranger;
    EXPECT_EQ(list.Take(&stranger), nullptr);
    auto taken = list.Take(newest);
    EXPECT_EQ(taken.get(), newest);
    EXPECT_EQ(list.Count(), 1u);
    EXPECT_EQ(list.RemoveHead()->Size(), 4);
    EXPECT_EQ(list.RemoveHead(), nullptr);
}

TEST_F(WaveTest, ArchiveRoundTripKeepsFormatBlocksAndBytes) {
    CWave wave;
    ASSERT_TRUE(wave.SetFormat(22050, 16, 0));
    ASSERT_TRUE(wave.Blocks().AddTail(RecordedBlock(8192, 4096, 1)));
    ASSERT_TRUE(wave.Blocks().AddTail(RecordedBlock(8192, 300, 7))); // a partial last buffer
    ASSERT_TRUE(wave.Blocks().AddTail(CWaveBlockList::Item(new CWaveBlock())));
    ArchiveWriter out;
    wave.Store(out);
    // Format, count, then per block samples, size and bytes.
    EXPECT_EQ(out.Bytes().size(), 16u + 4u + 3 * 8u + 8192u + 8192u);

    CWave copy; // a different format and a block of its own, both replaced
    ASSERT_TRUE(copy.SetFormat(8000, 8, 10));
    ArchiveReader in(out.Bytes());
    ASSERT_TRUE(copy.Load(in));
    EXPECT_EQ(in.Remaining(), 0u);
    EXPECT_EQ(copy.Format(), wave.Format());
    ASSERT_EQ(copy.Blocks().Count(), 3u);
    auto original = wave.Blocks().begin();
    for (const auto& block : copy.Blocks()) {
        const CWaveBlock& expected = **original++;
        EXPECT_EQ(block->Samples(), expected.Samples());
        ASSERT_EQ(block->Size(), expected.Size());
        if (expected.Size() > 0) {
            EXPECT_EQ(std::memcmp(block->Data(), expected.Data(), expected.Size()), 0);
        }
    }
}

TEST_F(WaveTest, DamagedArchivesLeaveTheWaveAsItWas) {
    CWave source;
    ASSERT_TRUE(source.SetFormat(11025, 16, 0));
    ASSERT_TRUE(source.Blocks().AddTail(RecordedBlock(32, 16, 3)));
    ASSERT_TRUE(source.Blocks().AddTail(RecordedBlock(16, 8, 9)));
    ArchiveWriter out;
    source.Store(out);
    const std::vector<uint8_t> good = out.Bytes();

    const auto unchanged = [](const CWave& w) {
        return w.Format() == *MonoPcmFormat(44100, 8) && w.Blocks().Count() == 1 &&
               w.Blocks().Tail()->Size() == 5;
    };
    const auto attempt = [&](const std::vector<uint8_t>& bytes, int failAllocation = 0) {
        CWave target;
        EXPECT_TRUE(target.SetFormat(44100, 8, 5));
        ArchiveReader in(bytes);
        wave_memory::FailNth(failAllocation);
        const bool loaded = target.Load(in);
        wave_memory::FailNth(0);
        EXPECT_TRUE(unchanged(target));
        return loaded;
    };

    // Cut anywhere.
    for (std::size_t length = 0; length < good.size(); ++length)
        EXPECT_FALSE(attempt(std::vector<uint8_t>(good.begin(), good.begin() + length))) << length;

    // A format we never record (stereo).
    std::vector<uint8_t> stereo = good;
    stereo[2] = 2;
    EXPECT_FALSE(attempt(stereo));
    // More samples than bytes in the first block (samples at offset 20).
    std::vector<uint8_t> tooManySamples = good;
    tooManySamples[20] = 33;
    EXPECT_FALSE(attempt(tooManySamples));
    // A negative size.
    std::vector<uint8_t> negative = good;
    negative[27] = 0x80;
    EXPECT_FALSE(attempt(negative));

    // Memory running out at any point of the load: each block needs itself, its bytes and a
    // place in the list.
    for (int n = 1; n <= 6; ++n)
        EXPECT_FALSE(attempt(good, n)) << "allocation " << n;
}

} // namespace
