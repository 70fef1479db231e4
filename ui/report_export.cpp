// The report in words: row tips and the fixed-width clipboard text.
#include <set>

#include "report/report_text.h"
#include "report/tip_text.h"
#include "res/resource.h"
#include "ui/offset_dlg.h"

namespace {
constexpr UINT kHeadings[] = {IDS_COL_DRIVE, IDS_COL_DRVNO, IDS_COL_NAME, IDS_COL_OFFSET};
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
  if (tip->pszText == nullptr || tip->cchTextMax <= 0) return;
  ::LoadStringA(AfxGetResourceHandle(), sentence, tip->pszText, tip->cchTextMax);

  // After the string table's sentence: why an undetermined row is, on how many disks a
  // volume lies, what would align a misaligned one, why Windows' own view differs; each
  // sentence whole or not at all. The item data is taken only when it is the record of one
  // of this window's rows.
  const ScanRow* row = nullptr;
  for (const ScanRow& r : m_found.rows)
    if (reinterpret_cast<LPARAM>(r.volume.get()) == tip->lParam) row = &r;
  if (row == nullptr) return;
  const CVolumeInfo* record = row->volume.get();
  std::set<int64_t> disks;  // a piece on no disk found counts as one
  for (const VolumeExtent& extent : record->m_extents)
    disks.insert(extent.disk ? int64_t{extent.disk->value} : CVolumeInfo::kNoDrive);
  // The sentences follow the mark the row shows.
  const Verdict shown = state == INDEXTOSTATEIMAGEMASK(1)   ? Verdict::Misaligned
                        : state == INDEXTOSTATEIMAGEMASK(2) ? Verdict::Undetermined
                                                            : Verdict::Aligned;
  const std::string text = report::JoinWhole(
      tip->pszText, report::RowTipSentences(*row, shown, disks.size(), record->m_bytesPerSector),
      static_cast<size_t>(tip->cchTextMax));
  ::lstrcpynA(tip->pszText, text.c_str(), tip->cchTextMax);
}

void COffsetDlg::OnCopy() {
  if (!::OpenClipboard(m_hWnd)) return;
  ::EmptyClipboard();

  std::vector<std::string> cells;
  for (UINT id : kHeadings) {
    CString heading;
    heading.LoadString(id);
    cells.emplace_back(heading.GetString());
  }
  std::string text;
  report::AppendFixedWidthLine(text, cells, report::VolumeWidths());
  // The count is read again after each row.
  for (int row = 0; row < static_cast<int>(m_list.SendMessage(LVM_GETITEMCOUNT)); ++row) {
    for (int column = 0; column < 4; ++column)
      cells[static_cast<size_t>(column)] = m_list.GetItemText(row, column).GetString();
    report::AppendFixedWidthLine(text, cells, report::VolumeWidths());
  }

  CSharedFile block;
  if (block.Write(text.data(), text.size())) {
    HGLOBAL memory = block.Detach();
    // The clipboard owns the block once it takes it; a block it refused is still ours.
    if (::SetClipboardData(CF_TEXT, memory) == nullptr) ::GlobalFree(memory);
  }
  ::CloseClipboard();
}
