#include "settings/stored_options.h"

#include "engine/option_rules.h"

#include <algorithm>
#include <optional>
#include <type_traits>

namespace {

// Hot-key descriptions are kept in 60-byte buffers, terminator included.
constexpr std::size_t kDescCapacity = 60;
constexpr std::size_t kFileNameCapacity = option_rules::kMaxFileName + 1;
constexpr uint32_t kAllModifiers = modifier::Alt | modifier::Control | modifier::Shift;

// The plain value type of a field, seeing through the timer thread's Shared wrapper.
template <class T> struct Plain { using Type = T; };
template <class T> struct Plain<Shared<T>> { using Type = T; };
template <class Field>
using FieldValue =
    typename Plain<std::remove_cvref_t<std::invoke_result_t<Field, RecordingOptions&>>>::Type;

// A field is named by a captureless lambda `[](auto& o) -> auto& { return o.X; }`, which serves
// the const record when saving and the mutable one when loading. A rule turns the stored number
// into the field's value, or refuses it.
template <class Field, class Rule> constexpr StoredOption Number(const char* name, Field, Rule) {
    return {name,
            stored_type::Dword,
            4,
            [](RecordingOptions& o, uint32_t stored) {
                using T = FieldValue<Field>;
                const std::optional<T> value = Rule{}(static_cast<T>(stored));
                if (!value)
                    return false;
                Field{}(o) = *value;
                return true;
            },
            [](const RecordingOptions& o) {
                return static_cast<uint32_t>(static_cast<FieldValue<Field>>(Field{}(o)));
            },
            nullptr,
            nullptr};
}

template <class Field> constexpr StoredOption Rate(const char* name, Field) {
    return {name,
            stored_type::Dword,
            4,
            [](RecordingOptions& o, uint32_t stored) {
                return option_rules::LoadRate(stored, Field{}(o));
            },
            [](const RecordingOptions& o) { return option_rules::RateToThousandths(Field{}(o)); },
            nullptr,
            nullptr};
}

template <class Field, class Rule>
constexpr StoredOption Text(const char* name, std::size_t capacity, Field, Rule) {
    return {name,
            stored_type::Text,
            capacity,
            nullptr,
            nullptr,
            [](RecordingOptions& o, std::string_view text) {
                if (!Rule{}(text))
                    return false;
                Field{}(o).assign(text);
                return true;
            },
            [](const RecordingOptions& o) -> const std::string& { return Field{}(o); }};
}

// Rules for stored numbers.
constexpr auto AnyValue = [](auto v) { return std::optional(v); };
constexpr auto Size = [](int32_t v) {
    return option_rules::IsValidSize(v) ? std::optional(v) : std::nullopt;
};
constexpr auto Position = [](int32_t v) {
    return option_rules::IsValidPosition(v) ? std::optional(v) : std::nullopt;
};
// What the video page accepts, so a stored value never holds the focus in its edit.
constexpr auto KeyFrameInterval = [](int32_t v) {
    return option_rules::IsValidKeyFrames(v) ? std::optional(v) : std::nullopt;
};
// Any non-zero value is on; kept as 1 so what is saved is what the setters would store.
constexpr auto Flag = [](int32_t v) { return std::optional<int32_t>(v != 0 ? 1 : 0); };
constexpr auto WndHideId = [](int32_t v) {
    return v >= wnd_hide::Stay && v <= wnd_hide::HideToo ? std::optional(v) : std::nullopt;
};
// The wave format takes only the listed sizes and rates; a stored value in between gets the one
// the automation setter would pick, rather than no sound format at all.
constexpr auto SampleSize = [](int32_t v) {
    return std::optional(option_rules::NearestSampleSize(v));
};
constexpr auto SampleRate = [](int32_t v) {
    return std::optional(option_rules::NearestSampleRate(v));
};
// A virtual-key code is one byte; anything wider could never be registered as a hot key.
constexpr auto KeyCode = [](uint32_t v) { return v <= 0xFF ? std::optional(v) : std::nullopt; };
// Only the modifiers the hot-key page can show and set.
constexpr auto Modifiers = [](auto v) {
    using T = decltype(v);
    return (static_cast<uint32_t>(v) & ~kAllModifiers) == 0 ? std::optional<T>(v) : std::nullopt;
};

constexpr auto ShowKeysLevel = [](int32_t v) {
    return option_rules::IsValidShowKeys(v) ? std::optional(v) : std::nullopt;
};

constexpr auto FileName = [](std::string_view t) { return option_rules::IsValidFileName(t); };
// Descriptions are made from key names, never typed; a control character could only come from
// an edited store, and a line break would split an options file's line.
constexpr auto DescriptionText = [](std::string_view t) {
    return std::none_of(t.begin(), t.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u < 0x20 || u == 0x7f;
    });
};

// clang-format off
#define FIELD(member) [](auto& o) -> auto& { return o.member; }
// clang-format on

