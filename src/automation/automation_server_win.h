#pragma once
// The program as a local automation server. A copy the system starts for a client offers one
// object to one creation (every client gets a copy of its own) and ends when the last client lets
// go, unless the user has taken the window over; a normal start refreshes the class's
// registration so clients find the program where it now is.

#include "automation/automation_link.h"
#include "automation/automation_object_win.h"
#include "engine/recording_options.h"

#include <memory>
#include <string>

class Recorder;

class AutomationServer final : public AutomationLink {
public:
    // startedByClient: the system started this copy for an automation client.
    AutomationServer(RecordingOptions& options, bool startedByClient);
    ~AutomationServer() override;
    AutomationServer(const AutomationServer&) = delete;
    AutomationServer& operator=(const AutomationServer&) = delete;

    // Links the window and the recorder and, in a copy started for a client, offers the class
    // to the system. False when the offer failed.
    bool Serve(AutomationWindow& window, Recorder& recorder);

    // AutomationLink
    [[nodiscard]] bool ClientHoldsObject() const noexcept override;
    void OnUserInput() noexcept override;
    void OnDialogGone() noexcept override;

private:
    class Factory;
    std::shared_ptr<AutomationContext> context_;
    bool startedByClient_;
    Factory* factory_ = nullptr;
    DWORD cookie_ = 0;
};

// Writes the class's entries under the current user's classes for the running program and the
// type library beside it, only those that differ from what is there (no administrator rights
// needed). False when one could not be written.
bool RegisterAutomationClass();
