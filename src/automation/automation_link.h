#pragma once
// What the main dialog needs to know of the automation server: whether a client holds the
// object (closing then only hides the window), that the user has worked the window (the program
// then outlives its clients), and that the dialog is going away (calls after it touch nothing).

class AutomationLink {
public:
    virtual ~AutomationLink() = default;
    [[nodiscard]] virtual bool ClientHoldsObject() const noexcept = 0;
    virtual void OnUserInput() noexcept = 0;
    virtual void OnDialogGone() noexcept = 0;
};
