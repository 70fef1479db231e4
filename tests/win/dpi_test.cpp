// The windows at the display's DPI. This program runs in the ordinary test prefix (96 DPI)
// and, for the tests named Dpi*, again in one at 192 DPI, which TESSAREL_EXPECT_DPI names.
#include <algorithm>
#include <cstdlib>
#include <map>

#include "dialog_fixture.h"
#include "res/resource.h"
#include "ui/about_help.h"
#include "ui/device_info_dlg.h"
#include "ui/state_images.h"

namespace {

UINT ExpectedDpi() {
  const char* dpi = std::getenv("TESSAREL_EXPECT_DPI");
  return dpi != nullptr ? static_cast<UINT>(std::atoi(dpi)) : USER_DEFAULT_SCREEN_DPI;
}

// An icon's pixels: colour where its mask is opaque, kClear where it is transparent.
constexpr DWORD kClear = 0xFF000000;
std::vector<DWORD> IconPixels(HICON icon, int side) {
  ICONINFO info = {};
  ::GetIconInfo(icon, &info);
  std::vector<DWORD> colour(side * side), mask(side * side);
  BITMAPINFO bi = {};
  bi.bmiHeader = {sizeof bi.bmiHeader, side, -side, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  HDC dc = ::GetDC(nullptr);
  ::GetDIBits(dc, info.hbmColor, 0, side, colour.data(), &bi, DIB_RGB_COLORS);
  ::GetDIBits(dc, info.hbmMask, 0, side, mask.data(), &bi, DIB_RGB_COLORS);
  ::ReleaseDC(nullptr, dc);
  ::DeleteObject(info.hbmColor);
  ::DeleteObject(info.hbmMask);
  for (size_t i = 0; i < colour.size(); ++i)
    colour[i] = (mask[i] & 0xFFFFFF) ? kClear : colour[i] & 0xFFFFFF;
  return colour;
}

// Fails unless the list's state images are side pixels square and each shows its own
// picture: the exclamation mark its 16x16 one with every pixel repeated; the question mark
// its 32x32 one as it is at 32, as Windows reduces it at 16 and 24, repeated above 32;
// nothing blended.
void ExpectMarks(HWND list, int side) {
  auto images =
      reinterpret_cast<HIMAGELIST>(::SendMessageA(list, LVM_GETIMAGELIST, LVSIL_STATE, 0));
  ASSERT_NE(images, nullptr);
  int cx = 0, cy = 0;
  ImageList_GetIconSize(images, &cx, &cy);
  ASSERT_EQ(cx, side);
  ASSERT_EQ(cy, side);
  ASSERT_EQ(ImageList_GetImageCount(images), 2);
  const UINT ids[] = {IDI_MISALIGNED, IDI_UNKNOWN};
  for (int index = 0; index < 2; ++index) {
    // The picture as a list of its own size holds it, which keeps the list's colours.
    const int own = index == 0 ? 16 : std::min(side, 32);
    HIMAGELIST reference = ImageList_Create(own, own, ILC_MASK, 1, 0);
    HICON icon = static_cast<HICON>(::LoadImageA(
        ::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(ids[index]), IMAGE_ICON, own, own, 0));
    ImageList_ReplaceIcon(reference, -1, icon);
    ::DestroyIcon(icon);
    HICON source = ImageList_GetIcon(reference, 0, ILD_NORMAL);
    HICON shown = ImageList_GetIcon(images, index, ILD_NORMAL);
    const std::vector<DWORD> small = IconPixels(source, own), big = IconPixels(shown, side);
    ::DestroyIcon(source);
    ::DestroyIcon(shown);
    ImageList_Destroy(reference);
    int wrong = 0;
    for (int y = 0; y < side; ++y)
      for (int x = 0; x < side; ++x)
        wrong += big[y * side + x] != small[(y * own / side) * own + x * own / side];
    EXPECT_EQ(wrong, 0) << "image " << index << " at " << side;
  }
}

TEST(Dpi, StateImagesGrowInStepsOfEightFrom144) {
  const std::map<UINT, int> sides = {{72, 16},  {96, 16},  {120, 16}, {143, 16},
                                     {144, 24}, {191, 24}, {192, 32}, {288, 48}};
  for (const auto& [dpi, side] : sides) EXPECT_EQ(StateImageSize(dpi), side) << dpi;
}

class DpiWindowTest : public ReportWindowTest {};

TEST_F(DpiWindowTest, TheMarksAreDrawnAtTheDisplaysDpi) {
  Open();
  ASSERT_EQ(dlg.GetDpi(), ExpectedDpi()) << "the prefix is not at the DPI its test expects";
  const std::map<UINT, int> sides = {{96, 16}, {192, 32}};
  ASSERT_EQ(sides.count(ExpectedDpi()), 1u);
  ExpectMarks(list, sides.at(ExpectedDpi()));
}

TEST_F(DpiWindowTest, AnotherDisplaysDpiRedrawsTheMarksRefitsTheColumnsTakesTheRectangle) {
  Open();
  RECT list0;
  ::GetWindowRect(list, &list0);
  const struct {
    UINT dpi;
    int side;
  } displays[] = {{192, 32}, {144, 24}, {96, 16}};
  for (const auto& display : displays) {
    SCOPED_TRACE(display.dpi);
    // The dialog manager rescales the controls before the window sees the message.
    const int grow = static_cast<int>(display.dpi) * (list0.right - list0.left) / 96;
    ::SetWindowPos(list, nullptr, 0, 0, grow, list0.bottom - list0.top, SWP_NOMOVE | SWP_NOZORDER);
    RECT suggested = {40, 30, 40 + grow + 40, 30 + 300};
    dlg.SendMessage(WM_DPICHANGED, MAKEWPARAM(display.dpi, display.dpi),
                    reinterpret_cast<LPARAM>(&suggested));
    RECT now;
    ::GetWindowRect(dlg.m_hWnd, &now);
    EXPECT_TRUE(::EqualRect(&now, &suggested));
    ExpectMarks(list, display.side);
    RECT client;
    ::GetClientRect(list, &client);
    const std::array<int, 4> widths = COffsetDlg::ColumnWidths(client.right - client.left);
    for (int c = 0; c < 4; ++c) EXPECT_EQ(wintest::Column(list, c).width, widths[c]) << c;
  }
}

// Whether a control's text fits its client area in its own font.
bool Fits(HWND control) {
  std::string text = wintest::WindowText(control);
  char cls[32] = {};
  ::GetClassNameA(control, cls, sizeof cls);
  const LONG style = ::GetWindowLongA(control, GWL_STYLE);
  UINT format = DT_CALCRECT | DT_EXPANDTABS;
  if (lstrcmpiA(cls, "Button") == 0)
    format |= DT_SINGLELINE;
  else if ((style & SS_TYPEMASK) != SS_LEFTNOWORDWRAP)
    format |= DT_WORDBREAK;
  if (style & SS_NOPREFIX && lstrcmpiA(cls, "Static") == 0) format |= DT_NOPREFIX;
  RECT client;
  ::GetClientRect(control, &client);
  RECT need = {0, 0, client.right, 0};
  HDC dc = ::GetDC(control);
  HGDIOBJ old =
      ::SelectObject(dc, reinterpret_cast<HGDIOBJ>(::SendMessageA(control, WM_GETFONT, 0, 0)));
  ::DrawTextA(dc, text.c_str(), -1, &need, format);
  ::SelectObject(dc, old);
  ::ReleaseDC(control, dc);
  return need.right <= client.right && need.bottom <= client.bottom;
}

// Each text of window that does not fit where it is shown: a control's, or a list cell's
// ("row,column: text") or heading's.
std::vector<std::string> CutTexts(HWND window) {
  std::vector<std::string> cut;
  for (HWND child : wintest::Children(window)) {
    char cls[32] = {};
    ::GetClassNameA(child, cls, sizeof cls);
    if (!(::GetWindowLongA(child, GWL_STYLE) & WS_VISIBLE)) continue;
    if (lstrcmpiA(cls, WC_LISTVIEWA) != 0) {
      if (::SendMessageA(child, STM_GETICON, 0, 0) == 0 && !Fits(child))
        cut.push_back(wintest::WindowText(child));
      continue;
    }
    // A cell's text is drawn between margins of a few pixels each side, from its column's
    // left or right edge as the column is aligned; all of it must lie inside the list's
    // client area, beside any scroll bar (a right-aligned number whose column runs under
    // the scroll bar loses its last digits). The headings too ("heading,column: text").
    const int margin = 6;
    RECT client;
    ::GetClientRect(child, &client);
    for (int row = -1; row < wintest::ListRows(child); ++row)
      for (int column = 0, left = 0; wintest::Column(child, column).width >= 0; ++column) {
        const wintest::ListColumn c = wintest::Column(child, column);
        const std::string text = row < 0 ? c.heading : wintest::ListCell(child, row, column);
        const auto width = static_cast<int>(
            ::SendMessageA(child, LVM_GETSTRINGWIDTHA, 0, reinterpret_cast<LPARAM>(text.c_str())));
        const int from = (c.format & LVCFMT_JUSTIFYMASK) == LVCFMT_RIGHT
                             ? left + c.width - margin - width
                             : left + margin;
        if (from < left + margin ||
            from + width > std::min<int>(left + c.width - margin, client.right))
          cut.push_back((row < 0 ? std::string("heading") : std::to_string(row)) + "," +
                        std::to_string(column) + ": " + text);
        left += c.width;
      }
  }
  return cut;
}

TEST_F(DpiWindowTest, NothingIsCutThatIsNotCutAt96) {
  sim::BuildLab(machine);
  Open();
  RunScan();
  // At 96 DPI both folder paths are longer than their column; at any DPI the longer is.
  const std::vector<std::string> at96 = {"20,0: C:\\SQL\\Data\\", "21,0: C:\\VM\\"};
  const std::vector<std::string> cut = CutTexts(dlg.m_hWnd);
  ASSERT_FALSE(cut.empty());
  EXPECT_EQ(cut.front(), at96.front());
  for (const std::string& text : cut)
    EXPECT_NE(std::find(at96.begin(), at96.end(), text), at96.end()) << text;

  CDeviceInfoDlg drives;
  ASSERT_TRUE(drives.Create(&dlg));
  EXPECT_EQ(CutTexts(drives.m_hWnd), std::vector<std::string>{});
  ::DestroyWindow(drives.m_hWnd);

  CAboutBox about;
  ASSERT_TRUE(about.Create(&dlg));
  EXPECT_EQ(CutTexts(about.m_hWnd), std::vector<std::string>{});
  ::DestroyWindow(about.m_hWnd);
  CHelpBox help;
  ASSERT_TRUE(help.Create(&dlg));
  EXPECT_EQ(CutTexts(help.m_hWnd), std::vector<std::string>{});
  ::DestroyWindow(help.m_hWnd);
}

}  // namespace
