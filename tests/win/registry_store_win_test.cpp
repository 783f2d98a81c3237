#include "settings/registry_store_win.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

// A key of the tests' own beside the program's, removed before and after every test.
const std::string kSettings = SettingsKeyPath("VidorraTest");

std::string SectionPath(OptionSection section) {
    return kSettings + "\\" + SectionKeyName(section);
}

UniqueRegKey OpenSection(OptionSection section) {
    UniqueRegKey key;
    ::RegOpenKeyExA(HKEY_CURRENT_USER, SectionPath(section).c_str(), 0, KEY_READ, key.put());
    return key;
}

// Writes a value exactly as given, however wrong, as another program or a hand edit could.
void SetRaw(OptionSection section, const char* name, DWORD type, std::string_view bytes) {
    UniqueRegKey key;
    ASSERT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, SectionPath(section).c_str(), 0, nullptr, 0,
                                KEY_WRITE, nullptr, key.put(), nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(::RegSetValueExA(key.get(), name, 0, type,
                               reinterpret_cast<const BYTE*>(bytes.data()),
                               static_cast<DWORD>(bytes.size())),
              ERROR_SUCCESS)
        << name;
}
void SetDword(OptionSection section, const char* name, DWORD value) {
    SetRaw(section, name, REG_DWORD, {reinterpret_cast<const char*>(&value), sizeof value});
}

// Type and bytes of a stored value; type 0 and no bytes when it cannot be read.
std::pair<DWORD, std::string> QueryRaw(OptionSection section, const char* name) {
    char buffer[1024];
    DWORD type = 0, size = sizeof buffer;
    if (::RegQueryValueExA(OpenSection(section).get(), name, nullptr, &type,
                           reinterpret_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS)
        return {0, {}};
    return {type, std::string(buffer, size)};
}

RecordingOptions NonDefaultOptions() {
    RecordingOptions o;
    o.StartX = -12, o.StartY = 34, o.Width = 640, o.Height = 480;
    o.WinX = -300, o.WinY = 200, o.WndHide = wnd_hide::Stay;
    o.IncrementFileName = 0, o.RecordSound = 1, o.FlashRect = 0;
    o.HighlightClicks = 1, o.ShowKeys = 2;
    o.SoundSampRate = 44100, o.SoundSampSize = 16;
    o.FrameRate = 15.0, o.PlaybackRate = 29.97;
    o.CompQuality = 90, o.KeyFrames = 5;
    o.FileName = "C:\\my takes\\demo.avi";
    o.Start = {0x41, modifier::Control, "Ctrl+A"};
    o.Pause = {0x42, modifier::Alt, "Alt+B"};
    o.SingleShot = {0x43, modifier::Control | modifier::Shift, "Ctrl+Shift+C"};
    o.LockPan = {0x44, modifier::Alt | modifier::Shift, "Alt+Shift+D"};
    o.PanModifiers = modifier::Alt, o.PanLocked = 1;
    return o;
}

void ExpectPersistedFieldsEqual(const RecordingOptions& a, const RecordingOptions& b) {
    EXPECT_EQ(a.StartX, b.StartX);
    EXPECT_EQ(a.StartY, b.StartY);
    EXPECT_EQ(a.Width, b.Width);
    EXPECT_EQ(a.Height, b.Height);
    EXPECT_EQ(a.WinX, b.WinX);
    EXPECT_EQ(a.WinY, b.WinY);
    EXPECT_EQ(a.WndHide, b.WndHide);
    EXPECT_EQ(a.IncrementFileName, b.IncrementFileName);
    EXPECT_EQ(a.RecordSound, b.RecordSound);
    EXPECT_EQ(a.FlashRect, b.FlashRect);
    EXPECT_EQ(a.HighlightClicks, b.HighlightClicks);
    EXPECT_EQ(a.ShowKeys, b.ShowKeys);
    EXPECT_EQ(a.SoundSampRate, b.SoundSampRate);
    EXPECT_EQ(a.SoundSampSize, b.SoundSampSize);
    EXPECT_DOUBLE_EQ(a.FrameRate, b.FrameRate);
    EXPECT_DOUBLE_EQ(a.PlaybackRate, b.PlaybackRate);
    EXPECT_EQ(a.CompQuality, b.CompQuality);
    EXPECT_EQ(a.KeyFrames, b.KeyFrames);
    EXPECT_EQ(a.FileName, b.FileName);
    EXPECT_EQ(a.Start, b.Start);
    EXPECT_EQ(a.Pause, b.Pause);
    EXPECT_EQ(a.SingleShot, b.SingleShot);
    EXPECT_EQ(a.LockPan, b.LockPan);
    EXPECT_EQ(a.PanModifiers, b.PanModifiers);
    EXPECT_EQ(a.PanLocked, b.PanLocked);
}

std::vector<std::string> LoadBoth(RecordingOptions& o) {
    std::vector<std::string> unused = LoadState(kSettings, o);
    for (std::string& name : LoadKeys(kSettings, o))
        unused.push_back(std::move(name));
    return unused;
}

class RegistryStoreTest : public ::testing::Test {
protected:
    void SetUp() override { Remove(); }
    void TearDown() override { Remove(); }
    static void Remove() {
        ::RegDeleteTreeA(HKEY_CURRENT_USER, kSettings.c_str());
        // Goes only when empty, so nothing beside ours is touched.
        ::RegDeleteKeyA(HKEY_CURRENT_USER, "SOFTWARE\\Talvenor");
    }
};

} // namespace

