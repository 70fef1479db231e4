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

std::string Utf8Of(const std::string& cp1252) {
  std::string out;
  for (const char ch : cp1252) {
    const auto b = static_cast<unsigned char>(ch);
    const uint16_t mapped = b >= 0x80 && b < 0xA0 ? kCp1252High[b - 0x80] : 0;
    const uint32_t c = mapped != 0 ? mapped : b;
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::string JsonString(const std::string& cp1252) {
  std::string out = "\"";
  for (const char ch : cp1252) {
    const auto b = static_cast<unsigned char>(ch);
    switch (b) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\f':
        out += "\\f";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (b < 0x20) {
          AppendEscape(out, b);
        } else if (b < 0x80) {
          out += ch;
        } else {
          // Written as escapes, the document is plain ASCII: valid UTF-8 however the
          // reader's console decodes it. The five bytes the code page leaves undefined
          // stand for the C1 controls, as Windows maps them; 0xA0..0xFF are U+00A0..U+00FF.
          const uint16_t c = b < 0xA0 ? kCp1252High[b - 0x80] : b;
          AppendEscape(out, c != 0 ? c : b);
        }
    }
  }
  out += '"';
  return out;
}

void JsonWriter::NewLine() {
  if (m_layout == Layout::OneLine) return;
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
  m_out += ": ";
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

void JsonWriter::String(const std::string& cp1252) {
  BeforeValue();
  m_out += JsonString(cp1252);
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
