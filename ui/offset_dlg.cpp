#include "ui/offset_dlg.h"

#include "report/report_text.h"
#include "res/resource.h"
#include "ui/about_help.h"
#include "ui/device_info_dlg.h"
#include "ui/state_images.h"

namespace {
constexpr UINT_PTR kScanTimer = 0;
constexpr UINT kScanPeriodMs = 20;
constexpr DWORD kListStyles = LVS_EX_FULLROWSELECT | LVS_EX_INFOTIP;  // 0x420
}  // namespace

const MessageEntry COffsetDlg::messageEntries[] = {
    afx::OnMessage<&COffsetDlg::OnSysCommand>(WM_SYSCOMMAND),
    afx::OnMessage<&COffsetDlg::OnPaint>(WM_PAINT),
    afx::OnMessage<&COffsetDlg::OnQueryDragIcon>(WM_QUERYDRAGICON),
    afx::OnMessage<&COffsetDlg::OnScanTick>(WM_TIMER),
    afx::OnMessage<&COffsetDlg::OnCloseRequest>(WM_CLOSE),
    afx::OnMessage<&COffsetDlg::OnDpiChanged>(WM_DPICHANGED),
    afx::OnCommand<&COffsetDlg::OnCopy>(IDC_COPY, BN_CLICKED),
    afx::OnNotify<&COffsetDlg::OnGetInfoTip>(LVN_GETINFOTIPA, IDC_LIST),
};
const MessageMap COffsetDlg::messageMap = {&CDialog::messageMap, std::begin(messageEntries),
                                           std::end(messageEntries)};

COffsetDlg::COffsetDlg(CWnd* parent)
    : CDialog(IDD_OFFSETS, parent),
      m_pStateImages(nullptr),
      m_hIcon(::LoadIconA(AfxGetResourceHandle(), MAKEINTRESOURCEA(IDR_MAINICON))) {}

COffsetDlg::~COffsetDlg() {
  // The list control owns the image list and destroys it with itself; only the object
  // is ours to free.
  if (m_pStateImages != nullptr) {
    m_pStateImages->Detach();
    delete m_pStateImages;
  }
}

void COffsetDlg::DoDataExchange(CDataExchange* pDX) {
  DDX_Control(pDX, IDC_COPY, m_btnCopy);
  DDX_Control(pDX, IDOK, m_btnOk);
  DDX_Control(pDX, IDC_LIST, m_list);
}

std::array<int, 4> COffsetDlg::ColumnWidths(int w) {
  return {w / 8, w / 8, w / 2, w - (3 * w) / 4};
}

BOOL COffsetDlg::OnInitDialog() {
  CDialog::OnInitDialog();

  CMenu sysMenu = GetSystemMenu(FALSE);
  if (sysMenu.m_hMenu != nullptr) {
    CString text;
    text.LoadString(IDS_DEVINFO);
    if (!text.IsEmpty()) {
      sysMenu.AppendMenu(MF_SEPARATOR);
      sysMenu.AppendMenu(MF_STRING, IDM_DEVICEINFO, text);
    }
    text.LoadString(IDS_ABOUT);
    if (!text.IsEmpty()) {
      sysMenu.AppendMenu(MF_SEPARATOR);
      sysMenu.AppendMenu(MF_STRING, IDM_ABOUT, text);
    }
  }

  RECT client;
  m_list.GetClientRect(&client);
  const std::array<int, 4> widths = ColumnWidths(client.right - client.left);
  const UINT headings[] = {IDS_COL_DRIVE, IDS_COL_DRVNO, IDS_COL_NAME, IDS_COL_OFFSET};
  for (int column = 0; column < 4; ++column) {
    CString heading;
    heading.LoadString(headings[column]);
    m_list.InsertColumn(column, heading, LVCFMT_LEFT, widths[column]);
  }

  SetStateImages(GetDpi());

  SetTimer(kScanTimer, kScanPeriodMs, nullptr);
  SetIcon(m_hIcon, TRUE);
  SetIcon(m_hIcon, FALSE);
  m_list.SendMessage(LVM_SETEXTENDEDLISTVIEWSTYLE, 0, kListStyles);
  return TRUE;
}

