// The report in words: row tips and the fixed-width clipboard text.
#include <set>

#include "report/report_text.h"
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

  // A volume over several disks says on how many, after its sentence, and a misaligned one
  // what would align it. The item data is taken only when it is the record of one of this
  // window's rows.
  const ScanRow* row = nullptr;
  for (const ScanRow& r : m_rows)
    if (reinterpret_cast<LPARAM>(r.volume.get()) == tip->lParam) row = &r;
  if (row == nullptr) return;
  const CVolumeInfo* record = row->volume.get();
  CString text(tip->pszText);
  std::set<int64_t> disks;  // a piece on no disk found counts as one
  for (const VolumeExtent& extent : record->m_extents)
    disks.insert(extent.disk ? int64_t{extent.disk->value} : CVolumeInfo::kNoDrive);
  if (disks.size() > 1) {
    CString disksText;
    disksText.Format(" The volume lies on %u disks.", static_cast<unsigned>(disks.size()));
    text += disksText;
  }
  if (state == INDEXTOSTATEIMAGEMASK(1) && row->advice) {
    text += " ";
    text += report::AdviceSentence(*row->advice, SectorSize(record->m_bytesPerSector)).c_str();
  }
  // Where Windows' own view differs, why, in a sentence.
  const std::string windows =
      report::WindowsDisagreesWords(row->windowsDisagrees, row->fileSystem == "exFAT");
  if (!windows.empty()) text += (" " + windows + ".").c_str();
  ::lstrcpynA(tip->pszText, text, tip->cchTextMax);
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
