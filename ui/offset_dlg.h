// The report window: one row per fixed volume, filled by the scan one tick at a time.
#pragma once

#include <array>
#include <memory>
#include <vector>

#include "framework/app.h"
#include "framework/controls.h"
#include "framework/dialog.h"
#include "inspect/volume_info.h"

class COffsetDlg : public CDialog {
 public:
  explicit COffsetDlg(CWnd* parent = nullptr);
  ~COffsetDlg() override;

  void WinHelp(DWORD_PTR data, UINT command) override;
  const MessageMap* GetMessageMap() const override { return &messageMap; }
  static const MessageMap messageMap;

  // The report columns' widths for a list whose client area is width pixels wide.
  static std::array<int, 4> ColumnWidths(int width);

  signed char m_cursor;  // the scan's whole state
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

 private:
  void ExamineLetter(char letter);
  void FinishScan();

  // The volume records behind the rows' item data; they live as long as the window object.
  std::vector<std::unique_ptr<CVolumeInfo>> m_records;
  static const MessageEntry messageEntries[];
};
