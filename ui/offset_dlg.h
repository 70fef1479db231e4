// The report window: one row per fixed volume, filled by the scan one tick at a time.
#pragma once

#include <array>
#include <memory>
#include <vector>

#include "framework/app.h"
#include "framework/controls.h"
#include "framework/dialog.h"
#include "inspect/scan.h"

class COffsetDlg : public CDialog {
 public:
  explicit COffsetDlg(CWnd* parent = nullptr);
  ~COffsetDlg() override;

  void WinHelp(DWORD_PTR data, UINT command) override;
  const MessageMap* GetMessageMap() const override { return &messageMap; }
  static const MessageMap messageMap;

  // The report columns' widths for a list whose client area is width pixels wide.
  static std::array<int, 4> ColumnWidths(int width);

  CImageList* m_pStateImages;
  CButton m_btnCopy;
  CButton m_btnOk;
  CListCtrl m_list;
  HICON m_hIcon;

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  BOOL OnInitDialog() override;

  void OnSysCommand(UINT nID, LPARAM lParam);
  void OnPaint();
  HCURSOR OnQueryDragIcon();
  void OnScanTick(UINT_PTR timerId);
  void OnCloseRequest();
  void OnCopy();
  void OnGetInfoTip(NMHDR* notification, LRESULT* result);
  // Another display's DPI: the marks are drawn again at its size, the columns fill the
  // list again.
  void OnDpiChanged(UINT dpis, LPARAM suggested);

 private:
  // Gives the list state images for dpi; the ones it had are destroyed.
  void SetStateImages(UINT dpi);
  void AddRow(ScanRow row);
  void FinishScan();

  // A close request during the scan is held until the next tick, which ends the scan
  // and closes.
  enum class Close { NotAsked, Pending, Closing };

  CScan m_scan;
  Close m_close = Close::NotAsked;

  // What the scan found, which the tips read: the rows as the scan gave them (each holds
  // the volume record behind its item data, which lives as long as the window object, and
  // what would align it), then, once it ends, the rest of its findings.
  MachineFindings m_found;
  static const MessageEntry messageEntries[];
};
