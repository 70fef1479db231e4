// The two fixed information windows; everything they show is in their templates.
#pragma once

#include "framework/dialog.h"

class CAboutBox : public CDialog {
 public:
  CAboutBox();
  ~CAboutBox() override = default;
  const MessageMap* GetMessageMap() const override { return &messageMap; }
  static const MessageMap messageMap;

 protected:
  void DoDataExchange(CDataExchange*) override {}
};

class CHelpBox : public CDialog {
 public:
  explicit CHelpBox(CWnd* parent = nullptr);
  ~CHelpBox() override = default;
  const MessageMap* GetMessageMap() const override { return &messageMap; }
  static const MessageMap messageMap;

 protected:
  void DoDataExchange(CDataExchange*) override {}
};
