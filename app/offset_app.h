// The application: checks that it may run, then runs the report window.
#pragma once

#include "framework/app.h"

class COffsetApp : public CWinApp {
 public:
  COffsetApp() = default;
  ~COffsetApp() override = default;
  const MessageMap* GetMessageMap() const override { return &messageMap; }
  BOOL InitInstance() override;

  static const MessageMap messageMap;

 private:
  static const MessageEntry messageEntries[];
};

extern COffsetApp theApp;
