#include "json/json_line.h"

#include <cstdio>

#include "json/json_writer.h"

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A reader of one JSON object of scalar values (RFC 8259, no nesting).
class Parser {
 public:
  Parser(const std::string& text, std::string* error) : m_text(text), m_error(error) {}

  bool Object(std::map<std::string, JsonValue>* values) {
    Space();
    if (!Take('{')) return Fail("not a JSON object");
    Space();
    if (Take('}')) return End();
    for (;;) {
      std::string key;
      Space();
      if (!String(&key)) return false;
      Space();
      if (!Take(':')) return Fail("no ':' after \"" + key + "\"");
      Space();
      JsonValue value;
      if (!Scalar(&value)) return false;
      if (!values->emplace(key, value).second) return Fail("\"" + key + "\" twice");
      Space();
      if (Take('}')) return End();
      if (!Take(',')) return Fail("no ',' or '}' after \"" + key + "\"");
    }
  }

 private:
  bool Fail(const std::string& why) {
    *m_error = why;
    return false;
  }
  bool End() {
    Space();
    return m_at == m_text.size() || Fail("text after the object");
  }
  void Space() {
    while (m_at < m_text.size() && (m_text[m_at] == ' ' || m_text[m_at] == '\t' ||
                                    m_text[m_at] == '\r' || m_text[m_at] == '\n'))
      ++m_at;
  }
  bool Take(char c) {
    if (m_at >= m_text.size() || m_text[m_at] != c) return false;
    ++m_at;
    return true;
  }
  bool Word(const char* word) {
    const std::string w = word;
    if (m_text.compare(m_at, w.size(), w) != 0) return false;
    m_at += w.size();
    return true;
  }

  bool Scalar(JsonValue* value) {
    if (m_at >= m_text.size()) return Fail("the line ends inside the object");
    const char c = m_text[m_at];
    if (c == '"') {
      value->kind = JsonValue::Kind::Text;
      return String(&value->text);
    }
    if (c == '-' || (c >= '0' && c <= '9')) {
      value->kind = JsonValue::Kind::Number;
      return Number(value);
    }
    if (Word("null")) return true;
    value->kind = JsonValue::Kind::Boolean;
    if (Word("true")) {
      value->magnitude = 1;
      return true;
    }
    if (Word("false")) return true;
    return Fail(c == '{' || c == '[' ? "a nested value" : "not a JSON value");
  }

  bool Number(JsonValue* value) {
    value->negative = Take('-');
    const size_t first = m_at;
    while (m_at < m_text.size() && m_text[m_at] >= '0' && m_text[m_at] <= '9') {
      const uint64_t digit = static_cast<uint64_t>(m_text[m_at] - '0');
      if (value->magnitude > (~uint64_t{0} - digit) / 10) return Fail("a number past 64 bits");
      value->magnitude = value->magnitude * 10 + digit;
      ++m_at;
    }
    if (m_at == first) return Fail("a '-' without digits");
    if (m_text[first] == '0' && m_at - first > 1) return Fail("a number with a leading zero");
    if (m_at < m_text.size() && (m_text[m_at] == '.' || m_text[m_at] == 'e' || m_text[m_at] == 'E'))
      return Fail("a number that is not whole");
    return true;
  }

