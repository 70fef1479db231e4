// The scan sequencer: one unit of device work per timer tick of the report window.
#include <cstdio>

#include "inspect/alignment.h"
#include "inspect/drive_info.h"
#include "platform/sys.h"
#include "ui/offset_dlg.h"

namespace {
constexpr signed char kFinished = '[';
constexpr signed char kClosePending = '\\';
constexpr signed char kClosing = ']';
}  // namespace

void COffsetDlg::OnScanTick(UINT_PTR) {
  if (m_cursor >= 0 && m_cursor < kDriveCount) {
    IdentifyDrive(m_cursor, &g_drives[m_cursor]);
    if (g_drives[m_cursor].status < 0 || m_cursor == kDriveCount - 1)
      m_cursor = 'C';
    else
      ++m_cursor;
  } else if (m_cursor >= 'C' && m_cursor <= 'Z') {
    const char letter = m_cursor;
    ++m_cursor;
    ExamineLetter(letter);
    if (m_cursor > 'Z') FinishScan();
  } else if (m_cursor == kClosePending) {
    FinishScan();
    m_cursor = kClosing;
    PostMessage(WM_CLOSE);
  }
  Default();
}

void COffsetDlg::OnCloseRequest() {
  if (m_cursor <= 'Z') {
    m_cursor = kClosePending;  // the next tick ends the scan and closes
    return;
  }
  if (m_cursor == kClosePending) return;
  Default();
}

void COffsetDlg::ExamineLetter(char letter) {
  char root[8];
  std::snprintf(root, sizeof root, "%c:\\", letter);
  if (sys::GetDriveTypeA(root) != DRIVE_FIXED) return;

  auto record = std::make_unique<CVolumeInfo>(letter);
  if (record->Probe() != 3) return;
  const int drive = record->GetDriveIndex();
  const uint64_t start = record->GetDataStartSector();
  if (drive == -1 || start == CVolumeInfo::kNoDataStart) return;
  // 10 means none of the drives in the table holds the volume: no number, no name, no
  // grid to judge by.
  const bool inTable = drive >= 0 && drive < kDriveCount;

  CString text;
  text.Format("%c:", record->m_letter);
  const int row = m_list.InsertItem(static_cast<int>(m_list.SendMessage(LVM_GETITEMCOUNT)), text);
  if (row < 0) return;
  if (inTable) text.Format("%d", drive);
  m_list.SetItemText(row, 1, inTable ? text.GetString() : "");
  m_list.SetItemText(row, 2, inTable ? g_drives[drive].model.GetString() : "");
  text.Format("%llu", static_cast<unsigned long long>(start));
  m_list.SetItemText(row, 3, text);
  m_list.SetItemData(row, reinterpret_cast<DWORD_PTR>(record.get()));
  const int state = inTable ? GetAlignmentState(*record, start, g_drives[drive]) : STATE_UNKNOWN;
  m_list.SetItemState(row, INDEXTOSTATEIMAGEMASK(state), LVIS_STATEIMAGEMASK);
  m_records.push_back(std::move(record));
}
