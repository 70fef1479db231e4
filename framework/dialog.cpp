#include "framework/dialog.h"

#include "framework/app.h"

const MessageEntry CDialog::messageEntries[] = {
    afx::OnCommand<&CDialog::OnOK>(IDOK, BN_CLICKED),
    afx::OnCommand<&CDialog::OnCancel>(IDCANCEL, BN_CLICKED),
    afx::OnMessage<&CDialog::OnDpiChanged>(WM_DPICHANGED),
};
const MessageMap CDialog::messageMap = {&CWnd::messageMap, std::begin(messageEntries),
                                        std::end(messageEntries)};

void DDX_Control(CDataExchange* pDX, int id, CWnd& control) {
  if (control.m_hWnd == nullptr) control.Attach(::GetDlgItem(pDX->m_pDlgWnd->m_hWnd, id));
}

CDialog::CDialog(UINT templateId, CWnd* parent) : m_nIDTemplate(templateId), m_pParentWnd(parent) {}

HWND CDialog::OwnerWindow() const {
  // Without a parent, the program's active window owns the dialog.
  if (m_pParentWnd != nullptr) return m_pParentWnd->m_hWnd;
  return ::GetActiveWindow();
}

INT_PTR CDialog::DoModal() {
  AfxInitCommonControls();
  m_modal = true;
  m_endCode = -1;
  const INT_PTR result =
      ::DialogBoxParamA(AfxGetResourceHandle(), MAKEINTRESOURCEA(m_nIDTemplate), OwnerWindow(),
                        &DialogProc, reinterpret_cast<LPARAM>(this));
  m_modal = false;
  return result;
}

BOOL CDialog::Create(CWnd* parent) {
  AfxInitCommonControls();
  if (parent != nullptr) m_pParentWnd = parent;
  m_modal = false;
  m_endCode = -1;
  HWND hwnd = ::CreateDialogParamA(AfxGetResourceHandle(), MAKEINTRESOURCEA(m_nIDTemplate),
                                   OwnerWindow(), &DialogProc, reinterpret_cast<LPARAM>(this));
  return hwnd != nullptr;
}

void CDialog::EndDialog(int result) {
  m_endCode = result;
  if (m_modal)
    ::EndDialog(m_hWnd, result);
  else
    ::DestroyWindow(m_hWnd);
}

BOOL CDialog::UpdateData(BOOL save) {
  CDataExchange dx(this, save);
  DoDataExchange(&dx);
  return TRUE;
}

BOOL CDialog::OnInitDialog() {
  UpdateData(FALSE);
  return TRUE;
}

void CDialog::OnOK() {
  UpdateData(TRUE);
  EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

void CDialog::OnDpiChanged(UINT, LPARAM suggested) {
  Default();  // per-monitor v2: the dialog manager rescales the controls and their font
  const auto* r = reinterpret_cast<const RECT*>(suggested);
  if (r == nullptr) return;
  ::SetWindowPos(m_hWnd, nullptr, r->left, r->top, r->right - r->left, r->bottom - r->top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

INT_PTR CALLBACK CDialog::DialogProc(HWND hwnd, UINT message, WPARAM, LPARAM lParam) {
  if (message != WM_INITDIALOG) return FALSE;
  auto* self = reinterpret_cast<CDialog*>(lParam);
  try {
    self->SubclassWindow(hwnd);
    return self->OnInitDialog();
  } catch (...) {
    return TRUE;
  }
}
