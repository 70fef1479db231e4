// One row per physical drive of the drive table: name, grid offset, physical sector size.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "framework/controls.h"
#include "framework/dialog.h"
#include "disk/units.h"

class CDeviceInfoDlg : public CDialog {
 public:
  CDeviceInfoDlg();
  ~CDeviceInfoDlg() override = default;
  const MessageMap* GetMessageMap() const override { return &messageMap; }
  static const MessageMap messageMap;

  CListCtrl m_list;
  CButton m_btnOk;

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  BOOL OnInitDialog() override;
  void OnGetInfoTip(NMHDR* notification, LRESULT* result);
  // Another display's DPI: the columns fill the list again.
  void OnDpiChanged(UINT dpis, LPARAM suggested);

 private:
  // Fits the columns to the list as it stands, rows and scroll bar in: the alignment and the
  // physical sector size as wide as their widest text, the name the rest.
  void SizeColumns();
  // The drive number of each row, as the table stood when the window opened; a row's item
  // data is its index here.
  std::vector<DiskNumber> m_numbers;
  static const MessageEntry messageEntries[];
};
