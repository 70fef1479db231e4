// A window object over an HWND. Subclassed windows route their messages through the
// class's message map; what no entry takes goes to the window's original procedure.
#pragma once

#include "framework/cmdtarget.h"
#include "platform/cstring.h"

class CMenu;

class CWnd : public CCmdTarget {
 public:
  CWnd() = default;
  ~CWnd() override;
  CWnd(const CWnd&) = delete;
  CWnd& operator=(const CWnd&) = delete;

  HWND m_hWnd = nullptr;

  operator HWND() const { return m_hWnd; }
  BOOL Attach(HWND hwnd);
  HWND Detach();

  LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
    return ::SendMessageA(m_hWnd, message, wParam, lParam);
  }
  BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
    return ::PostMessageA(m_hWnd, message, wParam, lParam);
  }
  void SetWindowText(const char* text) { ::SetWindowTextA(m_hWnd, text); }
  BOOL EnableWindow(BOOL enable = TRUE) { return ::EnableWindow(m_hWnd, enable); }
  BOOL ShowWindow(int show) { return ::ShowWindow(m_hWnd, show); }
  void GetClientRect(RECT* rect) const { ::GetClientRect(m_hWnd, rect); }
  BOOL IsIconic() const { return ::IsIconic(m_hWnd); }
  UINT_PTR SetTimer(UINT_PTR id, UINT elapse, TIMERPROC proc) {
    return ::SetTimer(m_hWnd, id, elapse, proc);
  }
  BOOL KillTimer(UINT_PTR id) { return ::KillTimer(m_hWnd, id); }
  HICON SetIcon(HICON icon, BOOL big) {
    return reinterpret_cast<HICON>(
        SendMessage(WM_SETICON, big ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(icon)));
  }
  // The window's system menu, not owned; its m_hMenu is null when there is none.
  CMenu GetSystemMenu(BOOL revert) const;
  // The dots per inch the window is drawn at: its monitor's where Windows tells it per
  // window (10 1607 and later), the system's elsewhere.
  UINT GetDpi() const;

  // The help entry point; the base starts no help viewer.
  virtual void WinHelp(DWORD_PTR data, UINT command = HELP_CONTEXT);

  // Default processing of the message being handled.
  LRESULT Default();

  // The object behind a subclassed window; null for any other.
  static CWnd* FromHandlePermanent(HWND hwnd);

  static const MessageMap messageMap;
  const MessageMap* GetMessageMap() const override { return &messageMap; }

 protected:
  // Routes every message of hwnd through this object from now on.
  void SubclassWindow(HWND hwnd);
  virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);

  // A help request (F1) travels as the command ID_HELP: first this window's map, then
  // the application's.
  BOOL OnHelpInfo(UINT, LPARAM);
  // A command that no map of the window takes goes on to the application's map.
  static bool RouteToApp(UINT id, UINT code);

 private:
  static LRESULT CALLBACK StandardWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

  WNDPROC m_superProc = nullptr;
  struct {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
  } m_current = {0, 0, 0};

  static const MessageEntry messageEntries[];
};
