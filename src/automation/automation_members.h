#pragma once
// The members of the automation object: fixed dispatch ids 1 to 23 (scripts and typed clients
// compiled against them keep working), their names, their automation types and, for a property,
// how it is read from the options and put through the option rules. The type library describes
// the same table; a test holds the two together.

#include "engine/recording_options.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace automation {

enum class MemberKind { Property, Method };
// The automation type of a property, or of a method's result (None: no result).
enum class ValueType { None, I2, I4, R8, Bstr, Bool };

namespace dispid {
inline constexpr int StartX = 1;
inline constexpr int StartY = 2;
inline constexpr int Width = 3;
inline constexpr int Height = 4;
inline constexpr int FrameRate = 5;
inline constexpr int FileName = 6;
inline constexpr int PlaybackRate = 7;
inline constexpr int IncrementFileName = 8;
inline constexpr int RecordSound = 9;
inline constexpr int KeyFrames = 10;
inline constexpr int CompQuality = 11;
inline constexpr int SoundSampSize = 12;
inline constexpr int SoundSampRate = 13;
inline constexpr int FlashRect = 14;
inline constexpr int StartRec = 15;
inline constexpr int StopRec = 16;
inline constexpr int ShowWindow = 17;
inline constexpr int HideWindow = 18;
inline constexpr int PauseRec = 19;
inline constexpr int GetRecordState = 20;
inline constexpr int CaptureSingleFrame = 21;
inline constexpr int EnableHotKeys = 22;
inline constexpr int DisableHotKeys = 23;
inline constexpr int HighlightClicks = 24;
inline constexpr int ShowKeys = 25;
} // namespace dispid

// A property's value: whole numbers (I2, I4), rates (R8), names (Bstr) and switches (Bool).
using Value = std::variant<int32_t, double, std::string, bool>;

struct Member {
    int dispid;
    std::string_view name;
    MemberKind kind;
    ValueType type;
    // The options a put changes, for the page that shows them to refresh.
    OptionGroup group = OptionGroup::All;
    // A property's value in the options, and its put: false when refused (a value of the wrong
    // kind, out of range, or one the option rules do not allow), the options unchanged.
    Value (*get)(const RecordingOptions&) = nullptr;
    bool (*put)(RecordingOptions&, const Value&) = nullptr;
    // May be put while a recording runs: the region's place, which panning moves anyway.
    bool whileRecording = false;
};

inline constexpr int kMemberCount = 25;

// In dispatch id order: Members()[i].dispid == i + 1.
const std::array<Member, kMemberCount>& Members() noexcept;
// The member with this dispatch id, or none.
const Member* MemberById(int dispid) noexcept;
// The dispatch id of the member named so, letter case ignored (ASCII), or 0.
int FindMember(std::wstring_view name) noexcept;

// One value the class's registration writes, under the user's classes root.
struct RegistryValue {
    std::string key;   // below Software\Classes
    std::string name;  // empty: the key's default value
    std::string value; // a string value
    bool operator==(const RegistryValue&) const = default;
};

// Everything that makes the class creatable by its name and describes it to typed clients:
// the programmatic identifier, the class with its local server (the program's path, quoted so
// a path with spaces starts the right program), the type library and the dispatch interface.
std::vector<RegistryValue> ClassRegistration(std::string_view programPath,
                                             std::string_view typeLibPath, bool win64);

} // namespace automation
