#include "platform/ansi_text.h"

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
  if (text.empty()) return {};
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
