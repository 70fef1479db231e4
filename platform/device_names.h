// The names Windows maps to devices wherever they stand as a path's last part (CON, NUL,
// COM1, ...): reading one waits on a console or a port, or reads nothing, instead of a file.
// Microsoft's "Naming Files, Paths, and Namespaces" lists them.
#pragma once

#include <cctype>
#include <cstddef>
#include <string>

// Whether the last part of a path, `part` (its `length` characters, any of them wider than
// ASCII given as 0), is such a name, with or without an extension and trailing spaces.
template <typename Char>
bool IsDosDeviceName(const Char* part, size_t length) {
  std::string base;
  for (size_t i = 0; i < length && part[i] != Char('.'); ++i) {
    const auto c = static_cast<unsigned long>(part[i]);
    if (c >= 0x80) return false;
    base += static_cast<char>(std::toupper(static_cast<int>(c)));
  }
  while (!base.empty() && base.back() == ' ') base.pop_back();
  static const char* const kNames[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$", "CLOCK$"};
  for (const char* name : kNames)
    if (base == name) return true;
  return base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) &&
         std::isdigit(static_cast<unsigned char>(base[3]));
}
