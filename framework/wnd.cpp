#include "framework/wnd.h"

#include "framework/app.h"
#include "framework/controls.h"

namespace {
const char kObjectProperty[] = "Tessarel.CWnd";
}

const MessageEntry CWnd::messageEntries[] = {
    afx::OnMessage<&CWnd::OnHelpInfo>(WM_HELP),
};
const MessageMap CWnd::messageMap = {&CCmdTarget::messageMap, std::begin(messageEntries),
                                     std::end(messageEntries)};

CWnd::~CWnd() {
  // A window still subclassed must not call into a dead object.
  if (m_superProc != nullptr && ::IsWindow(m_hWnd)) {
    ::SetWindowLongPtrA(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_superProc));
    ::RemovePropA(m_hWnd, kObjectProperty);
  }
}

BOOL CWnd::Attach(HWND hwnd) {
  if (hwnd == nullptr || m_hWnd != nullptr) return FALSE;
  m_hWnd = hwnd;
  return TRUE;
}

HWND CWnd::Detach() {
  HWND hwnd = m_hWnd;
  m_hWnd = nullptr;
  return hwnd;
}

CMenu CWnd::GetSystemMenu(BOOL revert) const {
  CMenu menu;
  menu.m_hMenu = ::GetSystemMenu(m_hWnd, revert);
  return menu;
}

UINT CWnd::GetDpi() const {
  // Not imported, so that the programs still start before Windows 10.
  using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
  static const auto perWindow = reinterpret_cast<GetDpiForWindowFn>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleA("user32.dll"), "GetDpiForWindow")));
  if (perWindow != nullptr) {
    if (const UINT dpi = perWindow(m_hWnd)) return dpi;
  }
  HDC dc = ::GetDC(m_hWnd);
  const int dpi = ::GetDeviceCaps(dc, LOGPIXELSX);
  ::ReleaseDC(m_hWnd, dc);
  return dpi > 0 ? static_cast<UINT>(dpi) : USER_DEFAULT_SCREEN_DPI;
}

void CWnd::WinHelp(DWORD_PTR, UINT) {}

CWnd* CWnd::FromHandlePermanent(HWND hwnd) {
  return static_cast<CWnd*>(::GetPropA(hwnd, kObjectProperty));
}

void CWnd::SubclassWindow(HWND hwnd) {
  m_hWnd = hwnd;
  ::SetPropA(hwnd, kObjectProperty, this);
  m_superProc = reinterpret_cast<WNDPROC>(
      ::SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&StandardWndProc)));
}

LRESULT CWnd::Default() {
  return ::CallWindowProcA(m_superProc, m_hWnd, m_current.message, m_current.wParam,
                           m_current.lParam);
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  UINT code = 0, id = 0;
  if (message == WM_COMMAND) {
    code = HIWORD(wParam);
    id = LOWORD(wParam);
  } else if (message == WM_NOTIFY) {
    const auto* header = reinterpret_cast<const NMHDR*>(lParam);
    code = header->code;
    id = static_cast<UINT>(header->idFrom);
  }
  if (const MessageEntry* entry = FindEntry(message, code, id))
    return entry->handler(*this, wParam, lParam);
  if (message == WM_COMMAND && RouteToApp(id, code)) return 0;
  return Default();
}

bool CWnd::RouteToApp(UINT id, UINT code) {
  CWinApp* app = AfxGetApp();
  return app != nullptr && app->OnCmdMsg(id, code);
}

BOOL CWnd::OnHelpInfo(UINT, LPARAM) {
  if (!OnCmdMsg(ID_HELP, 0)) RouteToApp(ID_HELP, 0);
  return TRUE;
}

LRESULT CALLBACK CWnd::StandardWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  CWnd* self = FromHandlePermanent(hwnd);
  if (self == nullptr) return ::DefWindowProcA(hwnd, message, wParam, lParam);
  const auto saved = self->m_current;
  self->m_current = {message, wParam, lParam};
  LRESULT result = 0;
  // No C++ exception may cross back into Windows.
  try {
    result = self->WindowProc(message, wParam, lParam);
  } catch (...) {
    result = 0;
  }
  self->m_current = saved;
  if (message == WM_NCDESTROY) {
    ::RemovePropA(hwnd, kObjectProperty);
    self->m_hWnd = nullptr;
    self->m_superProc = nullptr;
    if (CWinApp* app = AfxGetApp(); app && app->m_pMainWnd == self) app->m_pMainWnd = nullptr;
  }
  return result;
}
