#include "settings/stored_options.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr uint32_t kExpandText = 2, kBinary = 3, kQword = 11; // registry types we never write

StoredValue Bytes(uint32_t type, std::string_view bytes) {
    return {type, std::vector<unsigned char>(bytes.begin(), bytes.end())};
}
StoredValue Dword(uint32_t v) {
    const unsigned char b[4] = {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
                                static_cast<unsigned char>(v >> 16),
                                static_cast<unsigned char>(v >> 24)};
    return Bytes(stored_type::Dword, std::string_view(reinterpret_cast<const char*>(b), 4));
}
// As the program writes a text: with its terminator.
StoredValue Text(std::string text) {
    return Bytes(stored_type::Text, std::string_view(text.c_str(), text.size() + 1));
}
StoredValue Unterminated(std::string_view text) {
    return Bytes(stored_type::Text, text);
}

// One value applied to fresh options.
struct Applied {
    ApplyResult result;
    RecordingOptions options;
};
Applied Apply(std::string_view name, const StoredValue& value) {
    Applied a{ApplyResult::UnknownName, {}};
    a.result = ApplyStoredValue(name, a.options, value);
    return a;
}

std::vector<std::string> Names(OptionSection section) {
    std::vector<std::string> names;
    for (const StoredOption& option : StoredOptions(section))
        names.emplace_back(option.name);
    return names;
}

} // namespace

TEST(StoredOptions, ValueNamesAndWritingOrder) {
    // Other installations and options files know the values by these names, in this order.
    EXPECT_EQ(Names(OptionSection::State),
              (std::vector<std::string>{
                  "StartX", "StartY", "Width", "Height", "WinX", "WinY", "WndHide", "IncFilename",
                  "RecSound", "FlashRect", "SoundSampRate", "SoundSampSize", "FPS", "FPSPlay",
                  "Compress", "KeyFrames", "AVIFileName", "HighlightClicks", "ShowKeys"}));
    EXPECT_EQ(Names(OptionSection::Keys),
              (std::vector<std::string>{
                  "Start Key", "Start Mod", "Start Desc", "Pause Key", "Pause Mod", "Pause Desc",
                  "SingleShot Key", "SingleShot Mod", "SingleShot Desc", "LockPan Key",
                  "LockPan Mod", "LockPan Desc", "Pan Modifiers", "Pan Locked"}));
    EXPECT_EQ(Apply("Nonsense", Dword(1)).result, ApplyResult::UnknownName);
}

TEST(StoredOptions, NumbersAreFourLittleEndianBytesAndTextsEndInOneZero) {
    RecordingOptions o;
    o.StartX = -10;
    o.PlaybackRate = 0.5;
    o.Start.Desc = "";
    auto encode = [&](const char* name) { return EncodeStoredValue(*FindStoredOption(name), o); };
    EXPECT_EQ(encode("StartX"), Dword(0xFFFFFFF6u));
    EXPECT_EQ(encode("FPSPlay"), Dword(500));
    EXPECT_EQ(encode("AVIFileName"), Text("clip.avi"));
    EXPECT_EQ(encode("Start Desc"), Text(""));
    for (auto [rate, stored] : {std::pair{15.0, 15000u}, {7.5, 7500u}, {29.97, 29970u}}) {
        o.FrameRate = rate;
        EXPECT_EQ(encode("FPS"), Dword(stored)) << rate;
    }
}

TEST(StoredOptions, NumbersNeedADwordOfExactlyFourBytes) {
    EXPECT_EQ(Apply("Width", Dword(640)).options.Width, 640);
    for (const StoredValue& bad : {Bytes(stored_type::Dword, std::string_view("\x80\x02", 2)),
                                   Bytes(stored_type::Dword, std::string_view("\x80\x02\0\0\0", 5)),
                                   Bytes(stored_type::Dword, ""), Text("640"),
                                   Bytes(kBinary, std::string_view("\x80\x02\0\0", 4)),
                                   Bytes(kQword, std::string_view("\x80\x02\0\0\0\0\0\0", 8))}) {
        const Applied a = Apply("Width", bad);
        EXPECT_EQ(a.result, ApplyResult::Refused) << bad.type << "/" << bad.bytes.size();
        EXPECT_EQ(a.options.Width, 320);
    }
}

