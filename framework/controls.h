// Thin wrappers over the controls and GDI objects the windows use.
#pragma once

#include <vector>

#include "framework/comctl.h"
#include "framework/wnd.h"

class CButton : public CWnd {};

class CListCtrl : public CWnd {
 public:
  int InsertColumn(int column, const char* heading, int format, int width) {
    LVCOLUMNA c = {};
    c.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    c.fmt = format;
    c.cx = width;
    c.pszText = const_cast<char*>(heading);
    c.iSubItem = column;
    return static_cast<int>(SendMessage(LVM_INSERTCOLUMNA, column, reinterpret_cast<LPARAM>(&c)));
  }
  int InsertItem(int index, const char* text) {
    LVITEMA item = {};
    item.mask = LVIF_TEXT;
    item.iItem = index;
    item.pszText = const_cast<char*>(text);
    return InsertItem(&item);
  }
  int InsertItem(const LVITEMA* item) {
    return static_cast<int>(SendMessage(LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(item)));
  }
  BOOL SetItemText(int row, int column, const char* text) {
    LVITEMA item = {};
    item.iSubItem = column;
    item.pszText = const_cast<char*>(text);
    return static_cast<BOOL>(SendMessage(LVM_SETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item)));
  }
  BOOL SetItemData(int row, DWORD_PTR data) {
    LVITEMA item = {};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    item.lParam = static_cast<LPARAM>(data);
    return static_cast<BOOL>(SendMessage(LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item)));
  }
  BOOL SetColumnWidth(int column, int width) {
    return static_cast<BOOL>(SendMessage(LVM_SETCOLUMNWIDTH, column, MAKELPARAM(width, 0)));
  }
  BOOL SetItemState(int row, UINT state, UINT mask) {
    LVITEMA item = {};
    item.state = state;
    item.stateMask = mask;
    return static_cast<BOOL>(SendMessage(LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item)));
  }
  // The cell's whole text, however long.
  CString GetItemText(int row, int column) const {
    std::vector<char> buffer(256);
    for (;;) {
      LVITEMA item = {};
      item.iSubItem = column;
      item.pszText = buffer.data();
      item.cchTextMax = static_cast<int>(buffer.size());
      const auto length =
          static_cast<size_t>(SendMessage(LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item)));
      if (length + 1 < buffer.size()) return CString(buffer.data());
      buffer.resize(buffer.size() * 2);
    }
  }
};

class CImageList {
 public:
  CImageList() = default;
  ~CImageList() {
    if (m_hImageList) AfxGetCommonControls()->ImageList_Destroy(m_hImageList);
  }
  CImageList(const CImageList&) = delete;
  CImageList& operator=(const CImageList&) = delete;

  BOOL Create(int cx, int cy, UINT flags, int initial, int grow) {
    const CommonControls* controls = AfxGetCommonControls();
    m_hImageList = controls ? controls->ImageList_Create(cx, cy, flags, initial, grow) : nullptr;
    return m_hImageList != nullptr;
  }
  int Add(HICON icon) {
    return AfxGetCommonControls()->ImageList_ReplaceIcon(m_hImageList, -1, icon);
  }
  // Takes an image list to destroy with this object.
  void Attach(HIMAGELIST list) { m_hImageList = list; }
  // Gives up the image list without destroying it (its new owner will).
  HIMAGELIST Detach() {
    HIMAGELIST list = m_hImageList;
    m_hImageList = nullptr;
    return list;
  }
  operator HIMAGELIST() const { return m_hImageList; }

  HIMAGELIST m_hImageList = nullptr;
};

class CMenu {
 public:
  BOOL AppendMenu(UINT flags, UINT_PTR id = 0, const char* text = nullptr) {
    return ::AppendMenuA(m_hMenu, flags, id, text);
  }
  HMENU m_hMenu = nullptr;
};

class CPaintDC {
 public:
  explicit CPaintDC(CWnd* window) : m_hWnd(window->m_hWnd) { m_hDC = ::BeginPaint(m_hWnd, &m_ps); }
  ~CPaintDC() { ::EndPaint(m_hWnd, &m_ps); }
  CPaintDC(const CPaintDC&) = delete;
  CPaintDC& operator=(const CPaintDC&) = delete;

  BOOL DrawIcon(int x, int y, HICON icon) { return ::DrawIcon(m_hDC, x, y, icon); }
  HDC GetSafeHdc() const { return m_hDC; }

  HDC m_hDC;
  PAINTSTRUCT m_ps;

 private:
  HWND m_hWnd;
};

// A memory file in one block of global memory that grows in steps, always keeping at
// least one zero byte after what was written.
class CSharedFile {
 public:
  explicit CSharedFile(UINT allocFlags = GMEM_MOVEABLE | GMEM_DDESHARE | GMEM_ZEROINIT,
                       UINT growBytes = 4096)
      : m_flags(allocFlags), m_grow(growBytes) {}
  ~CSharedFile() {
    if (m_hGlobal) ::GlobalFree(m_hGlobal);
  }
  CSharedFile(const CSharedFile&) = delete;
  CSharedFile& operator=(const CSharedFile&) = delete;

  // False when the block could not grow; nothing is written then.
  bool Write(const void* data, size_t bytes);
  // Gives up the block (the clipboard will own it).
  HGLOBAL Detach() {
    HGLOBAL block = m_hGlobal;
    m_hGlobal = nullptr;
    m_size = m_capacity = 0;
    return block;
  }

 private:
  UINT m_flags;
  UINT m_grow;
  HGLOBAL m_hGlobal = nullptr;
  size_t m_size = 0;
  size_t m_capacity = 0;
};
