#include "pages/compressor_list_win.h"

#include "engine/frame_format.h"
#include "framework/app_win.h"
#include "resources/resource_ids.h"

#include <windows.h>
// windows.h first: vfw.h depends on its types.
#include <vfw.h>

#include <cctype>
#include <string>

namespace {

// The compression manager finds a handler whatever its case, so "msvc" and "MSVC" are one
// compressor.
[[nodiscard]] bool SameHandler(uint32_t a, uint32_t b) {
    for (int shift = 0; shift < 32; shift += 8) {
        const int ca = std::toupper(static_cast<unsigned char>(a >> shift));
        const int cb = std::toupper(static_cast<unsigned char>(b >> shift));
        if (ca != cb)
            return false;
    }
    return true;
}

[[nodiscard]] bool Listed(Window list, uint32_t fourcc) {
    const auto count = list.Send(CB_GETCOUNT);
    for (LRESULT i = 0; i < count; ++i) {
        if (SameHandler(static_cast<uint32_t>(list.Send(CB_GETITEMDATA, i)), fourcc))
            return true;
    }
    return false;
}

void Add(Window list, const std::string& text, uint32_t fourcc) {
    const auto index = list.Send(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    if (index >= 0)
        list.Send(CB_SETITEMDATA, index, fourcc);
}

// In the user's code page, so the list shows what the compressor says.
[[nodiscard]] std::string Narrow(const WCHAR* text) {
    char buffer[sizeof(ICINFO::szDescription) * 2] = "";
    const int n =
        ::WideCharToMultiByte(CP_ACP, 0, text, -1, buffer, sizeof buffer, nullptr, nullptr);
    return n > 0 ? std::string(buffer) : std::string();
}

} // namespace

void FillCompressorList(Window list) {
    list.Send(CB_RESETCONTENT);
    Add(list, App().LoadString(IDS_COMPRESSOR_AUTO), 0);

    for (DWORD index = 0;; ++index) {
        ICINFO info{};
        info.dwSize = sizeof info;
        if (!::ICInfo(ICTYPE_VIDEO, index, &info))
            break;
        // The handler the enumeration names is the one the compressing stream will open again;
        // a compressor may describe itself under another (Wine's Video 1 says "CRAM").
        const uint32_t handler = info.fccHandler;
        if (handler == 0 || SameHandler(handler, fourcc::Dib) || Listed(list, handler))
            continue;
        // One that cannot be opened or described is left out; the ones after it still count.
        const HIC ic = ::ICOpen(info.fccType, handler, ICMODE_QUERY);
        if (ic == nullptr)
            continue;
        ICINFO described{};
        described.dwSize = sizeof described;
        const LRESULT got = ::ICGetInfo(ic, &described, sizeof described);
        ::ICClose(ic);
        if (got == 0)
            continue;
        described.szDescription[std::size(described.szDescription) - 1] = L'\0';
        std::string text = Narrow(described.szDescription);
        if (text.empty())
            text = FourccText(handler);
        Add(list, text, handler);
    }

    Add(list, App().LoadString(IDS_COMPRESSOR_NONE), fourcc::Dib);
    list.Send(CB_SETCURSEL, 0);
}

uint32_t SelectedCompressor(Window list) {
    const auto selected = list.Send(CB_GETCURSEL);
    if (selected == CB_ERR)
        return 0;
    const auto data = list.Send(CB_GETITEMDATA, selected);
    return data == CB_ERR ? 0 : static_cast<uint32_t>(data);
}

bool SelectCompressor(Window list, uint32_t fourcc) {
    const auto count = list.Send(CB_GETCOUNT);
    for (LRESULT i = 0; i < count; ++i) {
        if (static_cast<uint32_t>(list.Send(CB_GETITEMDATA, i)) == fourcc) {
            list.Send(CB_SETCURSEL, i);
            return true;
        }
    }
    return false;
}
