// A flat JSON object read from one line: names and scalar values (whole numbers, texts in
// code page 1252, bytes as hex strings, null), as a one-line JsonWriter writes them; a
// field trace is made of such lines. A line from a file is untrusted, so reading checks
// every value's kind and range.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct JsonValue {
  enum class Kind { Null, Number, Text, Boolean } kind = Kind::Null;
  bool negative = false;
  uint64_t magnitude = 0;  // a number without a fraction or exponent
  std::string text;        // code page 1252 bytes
};

class JsonLine {
 public:
  // False with the reason when `json` is not one flat object.
  static bool Parse(const std::string& json, JsonLine* line, std::string* error);

  bool IsNull(const char* key) const;
  // Each false with a reason in *error when the value is missing, of another kind, or out
  // of range.
  bool Number(const char* key, uint64_t max, uint64_t* out, std::string* error) const;
  bool Signed(const char* key, int64_t min, int64_t max, int64_t* out, std::string* error) const;
  bool Text(const char* key, std::string* out, std::string* error) const;
  bool Hex(const char* key, size_t maxBytes, std::vector<uint8_t>* out, std::string* error) const;

 private:
  const JsonValue* Find(const char* key, JsonValue::Kind kind, std::string* error) const;
  std::map<std::string, JsonValue> m_values;
};
