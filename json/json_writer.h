// A small writer of JSON documents (RFC 8259), indented by two spaces or on one line.
// Strings are single-byte text of code page 1252, as Windows hands it out; every
// character outside ASCII comes out as a \u escape, so the document is ASCII and so valid
// UTF-8.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

// The JSON string literal, quotes included, for text in code page 1252.
std::string JsonString(const std::string& cp1252);
// The code-page-1252 byte that JsonString writes as character c; false for a character
// it never writes.
bool Cp1252Byte(uint32_t c, char* byte);
// Text in code page 1252 as UTF-8, each byte the character JsonString writes for it.
std::string Utf8Of(const std::string& cp1252);

class JsonWriter {
 public:
  // Indented: the report's documents. One line: a trace's calls, values after ", ".
  enum class Layout { Indented, OneLine };
  explicit JsonWriter(Layout layout = Layout::Indented) : m_layout(layout) {}

  void BeginObject() { Open('{'); }
  void EndObject() { Close('}'); }
  void BeginArray() { Open('['); }
  void EndArray() { Close(']'); }
  // Names the next value of the object being written.
  void Key(const char* name);
  void String(const std::string& cp1252);
  void Number(uint64_t value);
  void Number(int64_t value);
  void Null();
  void Boolean(bool value);

  // One member of the object being written: its key and its value.
  void Member(const char* key, const std::string& cp1252) {
    Key(key);
    String(cp1252);
  }
  void Member(const char* key, const char* cp1252) { Member(key, std::string(cp1252)); }
  // A bool is no number: it is written true or false.
  void Member(const char* key, bool value) {
    Key(key);
    Boolean(value);
  }
  template <typename N,
            std::enable_if_t<std::is_integral_v<N> && !std::is_same_v<N, bool>, int> = 0>
  void Member(const char* key, N number) {
    Key(key);
    if constexpr (std::is_signed_v<N>)
      Number(static_cast<int64_t>(number));
    else
      Number(static_cast<uint64_t>(number));
  }
  // Null when there is no value.
  template <typename T>
  void Member(const char* key, const std::optional<T>& value) {
    if (value) return Member(key, *value);
    Key(key);
    Null();
  }
  // A list of texts.
  void Member(const char* key, const std::vector<std::string>& texts);

  // The document so far, ended by a line feed once the outermost value is closed.
  const std::string& Text() const { return m_out; }

 private:
  void BeforeValue();
  void Open(char bracket);
  void Close(char bracket);
  void NewLine();

  Layout m_layout;
  std::string m_out;
  std::vector<bool> m_empty;  // per open container: nothing written in it yet
  bool m_afterKey = false;
};
