#include "pages/compressor_list_win.h"

#include "engine/frame_format.h"
#include "framework/app_win.h"
#include "framework/window_win.h"
#include "resource_ids.h"

#include <windows.h>
// windows.h first: vfw.h depends on its types.
#include <vfw.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr DWORD kUnopenable = mmioFOURCC('t', 's', 'u', 'o');
constexpr DWORD kUndescribed = mmioFOURCC('t', 's', 'u', 'd');
constexpr DWORD kDescribed = mmioFOURCC('t', 's', 'o', 'k');
constexpr wchar_t kDescription[] = L"Test \u20ac codec";

// Each one describes itself to the enumeration, which asks without opening it (driver id 0).
// Then the first cannot be opened, the second will not describe itself once open.
template <DWORD kHandler>
LRESULT CALLBACK DriverProc(DWORD_PTR id, HDRVR, UINT msg, LPARAM p1, LPARAM p2) {
    switch (msg) {
    case DRV_LOAD:
    case DRV_FREE:
    case DRV_ENABLE:
    case DRV_DISABLE:
    case DRV_INSTALL:
    case DRV_REMOVE:
    case DRV_CLOSE:
        return DRV_OK;
    case DRV_OPEN:
        return kHandler == kUnopenable ? 0 : 1;
    case ICM_GETINFO: {
        auto* info = reinterpret_cast<ICINFO*>(p1);
        if ((kHandler == kUndescribed && id != 0) || info == nullptr ||
            p2 < static_cast<LPARAM>(sizeof(ICINFO)))
            return 0;
        std::memset(info, 0, sizeof(ICINFO));
        info->dwSize = sizeof(ICINFO);
        info->fccType = ICTYPE_VIDEO;
        info->fccHandler = kHandler;
        std::memcpy(info->szDescription, kDescription, sizeof kDescription);
        return sizeof(ICINFO);
    }
    default:
        return ICERR_UNSUPPORTED;
    }
}

// Installed in this process only, for the life of the object.
class InstalledCompressor {
public:
    InstalledCompressor(DWORD handler, DRIVERPROC proc) : handler_(handler) {
        installed_ = ::ICInstall(ICTYPE_VIDEO, handler, reinterpret_cast<LPARAM>(proc), nullptr,
                                 ICINSTALL_FUNCTION) != FALSE;
    }
    InstalledCompressor(const InstalledCompressor&) = delete;
    InstalledCompressor& operator=(const InstalledCompressor&) = delete;
    ~InstalledCompressor() {
        if (installed_)
            ::ICRemove(ICTYPE_VIDEO, handler_, 0);
    }
    [[nodiscard]] bool Installed() const { return installed_; }

private:
    DWORD handler_;
    bool installed_ = false;
};

struct Item {
    std::string text;
    uint32_t fourcc;
};

class CompressorListTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(app_.LoadResourceLibrary("VidRes.dll"));
        // Never shown: the list works the same without a window on the screen.
        list_ =
            Window(::CreateWindowExA(0, "COMBOBOX", "", WS_POPUP | CBS_DROPDOWNLIST, 0, 0, 200, 200,
                                     nullptr, nullptr, ::GetModuleHandleA(nullptr), nullptr));
        ASSERT_TRUE(list_);
    }
    void TearDown() override { ::DestroyWindow(list_.Handle()); }

    [[nodiscard]] std::vector<Item> Items() const {
        std::vector<Item> items;
        const auto count = list_.Send(CB_GETCOUNT);
        for (LRESULT i = 0; i < count; ++i) {
            std::string text(static_cast<size_t>(list_.Send(CB_GETLBTEXTLEN, i)), '\0');
            list_.Send(CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text.data()));
            items.push_back({text, static_cast<uint32_t>(list_.Send(CB_GETITEMDATA, i))});
        }
        return items;
    }

    // The handlers the compression manager enumerates, in its order.
    [[nodiscard]] static std::vector<uint32_t> Enumerated() {
        std::vector<uint32_t> handlers;
        ICINFO info{};
        info.dwSize = sizeof info;
        for (DWORD i = 0; ::ICInfo(ICTYPE_VIDEO, i, &info); ++i)
            handlers.push_back(info.fccHandler);
        return handlers;
    }

    Application app_{::GetModuleHandleA(nullptr)};
    Window list_;
};