void COffsetDlg::SetStateImages(UINT dpi) {
  if (m_pStateImages == nullptr) m_pStateImages = new CImageList;
  m_pStateImages->Detach();  // the list owns the images it shows
  if (!CreateStateImages(*m_pStateImages, AfxGetResourceHandle(), StateImageSize(dpi))) return;
  // The list does not destroy the images it is made to let go of.
  CImageList previous;
  previous.Attach(reinterpret_cast<HIMAGELIST>(m_list.SendMessage(
      LVM_SETIMAGELIST, LVSIL_STATE, reinterpret_cast<LPARAM>(m_pStateImages->m_hImageList))));
}

void COffsetDlg::OnDpiChanged(UINT dpis, LPARAM suggested) {
  CDialog::OnDpiChanged(dpis, suggested);
  SetStateImages(LOWORD(dpis));
  RECT client;
  m_list.GetClientRect(&client);
  const std::array<int, 4> widths = ColumnWidths(client.right - client.left);
  for (int column = 0; column < 4; ++column) m_list.SetColumnWidth(column, widths[column]);
}

void COffsetDlg::OnSysCommand(UINT nID, LPARAM) {
  if ((nID & 0xFFF0) == IDM_ABOUT) {
    CAboutBox about;
    about.DoModal();
  } else if ((nID & 0xFFFF) == IDM_DEVICEINFO) {
    CDeviceInfoDlg info;
    info.DoModal();
  } else {
    Default();
  }
}

void COffsetDlg::OnPaint() {
  if (!IsIconic()) {
    Default();
    return;
  }
  CPaintDC dc(this);
  SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.GetSafeHdc()), 0);
  const int cx = ::GetSystemMetrics(SM_CXICON);
  const int cy = ::GetSystemMetrics(SM_CYICON);
  RECT client;
  GetClientRect(&client);
  const int x = (client.right - client.left - cx + 1) / 2;
  const int y = (client.bottom - client.top - cy + 1) / 2;
  dc.DrawIcon(x, y, m_hIcon);
}

HCURSOR COffsetDlg::OnQueryDragIcon() { return static_cast<HCURSOR>(m_hIcon); }

void COffsetDlg::WinHelp(DWORD_PTR, UINT) {
  CHelpBox help;
  help.DoModal();
}

void COffsetDlg::OnScanTick(UINT_PTR) {
  if (m_close == Close::Pending) {
    FinishScan();
    m_close = Close::Closing;
    PostMessage(WM_CLOSE);
  } else if (m_close == Close::NotAsked && !m_scan.Finished()) {
    if (std::optional<ScanRow> row = m_scan.Step()) AddRow(std::move(*row));
    if (m_scan.Finished()) FinishScan();
  }
  Default();
}

void COffsetDlg::OnCloseRequest() {
  if (m_close == Close::NotAsked && !m_scan.Finished()) {
    m_close = Close::Pending;
    return;
  }
  if (m_close == Close::Pending) return;
  Default();
}

void COffsetDlg::AddRow(ScanRow row) {
  const auto cells = report::VolumeCells(row);
  const int index =
      m_list.InsertItem(static_cast<int>(m_list.SendMessage(LVM_GETITEMCOUNT)), cells[0].c_str());
  if (index < 0) return;
  for (int column = 1; column < 4; ++column)
    m_list.SetItemText(index, column, cells[column].c_str());
  m_list.SetItemData(index, reinterpret_cast<DWORD_PTR>(row.volume.get()));
  m_list.SetItemState(index, INDEXTOSTATEIMAGEMASK(StateImageIndex(row.verdict)),
                      LVIS_STATEIMAGEMASK);
  m_found.rows.push_back(std::move(row));
}

void COffsetDlg::FinishScan() {
  KillTimer(kScanTimer);
  m_found = m_scan.Findings(std::move(m_found.rows));
  m_btnOk.SetWindowText("Ok");
  m_btnOk.EnableWindow(TRUE);
  m_btnCopy.ShowWindow(SW_SHOW);
}
