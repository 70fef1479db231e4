// The report in words: row tips and the fixed-width clipboard text.
#include "res/resource.h"
#include "ui/offset_dlg.h"

namespace {

struct ExportColumn {
  UINT heading;
  int width;  // bytes; a longer cell is never cut
};
constexpr ExportColumn kExportColumns[] = {
    {IDS_COL_DRIVE, 8}, {IDS_COL_DRVNO, 8}, {IDS_COL_NAME, 32}, {IDS_COL_OFFSET, 12}};

void AppendCell(CString& text, const CString& cell, int width) {
  text += cell;
  for (int n = cell.GetLength(); n < width; ++n) text += ' ';
}

}  // namespace

void COffsetDlg::OnGetInfoTip(NMHDR* notification, LRESULT*) {
  auto* tip = reinterpret_cast<NMLVGETINFOTIPA*>(notification);
  if (tip->lParam == -1) return;
  const auto state = static_cast<UINT>(
      m_list.SendMessage(LVM_GETITEMSTATE, static_cast<WPARAM>(tip->iItem), LVIS_STATEIMAGEMASK));
  UINT sentence;
  switch (state) {
    case INDEXTOSTATEIMAGEMASK(0):
      sentence = IDS_TIP_ALIGNED;
      break;
    case INDEXTOSTATEIMAGEMASK(1):
      sentence = IDS_TIP_MISALIGNED;
      break;
    case INDEXTOSTATEIMAGEMASK(2):
      sentence = IDS_TIP_UNKNOWN;
      break;
    default:
      return;
  }
  if (tip->pszText != nullptr && tip->cchTextMax > 0)
    ::LoadStringA(AfxGetResourceHandle(), sentence, tip->pszText, tip->cchTextMax);
}

void COffsetDlg::OnCopy() {
  if (!::OpenClipboard(m_hWnd)) return;
  ::EmptyClipboard();

  CString text;
  for (const ExportColumn& column : kExportColumns) {
    CString heading;
    heading.LoadString(column.heading);
    AppendCell(text, heading, column.width);
  }
  text += '\n';
  // The count is read again after each row.
  for (int row = 0; row < static_cast<int>(m_list.SendMessage(LVM_GETITEMCOUNT)); ++row) {
    for (int column = 0; column < 4; ++column)
      AppendCell(text, m_list.GetItemText(row, column), kExportColumns[column].width);
    text += '\n';
  }

  CSharedFile block;
  if (block.Write(text.GetString(), static_cast<size_t>(text.GetLength()))) {
    HGLOBAL memory = block.Detach();
    // The clipboard owns the block once it takes it; a block it refused is still ours.
    if (::SetClipboardData(CF_TEXT, memory) == nullptr) ::GlobalFree(memory);
  }
  ::CloseClipboard();
}