TEST_F(CompressorListTest, HoldsTheAutomaticChoiceTheInstalledCompressorsAndUncompressed) {
    FillCompressorList(list_);
    const std::vector<Item> items = Items();
    ASSERT_GE(items.size(), 2u);
    EXPECT_EQ(items.front().text, App().LoadString(IDS_COMPRESSOR_AUTO));
    EXPECT_EQ(items.front().fourcc, 0u);
    EXPECT_EQ(items.back().text, App().LoadString(IDS_COMPRESSOR_NONE));
    EXPECT_EQ(items.back().fourcc, fourcc::Dib);
    EXPECT_EQ(list_.Send(CB_GETCURSEL), 0);

    // Wine's own compressors all open and describe themselves. Each is kept under the handler
    // it was found and opened by: Wine's Video 1, found as "msvc", calls itself "CRAM", a name
    // it cannot be opened by.
    std::vector<uint32_t> listed;
    for (size_t i = 1; i + 1 < items.size(); ++i) {
        listed.push_back(items[i].fourcc);
        EXPECT_FALSE(items[i].text.empty());
    }
    EXPECT_EQ(listed, Enumerated());

    // Filling again starts afresh.
    FillCompressorList(list_);
    EXPECT_EQ(Items().size(), items.size());
}

TEST_F(CompressorListTest, OneThatCannotBeOpenedOrDescribedIsLeftOutAndTheRestStillListed) {
    const InstalledCompressor unopenable(kUnopenable, &DriverProc<kUnopenable>);
    const InstalledCompressor undescribed(kUndescribed, &DriverProc<kUndescribed>);
    const InstalledCompressor described(kDescribed, &DriverProc<kDescribed>);
    ASSERT_TRUE(described.Installed() && undescribed.Installed() && unopenable.Installed());
    std::vector<uint32_t> expected = Enumerated();
    const auto failing = [](uint32_t h) { return h == kUnopenable || h == kUndescribed; };
    // Something comes after the failing ones in the enumeration.
    const auto lastFailing = std::find_if(expected.rbegin(), expected.rend(), failing);
    ASSERT_NE(lastFailing, expected.rend());
    ASSERT_NE(lastFailing, expected.rbegin());
    std::erase_if(expected, failing);

    FillCompressorList(list_);
    const std::vector<Item> items = Items();
    std::vector<uint32_t> listed;
    for (size_t i = 1; i + 1 < items.size(); ++i)
        listed.push_back(items[i].fourcc);
    EXPECT_EQ(listed, expected);

    const auto ours = std::find_if(items.begin(), items.end(),
                                   [](const Item& item) { return item.fourcc == kDescribed; });
    ASSERT_NE(ours, items.end());
    // The description in the user's code page, not cut to the low bytes of its characters.
    EXPECT_NE(ours->text, "Test \xac codec");
    if (::GetACP() == 1252) {
        EXPECT_EQ(ours->text, "Test \x80 codec");
    }
}

TEST_F(CompressorListTest, SelectionFollowsTheKeptFourcc) {
    FillCompressorList(list_);
    EXPECT_EQ(SelectedCompressor(list_), 0u);
    EXPECT_TRUE(SelectCompressor(list_, fourcc::Dib));
    EXPECT_EQ(SelectedCompressor(list_), fourcc::Dib);
    EXPECT_FALSE(SelectCompressor(list_, kUnopenable));
    EXPECT_EQ(SelectedCompressor(list_), fourcc::Dib);
    list_.Send(CB_RESETCONTENT);
    EXPECT_EQ(SelectedCompressor(list_), 0u);
}

} // namespace
