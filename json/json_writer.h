// A small writer of JSON documents (RFC 8259), indented by two spaces or on one line.
// Strings are text as Windows hands it out, in an ANSI code page, decoded whole into
// Unicode by the writer's decoder (code page 1252 unless told: a trace keeps every byte so);
// every character outside ASCII comes out as a \u escape, so the document is ASCII and so
// valid UTF-8.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

// Text in an ANSI code page turned into UTF-16, whole: a character of two bytes is never
// taken apart, nor its trail byte read as a character of its own.
using TextDecoder = std::function<std::u16string(const std::string&)>;
// Code page 1252, every byte a character: the five it leaves undefined stand for their C1
// controls, as Windows maps them.
std::u16string DecodeCp1252(const std::string& cp1252);

// The JSON string literal, quotes included, for text `decode` reads.
std::string JsonString(const std::string& text, const TextDecoder& decode = DecodeCp1252);
// The code-page-1252 byte that DecodeCp1252 reads as character c; false for a character
// it never gives.
bool Cp1252Byte(uint32_t c, char* byte);
// UTF-16 (surrogate pairs as one character) as UTF-8; a lone surrogate as U+FFFD.
std::string Utf8Of(const std::u16string& text);
// Text `decode` reads, as UTF-8.
std::string Utf8Of(const std::string& text, const TextDecoder& decode = DecodeCp1252);

class JsonWriter {
 public:
  // Indented: the report's documents. One line: a trace's calls, values after ", ".
  // Compact: one line without spaces, as PowerShell's ConvertTo-Json -Compress writes.
  enum class Layout { Indented, OneLine, Compact };
  explicit JsonWriter(Layout layout = Layout::Indented, TextDecoder decode = DecodeCp1252)
      : m_layout(layout), m_decode(std::move(decode)) {}

  void BeginObject() { Open('{'); }
  void EndObject() { Close('}'); }
  void BeginArray() { Open('['); }
  void EndArray() { Close(']'); }
  // Names the next value of the object being written.
  void Key(const char* name);
  void String(const std::string& text);
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
  TextDecoder m_decode;
  std::string m_out;
  std::vector<bool> m_empty;  // per open container: nothing written in it yet
  bool m_afterKey = false;
};
