#include "avi/win_file_win.h"

#include "avi/avi_repair.h"
#include "avi/avi_writer.h"
#include "avi/riff.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::string TempName(const char* name) {
    char dir[MAX_PATH];
    const DWORD n = ::GetTempPathA(MAX_PATH, dir);
    return std::string(dir, n) + name;
}

// A movie written through the platform's file calls and cut off half way through a frame, as
// a killed recording leaves it, is repaired in place on the real file system.
TEST(WinFileTest, CutOffMovieOnDiskIsRepairedInPlace) {
    const std::string path = TempName("vidorra_winfile.avi");
    DWORD error = 1;
    {
        auto file = avi::WinFile::Create(path, error);
        ASSERT_TRUE(file);
        EXPECT_EQ(error, 0u);
        avi::VideoStreamInfo video;
        video.handler = avi::Fourcc("DIB ");
        video.rate = 10000;
        video.scale = 1000;
        video.width = 16;
        video.height = 16;
        avi::Writer w(*file, video, std::nullopt);
        ASSERT_EQ(w.Open(), avi::WriteStatus::Ok);
        avi::ByteImage format;
        format.U32(40);
        format.U32(16);
        format.U32(16);
        format.U16(1);
        format.U16(24);
        format.Zeros(24);
        ASSERT_EQ(w.SetVideoFormat(format.Data(), format.Size()), avi::WriteStatus::Ok);
        const std::vector<uint8_t> pixels(16 * 16 * 3, 0x55);
        for (int i = 0; i < 12; ++i)
            ASSERT_EQ(w.WriteVideo(i, pixels.data(), pixels.size(), true), avi::WriteStatus::Ok);
        ASSERT_EQ(w.Checkpoint(), avi::WriteStatus::Ok);
        ASSERT_TRUE(file->WriteAt(w.FileSize(), "00db\0\3\0\0", 8));
        ASSERT_TRUE(file->WriteAt(w.FileSize() + 8, pixels.data(), 100));
        EXPECT_EQ(file->Size(), w.FileSize() + 108);
    }
    auto file = avi::WinFile::Open(path, error);
    ASSERT_TRUE(file);
    EXPECT_EQ(avi::Repair(*file), avi::RepairResult::Repaired);
    EXPECT_EQ(avi::Repair(*file), avi::RepairResult::NothingToDo);
    char riff[12];
    ASSERT_TRUE(file->ReadAt(0, riff, sizeof riff));
    EXPECT_EQ(std::string(riff, 4), "RIFF");
    EXPECT_EQ(avi::LoadU32(reinterpret_cast<uint8_t*>(riff) + 4) + 8, file->Size());
    EXPECT_FALSE(file->ReadAt(file->Size() - 4, riff, 8)) << "past the end";
    file.reset();
    ::DeleteFileA(path.c_str());
}

// Offsets past 2 and 4 GiB reach the platform whole (a 32-bit build splits them in two): what
// goes in there reads back there, the size counts it, and a cut lands where it was asked for.
// The file stays sparse on the disk.
TEST(WinFileTest, OffsetsPastTwoAndFourGibWriteReadAndCutWhereTheySay) {
    const std::string path = TempName("vidorra_winfile_huge.avi");
    DWORD error = 1;
    auto file = avi::WinFile::Create(path, error);
    ASSERT_TRUE(file);
    const uint64_t kPast2 = (uint64_t{1} << 31) - 3;
    const uint64_t kPast4 = (uint64_t{1} << 32) + 12345;
    ASSERT_TRUE(file->WriteAt(kPast2, "two gig", 8));
    ASSERT_TRUE(file->WriteAt(kPast4, "four gig", 9));
    EXPECT_EQ(file->Size(), kPast4 + 9);
    char back[9] = {};
    ASSERT_TRUE(file->ReadAt(kPast4, back, 9));
    EXPECT_STREQ(back, "four gig");
    ASSERT_TRUE(file->ReadAt(kPast2, back, 8));
    EXPECT_STREQ(back, "two gig");
    ASSERT_TRUE(file->ReadAt((uint64_t{1} << 32) - 4, back, 8)); // a hole reads as zeros
    EXPECT_EQ(std::string(back, 8), std::string(8, '\0'));
    EXPECT_FALSE(file->ReadAt(kPast4 + 5, back, 8)) << "past the end";
    ASSERT_TRUE(file->Truncate((uint64_t{1} << 32) + 1));
    EXPECT_EQ(file->Size(), (uint64_t{1} << 32) + 1);
    file.reset();
    ::DeleteFileA(path.c_str());
}

TEST(WinFileTest, SaysWhyAFileCannotBeOpened) {
    DWORD error = 0;
    EXPECT_FALSE(avi::WinFile::Open(TempName("vidorra_no_such.avi"), error));
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(avi::WinFile::Create(TempName("no_such_dir\\x.avi"), error));
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

} // namespace
