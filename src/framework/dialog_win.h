#pragma once

// Dialog base. A dialog comes from a template of the resource library (by id) or from a template
// in memory, and runs modal (DoModal), modeless (CreateModeless, also for child pages inside a
// tab) or modeless under its own modal loop (CreateModeless, then RunModalLoop).
//
// Handlers: one static dialog procedure finds the object (stored at WM_INITDIALOG) and calls
// OnInitDialog, OnCommand, OnNotify, OnClose, OnDestroy, and OnMessage for every other message.
// A handler must not delete the dialog. Exceptions stop at the procedure. After WM_NCDESTROY the
// object has no window and may be created again.

#include "framework/window_win.h"

#include <string>
#include <windows.h>

class Dialog {
public:
    explicit Dialog(UINT templateId) noexcept : templateId_(templateId) {}
    // The template must outlive the dialog's window.
    explicit Dialog(const DLGTEMPLATE* memoryTemplate) noexcept : memoryTemplate_(memoryTemplate) {}
    // Destroys a modeless window still alive without calling any handler (the derived part is
    // gone); call Destroy() first to get OnDestroy.
    virtual ~Dialog();
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    // Runs the dialog modally; the result given to End, or -1 when it could not be created.
    INT_PTR DoModal(HWND parent);
    // Creates the window without showing it unless the template says WS_VISIBLE.
    [[nodiscard]] bool CreateModeless(HWND parent);
    // Runs a modal loop for a modeless dialog: App().PreTranslateMessage, then the dialog's own
    // PreTranslateMessage, then keyboard navigation, then dispatch, until EndModalLoop or the
    // window's destruction (-1 then, unless a result was given). A WM_QUIT ends it and is posted
    // again for the outer loop.
    INT_PTR RunModalLoop();
    void EndModalLoop(INT_PTR result);
    // Ends the dialog however it runs: EndDialog when modal, EndModalLoop in RunModalLoop,
    // otherwise destroys the modeless window.
    void End(INT_PTR result);
    void Destroy();

    [[nodiscard]] HWND Handle() const noexcept { return hwnd_; }
    [[nodiscard]] Window Wnd() const noexcept { return Window(hwnd_); }
    [[nodiscard]] Window Item(int id) const { return Window(hwnd_).Item(id); }
    [[nodiscard]] bool InModalLoop() const noexcept { return inLoop_; }

    // Tells the user that an input field holds something unacceptable. Default: a message box
    // owned by the top-level window. Tests override it to avoid a blocking box.
    virtual void ShowInputError(const std::string& text);

protected:
    // True lets the system give the focus to the first control.
    virtual bool OnInitDialog() { return true; }
    // Default: IDOK and IDCANCEL end the dialog with their id.
    virtual void OnCommand(int id, int code, HWND control);
    // The notification's result.
    virtual LRESULT OnNotify(NMHDR& header);
    // Default: what the dialog manager does, the cancel command.
    virtual void OnClose();
    virtual void OnDestroy() {}
    // Everything else. Return true when handled, with the message's result in result.
    virtual bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result);
    // A message of RunModalLoop's before the dialog manager's keyboard handling sees it; true
    // swallows it. Default: none.
    virtual bool PreTranslateMessage(MSG& msg);

private:
    static INT_PTR CALLBACK Procedure(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    INT_PTR Dispatch(UINT msg, WPARAM wp, LPARAM lp);
    INT_PTR Reply(UINT msg, LRESULT result);
    // Lets App().PreTranslateMessage see the messages of the system's modal dialog loop.
    static LRESULT CALLBACK MessageFilter(int code, WPARAM wp, LPARAM lp);

    UINT templateId_ = 0;
    const DLGTEMPLATE* memoryTemplate_ = nullptr;
    HWND hwnd_ = nullptr;
    bool modal_ = false;
    bool inLoop_ = false;
    bool loopEnded_ = false;
    INT_PTR loopResult_ = -1;
};
