// The single-byte string of the program. Portable (the drive table holds its texts in
// it and is built natively too); only LoadString needs Windows.
#pragma once

#include <string>

#ifdef _WIN32
// windows.h makes LoadString a macro: declare the member the way every caller sees it.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

class CString {
 public:
  CString() = default;
  // Implicit both ways, so that a CString passes wherever Windows takes a text and a
  // literal wherever a CString is taken, as the windows' code expects.
  CString(const char* text) : m_text(text ? text : "") {}  // NOLINT(google-explicit-constructor)
  CString(const char* text, int length) : m_text(text, static_cast<size_t>(length)) {}

  int GetLength() const { return static_cast<int>(m_text.size()); }
  bool IsEmpty() const { return m_text.empty(); }
  operator const char*() const { return m_text.c_str(); }  // NOLINT(google-explicit-constructor)
  const char* GetString() const { return m_text.c_str(); }

  // Characters from index first to the end; empty when first is past the end.
  CString Mid(int first) const;

  CString& operator=(const char* text) {
    m_text = text ? text : "";
    return *this;
  }
  CString& operator+=(const CString& other) {
    m_text += other.m_text;
    return *this;
  }
  CString& operator+=(const char* text) {
    m_text += text ? text : "";
    return *this;
  }
  CString& operator+=(char c) {
    m_text += c;
    return *this;
  }
  friend CString operator+(CString left, const CString& right) { return left += right; }
  friend bool operator==(const CString& a, const CString& b) { return a.m_text == b.m_text; }
  friend bool operator==(const CString& a, const char* b) { return a.m_text == (b ? b : ""); }

  // printf-style; the result is never cut.
  void Format(const char* format, ...) __attribute__((format(printf, 2, 3)));

#ifdef _WIN32
  // Loads string resource id from the program's own module; false (and empty) when
  // there is none.
  bool LoadString(unsigned id);
#endif

 private:
  std::string m_text;
};
