#include <cstring>
#include <set>
#include <utility>

#include "res/resource.h"
#include "win_support.h"

namespace {

using wintest::DialogTemplate;
using wintest::LoadDialogTemplate;
using wintest::TemplateItem;

const WORD kEnglishUs = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);

TEST(ResourcesTest, StringTableHoldsExactlyTheThirteenTexts) {
  const std::pair<UINT, const char*> strings[] = {
      {101, "&About Tessarel..."},
      {102, "Drive"},
      {103, "Drv No"},
      {104, "Drive Name"},
      {105, "Offset"},
      {106, "Partition Offset Checker"},
      {107, "This program does not operate with this operating system version."},
      {108,
       "Unable to open a volume.\nThis program requires you to be logged in with "
       "administrative privileges."},
      {109, "This partition is properly aligned for maximum performance."},
      {110,
       "This partition is not properly aligned.  Performance may be increased by correctly "
       "aligning the volume."},
      {111, "Unable to determine if this partition is properly aligned."},
      {112, "&Device Information"},
      {113, "&Ok"},
  };
  for (const auto& [id, text] : strings) {
    CString loaded;
    EXPECT_TRUE(loaded.LoadString(id)) << id;
    EXPECT_STREQ(loaded, text) << id;
  }
  CString none;
  EXPECT_FALSE(none.LoadString(100));
  EXPECT_FALSE(none.LoadString(114));
  EXPECT_TRUE(none.IsEmpty());
}

void ExpectItem(const TemplateItem& item, DWORD id, const char* cls, const char* text, short x,
                short y, short cx, short cy, DWORD style) {
  SCOPED_TRACE(text);
  EXPECT_EQ(item.id, id);
  EXPECT_EQ(item.windowClass, cls);
  EXPECT_EQ(item.text, text);
  EXPECT_EQ(item.x, x);
  EXPECT_EQ(item.y, y);
  EXPECT_EQ(item.cx, cx);
  EXPECT_EQ(item.cy, cy);
  EXPECT_EQ(item.style, style) << std::hex << item.style << " != " << style;
  EXPECT_EQ(item.exStyle, 0u);
  EXPECT_EQ(item.helpId, 0u);
}

constexpr const char* kButton = "#128";
constexpr const char* kStatic = "#130";
constexpr DWORD kShown = WS_CHILD | WS_VISIBLE;
constexpr DWORD kInfoStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT;

TEST(ResourcesTest, AboutTemplate) {
  const DialogTemplate t = LoadDialogTemplate(IDD_ABOUT);
  EXPECT_FALSE(t.extended);
  EXPECT_EQ(t.style, kInfoStyle);
  EXPECT_EQ(t.exStyle, 0u);
  EXPECT_EQ(t.caption, "About Tessarel");
  EXPECT_EQ(t.cx, 235);
  EXPECT_EQ(t.cy, 55);
  EXPECT_EQ(t.pointSize, 8);
  EXPECT_EQ(t.font, "MS Sans Serif");
  ASSERT_EQ(t.items.size(), 5u);
  ExpectItem(t.items[0], 0xFFFF, kStatic, "#128", 11, 17, 20, 20, SS_ICON | kShown);
  ExpectItem(t.items[1], 0xFFFF, kStatic, "Tessarel Version 1.02", 40, 10, 119, 8,
             SS_LEFT | SS_NOPREFIX | WS_GROUP | kShown);
  ExpectItem(t.items[2], 0xFFFF, kStatic, "Copyright (C) 2026 The Tessarel developers.", 40, 25,
             179, 8, SS_LEFT | WS_GROUP | kShown);
  ExpectItem(t.items[3], IDOK, kButton, "OK", 178, 7, 50, 14,
             BS_DEFPUSHBUTTON | WS_TABSTOP | WS_GROUP | kShown);
  ExpectItem(t.items[4], 0xFFFF, kStatic, "It reads your disks and never writes to them.", 40, 34,
             179, 8, SS_LEFT | WS_GROUP | kShown);
}

TEST(ResourcesTest, OffsetsTemplate) {
  const DialogTemplate t = LoadDialogTemplate(IDD_OFFSETS);
  EXPECT_TRUE(t.extended);
  EXPECT_EQ(t.helpId, 0u);
  EXPECT_EQ(t.style, kInfoStyle | WS_VISIBLE);
  EXPECT_EQ(t.exStyle, DWORD(WS_EX_APPWINDOW));
  EXPECT_EQ(t.caption, "Partition Offset Information");
  EXPECT_EQ(t.cx, 266);
  EXPECT_EQ(t.cy, 109);
  EXPECT_EQ(t.pointSize, 8);
  EXPECT_EQ(t.weight, 0);
  EXPECT_EQ(t.italic, 0);
  EXPECT_EQ(t.charset, 1);
  EXPECT_EQ(t.font, "MS Sans Serif");
  ASSERT_EQ(t.items.size(), 3u);
  ExpectItem(t.items[0], IDOK, kButton, "Computing...", 96, 88, 50, 14,
             BS_DEFPUSHBUTTON | WS_TABSTOP | WS_DISABLED | kShown);
  ExpectItem(t.items[1], IDC_LIST, "SysListView32", "List1", 7, 7, 252, 73,
             LVS_REPORT | WS_BORDER | WS_TABSTOP | kShown);
  ExpectItem(t.items[2], IDC_COPY, kButton, "&Copy", 209, 88, 50, 14,
             BS_PUSHBUTTON | WS_TABSTOP | WS_CHILD);
}

