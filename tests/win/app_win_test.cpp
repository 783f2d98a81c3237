#include "framework/app_win.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(ApplicationTest, ProgramDirectoryHoldsTheRunningProgram) {
    const std::string directory = Application::ProgramDirectory();
    ASSERT_FALSE(directory.empty());
    EXPECT_NE(directory.back(), '\\');
    char path[MAX_PATH];
    ASSERT_GT(::GetModuleFileNameA(nullptr, path, MAX_PATH), 0u);
    const std::string program(path);
    EXPECT_EQ(program.substr(0, directory.size() + 1), directory + "\\");
    EXPECT_EQ(program.find('\\', directory.size() + 1), std::string::npos);
}

TEST(ApplicationTest, ResourceLibraryIsNeverTakenFromTheSearchPath) {
    Application app(::GetModuleHandleA(nullptr));
    // kernel32.dll is on every search path but not beside the program.
    EXPECT_FALSE(app.LoadResourceLibrary("kernel32.dll"));
    EXPECT_FALSE(app.LoadResourceLibrary("NoSuchLibrary.dll"));
    EXPECT_FALSE(app.LoadResourceLibrary(""));
    EXPECT_EQ(app.Resources(), app.Instance());
}

TEST(ApplicationTest, TheLivingInstanceIsTheApplication) {
    Application& before = App();
    {
        Application app(::GetModuleHandleA(nullptr));
        EXPECT_EQ(&App(), &app);
    }
    Application& after = App();
    EXPECT_EQ(after.Instance(), ::GetModuleHandleA(nullptr));
    EXPECT_EQ(&after, &before);
    MSG msg{};
    EXPECT_FALSE(after.PreTranslateMessage(msg));
}

} // namespace
