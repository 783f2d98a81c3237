#include "pages/sound_page_win.h"

#include "option_page_fixture_win.h"
#include "resource_ids.h"

#include <utility>

namespace {

constexpr std::pair<int, int32_t> kSizes[] = {{IDC_SOUND_8BIT, 8}, {IDC_SOUND_16BIT, 16}};
constexpr std::pair<int, int32_t> kRates[] = {{IDC_SOUND_8000, 8000},
                                              {IDC_SOUND_11025, 11025},
                                              {IDC_SOUND_22050, 22050},
                                              {IDC_SOUND_44100, 44100}};

class SoundPageTest : public PageTest<CMyPropertyPage4> {
protected:
    // The one checked button of the group, 0 for none, -1 for more than one.
    template <size_t N> [[nodiscard]] int Checked(const std::pair<int, int32_t> (&group)[N]) const {
        int checked = 0;
        for (const auto& [id, value] : group) {
            if (Item(id).IsChecked())
                checked = checked == 0 ? id : -1;
        }
        return checked;
    }
};

TEST_F(SoundPageTest, EveryButtonStoresItsValueAndARefreshShowsIt) {
    EXPECT_EQ(Checked(kSizes), IDC_SOUND_8BIT);
    EXPECT_EQ(Checked(kRates), IDC_SOUND_11025);
    for (const auto& [id, value] : kSizes) {
        Click(id);
        EXPECT_EQ(options_.SoundSampSize, value);
    }
    for (const auto& [id, value] : kRates) {
        Click(id);
        EXPECT_EQ(options_.SoundSampRate, value);
        EXPECT_EQ(options_.SoundSampSize, 16); // the other group is left alone
    }
    for (const auto& [id, value] : kRates) {
        options_.SoundSampRate = value;
        page_->RefreshFromOptions();
        EXPECT_EQ(Checked(kRates), id);
    }
    options_.SoundSampSize = 8;
    page_->RefreshFromOptions();
    EXPECT_EQ(Checked(kSizes), IDC_SOUND_8BIT);
}

TEST_F(SoundPageTest, AValueThePageDoesNotOfferShowsTheLastButtonAndStays) {
    options_.SoundSampRate = 9000;
    options_.SoundSampSize = 12;
    page_->RefreshFromOptions();
    EXPECT_EQ(Checked(kRates), IDC_SOUND_44100);
    EXPECT_EQ(Checked(kSizes), IDC_SOUND_16BIT);
    EXPECT_EQ(options_.SoundSampRate, 9000);
    EXPECT_EQ(options_.SoundSampSize, 12);
}

} // namespace
