#pragma once

// The application object: owns the recording options for the whole run and drives start-up,
// the main dialog's loop and the saving at exit.

#include "engine/cursor_images_win.h"
#include "engine/recording_options.h"
#include "framework/app_win.h"

#include <string>
#include <vector>

class CVidorraApp : public Application {
public:
    explicit CVidorraApp(HINSTANCE instance) : Application(instance) {}

    // Everything from loading the resource library to the end of the main dialog; the process
    // exit code.
    int Run(const std::vector<std::string>& args);

    [[nodiscard]] RecordingOptions& Options() noexcept { return options_; }

    // Escape never closes or cancels a dialog outside a recording.
    bool PreTranslateMessage(MSG& msg) override;

    static constexpr int kVersionMajor = 1;
    static constexpr int kVersionMinor = 30;
    static constexpr int kVersionThird = 0;

private:
    void ReportUnsavedSettings(const std::vector<std::string>& names);

    RecordingOptions options_;
    CursorImageTable cursors_;
};

// The one application object.
CVidorraApp& TheApp();