TEST(ResourcesTest, HelpTemplate) {
  const DialogTemplate t = LoadDialogTemplate(IDD_HELP);
  EXPECT_FALSE(t.extended);
  EXPECT_EQ(t.style, kInfoStyle);
  EXPECT_EQ(t.caption, "Rarizaza Dadadi Ridu Help");
  EXPECT_EQ(t.cx, 278);
  EXPECT_EQ(t.cy, 94);
  EXPECT_EQ(t.font, "MS Sans Serif");
  ASSERT_EQ(t.items.size(), 6u);
  ExpectItem(t.items[0], IDOK, kButton, "OK", 113, 73, 50, 14,
             BS_DEFPUSHBUTTON | WS_TABSTOP | kShown);
  const char* lines[] = {
      "Each row represents one drive partition.",
      "No icon to the left of the drive letter represents a partition with good alingment.",
      "An exclamation icon represents a misaligned partition.",
      "A Question icon represents that the tool was not able to determine alignment.",
      "Leaving the cursor over the drive letter or the icon will explain this representation.",
  };
  for (int i = 0; i < 5; ++i)
    ExpectItem(t.items[i + 1], 0xFFFF, kStatic, lines[i], 7, static_cast<short>(7 + 13 * i), 264, 8,
               SS_LEFT | WS_GROUP | kShown);
}

#pragma pack(push, 2)
struct GroupIconEntry {
  BYTE width, height, colors, reserved;
  WORD planes, bitCount;
  DWORD bytes;
  WORD id;
};
#pragma pack(pop)

std::vector<GroupIconEntry> IconGroup(UINT id) {
  HRSRC info = ::FindResourceExA(nullptr, reinterpret_cast<LPCSTR>(RT_GROUP_ICON),
                                 MAKEINTRESOURCEA(id), kEnglishUs);
  if (info == nullptr) return {};
  const auto* dir = static_cast<const BYTE*>(::LockResource(::LoadResource(nullptr, info)));
  WORD count;
  std::memcpy(&count, dir + 4, 2);
  std::vector<GroupIconEntry> out(count);
  std::memcpy(out.data(), dir + 6, count * sizeof(GroupIconEntry));
  return out;
}

BOOL CALLBACK FirstName(HMODULE, LPCSTR, LPSTR name, LONG_PTR first) {
  *reinterpret_cast<UINT*>(first) = static_cast<UINT>(reinterpret_cast<uintptr_t>(name));
  return FALSE;
}

TEST(ResourcesTest, IconGroupsAreSixteenColourImagesOfTheRightSizes) {
  const std::pair<UINT, std::vector<int>> groups[] = {
      {IDR_MAINICON, {32, 16}}, {IDI_MISALIGNED, {32, 16}}, {IDI_UNKNOWN, {32}}};
  for (const auto& [id, sizes] : groups) {
    SCOPED_TRACE(id);
    const auto entries = IconGroup(id);
    ASSERT_EQ(entries.size(), sizes.size());
    for (size_t i = 0; i < sizes.size(); ++i) {
      EXPECT_EQ(entries[i].width, sizes[i]);
      EXPECT_EQ(entries[i].height, sizes[i]);
      EXPECT_EQ(entries[i].colors, 16);
      EXPECT_EQ(entries[i].bitCount, 4);
    }
  }
  UINT first = 0;
  ::EnumResourceNamesA(nullptr, reinterpret_cast<LPCSTR>(RT_GROUP_ICON), &FirstName,
                       reinterpret_cast<LONG_PTR>(&first));
  EXPECT_EQ(first, UINT(IDR_MAINICON));  // the icon the desktop shows for the file
}

// An icon's pixels at size: colour (0xRRGGBB) and whether each is transparent.
struct Pixels {
  int size;
  std::vector<COLORREF> colour;
  std::vector<bool> clear;
  COLORREF At(int x, int y) const { return colour[y * size + x]; }
  bool ClearAt(int x, int y) const { return clear[y * size + x]; }
};

