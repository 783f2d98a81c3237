#pragma once

// The maintenance switches: a first argument that asks for a task instead of the program (copy
// the settings to or from the options file, and the like). They are served before any window
// exists and end the process with their exit code.

#include "engine/recording_options.h"

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

// Runs the task the first argument names and returns its exit code; empty when the first
// argument names none, and start-up goes on.
[[nodiscard]] std::optional<int> ServeMaintenanceSwitch(const std::vector<std::string>& args,
                                                        const std::string& productName,
                                                        RecordingOptions& options);

// At a normal start: when the last take, `fileName`, was cut off (the program or the machine
// stopped while it was recording), asks in a Yes/No box owned by `owner` whether to repair it,
// and does. Only where someone is there to answer.
void OfferRepairOfCutOffTake(HWND owner, const std::string& fileName);
