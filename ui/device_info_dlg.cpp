#include "ui/device_info_dlg.h"

#include <algorithm>

#include "inspect/drive_info.h"
#include "report/report_text.h"
#include "report/tip_text.h"
#include "res/resource.h"

namespace {
constexpr int kAppendRow = 999;  // past every row: the list has no sorting
constexpr DWORD kListStyles = LVS_EX_FULLROWSELECT | LVS_EX_INFOTIP;
constexpr LPARAM kNoTip = -1;
}  // namespace

const MessageEntry CDeviceInfoDlg::messageEntries[] = {
    afx::OnNotify<&CDeviceInfoDlg::OnGetInfoTip>(LVN_GETINFOTIPA, IDC_LIST),
    afx::OnMessage<&CDeviceInfoDlg::OnDpiChanged>(WM_DPICHANGED),
};
const MessageMap CDeviceInfoDlg::messageMap = {&CDialog::messageMap, std::begin(messageEntries),
                                               std::end(messageEntries)};

CDeviceInfoDlg::CDeviceInfoDlg() : CDialog(IDD_OFFSETS, nullptr) {}

void CDeviceInfoDlg::DoDataExchange(CDataExchange* pDX) {
  DDX_Control(pDX, IDC_LIST, m_list);
  DDX_Control(pDX, IDOK, m_btnOk);
}

BOOL CDeviceInfoDlg::OnInitDialog() {
  CDialog::OnInitDialog();

  CString text;
  text.LoadString(IDS_DEVINFO);
  SetWindowText(text.Mid(1));  // without the menu's "&"
  text.LoadString(IDS_OK);
  m_btnOk.SetWindowText(text);
  m_btnOk.EnableWindow(TRUE);

  text.LoadString(IDS_COL_NAME);
  m_list.InsertColumn(0, text, LVCFMT_LEFT, 0);
  m_list.InsertColumn(1, "Alignment", LVCFMT_RIGHT, 0);
  m_list.InsertColumn(2, "Phys Sector Size", LVCFMT_RIGHT, 0);

  m_numbers = g_drives.Listed();
  // Drives numbered 0, 1, 2, ... are told apart by their place; behind a gap or past the
  // tenth each name says its number, as the report's rows do.
  bool numbered = false;
  for (size_t i = 0; i < m_numbers.size(); ++i) numbered = numbered || m_numbers[i].value != i;
  for (size_t i = 0; i < m_numbers.size(); ++i) {
    const DriveInfo& drive = g_drives[m_numbers[i]];
    CString name = drive.model;
    if (numbered)
      name.Format("%lu: %s", static_cast<unsigned long>(m_numbers[i].value), drive.model.GetString());
    LVITEMA item = {};
    item.mask = LVIF_TEXT;
    item.iItem = kAppendRow;
    item.pszText = const_cast<char*>(name.GetString());
    const int row = m_list.InsertItem(&item);
    const report::DriveGeometry geometry = report::GeometryOf(drive);
    if (!geometry.reported || geometry.alignment)
      m_list.SetItemText(row, 1, report::AlignmentCell(geometry).c_str());
    m_list.SetItemText(row, 2, report::PhysicalSectorCell(geometry).c_str());
    // Only an ATA identity has a serial or firmware of its own to show; any drive may hold a
    // misaligned partition that no row shows, or report a physical sector past 4 KiB.
    const bool tip = drive.Identified() || !report::PartitionTip(drive).empty() ||
                     !report::PhysicalSectorNote(drive).empty() || !report::CostNote(drive).empty() ||
                     !report::FreeSpaceNote(drive).empty();
    m_list.SetItemData(row, static_cast<DWORD_PTR>(tip ? static_cast<LPARAM>(i) : kNoTip));
  }

  m_list.SendMessage(LVM_SETEXTENDEDLISTVIEWSTYLE, 0, kListStyles);
  SizeColumns();
  return TRUE;
}

void CDeviceInfoDlg::SizeColumns() {
  // Taken once the rows are in: a list with more rows than it shows has its vertical scroll
  // bar by then, and its client area is what is left beside it. Widths taken before would
  // lay the last column under the bar.
  const auto textWidth = [this](const char* text) {
    return static_cast<int>(
        m_list.SendMessage(LVM_GETSTRINGWIDTHA, 0, reinterpret_cast<LPARAM>(text)));
  };
  // A cell's text is drawn between margins of 6 pixels at 96 DPI on each side.
  const int margins = 2 * static_cast<int>(::MulDiv(6, static_cast<int>(GetDpi()), 96));
  const int rows = static_cast<int>(m_list.SendMessage(LVM_GETITEMCOUNT));
  int widths[3] = {};
  for (int column = 1; column < 3; ++column) {
    char heading[64] = {};
    LVCOLUMNA info = {};
    info.mask = LVCF_TEXT;
    info.pszText = heading;
    info.cchTextMax = sizeof heading;
    m_list.SendMessage(LVM_GETCOLUMNA, static_cast<WPARAM>(column),
                       reinterpret_cast<LPARAM>(&info));
    widths[column] = textWidth(heading);
    for (int row = 0; row < rows; ++row)
      widths[column] = std::max(widths[column], textWidth(m_list.GetItemText(row, column)));
    widths[column] += margins;
  }
  RECT client;
  m_list.GetClientRect(&client);
  widths[0] = std::max(0, static_cast<int>(client.right - client.left) - widths[1] - widths[2]);
  for (int column = 0; column < 3; ++column) m_list.SetColumnWidth(column, widths[column]);
}

void CDeviceInfoDlg::OnDpiChanged(UINT dpis, LPARAM suggested) {
  CDialog::OnDpiChanged(dpis, suggested);
  SizeColumns();
}

void CDeviceInfoDlg::OnGetInfoTip(NMHDR* notification, LRESULT*) {
  auto* tip = reinterpret_cast<NMLVGETINFOTIPA*>(notification);
  if (tip->lParam < 0 || static_cast<size_t>(tip->lParam) >= m_numbers.size()) return;
  const DriveInfo& drive = g_drives[m_numbers[static_cast<size_t>(tip->lParam)]];
  CString text;
  if (drive.Identified() && !drive.serial.IsEmpty()) text.Format("Ser=%s", drive.serial.GetString());
  if (drive.Identified() && !drive.firmware.IsEmpty()) {
    if (!text.IsEmpty()) text += '\n';
    text += "f/w=";
    text += drive.firmware;
  }
  for (const std::string& more :
       {report::CostNote(drive), report::PhysicalSectorNote(drive), report::PartitionTip(drive),
        report::FreeSpaceNote(drive)}) {
    if (more.empty()) continue;
    if (!text.IsEmpty()) text += '\n';
    text += more.c_str();
  }
  if (text.IsEmpty() || tip->pszText == nullptr || tip->cchTextMax <= 0) return;
  // Whole lines and sentences: a tip cut mid-line would say half a thing.
  const std::string whole =
      report::CutAtWholeSentences(text.GetString(), static_cast<size_t>(tip->cchTextMax));
  ::lstrcpynA(tip->pszText, whole.c_str(), tip->cchTextMax);
}
