// Dialog windows built from templates in the program's resources.
#pragma once

#include "framework/wnd.h"

class CDataExchange {
 public:
  CDataExchange(CWnd* dialog, BOOL save) : m_pDlgWnd(dialog), m_bSaveAndValidate(save) {}
  CWnd* m_pDlgWnd;
  BOOL m_bSaveAndValidate;
};

// Binds control to the dialog's child id, once.
void DDX_Control(CDataExchange* pDX, int id, CWnd& control);

class CDialog : public CWnd {
 public:
  explicit CDialog(UINT templateId, CWnd* parent = nullptr);

  // Runs the dialog modally; returns its end code, or -1 when it could not be created.
  virtual INT_PTR DoModal();
  // Creates the dialog without a modal loop; false when it could not be created.
  BOOL Create(CWnd* parent = nullptr);
  // Ends the dialog: a modal one leaves its loop, a modeless one is destroyed.
  void EndDialog(int result);
  // The end code of the last run; -1 while the dialog has not ended.
  int GetEndCode() const { return m_endCode; }

  virtual BOOL OnInitDialog();
  virtual void OnOK();
  virtual void OnCancel();
  BOOL UpdateData(BOOL save = TRUE);

  static const MessageMap messageMap;
  const MessageMap* GetMessageMap() const override { return &messageMap; }

 protected:
  virtual void DoDataExchange(CDataExchange*) {}
  // The window moved to a display of another DPI: it takes the rectangle Windows
  // suggests. A window with pictures in pixels redraws them at the new DPI after this.
  void OnDpiChanged(UINT dpis, LPARAM suggested);

  UINT m_nIDTemplate;
  CWnd* m_pParentWnd;

 private:
  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  HWND OwnerWindow() const;

  bool m_modal = false;
  int m_endCode = -1;
  static const MessageEntry messageEntries[];
};