  bool String(std::string* out) {
    if (!Take('"')) return Fail("not a string");
    for (;;) {
      if (m_at >= m_text.size()) return Fail("the line ends inside a string");
      const auto c = static_cast<unsigned char>(m_text[m_at++]);
      if (c == '"') return true;
      if (c < 0x20) return Fail("a control character inside a string");
      if (c != '\\') {
        *out += static_cast<char>(c);
        continue;
      }
      if (m_at >= m_text.size()) return Fail("the line ends inside a string");
      const char e = m_text[m_at++];
      switch (e) {
        case '"':
        case '\\':
        case '/':
          *out += e;
          break;
        case 'b':
          *out += '\b';
          break;
        case 'f':
          *out += '\f';
          break;
        case 'n':
          *out += '\n';
          break;
        case 'r':
          *out += '\r';
          break;
        case 't':
          *out += '\t';
          break;
        case 'u': {
          uint32_t code = 0;
          for (int i = 0; i < 4; ++i) {
            const int d = m_at < m_text.size() ? HexDigit(m_text[m_at++]) : -1;
            if (d < 0) return Fail("a bad \\u escape");
            code = code * 16 + static_cast<uint32_t>(d);
          }
          char byte;
          if (!Cp1252Byte(code, &byte)) return Fail("a character outside code page 1252");
          *out += byte;
          break;
        }
        default:
          return Fail("a bad escape");
      }
    }
  }

  const std::string& m_text;
  std::string* m_error;
  size_t m_at = 0;
};

}  // namespace

bool JsonLine::Parse(const std::string& json, JsonLine* line, std::string* error) {
  line->m_values.clear();
  return Parser(json, error).Object(&line->m_values);
}

bool JsonLine::IsNull(const char* key) const {
  auto it = m_values.find(key);
  return it != m_values.end() && it->second.kind == JsonValue::Kind::Null;
}

const JsonValue* JsonLine::Find(const char* key, JsonValue::Kind kind, std::string* error) const {
  auto it = m_values.find(key);
  if (it == m_values.end()) {
    *error = std::string("no \"") + key + "\"";
    return nullptr;
  }
  if (it->second.kind != kind) {
    *error = std::string("\"") + key + "\" is not a " +
             (kind == JsonValue::Kind::Number ? "number" : "string");
    return nullptr;
  }
  return &it->second;
}

bool JsonLine::Number(const char* key, uint64_t max, uint64_t* out, std::string* error) const {
  const JsonValue* v = Find(key, JsonValue::Kind::Number, error);
  if (v == nullptr) return false;
  if (v->negative || v->magnitude > max) {
    *error = std::string("\"") + key + "\" is out of range";
    return false;
  }
  *out = v->magnitude;
  return true;
}

bool JsonLine::Signed(const char* key, int64_t min, int64_t max, int64_t* out,
                      std::string* error) const {
  const JsonValue* v = Find(key, JsonValue::Kind::Number, error);
  if (v == nullptr) return false;
  const bool fits = v->negative ? v->magnitude <= static_cast<uint64_t>(-(min + 1)) + 1
                                : v->magnitude <= static_cast<uint64_t>(max);
  if (!fits) {
    *error = std::string("\"") + key + "\" is out of range";
    return false;
  }
  *out = v->negative ? -static_cast<int64_t>(v->magnitude - 1) - 1
                     : static_cast<int64_t>(v->magnitude);
  return true;
}

bool JsonLine::Text(const char* key, std::string* out, std::string* error) const {
  const JsonValue* v = Find(key, JsonValue::Kind::Text, error);
  if (v == nullptr) return false;
  *out = v->text;
  return true;
}

bool JsonLine::Hex(const char* key, size_t maxBytes, std::vector<uint8_t>* out,
                   std::string* error) const {
  const JsonValue* v = Find(key, JsonValue::Kind::Text, error);
  if (v == nullptr) return false;
  const std::string& hex = v->text;
  if (hex.size() % 2 != 0 || hex.size() / 2 > maxBytes) {
    *error =
        std::string("\"") + key + "\" is not hex of at most " + std::to_string(maxBytes) + " bytes";
    return false;
  }
  out->assign(hex.size() / 2, 0);
  for (size_t i = 0; i < out->size(); ++i) {
    const int high = HexDigit(hex[2 * i]), low = HexDigit(hex[2 * i + 1]);
    if (high < 0 || low < 0) {
      *error = std::string("\"") + key + "\" is not hex";
      return false;
    }
    (*out)[i] = static_cast<uint8_t>(high * 16 + low);
  }
  return true;
}
