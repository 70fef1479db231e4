// The application object and the framework's start-up.
#pragma once

#include "framework/wnd.h"

class CWinApp : public CCmdTarget {
 public:
  CWinApp();
  ~CWinApp() override;

  virtual BOOL InitInstance() { return FALSE; }
  virtual int ExitInstance() { return 0; }
  // The message loop, for an application whose InitInstance returns TRUE.
  virtual int Run();

  // Asks for three-dimensional dialogs and controls; every Win32 system draws them so.
  BOOL Enable3dControls() { return TRUE; }
  // Sends a help request to the main window's help entry point.
  void OnHelp();

  CWnd* m_pMainWnd = nullptr;

  static const MessageMap messageMap;  // no entries
  const MessageMap* GetMessageMap() const override { return &messageMap; }
};

CWinApp* AfxGetApp();
// The module resources are loaded from: the program's own unless set otherwise.
HINSTANCE AfxGetResourceHandle();
void AfxSetResourceHandle(HINSTANCE resources);
// Registers the common control classes the templates use; idempotent.
void AfxInitCommonControls();
// The framework's main routine: initialises, runs the application, returns its exit code.
int AfxWinMain(HINSTANCE, HINSTANCE, LPSTR, int);
