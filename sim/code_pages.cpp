#include "sim/code_pages.h"

#include <cstring>

#include "sim/machine.h"

#include <algorithm>
#include <map>

namespace sim {

std::optional<std::u16string> DecodeCodePage(uint32_t codePage, const std::string& bytes) {
  const CodePageTable* table = nullptr;
  for (size_t i = 0; i < kCodePageTableCount; ++i)
    if (kCodePageTables[i].codePage == codePage) table = &kCodePageTables[i];
  if (table == nullptr) return std::nullopt;
  std::u16string out;
  for (size_t i = 0; i < bytes.size(); ++i) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    if (b < 0x80) {
      out += static_cast<char16_t>(b);
      continue;
    }
    const uint16_t single = table->single[b - 0x80];
    if (single != kLeadByte) {
      out += static_cast<char16_t>(single);
      continue;
    }
    if (i + 1 == bytes.size()) {
      out += u'\uFFFD';
      break;
    }
    const auto trail = static_cast<unsigned char>(bytes[i + 1]);
    const uint32_t key = (uint32_t{b} << 24) | (uint32_t{trail} << 16);
    const uint32_t* end = table->pairs + table->pairCount;
    const uint32_t* found = std::lower_bound(table->pairs, end, key);
    if (found != end && (*found & 0xFFFF0000u) == key) {
      out += static_cast<char16_t>(*found & 0xFFFF);
      ++i;
    } else {
      out += u'\uFFFD';  // a pair the code page leaves undefined: both bytes taken
      ++i;
    }
  }
  return out;
}

std::optional<std::string> EncodeCodePage(uint32_t codePage, const std::u16string& text,
                                          bool* usedDefault) {
  const CodePageTable* table = nullptr;
  for (size_t i = 0; i < kCodePageTableCount; ++i)
    if (kCodePageTables[i].codePage == codePage) table = &kCodePageTables[i];
  if (table == nullptr) return std::nullopt;
  // Each character's bytes, the first byte sequence that decodes to it.
  static std::map<uint32_t, std::map<char16_t, std::string>> reverse;
  std::map<char16_t, std::string>& bytes = reverse[codePage];
  if (bytes.empty()) {
    for (uint32_t i = table->pairCount; i-- > 0;) {
      const uint32_t pair = table->pairs[i];
      bytes[static_cast<char16_t>(pair & 0xFFFF)] = {char(pair >> 24), char((pair >> 16) & 0xFF)};
    }
    for (uint32_t b = 0xFF; b >= 0x80; --b)
      if (table->single[b - 0x80] != kLeadByte)
        bytes[table->single[b - 0x80]] = std::string(1, char(b));
  }
  *usedDefault = false;
  std::string out;
  for (const char16_t c : text) {
    if (c < 0x80) {
      out += static_cast<char>(c);
      continue;
    }
    const auto found = bytes.find(c);
    if (found == bytes.end()) {
      out += '?';
      *usedDefault = true;
    } else {
      out += found->second;
    }
  }
  return out;
}

// The machine's code page, and its conversions through it, from the tables above.
UINT Machine::GetACP() {
  Record(Call("GetACP"));
  return codePage;
}

// As Windows decodes without flags: CP_ACP is the machine's own; a length of -1 takes the
// terminator too; without a buffer, the characters it would take.
int Machine::MultiByteToWideChar(UINT page, DWORD flags, LPCCH text, int textBytes, LPWSTR wide,
                                 int wideChars) {
  Call& c = Record(Call("MultiByteToWideChar"));
  c.size = static_cast<DWORD>(textBytes);
  if (Injected(c, ERROR_INVALID_PARAMETER)) return 0;
  if (text == nullptr || textBytes == 0 || textBytes < -1 || wideChars < 0 || flags != 0) {
    Fail(c, ERROR_INVALID_PARAMETER);
    return 0;
  }
  const size_t bytes = textBytes == -1 ? std::strlen(text) + 1 : static_cast<size_t>(textBytes);
  const std::optional<std::u16string> decoded =
      DecodeCodePage(page == CP_ACP ? codePage : page, std::string(text, bytes));
  if (!decoded) {
    Fail(c, ERROR_INVALID_PARAMETER);
    return 0;
  }
  const auto needed = static_cast<int>(decoded->size());
  if (wideChars == 0) {
    m_lastError = ERROR_SUCCESS;
    return needed;
  }
  if (wide == nullptr || wideChars < needed) {
    Fail(c, ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::copy(decoded->begin(), decoded->end(), wide);
  m_lastError = ERROR_SUCCESS;
  return needed;
}

// As Windows encodes without flags or a default character of the caller's: '?' for what the
// code page cannot hold, said through *usedDefault.
int Machine::WideCharToMultiByte(UINT page, DWORD flags, LPCWCH wide, int wideChars, LPSTR text,
                                 int textBytes, LPCCH defaultChar, LPBOOL usedDefault) {
  Call& c = Record(Call("WideCharToMultiByte"));
  c.size = static_cast<DWORD>(wideChars);
  if (Injected(c, ERROR_INVALID_PARAMETER)) return 0;
  if (wide == nullptr || wideChars <= 0 || textBytes < 0 || flags != 0 || defaultChar != nullptr) {
    Fail(c, ERROR_INVALID_PARAMETER);
    return 0;
  }
  bool defaulted = false;
  const std::optional<std::string> encoded = EncodeCodePage(
      page == CP_ACP ? codePage : page, std::u16string(wide, wide + wideChars), &defaulted);
  if (!encoded) {
    Fail(c, ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (usedDefault != nullptr) *usedDefault = defaulted ? TRUE : FALSE;
  const auto needed = static_cast<int>(encoded->size());
  if (textBytes == 0) {
    m_lastError = ERROR_SUCCESS;
    return needed;
  }
  if (text == nullptr || textBytes < needed) {
    Fail(c, ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(text, encoded->data(), encoded->size());
  m_lastError = ERROR_SUCCESS;
  return needed;
}

}  // namespace sim
