#include "win_support.h"

namespace wintest {

std::string RequestInfoTip(HWND parent, HWND list, int item, LPARAM data, int size, char fill) {
  constexpr size_t kGuard = 8;
  std::string buffer(static_cast<size_t>(size) + kGuard, fill);
  buffer[static_cast<size_t>(size) - 1] = '\0';
  NMLVGETINFOTIPA tip = {};
  tip.hdr.hwndFrom = list;
  tip.hdr.idFrom = static_cast<UINT_PTR>(::GetDlgCtrlID(list));
  tip.hdr.code = LVN_GETINFOTIPA;
  tip.pszText = buffer.data();
  tip.cchTextMax = size;
  tip.iItem = item;
  tip.lParam = data;
  ::SendMessageA(parent, WM_NOTIFY, tip.hdr.idFrom, reinterpret_cast<LPARAM>(&tip));
  EXPECT_EQ(buffer.substr(static_cast<size_t>(size)), std::string(kGuard, fill))
      << "written past the buffer";
  return buffer.c_str();
}

namespace {
bool g_watchdogFired = false;
WindowWatcher* g_watcher = nullptr;

BOOL CALLBACK CloseWindow(HWND hwnd, LPARAM) {
  ::EndDialog(hwnd, IDABORT);
  ::PostMessageA(hwnd, WM_CLOSE, 0, 0);
  return TRUE;
}

// Reads UTF-16 text from a template, narrowing it (template texts are ASCII).
std::string ReadString(const WORD*& p) {
  std::string out;
  while (*p) out += static_cast<char>(*p++);
  ++p;
  return out;
}

// A name, or an ordinal written as "#n".
std::string ReadNameOrOrdinal(const WORD*& p) {
  if (*p == 0xFFFF) {
    const WORD n = p[1];
    p += 2;
    return "#" + std::to_string(n);
  }
  return ReadString(p);
}

const WORD* AlignDword(const WORD* p) {
  return reinterpret_cast<const WORD*>((reinterpret_cast<uintptr_t>(p) + 3) & ~uintptr_t{3});
}

DWORD ReadDword(const WORD*& p) {
  const DWORD v = p[0] | (static_cast<DWORD>(p[1]) << 16);
  p += 2;
  return v;
}

// The styles, in the order the two template kinds store them.
void ReadStyles(const WORD*& p, bool extended, DWORD* helpId, DWORD* exStyle, DWORD* style) {
  if (extended) {
    *helpId = ReadDword(p);
    *exStyle = ReadDword(p);
    *style = ReadDword(p);
  } else {
    *style = ReadDword(p);
    *exStyle = ReadDword(p);
  }
}

void ReadRect(const WORD*& p, short* x, short* y, short* cx, short* cy) {
  *x = static_cast<short>(*p++);
  *y = static_cast<short>(*p++);
  *cx = static_cast<short>(*p++);
  *cy = static_cast<short>(*p++);
}
}  // namespace

void PumpMessages() {
  MSG msg;
  for (;;) {
    if (!::PeekMessageA(&msg, nullptr, 0, WM_TIMER - 1, PM_REMOVE) &&
        !::PeekMessageA(&msg, nullptr, WM_TIMER + 1, 0xFFFFFFFF, PM_REMOVE))
      return;
    ::TranslateMessage(&msg);
    ::DispatchMessageA(&msg);
  }
}

Watchdog::Watchdog(UINT milliseconds) {
  g_watchdogFired = false;
  m_timer = ::SetTimer(nullptr, 0, milliseconds, &Fire);
}

Watchdog::~Watchdog() {
  ::KillTimer(nullptr, m_timer);
  EXPECT_FALSE(g_watchdogFired) << "a window was still open when the watchdog fired";
}

void CALLBACK Watchdog::Fire(HWND, UINT, UINT_PTR, DWORD) {
  g_watchdogFired = true;
  ::EnumThreadWindows(::GetCurrentThreadId(), &CloseWindow, 0);
}

WindowWatcher::WindowWatcher(std::function<void(HWND)> onActivate)
    : m_onActivate(std::move(onActivate)) {
  g_watcher = this;
  m_hook = ::SetWindowsHookExA(WH_CBT, &Hook, nullptr, ::GetCurrentThreadId());
}

WindowWatcher::~WindowWatcher() {
  ::UnhookWindowsHookEx(m_hook);
  g_watcher = nullptr;
}

LRESULT CALLBACK WindowWatcher::Hook(int code, WPARAM wParam, LPARAM lParam) {
  // Activation may also name no window at all, when the last one closes.
  if (code == HCBT_ACTIVATE && g_watcher != nullptr && wParam != 0)
    g_watcher->m_onActivate(reinterpret_cast<HWND>(wParam));
  return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

std::string WindowText(HWND hwnd) {
  char text[512] = {};
  ::GetWindowTextA(hwnd, text, sizeof text);
  return text;
}

std::string ListCell(HWND list, int row, int column) {
  char text[512] = {};
  LVITEMA item = {};
  item.iSubItem = column;
  item.pszText = text;
  item.cchTextMax = sizeof text;
  ::SendMessageA(list, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
  return text;
}

int ListRows(HWND list) { return static_cast<int>(::SendMessageA(list, LVM_GETITEMCOUNT, 0, 0)); }

UINT ListState(HWND list, int row) {
  return static_cast<UINT>(::SendMessageA(list, LVM_GETITEMSTATE, row, LVIS_STATEIMAGEMASK));
}

LPARAM ListData(HWND list, int row) {
  LVITEMA item = {};
  item.mask = LVIF_PARAM;
  item.iItem = row;
  ::SendMessageA(list, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
  return item.lParam;
}

ListColumn Column(HWND list, int c) {
  char text[128] = {};
  LVCOLUMNA column = {};
  column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT;
  column.pszText = text;
  column.cchTextMax = sizeof text;
  if (!::SendMessageA(list, LVM_GETCOLUMNA, c, reinterpret_cast<LPARAM>(&column))) return {};
  return {text, column.fmt & LVCFMT_JUSTIFYMASK, column.cx};
}

std::vector<HWND> Children(HWND parent) {
  std::vector<HWND> out;
  for (HWND c = ::GetWindow(parent, GW_CHILD); c != nullptr; c = ::GetWindow(c, GW_HWNDNEXT))
    out.push_back(c);
  return out;
}

DialogTemplate LoadDialogTemplate(UINT id) {
  DialogTemplate t;
  HRSRC info = ::FindResourceA(nullptr, MAKEINTRESOURCEA(id), reinterpret_cast<LPCSTR>(RT_DIALOG));
  if (info == nullptr) return t;
  const auto* p = static_cast<const WORD*>(::LockResource(::LoadResource(nullptr, info)));
  t.extended = p[0] == 1 && p[1] == 0xFFFF;
  if (t.extended) p += 2;
  ReadStyles(p, t.extended, &t.helpId, &t.exStyle, &t.style);
  const WORD count = *p++;
  ReadRect(p, &t.x, &t.y, &t.cx, &t.cy);
  ReadNameOrOrdinal(p);  // menu
  ReadNameOrOrdinal(p);  // class
  t.caption = ReadString(p);
  if (t.style & DS_SETFONT) {
    t.pointSize = *p++;
    if (t.extended) {
      t.weight = *p++;
      t.italic = static_cast<BYTE>(*p & 0xFF);
      t.charset = static_cast<BYTE>(*p >> 8);
      ++p;
    }
    t.font = ReadString(p);
  }
  for (WORD i = 0; i < count; ++i) {
    p = AlignDword(p);
    TemplateItem item;
    ReadStyles(p, t.extended, &item.helpId, &item.exStyle, &item.style);
    ReadRect(p, &item.x, &item.y, &item.cx, &item.cy);
    item.id = t.extended ? ReadDword(p) : *p++;
    item.windowClass = ReadNameOrOrdinal(p);
    item.text = ReadNameOrOrdinal(p);
    const WORD extra = *p++;
    p = reinterpret_cast<const WORD*>(reinterpret_cast<const BYTE*>(p) + extra);
    t.items.push_back(item);
  }
  return t;
}

}  // namespace wintest
