// Names as Windows compares them: without regard to case.
#pragma once

#include <cctype>
#include <cstring>
#include <string>

namespace sim {

inline bool StartsWithNoCase(const std::string& text, const char* prefix) {
  const size_t n = std::strlen(prefix);
  if (text.size() < n) return false;
  for (size_t i = 0; i < n; ++i)
    if (std::tolower(static_cast<unsigned char>(text[i])) !=
        std::tolower(static_cast<unsigned char>(prefix[i])))
      return false;
  return true;
}

inline bool SameNoCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && StartsWithNoCase(a, b.c_str());
}

// A path as Windows compares it: after "\\?\", either separator, in any case.
inline std::string PathKey(const std::string& path) {
  std::string key = StartsWithNoCase(path, "\\\\?\\") ? path.substr(4) : path;
  for (char& c : key)
    c = c == '/' ? '\\' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  while (key.size() > 1 && key.back() == '\\' && key[key.size() - 2] != ':') key.pop_back();
  return key;
}

}  // namespace sim
