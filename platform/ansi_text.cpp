#include "platform/ansi_text.h"

#include <algorithm>
#include <vector>

#include "platform/sys.h"

namespace {

constexpr size_t kMostBytes = 1 << 20;  // far past any name Windows gives

std::u16string ByteByByte(const std::string& text) {
  std::u16string out;
  for (char c : text) out += static_cast<unsigned char>(c) < 0x80 ? char16_t(c) : u'\uFFFD';
  return out;
}

}  // namespace

uint32_t AskCodePage() {
  const UINT codePage = sys::GetACP();
  return codePage != 0 ? codePage : 1252;
}

std::u16string DecodeAnsi(uint32_t codePage, const std::string& text) {
  // Every ANSI code page holds ASCII as ASCII (a lead byte of 932, 936, 949 or 950 is
  // 0x81 or above): only a name with a byte above 0x7F asks Windows.
  if (std::all_of(text.begin(), text.end(), [](char c) { return (c & 0x80) == 0; }))
    return std::u16string(text.begin(), text.end());
  if (text.size() > kMostBytes) return ByteByByte(text);
  const int bytes = static_cast<int>(text.size());
  const int needed = sys::MultiByteToWideChar(codePage, 0, text.data(), bytes, nullptr, 0);
  // A character takes at least one byte: more characters than bytes is no answer.
  if (needed <= 0 || needed > bytes) return ByteByByte(text);
  std::vector<WCHAR> wide(static_cast<size_t>(needed));
  const int written =
      sys::MultiByteToWideChar(codePage, 0, text.data(), bytes, wide.data(), needed);
  if (written <= 0 || written > needed) return ByteByByte(text);
  return std::u16string(wide.begin(), wide.begin() + written);
}

std::optional<std::string> EncodeAnsi(uint32_t codePage, const std::u16string& text) {
  if (std::all_of(text.begin(), text.end(), [](char16_t c) { return c < 0x80; }))
    return std::string(text.begin(), text.end());  // ASCII is ASCII in every ANSI code page
  if (text.size() > kMostBytes) return std::nullopt;
  const std::vector<WCHAR> wide(text.begin(), text.end());
  const int chars = static_cast<int>(wide.size());
  BOOL defaulted = FALSE;
  const int needed =
      sys::WideCharToMultiByte(codePage, 0, wide.data(), chars, nullptr, 0, nullptr, &defaulted);
  // At most two bytes a character in any ANSI code page.
  if (needed <= 0 || needed > 2 * chars || defaulted) return std::nullopt;
  std::string bytes(static_cast<size_t>(needed), '\0');
  const int written = sys::WideCharToMultiByte(codePage, 0, wide.data(), chars, &bytes[0], needed,
                                               nullptr, &defaulted);
  if (written != needed || defaulted) return std::nullopt;
  return bytes;
}

std::string FolderOf(const std::string& path) {
  const bool ascii = std::all_of(path.begin(), path.end(),
                                 [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  const auto separator = [](char16_t c) { return c == u'\\' || c == u'/' || c == u':'; };
  if (ascii) {
    const size_t cut = path.find_last_of("\\/:");
    return cut == std::string::npos ? "" : path.substr(0, cut + 1);
  }
  const uint32_t codePage = AskCodePage();
  const std::u16string whole = DecodeAnsi(codePage, path);
  size_t k = whole.size();
  while (k > 0 && !separator(whole[k - 1])) --k;
  if (k == 0) return "";
  // The byte that ends the same characters: a separator byte whose prefix decodes to them.
  const std::u16string folder = whole.substr(0, k);
  for (size_t b = path.size(); b > 0; --b) {
    const char c = path[b - 1];
    if ((c == '\\' || c == '/' || c == ':') && DecodeAnsi(codePage, path.substr(0, b)) == folder)
      return path.substr(0, b);
  }
  return "";
}