std::vector<DWORD> Bits(HBITMAP bitmap, int size) {
  std::vector<DWORD> bits(size * size);
  BITMAPINFO bi = {};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = size;
  bi.bmiHeader.biHeight = -size;  // top-down
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  HDC dc = ::GetDC(nullptr);
  ::GetDIBits(dc, bitmap, 0, size, bits.data(), &bi, DIB_RGB_COLORS);
  ::ReleaseDC(nullptr, dc);
  return bits;
}

Pixels IconPixels(UINT id, int size) {
  HICON icon = static_cast<HICON>(
      ::LoadImageA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id), IMAGE_ICON, size, size, 0));
  ICONINFO info = {};
  ::GetIconInfo(icon, &info);
  Pixels p{size, {}, {}};
  const auto colour = Bits(info.hbmColor, size);
  const auto mask = Bits(info.hbmMask, size);
  for (int i = 0; i < size * size; ++i) {
    p.colour.push_back(colour[i] & 0xFFFFFF);
    p.clear.push_back((mask[i] & 0xFFFFFF) != 0);
  }
  ::DeleteObject(info.hbmColor);
  ::DeleteObject(info.hbmMask);
  ::DestroyIcon(icon);
  return p;
}

TEST(ResourcesTest, ExclamationMarkIsRedOnClearAtSixteenAndBlankAtThirtyTwo) {
  std::set<std::pair<int, int>> mark = {{7, 2}, {7, 9}, {7, 10}, {7, 12}, {7, 14}};
  for (int y = 3; y <= 8; ++y)
    for (int x = 6; x <= 8; ++x) mark.insert({x, y});
  for (int x = 6; x <= 8; ++x) mark.insert({x, 13});

  const Pixels small = IconPixels(IDI_MISALIGNED, 16);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) {
      SCOPED_TRACE(::testing::Message() << "pixel " << x << "," << y);
      if (mark.count({x, y})) {
        EXPECT_FALSE(small.ClearAt(x, y));
        EXPECT_EQ(small.At(x, y), 0xFF0000u);  // pure red
      } else {
        EXPECT_TRUE(small.ClearAt(x, y));
      }
    }
  const Pixels large = IconPixels(IDI_MISALIGNED, 32);
  for (int i = 0; i < 32 * 32; ++i) EXPECT_TRUE(large.clear[i]) << i;
}

TEST(ResourcesTest, QuestionMarkIsBlueOnOpaqueWhite) {
  const Pixels p = IconPixels(IDI_UNKNOWN, 32);
  int left = 32, right = -1, top = 32, bottom = -1, grey = 0;
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 32; ++x) {
      EXPECT_FALSE(p.ClearAt(x, y));
      const COLORREF c = p.At(x, y);
      EXPECT_TRUE(c == 0x0000FF || c == 0xFFFFFF || c == 0xC0C0C0) << std::hex << c;
      if (c == 0xC0C0C0) ++grey;
      if (c != 0x0000FF) continue;
      left = std::min(left, x);
      right = std::max(right, x);
      top = std::min(top, y);
      bottom = std::max(bottom, y);
    }
  EXPECT_EQ(right - left + 1, 15);
  EXPECT_EQ(bottom - top + 1, 23);
  EXPECT_LE(std::abs((left + right) - 31), 1);  // centred
  EXPECT_LE(std::abs((top + bottom) - 31), 1);
  EXPECT_GT(grey, 0);
  EXPECT_EQ(p.At(0, 0), 0xFFFFFFu);
}

TEST(ResourcesTest, EmblemIsOneColourLineDrawingOnClear) {
  for (int size : {32, 16}) {
    const Pixels p = IconPixels(IDR_MAINICON, size);
    std::set<COLORREF> colours;
    int drawn = 0;
    for (int i = 0; i < size * size; ++i)
      if (!p.clear[i]) {
        colours.insert(p.colour[i]);
        ++drawn;
      }
    EXPECT_EQ(colours.size(), 1u) << size;
    EXPECT_GT(drawn, size);
    EXPECT_LT(drawn, size * size / 2) << "a line drawing, not a filled shape";
  }
}

// A node of the version resource: key, value bytes, children.
struct VersionNode {
  std::string key;
  std::vector<BYTE> value;
  std::vector<VersionNode> children;
};

const BYTE* Align4(const BYTE* base, const BYTE* p) { return base + ((p - base + 3) & ~3); }

VersionNode ParseVersion(const BYTE* base, const BYTE* p) {
  WORD length, valueLength, type;
  std::memcpy(&length, p, 2);
  std::memcpy(&valueLength, p + 2, 2);
  std::memcpy(&type, p + 4, 2);
  const BYTE* end = p + length;
  VersionNode node;
  const BYTE* q = p + 6;
  for (WORD c; std::memcpy(&c, q, 2), c != 0; q += 2) node.key += static_cast<char>(c);
  q = Align4(base, q + 2);
  const size_t valueBytes = type == 1 ? valueLength * 2u : valueLength;
  node.value.assign(q, q + valueBytes);
  q = Align4(base, q + valueBytes);
  while (q < end) {
    WORD childLength;
    std::memcpy(&childLength, q, 2);
    if (childLength == 0) break;
    node.children.push_back(ParseVersion(base, q));
    q = Align4(base, q + childLength);
  }
  return node;
}

