#include "framework/app.h"

#include "framework/comctl.h"

namespace {
CWinApp* g_app = nullptr;
HINSTANCE g_resources = nullptr;  // null: the program's own module
}  // namespace

const MessageMap CWinApp::messageMap = {&CCmdTarget::messageMap, nullptr, nullptr};

CWinApp::CWinApp() { g_app = this; }

CWinApp::~CWinApp() {
  if (g_app == this) g_app = nullptr;
}

int CWinApp::Run() {
  MSG msg;
  while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&msg);
    ::DispatchMessageA(&msg);
  }
  return ExitInstance();
}

void CWinApp::OnHelp() {
  if (m_pMainWnd != nullptr) m_pMainWnd->WinHelp(0, HELP_CONTEXT);
}

CWinApp* AfxGetApp() { return g_app; }

HINSTANCE AfxGetResourceHandle() {
  return g_resources != nullptr ? g_resources : ::GetModuleHandleA(nullptr);
}

void AfxSetResourceHandle(HINSTANCE resources) { g_resources = resources; }

void AfxInitCommonControls() {
  INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
  if (const CommonControls* controls = AfxGetCommonControls()) controls->InitCommonControlsEx(&icc);
}

int AfxWinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  CWinApp* app = AfxGetApp();
  if (app == nullptr) return -1;
  // No window can be made without them; Windows always has them, so no message either.
  if (AfxGetCommonControls() == nullptr) return 1;
  AfxInitCommonControls();
  if (!app->InitInstance()) return app->ExitInstance();
  return app->Run();
}