TEST_F(RegistryStoreTest, EveryPersistedFieldSurvivesSaveAndLoad) {
    const RecordingOptions saved = NonDefaultOptions();
    EXPECT_TRUE(SaveState(kSettings, saved).empty());
    EXPECT_TRUE(SaveKeys(kSettings, saved).empty());
    RecordingOptions loaded;
    EXPECT_TRUE(LoadBoth(loaded).empty());
    ExpectPersistedFieldsEqual(loaded, saved);

    // What other programs reading the registry see.
    using enum OptionSection;
    using Raw = std::pair<DWORD, std::string>;
    EXPECT_EQ(QueryRaw(State, "FPS"), (Raw{REG_DWORD, {"\x98\x3a\0\0", 4}})); // 15000
    EXPECT_EQ(QueryRaw(State, "StartX"), (Raw{REG_DWORD, "\xf4\xff\xff\xff"}));
    EXPECT_EQ(QueryRaw(State, "AVIFileName"), (Raw{REG_SZ, {"C:\\my takes\\demo.avi", 21}}));
    EXPECT_EQ(QueryRaw(Keys, "SingleShot Desc"), (Raw{REG_SZ, {"Ctrl+Shift+C", 13}}));
    EXPECT_EQ(QueryRaw(Keys, "Pan Modifiers"), (Raw{REG_DWORD, {"\1\0\0\0", 4}}));
    for (OptionSection section : {State, Keys}) {
        char keyClass[32] = {};
        DWORD classSize = sizeof keyClass, values = 0;
        ASSERT_EQ(::RegQueryInfoKeyA(OpenSection(section).get(), keyClass, &classSize, nullptr,
                                     nullptr, nullptr, nullptr, &values, nullptr, nullptr, nullptr,
                                     nullptr),
                  ERROR_SUCCESS);
        EXPECT_EQ(values, StoredOptions(section).size());
        EXPECT_STREQ(keyClass, "REG_SZ");
    }
}

TEST_F(RegistryStoreTest, NoSettingsKeyLeavesEveryDefaultAndCreatesNothing) {
    RecordingOptions loaded;
    EXPECT_TRUE(LoadBoth(loaded).empty());
    ExpectPersistedFieldsEqual(loaded, RecordingOptions{});
    EXPECT_FALSE(OpenSection(OptionSection::State));
}

