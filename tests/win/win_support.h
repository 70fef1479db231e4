// Helpers for tests that drive real windows under Wine.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "framework/app.h"
#include "framework/controls.h"

namespace wintest {

// Dispatches what is queued, except timer messages: tests drive the scan themselves.
void PumpMessages();

// Fails the test, and closes every window of the thread, if it is still running when
// the time is up: a stuck modal loop ends instead of hanging the run.
class Watchdog {
 public:
  explicit Watchdog(UINT milliseconds = 30000);
  ~Watchdog();
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;

 private:
  static void CALLBACK Fire(HWND, UINT, UINT_PTR, DWORD);
  UINT_PTR m_timer;
};

// Calls onActivate for every top-level window about to be activated while it lives
// (a CBT hook): the way to inspect and close modal windows and message boxes.
class WindowWatcher {
 public:
  explicit WindowWatcher(std::function<void(HWND)> onActivate);
  ~WindowWatcher();
  WindowWatcher(const WindowWatcher&) = delete;
  WindowWatcher& operator=(const WindowWatcher&) = delete;

 private:
  static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam);
  std::function<void(HWND)> m_onActivate;
  HHOOK m_hook;
};

// Asks a list's parent for the tip of one item, in a buffer of size bytes that starts
// filled with `fill` and ends at size - 1; returns the text up to its NUL. Fails the test
// if anything was written past the buffer.
//
// A Wine workaround: Wine's list view sends no LVN_GETINFOTIP when the mouse rests on an
// item, so the tests send the notification as the Windows list view does. This is the
// only place they do; on Windows the same tests could hover instead.
std::string RequestInfoTip(HWND parent, HWND list, int item, LPARAM data, int size, char fill);

std::string WindowText(HWND hwnd);
std::string ListCell(HWND list, int row, int column);
int ListRows(HWND list);
UINT ListState(HWND list, int row);
LPARAM ListData(HWND list, int row);
struct ListColumn {
  std::string heading;
  int format = -1;  // LVCFMT_LEFT, LVCFMT_RIGHT, ...
  int width = -1;
};
// Column c of a list; width -1 when there is no such column.
ListColumn Column(HWND list, int c);
// The visible children of a window, in z-order (template order).
std::vector<HWND> Children(HWND parent);

// A dialog template as stored in the resources.
struct TemplateItem {
  DWORD helpId = 0, exStyle = 0, style = 0;
  short x = 0, y = 0, cx = 0, cy = 0;
  DWORD id = 0;
  std::string windowClass;  // a name, or "#n" for a predefined class number
  std::string text;         // a text, or "#n" for a resource number
};
struct DialogTemplate {
  bool extended = false;
  DWORD helpId = 0, exStyle = 0, style = 0;
  short x = 0, y = 0, cx = 0, cy = 0;
  std::string caption;
  WORD pointSize = 0, weight = 0;
  BYTE italic = 0, charset = 0;
  std::string font;
  std::vector<TemplateItem> items;
};
DialogTemplate LoadDialogTemplate(UINT id);

}  // namespace wintest
