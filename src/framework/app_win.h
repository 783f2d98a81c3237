#pragma once

// The application object: the running module, the resource library every text, template, icon
// and cursor comes from, and the pre-translation hook that every message loop of ours calls.
// The one instance registers itself for App(); that is the program's single global.

#include "framework/handles_win.h"

#include <string>
#include <windows.h>

class Application {
public:
    explicit Application(HINSTANCE instance);
    virtual ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    [[nodiscard]] HINSTANCE Instance() const noexcept { return instance_; }
    // The resource library once loaded, the program's own module before that.
    [[nodiscard]] HMODULE Resources() const noexcept;

    // Loads the named library from the program's directory, never through the search path, so
    // a stray copy elsewhere cannot stand in for ours. False when it is missing.
    [[nodiscard]] bool LoadResourceLibrary(const std::string& fileName);

    // The running program's full path, and its directory without a trailing backslash; empty
    // if unknown.
    [[nodiscard]] static std::string ProgramPath();
    [[nodiscard]] static std::string ProgramDirectory();

    // windows.h maps these three names to their A forms; every caller sees the same mapping.
    // Empty when the string is missing.
    [[nodiscard]] std::string LoadString(UINT id) const;
    // Shared resources: never destroy what these return.
    [[nodiscard]] HICON LoadIcon(UINT id) const;
    [[nodiscard]] HCURSOR LoadCursor(const char* name) const;

    // Caption of the program's message boxes.
    [[nodiscard]] const std::string& Name() const noexcept { return name_; }
    void SetName(std::string name) { name_ = std::move(name); }

    // Called by our message loops for every message before it is dispatched. True swallows the
    // message. Must not throw.
    virtual bool PreTranslateMessage(MSG& msg);

private:
    HINSTANCE instance_;
    UniqueModule resources_;
    std::string name_;
};

// The registered application; before one exists (and in tests) a plain one for this module.
Application& App();