TEST_F(RegistryStoreTest, StoredValuesOfTheWrongKindKeepTheirDefaultsAndTheRestLoad) {
    using enum OptionSection;
    SetRaw(State, "StartX", REG_DWORD, {"\5\0\0\0\0\0\0\0", 8});
    SetRaw(State, "Width", REG_DWORD, "\x80\x02");
    SetRaw(State, "Height", REG_SZ, "480");
    SetRaw(State, "WinX", REG_BINARY, {"\5\0\0\0", 4});
    SetDword(State, "WndHide", 7);
    SetDword(State, "FPS", 0);
    SetDword(State, "FPSPlay", 0xFFFFFFFF);
    SetRaw(State, "KeyFrames", REG_QWORD, {"\5\0\0\0\0\0\0\0", 8});
    SetRaw(State, "AVIFileName", REG_SZ, std::string(300, 'n'));
    SetRaw(Keys, "Start Key", REG_BINARY, {"\x41\0\0\0", 4});
    SetRaw(Keys, "Pause Desc", REG_SZ, std::string(80, 'd'));
    SetDword(Keys, "SingleShot Desc", 5);
    // Usable ones among them: an odd sample rate, a text without its terminator, plain numbers.
    SetDword(State, "SoundSampRate", 12345);
    SetRaw(Keys, "Start Desc", REG_SZ, "Ctrl+A");
    SetDword(State, "StartY", 33);
    SetDword(Keys, "Pause Key", 0x41);

    RecordingOptions loaded;
    EXPECT_EQ(LoadBoth(loaded),
              (std::vector<std::string>{"StartX", "Width", "Height", "WinX", "WndHide", "FPS",
                                        "FPSPlay", "KeyFrames", "AVIFileName", "Start Key",
                                        "Pause Desc", "SingleShot Desc"}));
    RecordingOptions expected;
    expected.SoundSampRate = 22050;
    expected.Start.Desc = "Ctrl+A";
    expected.StartY = 33;
    expected.Pause.Key = 0x41;
    ExpectPersistedFieldsEqual(loaded, expected);
}

TEST_F(RegistryStoreTest, FileNamesWithoutTerminatorLoadOnlyWhenTheyFit) {
    const std::string longest(259, 'n');
    SetRaw(OptionSection::State, "AVIFileName", REG_SZ, longest);
    RecordingOptions loaded;
    EXPECT_TRUE(LoadState(kSettings, loaded).empty());
    EXPECT_EQ(loaded.FileName, longest);

    SetRaw(OptionSection::State, "AVIFileName", REG_SZ, longest + 'n');
    RecordingOptions refused;
    EXPECT_EQ(LoadState(kSettings, refused), std::vector<std::string>{"AVIFileName"});
    EXPECT_EQ(refused.FileName, "clip.avi");
}

TEST_F(RegistryStoreTest, EveryValueTheRegistryRefusesIsReported) {
    // A key we may only read refuses each write; none of them may go unreported.
    ASSERT_TRUE(SaveState(kSettings, RecordingOptions{}).empty());
    RegistryOptionStore readOnly(OpenSection(OptionSection::State));
    EXPECT_EQ(SaveOptions(readOnly, OptionSection::State, NonDefaultOptions()),
              OptionNames(OptionSection::State));
}

TEST_F(RegistryStoreTest, ASectionKeyThatCannotBeCreatedReportsAllItsValues) {
    // The platform refuses a lasting key below a volatile one; that the save fails here also shows
    // it asks for lasting keys, as settings that vanish at log-off would be lost without a word.
    UniqueRegKey settings;
    ASSERT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, kSettings.c_str(), 0, nullptr,
                                REG_OPTION_VOLATILE, KEY_WRITE, nullptr, settings.put(), nullptr),
              ERROR_SUCCESS);
    const RecordingOptions saved = NonDefaultOptions();
    EXPECT_EQ(SaveState(kSettings, saved), OptionNames(OptionSection::State));
    EXPECT_EQ(SaveKeys(kSettings, saved), OptionNames(OptionSection::Keys));
    EXPECT_FALSE(OpenSection(OptionSection::State));
}
