#include "setup/codec_setup_win.h"

#include "framework/handles_win.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

namespace {

// Keys and folders of the test's own: the machine's codec list is never touched.
constexpr char kKeys[] = "SOFTWARE\\VidorraCodecSetupTest";

std::string TempFolder(const std::string& name) {
    char base[MAX_PATH] = "";
    ::GetTempPathA(MAX_PATH, base);
    const std::string folder = std::string(base) + "VidorraCodecSetupTest\\" + name;
    ::CreateDirectoryA((std::string(base) + "VidorraCodecSetupTest").c_str(), nullptr);
    ::CreateDirectoryA(folder.c_str(), nullptr);
    return folder;
}

void Write(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return "(none)";
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string Value(const std::string& key, const char* name) {
    char data[256] = "";
    DWORD size = sizeof data;
    if (::RegGetValueA(HKEY_LOCAL_MACHINE, key.c_str(), name, RRF_RT_REG_SZ, nullptr, data,
                       &size) != ERROR_SUCCESS)
        return "(none)";
    return data;
}

CodecTarget Target(const char* library, const std::string& name) {
    const std::string keys = std::string(kKeys) + "\\" + name;
    return {library, TempFolder(name), 0, keys + "\\Drivers32", keys + "\\drivers.desc"};
}

// One program folder and four architectures' worth of players: a clean one, one with another
// program's codec, one whose folder cannot take the library (as without the rights) and one whose
// library was not shipped.
TEST(CodecSetupWinTest, InstallsWhereItMayKeepsOthersCodecAndRemovesOnlyItsOwn) {
    ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, kKeys);
    const std::string program = TempFolder("program");
    Write(program + "\\VidZmbv32.dll", "library 32");
    Write(program + "\\VidZmbv64.dll", "library 64");
    const CodecTarget clean = Target("VidZmbv64.dll", "clean");
    const CodecTarget other = Target("VidZmbv32.dll", "other");
    const CodecTarget locked = Target("VidZmbv32.dll", "locked");
    const CodecTarget unshipped = Target("VidZmbv16.dll", "unshipped");
    {
        UniqueRegKey key;
        ASSERT_EQ(::RegCreateKeyExA(HKEY_LOCAL_MACHINE, other.driversKey.c_str(), 0, nullptr, 0,
                                    KEY_SET_VALUE, nullptr, key.put(), nullptr),
                  ERROR_SUCCESS);
        ::RegSetValueExA(key.get(), "vidc.zmbv", 0, REG_SZ,
                         reinterpret_cast<const BYTE*>("zmbv.dll"), 9);
    }
    // A file of our library's name beside another program's codec is not ours to delete.
    Write(other.systemFolder + "\\VidZmbv.dll", "someone's");
    ::CreateDirectoryA((locked.systemFolder + "\\VidZmbv.dll").c_str(), nullptr);

    using setup::CodecOutcome;
    EXPECT_EQ(InstallCodec(program, {clean}), CodecOutcome::Installed);
    EXPECT_EQ(Read(clean.systemFolder + "\\VidZmbv.dll"), "library 64");
    EXPECT_EQ(Value(clean.driversKey, "vidc.zmbv"), "VidZmbv.dll");
    EXPECT_EQ(Value(clean.descriptionsKey, "VidZmbv.dll"), "Vidorra Lossless Screen");
    // Again: the same library in place (a player may hold it) is no failure.
    EXPECT_EQ(InstallCodec(program, {clean}), CodecOutcome::Installed);

    EXPECT_EQ(InstallCodec(program, {clean, other}), CodecOutcome::AnotherProgramsCodec);
    EXPECT_EQ(Value(other.driversKey, "vidc.zmbv"), "zmbv.dll");
    EXPECT_EQ(Read(other.systemFolder + "\\VidZmbv.dll"), "someone's");

    EXPECT_EQ(InstallCodec(program, {clean, locked, other}), CodecOutcome::NeedsAdministrator);
    EXPECT_EQ(Value(locked.driversKey, "vidc.zmbv"), "(none)");
    EXPECT_EQ(InstallCodec(program, {unshipped}), CodecOutcome::Failed);
    EXPECT_EQ(Value(unshipped.driversKey, "vidc.zmbv"), "(none)");

    UninstallCodec({clean, other, locked, unshipped});
    EXPECT_EQ(Value(clean.driversKey, "vidc.zmbv"), "(none)");
    EXPECT_EQ(Value(clean.descriptionsKey, "VidZmbv.dll"), "(none)");
    EXPECT_EQ(Read(clean.systemFolder + "\\VidZmbv.dll"), "(none)");
    EXPECT_EQ(Value(other.driversKey, "vidc.zmbv"), "zmbv.dll");
    EXPECT_EQ(Read(other.systemFolder + "\\VidZmbv.dll"), "someone's");
    ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, kKeys);
}

} // namespace
