#include "app/offset_app.h"

#include "app/startup_check.h"
#include "res/resource.h"
#include "ui/offset_dlg.h"

COffsetApp theApp;

const MessageEntry COffsetApp::messageEntries[] = {
    afx::OnCommand<&CWinApp::OnHelp>(ID_HELP),
};
const MessageMap COffsetApp::messageMap = {&CWinApp::messageMap, std::begin(messageEntries),
                                           std::end(messageEntries)};

namespace {
void Refuse(UINT textId) {
  CString caption, text;
  caption.LoadString(IDS_TITLE);
  text.LoadString(textId);
  ::MessageBoxA(nullptr, text, caption, MB_OK);
}
}  // namespace

BOOL COffsetApp::InitInstance() {
  Enable3dControls();

  switch (CheckStartup().refusal) {
    case StartupRefusal::NotNt:
      Refuse(IDS_BAD_OS);
      return FALSE;
    case StartupRefusal::NoRawAccess:
      Refuse(IDS_NO_ACCESS);
      return FALSE;
    case StartupRefusal::None:
      break;
  }

  COffsetDlg dlg;
  m_pMainWnd = &dlg;
  dlg.DoModal();
  m_pMainWnd = nullptr;
  return FALSE;
}