TEST(StoredOptions, TextsEndAtTheirZeroOrTheirBytesAndMustLeaveRoomForOne) {
    auto fileName = [](const StoredValue& v) { return Apply("AVIFileName", v).options.FileName; };
    EXPECT_EQ(fileName(Unterminated("a.avi")), "a.avi");
    EXPECT_EQ(fileName(Unterminated(std::string_view("a.avi\0junk", 10))), "a.avi");
    const std::string longest(259, 'n');
    EXPECT_EQ(fileName(Text(longest)), longest);
    EXPECT_EQ(fileName(Unterminated(longest)), longest);
    // 260 characters fill the whole buffer and leave no room for the terminator.
    EXPECT_EQ(fileName(Unterminated(longest + 'n')), "clip.avi");
    EXPECT_EQ(fileName(Text(longest + 'n')), "clip.avi");
    // The setters' refusals: empty, control characters.
    for (std::string_view bad : {std::string_view(""), std::string_view("a\tb.avi"),
                                 std::string_view("a\x7f.avi"), std::string_view("\0x.avi", 6)})
        EXPECT_EQ(fileName(Unterminated(bad)), "clip.avi") << bad;
    for (uint32_t type : {stored_type::Dword, kExpandText, kBinary})
        EXPECT_EQ(fileName(Bytes(type, std::string_view("x.avi\0", 6))), "clip.avi") << type;

    auto pauseDesc = [](const StoredValue& v) { return Apply("Pause Desc", v).options.Pause.Desc; };
    EXPECT_EQ(pauseDesc(Text(std::string(59, 'd'))), std::string(59, 'd'));
    EXPECT_EQ(pauseDesc(Unterminated(std::string(60, 'd'))), "F3");
    EXPECT_EQ(pauseDesc(Text(std::string(60, 'd'))), "F3");
    EXPECT_EQ(pauseDesc(Text("")), ""); // a binding without a text is no error
}

TEST(StoredOptions, NumbersGoThroughTheirFieldsRules) {
    auto applies = [](const char* name, uint32_t v) {
        return Apply(name, Dword(v)).result == ApplyResult::Applied;
    };
    EXPECT_EQ(Apply("StartX", Dword(0xFFFFFFF6u)).options.StartX, -10); // positions are signed
    // Bounded as every other path bounds them; the key frames to what the video page takes.
    for (uint32_t bad : {32768u, 0xFFFF7FFFu, 0x7FFFFFFFu, 0x80000000u}) {
        EXPECT_FALSE(applies("StartX", bad)) << bad;
        EXPECT_FALSE(applies("StartY", bad)) << bad;
    }
    EXPECT_TRUE(applies("StartY", 0xFFFF8000u));
    EXPECT_FALSE(applies("KeyFrames", 101));
    EXPECT_FALSE(applies("KeyFrames", 0xFFFFFFFFu));
    EXPECT_TRUE(applies("KeyFrames", 100));
    EXPECT_EQ(Apply("FPS", Dword(15000)).options.FrameRate, 15.0);
    EXPECT_DOUBLE_EQ(Apply("FPSPlay", Dword(29970)).options.PlaybackRate, 29.97);
    EXPECT_TRUE(applies("FPS", 1));
    EXPECT_TRUE(applies("FPS", 1000000));
    // A zero rate would divide by zero; the rest no timer can keep.
    for (uint32_t bad : {0u, 1000001u, 0x80000000u, 0xFFFFFFFFu}) {
        EXPECT_FALSE(applies("FPS", bad)) << bad;
        EXPECT_FALSE(applies("FPSPlay", bad)) << bad;
    }
    for (uint32_t bad : {0u, 0xFFFFFFFFu, 0x80000000u}) {
        EXPECT_FALSE(applies("Width", bad)) << bad;
        EXPECT_FALSE(applies("Height", bad)) << bad;
    }
    EXPECT_TRUE(applies("Height", 1));
    for (uint32_t bad : {0u, 1046u, 1051u})
        EXPECT_FALSE(applies("WndHide", bad)) << bad;
    EXPECT_TRUE(applies("WndHide", 1047));
    EXPECT_TRUE(applies("WndHide", 1050));

    EXPECT_EQ(Apply("RecSound", Dword(5)).options.RecordSound, 1); // flags stored as the setters do
    EXPECT_EQ(Apply("IncFilename", Dword(0)).options.IncrementFileName, 0);
    EXPECT_EQ(Apply("Pan Locked", Dword(0x100)).options.PanLocked, 1);
    EXPECT_EQ(Apply("HighlightClicks", Dword(7)).options.HighlightClicks, 1);
    EXPECT_EQ(Apply("ShowKeys", Dword(2)).options.ShowKeys, 2);
    EXPECT_FALSE(applies("ShowKeys", 3));

    // Sound formats snap to one the wave input takes, as the automation setters do.
    EXPECT_EQ(Apply("SoundSampRate", Dword(12345)).options.SoundSampRate, 22050);
    EXPECT_EQ(Apply("SoundSampRate", Dword(0xFFFFFFFFu)).options.SoundSampRate, 8000);
    EXPECT_EQ(Apply("SoundSampRate", Dword(96000)).options.SoundSampRate, 44100);
    EXPECT_EQ(Apply("SoundSampSize", Dword(12)).options.SoundSampSize, 8);
    EXPECT_EQ(Apply("SoundSampSize", Dword(24)).options.SoundSampSize, 16);

    // Hot keys: one-byte key codes; only the Alt, Ctrl and Shift bits.
    EXPECT_TRUE(applies("Start Key", 0xFF));
    EXPECT_FALSE(applies("Start Key", 0x171));
    EXPECT_TRUE(applies("LockPan Mod", 7));
    EXPECT_FALSE(applies("LockPan Mod", 8));
    EXPECT_TRUE(applies("Pan Modifiers", 0));
    EXPECT_FALSE(applies("Pan Modifiers", 0xFFFFFFFFu));
}
