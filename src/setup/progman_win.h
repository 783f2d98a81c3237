#pragma once

// A DDE client of Program Manager ("PROGMAN"): one conversation per command, so a shell that
// drops a conversation after a command still gets the next one.

#include "framework/handles_win.h"

#include <string>

class ProgmanClient {
public:
    // False when DDE cannot be initialised; no command can be sent then.
    [[nodiscard]] bool Start();

    // Sends one execute command (waiting at most a second for the answer); true when Program
    // Manager accepted it.
    bool Execute(const std::string& command);

private:
    UniqueDdeInstance instance_;
};
