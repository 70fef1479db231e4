// A report window on a simulated machine, created without a modal loop.
#pragma once

#include "app/offset_app.h"
#include "sim/lab.h"
#include "sim_fixture.h"
#include "ui/offset_dlg.h"
#include "win_support.h"

class ReportWindowTest : public SimTest {
 protected:
  void TearDown() override {
    if (::IsWindow(dlg.m_hWnd)) ::DestroyWindow(dlg.m_hWnd);
    wintest::PumpMessages();
    theApp.m_pMainWnd = nullptr;
  }
  void Open() {
    ASSERT_TRUE(dlg.Create());
    list = dlg.m_list.m_hWnd;
  }
  void Tick() { dlg.SendMessage(WM_TIMER, 0); }
  void Ticks(int n) {
    for (int i = 0; i < n; ++i) Tick();
  }
  // The scan has finished: its button reads "Ok", enabled, and Copy is shown.
  bool Finished() const {
    return wintest::WindowText(dlg.m_btnOk) == "Ok" && ::IsWindowEnabled(dlg.m_btnOk) &&
           ::IsWindowVisible(dlg.m_btnCopy);
  }
  // Runs the scan to its end, one tick at a time; returns the ticks it took.
  int RunScan() {
    int ticks = 0;
    while (!Finished() && ticks < 100) {
      Tick();
      ++ticks;
    }
    return ticks;
  }
  std::string Cell(int row, int column) const { return wintest::ListCell(list, row, column); }

  COffsetDlg dlg;
  HWND list = nullptr;
};
