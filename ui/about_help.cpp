#include "ui/about_help.h"

#include "res/resource.h"

const MessageMap CAboutBox::messageMap = {&CDialog::messageMap, nullptr, nullptr};
const MessageMap CHelpBox::messageMap = {&CDialog::messageMap, nullptr, nullptr};

CAboutBox::CAboutBox() : CDialog(IDD_ABOUT, nullptr) {}

CHelpBox::CHelpBox(CWnd* parent) : CDialog(IDD_HELP, parent) {}