const StoredOption kStateOptions[] = {
    Number("StartX", FIELD(StartX), Position),
    Number("StartY", FIELD(StartY), Position),
    Number("Width", FIELD(Width), Size),
    Number("Height", FIELD(Height), Size),
    Number("WinX", FIELD(WinX), AnyValue),
    Number("WinY", FIELD(WinY), AnyValue),
    Number("WndHide", FIELD(WndHide), WndHideId),
    Number("IncFilename", FIELD(IncrementFileName), Flag),
    Number("RecSound", FIELD(RecordSound), Flag),
    Number("FlashRect", FIELD(FlashRect), Flag),
    // The rate is written before the size; a new options file lists its lines in this order.
    Number("SoundSampRate", FIELD(SoundSampRate), SampleRate),
    Number("SoundSampSize", FIELD(SoundSampSize), SampleSize),
    Rate("FPS", FIELD(FrameRate)),
    Rate("FPSPlay", FIELD(PlaybackRate)),
    Number("Compress", FIELD(CompQuality), AnyValue),
    Number("KeyFrames", FIELD(KeyFrames), KeyFrameInterval),
    Text("AVIFileName", kFileNameCapacity, FIELD(FileName), FileName),
    Number("HighlightClicks", FIELD(HighlightClicks), Flag),
    Number("ShowKeys", FIELD(ShowKeys), ShowKeysLevel),
};

const StoredOption kKeysOptions[] = {
    Number("Start Key", FIELD(Start.Key), KeyCode),
    Number("Start Mod", FIELD(Start.Mod), Modifiers),
    Text("Start Desc", kDescCapacity, FIELD(Start.Desc), DescriptionText),
    Number("Pause Key", FIELD(Pause.Key), KeyCode),
    Number("Pause Mod", FIELD(Pause.Mod), Modifiers),
    Text("Pause Desc", kDescCapacity, FIELD(Pause.Desc), DescriptionText),
    Number("SingleShot Key", FIELD(SingleShot.Key), KeyCode),
    Number("SingleShot Mod", FIELD(SingleShot.Mod), Modifiers),
    Text("SingleShot Desc", kDescCapacity, FIELD(SingleShot.Desc), DescriptionText),
    Number("LockPan Key", FIELD(LockPan.Key), KeyCode),
    Number("LockPan Mod", FIELD(LockPan.Mod), Modifiers),
    Text("LockPan Desc", kDescCapacity, FIELD(LockPan.Desc), DescriptionText),
    Number("Pan Modifiers", FIELD(PanModifiers), Modifiers),
    Number("Pan Locked", FIELD(PanLocked), Flag),
};

#undef FIELD

uint32_t LittleEndian(const std::vector<unsigned char>& b) noexcept {
    return static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
           static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[3]) << 24;
}

} // namespace

const char* SectionKeyName(OptionSection section) noexcept {
    return section == OptionSection::State ? "State" : "Keys";
}

std::span<const StoredOption> StoredOptions(OptionSection section) noexcept {
    if (section == OptionSection::State)
        return kStateOptions;
    return kKeysOptions;
}

const StoredOption* FindStoredOption(std::string_view name) noexcept {
    for (OptionSection section : {OptionSection::State, OptionSection::Keys})
        for (const StoredOption& option : StoredOptions(section))
            if (name == option.name)
                return &option;
    return nullptr;
}

ApplyResult ApplyStoredValue(const StoredOption& option, RecordingOptions& options,
                             const StoredValue& value) {
    if (value.type != option.type || value.bytes.size() > option.capacity)
        return ApplyResult::Refused;
    if (option.type == stored_type::Dword) {
        if (value.bytes.size() != 4)
            return ApplyResult::Refused;
        return option.loadNumber(options, LittleEndian(value.bytes)) ? ApplyResult::Applied
                                                                     : ApplyResult::Refused;
    }
    // A text may arrive without its terminator; it then ends with the bytes, and one that fills
    // the whole capacity is a character too long.
    const auto* begin = reinterpret_cast<const char*>(value.bytes.data());
    const auto* end = begin + value.bytes.size();
    const std::string_view text(begin,
                                static_cast<std::size_t>(std::find(begin, end, '\0') - begin));
    if (text.size() >= option.capacity)
        return ApplyResult::Refused;
    return option.loadText(options, text) ? ApplyResult::Applied : ApplyResult::Refused;
}

ApplyResult ApplyStoredValue(std::string_view name, RecordingOptions& options,
                             const StoredValue& value) {
    const StoredOption* option = FindStoredOption(name);
    if (option == nullptr)
        return ApplyResult::UnknownName;
    return ApplyStoredValue(*option, options, value);
}

StoredValue EncodeStoredValue(const StoredOption& option, const RecordingOptions& options) {
    StoredValue value{option.type, {}};
    if (option.type == stored_type::Dword) {
        const uint32_t v = option.saveNumber(options);
        value.bytes = {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
                       static_cast<unsigned char>(v >> 16), static_cast<unsigned char>(v >> 24)};
        return value;
    }
    const std::string& text = option.saveText(options);
    value.bytes.assign(text.begin(), text.end());
    value.bytes.push_back(0);
    return value;
}