std::string Utf16Value(const std::vector<BYTE>& v) {
  std::string out;
  for (size_t i = 0; i + 1 < v.size(); i += 2)
    if (v[i] || v[i + 1]) out += static_cast<char>(v[i]);
  return out;
}

TEST(ResourcesTest, VersionBlock) {
  HRSRC info = ::FindResourceExA(nullptr, reinterpret_cast<LPCSTR>(RT_VERSION), MAKEINTRESOURCEA(1),
                                 kEnglishUs);
  ASSERT_NE(info, nullptr);
  const auto* base = static_cast<const BYTE*>(::LockResource(::LoadResource(nullptr, info)));
  const VersionNode root = ParseVersion(base, base);
  EXPECT_EQ(root.key, "VS_VERSION_INFO");
  ASSERT_EQ(root.value.size(), sizeof(VS_FIXEDFILEINFO));
  VS_FIXEDFILEINFO fixed;
  std::memcpy(&fixed, root.value.data(), sizeof fixed);
  EXPECT_EQ(fixed.dwFileVersionMS, 0x00010001u);
  EXPECT_EQ(fixed.dwFileVersionLS, 0x00000007u);
  EXPECT_EQ(fixed.dwProductVersionMS, 0x00010001u);
  EXPECT_EQ(fixed.dwProductVersionLS, 0x00000007u);
  EXPECT_EQ(fixed.dwFileFlagsMask, 0x3Fu);
  EXPECT_EQ(fixed.dwFileFlags, 0u);
  EXPECT_EQ(fixed.dwFileOS, DWORD(VOS__WINDOWS32));
  EXPECT_EQ(fixed.dwFileType, DWORD(VFT_APP));
  EXPECT_EQ(fixed.dwFileSubtype, 0u);
  EXPECT_EQ(fixed.dwFileDateMS | fixed.dwFileDateLS, 0u);

  ASSERT_EQ(root.children.size(), 2u);
  const VersionNode& strings = root.children[0];
  EXPECT_EQ(strings.key, "StringFileInfo");
  ASSERT_EQ(strings.children.size(), 1u);
  EXPECT_EQ(strings.children[0].key, "040904b0");
  const std::pair<const char*, const char*> expected[] = {
      {"Comments", ""},
      {"CompanyName", nullptr},
      {"FileDescription", "Partition Offset Checker"},
      {"FileVersion", "1.02"},
      {"InternalName", "Tessarel"},
      {"LegalCopyright", nullptr},
      {"LegalTrademarks", ""},
      {"OriginalFilename", "Tessarel.EXE"},
      {"PrivateBuild", ""},
      {"ProductName", "Tessarel Application"},
      {"ProductVersion", "1.02"},
      {"SpecialBuild", ""},
  };
  const auto& entries = strings.children[0].children;
  ASSERT_EQ(entries.size(), std::size(expected));
  for (size_t i = 0; i < entries.size(); ++i) {
    EXPECT_EQ(entries[i].key, expected[i].first);
    if (expected[i].second)
      EXPECT_EQ(Utf16Value(entries[i].value), expected[i].second) << expected[i].first;
    else
      EXPECT_FALSE(Utf16Value(entries[i].value).empty()) << expected[i].first;
  }
  const VersionNode& vars = root.children[1];
  EXPECT_EQ(vars.key, "VarFileInfo");
  ASSERT_EQ(vars.children.size(), 1u);
  EXPECT_EQ(vars.children[0].key, "Translation");
  EXPECT_EQ(vars.children[0].value, (std::vector<BYTE>{0x09, 0x04, 0xB0, 0x04}));
}

TEST(ResourcesTest, EverythingIsEnglishUnitedStates) {
  for (UINT id : {IDD_ABOUT, IDD_OFFSETS, IDD_HELP})
    EXPECT_NE(::FindResourceExA(nullptr, reinterpret_cast<LPCSTR>(RT_DIALOG), MAKEINTRESOURCEA(id),
                                kEnglishUs),
              nullptr)
        << id;
  for (UINT block : {7u, 8u})  // strings 101..111 and 112..113
    EXPECT_NE(::FindResourceExA(nullptr, reinterpret_cast<LPCSTR>(RT_STRING),
                                MAKEINTRESOURCEA(block + 0), kEnglishUs),
              nullptr)
        << block;
  for (UINT id : {IDR_MAINICON, IDI_MISALIGNED, IDI_UNKNOWN}) EXPECT_FALSE(IconGroup(id).empty());
}

}  // namespace
