// The cursor image table against the real registry and the real cursor loader. Each test writes
// its own settings key under HKEY_CURRENT_USER and its own cursor files, and removes both.

#include "engine/cursor_images_win.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr char kTestRoot[] = "Software\\VidorraTest";
constexpr char kTestKey[] = "Software\\VidorraTest\\Cursors";
constexpr char kDirVariable[] = "VIDORRA_CURSOR_DIR";
// An odd hot spot tells our image from any system cursor.
constexpr int kHotX = 5;
constexpr int kHotY = 7;

// A 32 x 32 monochrome cursor file: both masks zero draw a black square.
std::vector<uint8_t> CursorFile() {
    std::vector<uint8_t> f(22 + 40 + 2 * 4 + 2 * 128, 0);
    const auto put = [&f](std::size_t at, uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            f[at + i] = static_cast<uint8_t>(value >> (8 * i));
    };
    put(2, 2, 2); // a cursor file, one image
    put(4, 1, 2);
    f[6] = f[7] = 32;
    put(10, kHotX, 2);
    put(12, kHotY, 2);
    put(14, static_cast<uint32_t>(f.size() - 22), 4);
    put(18, 22, 4);
    put(22, 40, 4); // bitmap header: both masks stacked, one bit per pixel
    put(26, 32, 4);
    put(30, 64, 4);
    put(34, 1, 2);
    put(36, 1, 2);
    put(66, 0xFFFFFF, 4); // palette: black, white
    return f;
}

// The hot spot of a live cursor; none once it has been destroyed.
std::optional<POINT> HotSpot(HCURSOR cursor) {
    ICONINFO info = {};
    if (!::GetIconInfo(cursor, &info))
        return std::nullopt;
    ::DeleteObject(info.hbmMask);
    if (info.hbmColor != nullptr)
        ::DeleteObject(info.hbmColor);
    return POINT{static_cast<LONG>(info.xHotspot), static_cast<LONG>(info.yHotspot)};
}

bool IsOurs(HCURSOR cursor) {
    const std::optional<POINT> spot = HotSpot(cursor);
    return spot && spot->x == kHotX && spot->y == kHotY;
}

HCURSOR System(const char* id) {
    return ::LoadCursorA(nullptr, id);
}

using Names = std::vector<std::string>;

class CursorImages : public ::testing::Test {
protected:
    void SetUp() override {
        ::RegDeleteTreeA(HKEY_CURRENT_USER, kTestRoot);
        ASSERT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, kTestKey, 0, nullptr, 0, KEY_ALL_ACCESS,
                                    nullptr, key_.put(), nullptr),
                  ERROR_SUCCESS);
        char temp[MAX_PATH];
        const DWORD length = ::GetTempPathA(sizeof(temp), temp);
        ASSERT_TRUE(length > 0 && length < sizeof(temp));
        dir_ = std::string(temp, length) + "vidorra_cursor_test";
        ::CreateDirectoryA(dir_.c_str(), nullptr);
        ::SetEnvironmentVariableA(kDirVariable, dir_.c_str());
        cursorFile_ = WriteCursorFile("cross.cur");
    }

    void TearDown() override {
        key_.reset();
        ::RegDeleteTreeA(HKEY_CURRENT_USER, kTestRoot);
        for (const std::string& file : files_)
            ::DeleteFileA(file.c_str());
        ::RemoveDirectoryA(dir_.c_str());
        ::SetEnvironmentVariableA(kDirVariable, nullptr);
    }

    // Writes a cursor file into the test directory and returns its full path.
    std::string WriteCursorFile(const std::string& name) {
        const std::string path = dir_ + "\\" + name;
        const std::vector<uint8_t> bytes = CursorFile();
        const UniqueKernelHandle file(::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr,
                                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD written = 0;
        EXPECT_TRUE(file && ::WriteFile(file.get(), bytes.data(), bytes.size(), &written, nullptr))
            << path;
        files_.push_back(path);
        return path;
    }
    // A path of exactly `length` characters to a cursor file that exists.
    std::string CursorPathOfLength(std::size_t length) {
        return WriteCursorFile(std::string(length - dir_.size() - 5, 'c') + ".cur");
    }

    void SetRaw(const char* name, DWORD type, const std::string& bytes) {
        ASSERT_EQ(::RegSetValueExA(key_.get(), name, 0, type,
                                   reinterpret_cast<const BYTE*>(bytes.data()), bytes.size()),
                  ERROR_SUCCESS);
    }
    void SetString(const char* name, const std::string& text, DWORD type = REG_SZ) {
        SetRaw(name, type, std::string(text.c_str(), text.size() + 1));
    }
    // A string of exactly these characters. The ANSI setter may add a terminator; the wide one
    // stores what it is given.
    void SetUnterminated(const char* name, const std::string& text) {
        const std::wstring wideName(name, name + std::strlen(name));
        const std::wstring wide(text.begin(), text.end());
        ASSERT_EQ(::RegSetValueExW(key_.get(), wideName.c_str(), 0, REG_SZ,
                                   reinterpret_cast<const BYTE*>(wide.data()),
                                   wide.size() * sizeof(wchar_t)),
                  ERROR_SUCCESS);
    }

    UniqueRegKey key_;
    std::string dir_;
    std::string cursorFile_;
    std::vector<std::string> files_;
};

} // namespace

TEST_F(CursorImages, WithoutSettingsNothingIsSubstituted) {
    CursorImageTable missing("Software\\VidorraTest\\NoSuchKey");
    missing.Load();
    CursorImageTable empty(kTestKey);
    empty.Load();
    for (const CursorImageTable* table : {&missing, &empty}) {
        EXPECT_EQ(table->LoadedNames(), Names{});
        for (const char* id : {IDC_ARROW, IDC_IBEAM, IDC_WAIT, IDC_HELP})
            EXPECT_EQ(table->Lookup(System(id)), System(id));
        EXPECT_EQ(table->Lookup(nullptr), nullptr);
    }
}

