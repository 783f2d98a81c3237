#include "pages/video_page_win.h"

#include "engine/frame_format.h"
#include "option_page_fixture_win.h"
#include "resource_ids.h"

#include <string>

namespace {

class VideoPageTest : public PageTest<CMyPropertyPage3> {
protected:
    void PreparePage() override {
        options_.FileName = "C:\\takes\\demo.avi";
        options_.IncrementFileName = 0;
        options_.RecordSound = 1;
        options_.KeyFrames = 15;
        options_.FrameRate = 7.5;
        options_.PlaybackRate = 7.5;
        options_.CompQuality = 60;
    }

    [[nodiscard]] Window SoundBox() const { return Item(IDC_VIDEO_SOUND); }

    void ChooseCompressor(LRESULT index) {
        const Window list = Item(IDC_VIDEO_COMPRESSOR);
        list.Send(CB_SETCURSEL, index);
        page_->Wnd().Send(WM_COMMAND, MAKEWPARAM(IDC_VIDEO_COMPRESSOR, CBN_SELCHANGE),
                          reinterpret_cast<LPARAM>(list.Handle()));
    }
    [[nodiscard]] LRESULT CompressorCount() const {
        return Item(IDC_VIDEO_COMPRESSOR).Send(CB_GETCOUNT);
    }
    [[nodiscard]] LRESULT SelectedCompressorIndex() const {
        return Item(IDC_VIDEO_COMPRESSOR).Send(CB_GETCURSEL);
    }
};

TEST_F(VideoPageTest, ShowsTheOptionsAndStoresEveryControlBack) {
    EXPECT_EQ(Item(IDC_VIDEO_FILE_NAME).Text(), "C:\\takes\\demo.avi");
    EXPECT_FALSE(Item(IDC_VIDEO_INCREMENT).IsChecked());
    EXPECT_TRUE(SoundBox().IsChecked());
    EXPECT_TRUE(SoundBox().IsEnabled());
    EXPECT_EQ(Item(IDC_VIDEO_KEY_FRAMES).Text(), "15");
    EXPECT_EQ(Item(IDC_VIDEO_FRAME_RATE).Text(), "7.5");
    EXPECT_EQ(Item(IDC_VIDEO_PLAYBACK_RATE).Text(), "7.5");
    EXPECT_EQ(Item(IDC_VIDEO_QUALITY).Text(), "60");
    EXPECT_EQ(SelectedCompressorIndex(), 0);

    Enter(IDC_VIDEO_FILE_NAME, "D:\\out\\next take.avi");
    EXPECT_EQ(options_.FileName, "D:\\out\\next take.avi");
    Click(IDC_VIDEO_INCREMENT);
    EXPECT_EQ(options_.IncrementFileName, 1);
    Click(SoundBox().Id());
    EXPECT_EQ(options_.RecordSound, 0);
    Click(SoundBox().Id());
    EXPECT_EQ(options_.RecordSound, 1);
    Click(IDC_VIDEO_CLICKS);
    EXPECT_EQ(options_.HighlightClicks, 1);
    Click(IDC_VIDEO_KEYS);
    EXPECT_EQ(options_.ShowKeys, 1);
    for (const char* frames : {"0", "100", "30"})
        Enter(IDC_VIDEO_KEY_FRAMES, frames);
    EXPECT_EQ(options_.KeyFrames, 30);
    Enter(IDC_VIDEO_QUALITY, "250"); // the compressor's business, not refused here
    EXPECT_EQ(options_.CompQuality, 250);
    Enter(IDC_VIDEO_FRAME_RATE, "0.001");
    EXPECT_EQ(options_.FrameRate, 0.001);
    EXPECT_EQ(options_.PlaybackRate, 0.001);
    Enter(IDC_VIDEO_FRAME_RATE, "1000");
    EXPECT_EQ(options_.FrameRate, 1000.0);
    EXPECT_EQ(options_.PlaybackRate, 1000.0);

    ChooseCompressor(CompressorCount() - 1);
    EXPECT_EQ(options_.CompFourcc, fourcc::Dib);
    ChooseCompressor(0);
    EXPECT_EQ(options_.CompFourcc, 0u);
    EXPECT_TRUE(Errors().empty());

    options_.FileName = "clip0003.avi";
    options_.FrameRate = 12.5;
    options_.PlaybackRate = 12.5;
    options_.KeyFrames = 1;
    options_.CompQuality = 0;
    options_.IncrementFileName = 0;
    options_.HighlightClicks = 0;
    options_.ShowKeys = 2;
    page_->RefreshFromOptions();
    EXPECT_EQ(Item(IDC_VIDEO_FILE_NAME).Text(), "clip0003.avi");
    EXPECT_EQ(Item(IDC_VIDEO_FRAME_RATE).Text(), "12.5");
    EXPECT_EQ(Item(IDC_VIDEO_PLAYBACK_RATE).Text(), "12.5");
    EXPECT_EQ(Item(IDC_VIDEO_KEY_FRAMES).Text(), "1");
    EXPECT_EQ(Item(IDC_VIDEO_QUALITY).Text(), "0");
    EXPECT_FALSE(Item(IDC_VIDEO_INCREMENT).IsChecked());
    EXPECT_TRUE(SoundBox().IsChecked());
    EXPECT_FALSE(Item(IDC_VIDEO_CLICKS).IsChecked());
    EXPECT_TRUE(Item(IDC_VIDEO_KEYS).IsChecked());
    Click(IDC_VIDEO_KEYS);
    EXPECT_EQ(options_.ShowKeys, 0);
}

TEST_F(VideoPageTest, TypingACaptureRateSetsTheSamePlaybackRateAndKeepsSound) {
    Type(IDC_VIDEO_FRAME_RATE, "25");
    EXPECT_EQ(Item(IDC_VIDEO_PLAYBACK_RATE).Text(), "25");
    EXPECT_TRUE(SoundBox().IsEnabled());
    EXPECT_TRUE(SoundBox().IsChecked());
    Host().Item(PageHost::kElsewhere).Focus();
    EXPECT_EQ(options_.FrameRate, 25.0);
    EXPECT_EQ(options_.PlaybackRate, 25.0);
    EXPECT_EQ(options_.RecordSound, 1);
}

TEST_F(VideoPageTest, ADifferentPlaybackRateTurnsSoundOffAndBackWhenTheyMatchAgain) {
    Type(IDC_VIDEO_PLAYBACK_RATE, "15");
    EXPECT_FALSE(SoundBox().IsChecked());
    EXPECT_FALSE(SoundBox().IsEnabled());
    EXPECT_EQ(options_.RecordSound, 1); // nothing stored while typing
    Host().Item(PageHost::kElsewhere).Focus();
    EXPECT_EQ(options_.PlaybackRate, 15.0);
    EXPECT_EQ(options_.FrameRate, 7.5);
    EXPECT_EQ(options_.RecordSound, 0);

    // Equal again: the box comes back as it was last stored, here off.
    Type(IDC_VIDEO_PLAYBACK_RATE, "7.5");
    EXPECT_TRUE(SoundBox().IsEnabled());
    EXPECT_FALSE(SoundBox().IsChecked());
    // Text that is no rate yet cannot be recorded with sound either.
    Type(IDC_VIDEO_PLAYBACK_RATE, "7.5x");
    EXPECT_FALSE(SoundBox().IsEnabled());
    Enter(IDC_VIDEO_PLAYBACK_RATE, "7.5");
    EXPECT_TRUE(Errors().empty());
}

TEST_F(VideoPageTest, RatesThatDifferInTheOptionsShowSoundOffWithoutChangingIt) {
    options_.FrameRate = 10.0;
    options_.PlaybackRate = 15.0;
    options_.RecordSound = 1;
    page_->RefreshFromOptions();
    EXPECT_FALSE(SoundBox().IsChecked());
    EXPECT_FALSE(SoundBox().IsEnabled());
    EXPECT_EQ(options_.RecordSound, 1);

    // Leaving the capture rate stores the rates only; typing it made them equal, and the box
    // shows again what a recording will now take.
    Enter(IDC_VIDEO_FRAME_RATE, "20");
    EXPECT_EQ(options_.FrameRate, 20.0);
    EXPECT_EQ(options_.PlaybackRate, 20.0);
    EXPECT_EQ(options_.RecordSound, 1);
    EXPECT_TRUE(SoundBox().IsEnabled());
    EXPECT_TRUE(SoundBox().IsChecked());
}

TEST_F(VideoPageTest, ABadValueIsReportedKeepsTheFocusAndChangesNothing) {
    struct Case {
        int id;
        std::string text;
        const char* message;
    };
    const char* const kRateMessage = "Please enter a number between 0.001 and 1000.";
    const char* const kFileNameMessage = "Please enter a valid file name.";
    const Case cases[] = {
        {IDC_VIDEO_FILE_NAME, "", kFileNameMessage},
        {IDC_VIDEO_FILE_NAME, "a\tb.avi", kFileNameMessage},
        {IDC_VIDEO_FILE_NAME, std::string(260, 'n'), "Please enter no more than 259 characters."},
        {IDC_VIDEO_FRAME_RATE, "0", kRateMessage},
        {IDC_VIDEO_FRAME_RATE, "0.0009", kRateMessage},
        {IDC_VIDEO_FRAME_RATE, "1000.5", kRateMessage},
        {IDC_VIDEO_FRAME_RATE, "-10", kRateMessage},
        {IDC_VIDEO_FRAME_RATE, "1e999", kRateMessage},
        {IDC_VIDEO_FRAME_RATE, "nan", kRateMessage},
        {IDC_VIDEO_PLAYBACK_RATE, "0", kRateMessage},
        {IDC_VIDEO_PLAYBACK_RATE, "fast", kRateMessage},
        {IDC_VIDEO_KEY_FRAMES, "101", "Please enter an integer between 0 and 100."},
        {IDC_VIDEO_KEY_FRAMES, "-1", "Please enter an integer between 0 and 100."},
        {IDC_VIDEO_QUALITY, "high", "Please enter an integer."},
    };
    for (const Case& c : cases) {
        const std::string before = Item(c.id).Text();
        page_->errors.clear();
        // A pasted text may be longer than the edit lets the user type.
        Item(c.id).Send(EM_LIMITTEXT, 0);
        Enter(c.id, c.text);
        ASSERT_EQ(Errors().size(), 1u) << c.text;
        EXPECT_EQ(Errors()[0], c.message) << c.text;
        EXPECT_TRUE(Item(c.id).HasFocus()) << c.text;
        EXPECT_EQ(options_.FileName, "C:\\takes\\demo.avi");
        EXPECT_EQ(options_.FrameRate, 7.5);
        EXPECT_EQ(options_.PlaybackRate, 7.5);
        EXPECT_EQ(options_.RecordSound, 1);
        EXPECT_EQ(options_.KeyFrames, 15);
        EXPECT_EQ(options_.CompQuality, 60);
        Enter(c.id, before);
        EXPECT_EQ(Errors().size(), 1u) << c.text;
    }
}

TEST_F(VideoPageTest, TheCompressorListIsBuiltOnceAndKeepsTheChoice) {
    const LRESULT count = CompressorCount();
    ASSERT_GE(count, 2);
    ChooseCompressor(count - 1);
    options_.FileName = "other.avi";
    page_->RefreshFromOptions();
    EXPECT_EQ(CompressorCount(), count);
    EXPECT_EQ(SelectedCompressorIndex(), count - 1);
    EXPECT_EQ(options_.CompFourcc, fourcc::Dib);

    // The defaults choose automatically again.
    options_.ResetToDefaults();
    page_->SelectFirstCompressor();
    page_->RefreshFromOptions();
    EXPECT_EQ(SelectedCompressorIndex(), 0);
    EXPECT_EQ(options_.CompFourcc, 0u);
}

// The file dialog's name field: an edit in the old layout, an editable combo box in the new.
void TypeInFileDialog(HWND dialog, const std::string& text) {
    for (const int id : {0x47c /* cmb13 */, 0x480 /* edt1 */}) {
        if (const HWND field = ::GetDlgItem(dialog, id))
            ::SetWindowTextA(field, text.c_str());
    }
}

// Goes into the folder first, as a user browsing there does, then takes the name in it.
void ChooseInFileDialog(HWND dialog, const std::string& folder, const std::string& name) {
    TypeInFileDialog(dialog, folder);
    ::SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    TypeInFileDialog(dialog, name);
    ::PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
}

TEST_F(VideoPageTest, BrowseTakesTheChosenNameAndLeavesTheCurrentDirectory) {
    char directory[MAX_PATH] = "";
    ASSERT_GT(::GetTempPathA(MAX_PATH, directory), 0u);
    char current[MAX_PATH] = "";
    ASSERT_GT(::GetCurrentDirectoryA(MAX_PATH, current), 0u);
    const std::string chosen = std::string(directory) + "picked.avi";
    const InModalLoop answer(
        [] { return OpenedDialog(); },
        [&](HWND dialog) { ChooseInFileDialog(dialog, directory, "picked.avi"); });
    Click(IDC_VIDEO_BROWSE);
    ASSERT_TRUE(answer.Ran());
    EXPECT_EQ(options_.FileName, chosen);
    EXPECT_EQ(Item(IDC_VIDEO_FILE_NAME).Text(), chosen);
    EXPECT_TRUE(Errors().empty());
    // A relative name, the default "clip.avi" among them, still means the same file.
    char after[MAX_PATH] = "";
    ASSERT_GT(::GetCurrentDirectoryA(MAX_PATH, after), 0u);
    EXPECT_STREQ(after, current);
}

} // namespace
