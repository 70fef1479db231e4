#include "ui/state_images.h"

#include <algorithm>
#include <vector>

#include "res/resource.h"

namespace {

constexpr int kIconSide = 16;
constexpr int kQuestionSide = 32;  // unknown.ico's one picture

// A bitmap's pixels as 32-bit colours, top row first; empty when it cannot be read.
std::vector<DWORD> Pixels(HBITMAP bitmap, int side) {
  std::vector<DWORD> pixels(static_cast<size_t>(side) * side);
  BITMAPINFO info = {};
  info.bmiHeader = {sizeof info.bmiHeader, side, -side, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  HDC screen = ::GetDC(nullptr);
  const int rows = ::GetDIBits(screen, bitmap, 0, side, pixels.data(), &info, DIB_RGB_COLORS);
  ::ReleaseDC(nullptr, screen);
  if (rows != side) pixels.clear();
  return pixels;
}

}  // namespace

int StateImageSize(UINT dpi) {
  const int side = static_cast<int>(kIconSide * dpi / USER_DEFAULT_SCREEN_DPI) / 8 * 8;
  return side > kIconSide ? side : kIconSide;
}

HICON ScaleIcon(HICON icon, int side) {
  ICONINFO info = {};
  if (side <= 0 || !::GetIconInfo(icon, &info)) return nullptr;
  BITMAP mask = {};
  ::GetObjectA(info.hbmMask, sizeof mask, &mask);
  const int from = mask.bmWidth;
  // A colour icon has a square mask; a monochrome one, which these are not, a double one.
  std::vector<DWORD> colour, transparent;
  if (info.hbmColor != nullptr && from > 0 && mask.bmHeight == from) {
    colour = Pixels(info.hbmColor, from);
    transparent = Pixels(info.hbmMask, from);
  }
  ::DeleteObject(info.hbmColor);
  ::DeleteObject(info.hbmMask);
  if (colour.empty() || transparent.empty()) return nullptr;

  // Nearest neighbour: target pixel (x, y) takes source pixel (x * from / side, y * ...).
  const size_t n = static_cast<size_t>(side);
  const size_t maskStride = (n + 15) / 16 * 2;  // a monochrome bitmap's rows end on a WORD
  std::vector<DWORD> bigColour(n * n);
  std::vector<BYTE> bigMask(maskStride * n);
  for (size_t y = 0; y < n; ++y) {
    for (size_t x = 0; x < n; ++x) {
      const size_t source = (y * from / n) * from + x * from / n;
      bigColour[y * n + x] = colour[source];
      if ((transparent[source] & 0xFFFFFF) != 0) bigMask[y * maskStride + x / 8] |= 0x80 >> (x % 8);
    }
  }
  ICONINFO scaled = {};
  scaled.fIcon = TRUE;
  scaled.hbmColor = ::CreateBitmap(side, side, 1, 32, bigColour.data());
  scaled.hbmMask = ::CreateBitmap(side, side, 1, 1, bigMask.data());
  HICON result = scaled.hbmColor && scaled.hbmMask ? ::CreateIconIndirect(&scaled) : nullptr;
  if (scaled.hbmColor) ::DeleteObject(scaled.hbmColor);
  if (scaled.hbmMask) ::DeleteObject(scaled.hbmMask);
  return result;
}

bool CreateStateImages(CImageList& images, HINSTANCE resources, int side) {
  if (!images.Create(side, side, ILC_MASK, 4, 4)) return false;
  for (UINT id : {IDI_MISALIGNED, IDI_UNKNOWN}) {
    const int own = id == IDI_MISALIGNED ? kIconSide : std::min(side, kQuestionSide);
    HICON icon =
        static_cast<HICON>(::LoadImageA(resources, MAKEINTRESOURCEA(id), IMAGE_ICON, own, own, 0));
    HICON sized = side == own ? icon : ScaleIcon(icon, side);
    images.Add(sized);
    if (sized != icon) ::DestroyIcon(sized);
    ::DestroyIcon(icon);
  }
  return true;
}