TEST_F(CursorImages, OnlyTheNamedCursorIsReplaced) {
    SetString("Arrow", cursorFile_);
    CursorImageTable table(kTestKey);
    table.Load();

    EXPECT_EQ(table.LoadedNames(), Names{"Arrow"});
    const HCURSOR arrow = table.Lookup(System(IDC_ARROW));
    EXPECT_TRUE(IsOurs(arrow));
    EXPECT_EQ(table.Lookup(System(IDC_IBEAM)), System(IDC_IBEAM));
    EXPECT_EQ(table.Lookup(System(IDC_WAIT)), System(IDC_WAIT));
    // No cursor on screen stays no cursor; our image is not a standard one.
    EXPECT_EQ(table.Lookup(nullptr), nullptr);
    EXPECT_EQ(table.Lookup(arrow), arrow);
}

TEST_F(CursorImages, EachValueReplacesItsOwnStandardCursor) {
    const std::pair<const char*, const char*> entries[] = {
        {"Arrow", IDC_ARROW},       {"IBeam", IDC_IBEAM},     {"Wait", IDC_WAIT},
        {"Crosshair", IDC_CROSS},   {"UpArrow", IDC_UPARROW}, {"SizeNWSE", IDC_SIZENWSE},
        {"SizeNESW", IDC_SIZENESW}, {"SizeWE", IDC_SIZEWE},   {"SizeNS", IDC_SIZENS},
        {"SizeAll", IDC_SIZEALL},   {"No", IDC_NO},           {"AppStarting", IDC_APPSTARTING},
        {"Help", IDC_HELP}};
    Names all;
    for (const auto& [name, id] : entries) {
        SetString(name, cursorFile_);
        all.push_back(name);
    }
    CursorImageTable table(kTestKey);
    table.Load();
    EXPECT_EQ(table.LoadedNames(), all);
    for (const auto& [name, id] : entries)
        EXPECT_TRUE(IsOurs(table.Lookup(System(id)))) << name;
}

TEST_F(CursorImages, OnlyStringValuesThatFitAreUsed) {
    // Loadable: an unterminated string, an expandable one, and the longest that fits the buffer.
    SetUnterminated("Arrow", cursorFile_);
    SetString("IBeam", std::string("%") + kDirVariable + "%\\cross.cur", REG_EXPAND_SZ);
    SetString("Wait", CursorPathOfLength(255));

    // Unusable, each leaving only its own entry empty.
    const DWORD number = 7;
    SetRaw("Crosshair", REG_DWORD, std::string(reinterpret_cast<const char*>(&number), 4));
    SetRaw("UpArrow", REG_BINARY, cursorFile_ + '\0');
    SetString("SizeNWSE", dir_ + "\\missing.cur");
    SetString("SizeNESW", "");
    // One character too many, though the file is there; also without room for a terminator.
    const std::string tooLong = CursorPathOfLength(256);
    SetString("SizeWE", tooLong);
    SetUnterminated("SizeNS", tooLong);
    SetString("SizeAll", std::string(5000, 'c'));
    // Expands past any path the loader takes.
    SetString("No", "%" + std::string(kDirVariable) + "%\\" + std::string(240, 'c') + ".cur",
              REG_EXPAND_SZ);
    // A plain string is a path as it stands, even with a reference in it.
    SetString("Help", std::string("%") + kDirVariable + "%\\cross.cur");

    CursorImageTable table(kTestKey);
    table.Load();
    EXPECT_EQ(table.LoadedNames(), (Names{"Arrow", "IBeam", "Wait"}));
    for (const char* id : {IDC_ARROW, IDC_IBEAM, IDC_WAIT})
        EXPECT_TRUE(IsOurs(table.Lookup(System(id))));
}

TEST_F(CursorImages, ReloadAndFreeDestroyTheImagesTheyReplace) {
    SetString("Arrow", cursorFile_);
    SetString("IBeam", cursorFile_);
    HCURSOR beam = nullptr;
    {
        CursorImageTable table(kTestKey);
        table.Load();
        const HCURSOR arrow = table.Lookup(System(IDC_ARROW));
        const HCURSOR oldBeam = table.Lookup(System(IDC_IBEAM));
        ASSERT_TRUE(IsOurs(arrow));

        // The user took the arrow back: its image goes, the I-beam's is loaded afresh.
        ASSERT_EQ(::RegDeleteValueA(key_.get(), "Arrow"), ERROR_SUCCESS);
        table.Load();
        EXPECT_EQ(table.LoadedNames(), Names{"IBeam"});
        EXPECT_EQ(table.Lookup(System(IDC_ARROW)), System(IDC_ARROW));
        EXPECT_FALSE(HotSpot(arrow));
        beam = table.Lookup(System(IDC_IBEAM));
        EXPECT_TRUE(IsOurs(beam));
        EXPECT_TRUE(beam == oldBeam || !HotSpot(oldBeam));

        table.Free();
        EXPECT_EQ(table.LoadedNames(), Names{});
        EXPECT_EQ(table.Lookup(System(IDC_IBEAM)), System(IDC_IBEAM));
        EXPECT_FALSE(HotSpot(beam));

        table.Load();
        beam = table.Lookup(System(IDC_IBEAM));
        ASSERT_TRUE(IsOurs(beam));
    }
    // The table's end destroys what it holds, never the system's own cursors.
    EXPECT_FALSE(HotSpot(beam));
    EXPECT_TRUE(HotSpot(System(IDC_ARROW)));
    EXPECT_TRUE(HotSpot(System(IDC_IBEAM)));
}
