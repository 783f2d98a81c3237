#include "pages/region_page_win.h"

#include "engine/option_rules.h"
#include "resources/resource_ids.h"
#include "select/select_region_win.h"

#include <cstdint>
#include <limits>

namespace {

// A position may be negative (the region may start on a monitor left of or above the primary
// one); a size must leave at least one pixel. Both as every other path into the options has them.
constexpr Range<int32_t> kPosition{option_rules::kMinPosition, option_rules::kMaxPosition};
constexpr Range<int32_t> kSize{1, std::numeric_limits<int32_t>::max()};

constexpr int kWndHideButtons[] = {IDC_REGION_WND_KEEP, IDC_REGION_WND_MINIMIZE,
                                   IDC_REGION_WND_MINIMIZE_HIDE, IDC_REGION_WND_HIDE};

[[nodiscard]] bool IsWndHideButton(int id) {
    for (const int button : kWndHideButtons) {
        if (button == id)
            return true;
    }
    return false;
}

} // namespace

CMyPropertyPage2::CMyPropertyPage2(RecordingOptions& options)
    : OptionPage(IDD_PAGE_REGION, options), fields_{IntField{IDC_REGION_HEIGHT, &height_, kSize},
                                                    IntField{IDC_REGION_TOP, &top_, kPosition},
                                                    IntField{IDC_REGION_LEFT, &left_, kPosition},
                                                    IntField{IDC_REGION_WIDTH, &width_, kSize},
                                                    CheckField{IDC_REGION_FLASH, &flash_}} {}

void CMyPropertyPage2::ShowOptions() {
    left_ = options_.StartX;
    top_ = options_.StartY;
    width_ = options_.Width;
    height_ = options_.Height;
    flash_ = options_.FlashRect != 0 ? BST_CHECKED : BST_UNCHECKED;
    // Only the four radio buttons stand for a choice; any other value is none of them.
    if (!IsWndHideButton(options_.WndHide))
        options_.WndHide = wnd_hide::Minimize;
    for (const int button : kWndHideButtons)
        Item(button).SetChecked(button == options_.WndHide);
    ShowFields();
}

void CMyPropertyPage2::OnControl(int id, int code) {
    if (code == EN_KILLFOCUS) {
        switch (id) {
        case IDC_REGION_LEFT:
            if (ReadBack({id}))
                options_.StartX = left_;
            break;
        case IDC_REGION_TOP:
            if (ReadBack({id}))
                options_.StartY = top_;
            break;
        case IDC_REGION_WIDTH:
            if (ReadBack({id}))
                options_.Width = width_;
            break;
        case IDC_REGION_HEIGHT:
            if (ReadBack({id}))
                options_.Height = height_;
            break;
        default:
            break;
        }
        return;
    }
    if (code != BN_CLICKED)
        return;
    if (IsWndHideButton(id)) {
        options_.WndHide = id;
    } else if (id == IDC_REGION_FLASH) {
        if (ReadBack({id}))
            options_.FlashRect = flash_ == BST_CHECKED ? 1 : 0;
    } else if (id == IDC_REGION_SELECT || id == IDC_REGION_SELECT_WINDOW) {
        SelectOnScreen(id);
    }
}

void CMyPropertyPage2::SelectOnScreen(int buttonId) {
    const SelectionKind kind =
        buttonId == IDC_REGION_SELECT_WINDOW ? SelectionKind::Window : SelectionKind::Region;
    if (SelectScreenRegion(kind, MainWindow(), options_))
        RefreshFromOptions();
}
