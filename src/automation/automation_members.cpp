#include "automation/automation_members.h"

#include "automation/automation_guids.h"
#include "engine/option_rules.h"

#include <cstdint>

namespace automation {

namespace {

using enum MemberKind;
using enum ValueType;
using enum OptionGroup;
namespace r = option_rules;

bool Whole(const Value& v, int16_t& out) {
    const auto* x = std::get_if<int32_t>(&v);
    if (!x || *x < INT16_MIN || *x > INT16_MAX)
        return false;
    out = static_cast<int16_t>(*x);
    return true;
}

template <class T> const T* As(const Value& v) {
    return std::get_if<T>(&v);
}

constexpr std::array<Member, kMemberCount> kMembers = {{
    {dispid::StartX, "StartX", Property, I2, Region,
     [](const RecordingOptions& o) -> Value { return o.StartX.load(); },
     [](RecordingOptions& o, const Value& v) {
         int16_t x = 0;
         return Whole(v, x) && r::SetStartX(o, x);
     },
     true},
    {dispid::StartY, "StartY", Property, I2, Region,
     [](const RecordingOptions& o) -> Value { return o.StartY.load(); },
     [](RecordingOptions& o, const Value& v) {
         int16_t y = 0;
         return Whole(v, y) && r::SetStartY(o, y);
     },
     true},
    {dispid::Width, "Width", Property, I2, Region,
     [](const RecordingOptions& o) -> Value { return o.Width.load(); },
     [](RecordingOptions& o, const Value& v) {
         int16_t w = 0;
         return Whole(v, w) && r::SetWidth(o, w, false);
     }},
    {dispid::Height, "Height", Property, I2, Region,
     [](const RecordingOptions& o) -> Value { return o.Height.load(); },
     [](RecordingOptions& o, const Value& v) {
         int16_t h = 0;
         return Whole(v, h) && r::SetHeight(o, h, false);
     }},
    {dispid::FrameRate, "FrameRate", Property, R8, Video,
     [](const RecordingOptions& o) -> Value { return o.FrameRate; },
     [](RecordingOptions& o, const Value& v) {
         return As<double>(v) && r::SetFrameRate(o, *As<double>(v), false);
     }},
    {dispid::FileName, "FileName", Property, Bstr, Video,
     [](const RecordingOptions& o) -> Value { return o.FileName; },
     [](RecordingOptions& o, const Value& v) {
         return As<std::string>(v) && r::SetFileName(o, *As<std::string>(v), false);
     }},
    {dispid::PlaybackRate, "PlaybackRate", Property, R8, Video,
     [](const RecordingOptions& o) -> Value { return o.PlaybackRate; },
     [](RecordingOptions& o, const Value& v) {
         return As<double>(v) && r::SetPlaybackRate(o, *As<double>(v), false);
     }},
    {dispid::IncrementFileName, "IncrementFileName", Property, Bool, Video,
     [](const RecordingOptions& o) -> Value { return o.IncrementFileName != 0; },
     [](RecordingOptions& o, const Value& v) {
         return As<bool>(v) && r::SetIncrementFileName(o, *As<bool>(v), false);
     }},
    {dispid::RecordSound, "RecordSound", Property, Bool, Video,
     [](const RecordingOptions& o) -> Value { return o.RecordSound != 0; },
     [](RecordingOptions& o, const Value& v) {
         return As<bool>(v) && r::SetRecordSound(o, *As<bool>(v), false);
     }},
    {dispid::KeyFrames, "KeyFrames", Property, I2, Video,
     [](const RecordingOptions& o) -> Value { return o.KeyFrames; },
     [](RecordingOptions& o, const Value& v) {
         int16_t n = 0;
         return Whole(v, n) && r::SetKeyFrames(o, n, false);
     }},
    {dispid::CompQuality, "CompQuality", Property, I2, Video,
     [](const RecordingOptions& o) -> Value { return o.CompQuality; },
     [](RecordingOptions& o, const Value& v) {
         int16_t q = 0;
         return Whole(v, q) && r::SetCompQuality(o, q, false);
     }},
    {dispid::SoundSampSize, "SoundSampSize", Property, I2, Sound,
     [](const RecordingOptions& o) -> Value { return o.SoundSampSize; },
     [](RecordingOptions& o, const Value& v) {
         int16_t bits = 0;
         return Whole(v, bits) && r::SetSoundSampSize(o, bits, false);
     }},
    {dispid::SoundSampRate, "SoundSampRate", Property, I4, Sound,
     [](const RecordingOptions& o) -> Value { return o.SoundSampRate; },
     [](RecordingOptions& o, const Value& v) {
         return As<int32_t>(v) && r::SetSoundSampRate(o, *As<int32_t>(v), false);
     }},
    {dispid::FlashRect, "FlashRect", Property, Bool, Region,
     [](const RecordingOptions& o) -> Value { return o.FlashRect != 0; },
     [](RecordingOptions& o, const Value& v) {
         return As<bool>(v) && r::SetFlashRect(o, *As<bool>(v), false);
     }},
    {dispid::StartRec, "StartRec", Method, I2},
    {dispid::StopRec, "StopRec", Method, I2},
    {dispid::ShowWindow, "ShowWindow", Method, None},
    {dispid::HideWindow, "HideWindow", Method, None},
    {dispid::PauseRec, "PauseRec", Method, I2},
    {dispid::GetRecordState, "GetRecordState", Method, I2},
    {dispid::CaptureSingleFrame, "CaptureSingleFrame", Method, Bool},
    {dispid::EnableHotKeys, "EnableHotKeys", Method, None},
    {dispid::DisableHotKeys, "DisableHotKeys", Method, None},
    {dispid::HighlightClicks, "HighlightClicks", Property, Bool, Video,
     [](const RecordingOptions& o) -> Value { return o.HighlightClicks != 0; },
     [](RecordingOptions& o, const Value& v) {
         return As<bool>(v) && r::SetHighlightClicks(o, *As<bool>(v), false);
     }},
    {dispid::ShowKeys, "ShowKeys", Property, I2, Video,
     [](const RecordingOptions& o) -> Value { return o.ShowKeys; },
     [](RecordingOptions& o, const Value& v) {
         int16_t level = 0;
         return Whole(v, level) && r::SetShowKeys(o, level, false);
     }},
}};

constexpr bool IdsFollowOrder() {
    for (int i = 0; i < kMemberCount; ++i)
        if (kMembers[i].dispid != i + 1)
            return false;
    return true;
}
static_assert(IdsFollowOrder());

// Every property can be read and put; no method can.
constexpr bool PropertiesHaveAccess() {
    for (const Member& m : kMembers)
        if ((m.kind == Property) != (m.get != nullptr && m.put != nullptr))
            return false;
    return true;
}
static_assert(PropertiesHaveAccess());

wchar_t LowerAscii(wchar_t c) noexcept {
    return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

bool EqualsIgnoringCase(std::wstring_view a, std::string_view b) noexcept {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (LowerAscii(a[i]) != LowerAscii(static_cast<wchar_t>(b[i])))
            return false;
    return true;
}

std::string Braced(const char* guid) {
    std::string text = "{";
    for (const char* p = guid; *p; ++p)
        text += static_cast<char>(*p >= 'a' && *p <= 'z' ? *p - 'a' + 'A' : *p);
    return text + "}";
}

} // namespace

const std::array<Member, kMemberCount>& Members() noexcept {
    return kMembers;
}

const Member* MemberById(int dispid) noexcept {
    return dispid >= 1 && dispid <= kMemberCount ? &kMembers[dispid - 1] : nullptr;
}

int FindMember(std::wstring_view name) noexcept {
    for (const Member& m : kMembers)
        if (EqualsIgnoringCase(name, m.name))
            return m.dispid;
    return 0;
}

std::vector<RegistryValue> ClassRegistration(std::string_view programPath,
                                             std::string_view typeLibPath, bool win64) {
    const std::string progId = VIDORRA_PROGID;
    const std::string clsid = Braced(VIDORRA_STRINGIFY(VIDORRA_CLSID_TEXT));
    const std::string diid = Braced(VIDORRA_STRINGIFY(VIDORRA_DIID_TEXT));
    const std::string libid = Braced(VIDORRA_STRINGIFY(VIDORRA_LIBID_TEXT));
    const std::string version =
        std::to_string(VIDORRA_TYPELIB_MAJOR) + "." + std::to_string(VIDORRA_TYPELIB_MINOR);
    const std::string classKey = "CLSID\\" + clsid;
    const std::string libKey = "TypeLib\\" + libid + "\\" + version;
    std::string libDir(typeLibPath);
    const auto slash = libDir.find_last_of('\\');
    libDir = slash == std::string::npos ? std::string() : libDir.substr(0, slash);
    // The platform's marshaller of plain dispatch interfaces carries calls between processes.
    const std::string dispatchProxy = "{00020420-0000-0000-C000-000000000046}";
    return {
        {progId, "", "Vidorra Application"},
        {progId + "\\CLSID", "", clsid},
        {classKey, "", "Vidorra Application"},
        {classKey + "\\ProgID", "", progId},
        {classKey + "\\LocalServer32", "", "\"" + std::string(programPath) + "\""},
        {classKey + "\\TypeLib", "", libid},
        {classKey + "\\Version", "", version},
        {libKey, "", "Vidorra screen recorder"},
        {libKey + "\\0\\" + (win64 ? "win64" : "win32"), "", std::string(typeLibPath)},
        {libKey + "\\FLAGS", "", "0"},
        {libKey + "\\HELPDIR", "", libDir},
        {"Interface\\" + diid, "", "IVidorraApplication"},
        {"Interface\\" + diid + "\\ProxyStubClsid32", "", dispatchProxy},
        {"Interface\\" + diid + "\\TypeLib", "", libid},
        {"Interface\\" + diid + "\\TypeLib", "Version", version},
    };
}

} // namespace automation
