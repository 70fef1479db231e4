#include "app/offset_app.h"

#include <cstring>

#include "platform/sys.h"
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

  // Zeroed first: should the query fail, the platform reads as not NT.
  OSVERSIONINFOA version;
  std::memset(&version, 0, sizeof version);
  version.dwOSVersionInfoSize = sizeof version;
  sys::GetVersionExA(&version);
  if (version.dwPlatformId != VER_PLATFORM_WIN32_NT) {
    Refuse(IDS_BAD_OS);
    return FALSE;
  }

  // Raw read and write access to drive 0 is the test of administrative rights.
  HANDLE drive =
      sys::CreateFileA("\\\\.\\PhysicalDrive0", GENERIC_READ | GENERIC_WRITE,
                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (drive == INVALID_HANDLE_VALUE) {
    Refuse(IDS_NO_ACCESS);
    return FALSE;
  }
  sys::CloseHandle(drive);

  COffsetDlg dlg;
  m_pMainWnd = &dlg;
  dlg.DoModal();
  m_pMainWnd = nullptr;
  return FALSE;
}
