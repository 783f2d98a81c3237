#pragma once
// Between the automation server and the main window, both ways. The window tells the server
// whether a client holds the object (closing then only hides the window), that the user has
// worked the window (the program then outlives its clients), and that it is going away (calls
// after it touch nothing). The server does to the window only what AutomationWindow offers.

class AutomationLink {
public:
    virtual ~AutomationLink() = default;
    [[nodiscard]] virtual bool ClientHoldsObject() const noexcept = 0;
    virtual void OnUserInput() noexcept = 0;
    virtual void OnDialogGone() noexcept = 0;
};

class AutomationWindow {
public:
    virtual ~AutomationWindow() = default;
    // ShowWindow (restored) and HideWindow. A window a script hid is left alone by recordings.
    virtual void ShowForScript(bool show) = 0;
    // A script started the recording: the window comes back at its stop without the focus.
    virtual void SetStartedByScript(bool on) = 0;
    // The hot keys registered again (quiet: a taken key goes to the status line, for a copy
    // with nobody in front of it), or let go.
    virtual void RegisterHotKeysForScript(bool quiet) = 0;
    virtual void UnregisterHotKeys() = 0;
    // The last client has let go of a copy that was only theirs: the window closes, unless it
    // is disabled under a box that someone must answer first.
    virtual void CloseForLastClient() = 0;
};
