#include "json_check.h"

#include <cstdint>

namespace {

class Checker {
 public:
  explicit Checker(const std::string& text) : m_text(text) {}

  bool Document() {
    if (!Value(0)) return false;
    Space();
    return m_at == m_text.size();
  }

 private:
  static constexpr int kMaxDepth = 64;

  int Peek() const { return m_at < m_text.size() ? static_cast<unsigned char>(m_text[m_at]) : -1; }
  bool Take(char c) {
    if (Peek() != static_cast<unsigned char>(c)) return false;
    ++m_at;
    return true;
  }
  void Space() {
    while (Peek() == ' ' || Peek() == '\t' || Peek() == '\n' || Peek() == '\r') ++m_at;
  }
  bool Literal(const char* word) {
    for (; *word; ++word)
      if (!Take(*word)) return false;
    return true;
  }

  bool Value(int depth) {
    if (depth > kMaxDepth) return false;
    Space();
    switch (Peek()) {
      case '{':
        return Object(depth);
      case '[':
        return Array(depth);
      case '"':
        return String();
      case 't':
        return Literal("true");
      case 'f':
        return Literal("false");
      case 'n':
        return Literal("null");
      default:
        return Number();
    }
  }

  bool Object(int depth) {
    Take('{');
    Space();
    if (Take('}')) return true;
    for (;;) {
      Space();
      if (!String()) return false;
      Space();
      if (!Take(':') || !Value(depth + 1)) return false;
      Space();
      if (Take('}')) return true;
      if (!Take(',')) return false;
    }
  }

  bool Array(int depth) {
    Take('[');
    Space();
    if (Take(']')) return true;
    for (;;) {
      if (!Value(depth + 1)) return false;
      Space();
      if (Take(']')) return true;
      if (!Take(',')) return false;
    }
  }

  bool Digits() {
    const size_t start = m_at;
    while (Peek() >= '0' && Peek() <= '9') ++m_at;
    return m_at > start;
  }

  bool Number() {
    Take('-');
    if (Take('0')) {
      if (Peek() >= '0' && Peek() <= '9') return false;  // no leading zeros
    } else if (!Digits()) {
      return false;
    }
    if (Take('.') && !Digits()) return false;
    if (Take('e') || Take('E')) {
      if (!Take('+')) Take('-');
      if (!Digits()) return false;
    }
    return true;
  }

  bool Hex4() {
    for (int i = 0; i < 4; ++i) {
      const int c = Peek();
      if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')))
        return false;
      ++m_at;
    }
    return true;
  }

  // One UTF-8 sequence, shortest form, no surrogates, at most U+10FFFF.
  bool Utf8() {
    const int lead = Peek();
    int extra;
    uint32_t c;
    if (lead < 0x80) return ++m_at, true;
    if (lead >= 0xC2 && lead <= 0xDF) {
      extra = 1;
      c = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      extra = 2;
      c = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      extra = 3;
      c = lead & 0x07;
    } else {
      return false;
    }
    ++m_at;
    for (int i = 0; i < extra; ++i) {
      const int b = Peek();
      if (b < 0x80 || b > 0xBF) return false;
      c = (c << 6) | (b & 0x3F);
      ++m_at;
    }
    if (extra == 2 && (c < 0x800 || (c >= 0xD800 && c <= 0xDFFF))) return false;
    if (extra == 3 && (c < 0x10000 || c > 0x10FFFF)) return false;
    return true;
  }

  bool String() {
    if (!Take('"')) return false;
    for (;;) {
      const int c = Peek();
      if (c < 0) return false;
      if (c == '"') return ++m_at, true;
      if (c < 0x20) return false;  // control characters must be escaped
      if (c == '\\') {
        ++m_at;
        const int e = Peek();
        ++m_at;
        if (e == 'u') {
          if (!Hex4()) return false;
        } else if (e != '"' && e != '\\' && e != '/' && e != 'b' && e != 'f' && e != 'n' &&
                   e != 'r' && e != 't') {
          return false;
        }
        continue;
      }
      if (!Utf8()) return false;
    }
  }

  const std::string& m_text;
  size_t m_at = 0;
};

}  // namespace

bool IsValidJson(const std::string& text) { return Checker(text).Document(); }
