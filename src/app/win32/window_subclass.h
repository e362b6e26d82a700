#pragma once

#include <windows.h>

// Takes over the message procedure of a window it does not own. The object lives as long as its
// window: after the window's last message (WM_NCDESTROY) it puts the previous procedure back and
// deletes itself, so it must be made with new.
class WindowSubclass {
  public:
    WindowSubclass() = default;
    virtual ~WindowSubclass() = default;
    WindowSubclass(const WindowSubclass&) = delete;
    WindowSubclass& operator=(const WindowSubclass&) = delete;

    // False (and nothing changed) when the window is gone or already has a subclass of ours.
    bool attach(HWND window);

  protected:
    // Called before the procedure is replaced.
    virtual void onAttach() {}
    // By default hands the message to the previous procedure.
    virtual LRESULT windowProc(UINT message, WPARAM wParam, LPARAM lParam);

    HWND window() const { return window_; }
    const MSG& current() const { return current_; }
    LRESULT callPrevious(UINT message, WPARAM wParam, LPARAM lParam);

  private:
    static LRESULT CALLBACK entry(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HWND window_ = nullptr;
    WNDPROC previous_ = nullptr;
    // The message being handled; saved and restored around nested messages.
    MSG current_{};
};

// Menus of the plug-in player's windows never open: the menu messages are answered without
// passing them on.
class FlashMenuFilter : public WindowSubclass {
  protected:
    LRESULT windowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
};

// The plug-in player's window class, compared without regard to letter case.
inline constexpr const char* kFlashPlayerClass = "MacromediaFlashPlayerActiveX";

// Attaches a FlashMenuFilter to every descendant of `parent` of the player's class. Answers
// whether any was found.
bool filterFlashMenus(HWND parent);
