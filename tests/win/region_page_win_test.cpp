#include "pages/region_page_win.h"

#include "option_page_fixture_win.h"
#include "resource_ids.h"

namespace {

constexpr int kWndHideButtons[] = {IDC_REGION_WND_KEEP, IDC_REGION_WND_MINIMIZE,
                                   IDC_REGION_WND_MINIMIZE_HIDE, IDC_REGION_WND_HIDE};

class RegionPageTest : public PageTest<CMyPropertyPage2> {
protected:
    void PreparePage() override {
        options_.StartX = -40;
        options_.StartY = 25;
        options_.Width = 641;
        options_.Height = 479;
        options_.FlashRect = 0;
        options_.WndHide = wnd_hide::Hide;
    }

    [[nodiscard]] int CheckedWndHideButton() const {
        int checked = 0;
        for (const int id : kWndHideButtons) {
            if (Item(id).IsChecked())
                checked = checked == 0 ? id : -1; // -1: more than one
        }
        return checked;
    }
};

TEST_F(RegionPageTest, ShowsTheOptionsAndStoresEveryControlBack) {
    EXPECT_EQ(Item(IDC_REGION_LEFT).Text(), "-40");
    EXPECT_EQ(Item(IDC_REGION_TOP).Text(), "25");
    EXPECT_EQ(Item(IDC_REGION_WIDTH).Text(), "641");
    EXPECT_EQ(Item(IDC_REGION_HEIGHT).Text(), "479");
    EXPECT_FALSE(Item(IDC_REGION_FLASH).IsChecked());
    EXPECT_EQ(CheckedWndHideButton(), wnd_hide::Hide);

    Enter(IDC_REGION_LEFT, "12");
    Enter(IDC_REGION_TOP, "-7");
    Enter(IDC_REGION_WIDTH, "1");
    Enter(IDC_REGION_HEIGHT, " 200 ");
    EXPECT_EQ(options_.StartX, 12);
    EXPECT_EQ(options_.StartY, -7);
    EXPECT_EQ(options_.Width, 1);
    EXPECT_EQ(options_.Height, 200);

    Click(IDC_REGION_FLASH);
    EXPECT_EQ(options_.FlashRect, 1);
    Click(IDC_REGION_FLASH);
    EXPECT_EQ(options_.FlashRect, 0);
    for (const int id : kWndHideButtons) {
        Click(id);
        EXPECT_EQ(options_.WndHide, id);
        EXPECT_EQ(CheckedWndHideButton(), id);
    }
    EXPECT_TRUE(Errors().empty());

    // What changed behind the page's back (panning, automation) shows after a refresh.
    options_.StartX = 300;
    options_.StartY = 301;
    options_.FlashRect = 1;
    options_.WndHide = wnd_hide::Stay;
    page_->RefreshFromOptions();
    EXPECT_EQ(Item(IDC_REGION_LEFT).Text(), "300");
    EXPECT_EQ(Item(IDC_REGION_TOP).Text(), "301");
    EXPECT_EQ(Item(IDC_REGION_WIDTH).Text(), "1");
    EXPECT_TRUE(Item(IDC_REGION_FLASH).IsChecked());
    EXPECT_EQ(CheckedWndHideButton(), wnd_hide::Stay);
}

TEST_F(RegionPageTest, ABadValueIsReportedKeepsTheFocusAndChangesNothing) {
    struct Case {
        int id;
        const char* text;
        const char* message;
    };
    const char* const kSizeMessage = "Please enter an integer between 1 and 2147483647.";
    // Left and top within what every other path into the options allows.
    const char* const kPositionMessage = "Please enter an integer between -32768 and 32767.";
    const Case cases[] = {
        {IDC_REGION_LEFT, "abc", kPositionMessage},
        {IDC_REGION_LEFT, "99999999999", kPositionMessage},
        {IDC_REGION_LEFT, "32768", kPositionMessage},
        {IDC_REGION_TOP, "-32769", kPositionMessage},
        {IDC_REGION_TOP, "1.5", kPositionMessage},
        {IDC_REGION_TOP, "", kPositionMessage},
        {IDC_REGION_WIDTH, "0", kSizeMessage},
        {IDC_REGION_WIDTH, "-320", kSizeMessage},
        {IDC_REGION_HEIGHT, "0", kSizeMessage},
        {IDC_REGION_HEIGHT, "x", kSizeMessage},
    };
    for (const Case& c : cases) {
        const std::string before = Item(c.id).Text();
        page_->errors.clear();
        Enter(c.id, c.text);
        ASSERT_EQ(Errors().size(), 1u) << c.text;
        EXPECT_EQ(Errors()[0], c.message);
        EXPECT_TRUE(Item(c.id).HasFocus()) << c.text;
        EXPECT_EQ(options_.StartX, -40);
        EXPECT_EQ(options_.StartY, 25);
        EXPECT_EQ(options_.Width, 641);
        EXPECT_EQ(options_.Height, 479);
        // Putting it right is accepted without another word.
        Enter(c.id, before);
        EXPECT_EQ(Errors().size(), 1u) << c.text;
    }
}

TEST_F(RegionPageTest, OnlyTheFourRadioButtonsCountAsAWindowChoice) {
    // The id of another control of this page is no choice either.
    for (const int32_t stored : {IDC_REGION_LEFT, IDC_REGION_FLASH, 7}) {
        options_.WndHide = stored;
        page_->RefreshFromOptions();
        EXPECT_EQ(options_.WndHide, wnd_hide::Minimize) << stored;
        EXPECT_EQ(CheckedWndHideButton(), wnd_hide::Minimize) << stored;
    }
    options_.WndHide = wnd_hide::HideToo;
    page_->RefreshFromOptions();
    EXPECT_EQ(options_.WndHide, wnd_hide::HideToo);
    EXPECT_EQ(CheckedWndHideButton(), wnd_hide::HideToo);
}

} // namespace
