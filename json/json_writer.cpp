#include "json/json_writer.h"

#include <cstdio>

namespace {

// Code page 1252's characters 0x80..0x9F; 0 where the code page has none.
constexpr uint16_t kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

void AppendEscape(std::string& out, uint32_t c) {
  char escape[8];
  std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned>(c));
  out += escape;
}

}  // namespace

bool Cp1252Byte(uint32_t c, char* byte) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
    *byte = static_cast<char>(c);
    return true;
  }
  for (uint32_t b = 0x80; b < 0xA0; ++b) {
    // An undefined byte stands for its C1 control; a defined one for its character.
    const uint16_t mapped = kCp1252High[b - 0x80];
    if (mapped == c || (mapped == 0 && c == b)) {
      *byte = static_cast<char>(b);
      return true;
    }
  }
  return false;
}

std::u16string DecodeCp1252(const std::string& cp1252) {
  std::u16string out;
  for (const char ch : cp1252) {
    const auto b = static_cast<unsigned char>(ch);
    const uint16_t mapped = b >= 0x80 && b < 0xA0 ? kCp1252High[b - 0x80] : 0;
    out += static_cast<char16_t>(mapped != 0 ? mapped : b);
  }
  return out;
}

std::string Utf8Of(const std::u16string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t c = text[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    } else if (c >= 0xD800 && c < 0xE000) {
      c = 0xFFFD;
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::string Utf8Of(const std::string& text, const TextDecoder& decode) {
  return Utf8Of(decode(text));
}

std::string JsonString(const std::string& text, const TextDecoder& decode) {
  std::string out = "\"";
  for (const char16_t c : decode(text)) {
    switch (c) {
      case u'"':
        out += "\\\"";
        break;
      case u'\\':
        out += "\\\\";
        break;
      case u'\b':
        out += "\\b";
        break;
      case u'\f':
        out += "\\f";
        break;
      case u'\n':
        out += "\\n";
        break;
      case u'\r':
        out += "\\r";
        break;
      case u'\t':
        out += "\\t";
        break;
      default:
        // Written as escapes (a character past the BMP as its two surrogates), the document
        // is plain ASCII: valid UTF-8 however the reader's console decodes it.
        if (c < 0x20 || c >= 0x80)
          AppendEscape(out, c);
        else
          out += static_cast<char>(c);
    }
  }
  out += '"';
  return out;
}

void JsonWriter::NewLine() {
  if (m_layout != Layout::Indented) return;
  m_out += '\n';
  m_out.append(2 * m_empty.size(), ' ');
}

void JsonWriter::BeforeValue() {
  if (m_afterKey) {
    m_afterKey = false;
    return;
  }
  if (m_empty.empty()) return;
  if (!m_empty.back()) m_out += m_layout == Layout::OneLine ? ", " : ",";
  m_empty.back() = false;
  NewLine();
}

void JsonWriter::Key(const char* name) {
  BeforeValue();
  m_out += JsonString(name);
  m_out += m_layout == Layout::Compact ? ":" : ": ";
  m_afterKey = true;
}

void JsonWriter::Open(char bracket) {
  BeforeValue();
  m_out += bracket;
  m_empty.push_back(true);
}

void JsonWriter::Close(char bracket) {
  const bool empty = m_empty.back();
  m_empty.pop_back();
  if (!empty) NewLine();
  m_out += bracket;
  if (m_empty.empty()) m_out += '\n';
}

void JsonWriter::String(const std::string& text) {
  BeforeValue();
  m_out += JsonString(text, m_decode);
}

void JsonWriter::Number(uint64_t value) {
  BeforeValue();
  m_out += std::to_string(value);
}

void JsonWriter::Number(int64_t value) {
  BeforeValue();
  m_out += std::to_string(value);
}

void JsonWriter::Boolean(bool value) {
  BeforeValue();
  m_out += value ? "true" : "false";
}

void JsonWriter::Null() {
  BeforeValue();
  m_out += "null";
}

void JsonWriter::Member(const char* key, const std::vector<std::string>& texts) {
  Key(key);
  BeginArray();
  for (const std::string& text : texts) String(text);
  EndArray();
}
