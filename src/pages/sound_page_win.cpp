#include "pages/sound_page_win.h"

#include "resources/resource_ids.h"

namespace {

struct Choice {
    int buttonId;
    int32_t value;
};

constexpr Choice kSizes[] = {{IDC_SOUND_8BIT, 8}, {IDC_SOUND_16BIT, 16}};
constexpr Choice kRates[] = {{IDC_SOUND_8000, 8000},
                             {IDC_SOUND_11025, 11025},
                             {IDC_SOUND_22050, 22050},
                             {IDC_SOUND_44100, 44100}};

// The button of the value, or the last one for a value the page does not offer; the value itself
// is left alone.
template <size_t N> int ButtonFor(const Choice (&choices)[N], int32_t value) {
    for (const Choice& c : choices) {
        if (c.value == value)
            return c.buttonId;
    }
    return choices[N - 1].buttonId;
}

} // namespace

CMyPropertyPage4::CMyPropertyPage4(RecordingOptions& options)
    : OptionPage(IDD_PAGE_SOUND, options) {}

void CMyPropertyPage4::ShowOptions() {
    const int size = ButtonFor(kSizes, options_.SoundSampSize);
    const int rate = ButtonFor(kRates, options_.SoundSampRate);
    for (const Choice& c : kSizes)
        Item(c.buttonId).SetChecked(c.buttonId == size);
    for (const Choice& c : kRates)
        Item(c.buttonId).SetChecked(c.buttonId == rate);
}

void CMyPropertyPage4::OnControl(int id, int code) {
    if (code != BN_CLICKED)
        return;
    for (const Choice& c : kSizes) {
        if (c.buttonId == id)
            options_.SoundSampSize = c.value;
    }
    for (const Choice& c : kRates) {
        if (c.buttonId == id)
            options_.SoundSampRate = c.value;
    }
}
