// A list of disk files, one path a line, as an admin writes it from PowerShell
// (`Get-VM | Get-VMHardDiskDrive | ... | Out-File`): UTF-16LE with a byte-order mark
// (Windows PowerShell 5's `>`), UTF-8 with or without one (PowerShell 7's), or else the
// system's ANSI code page. Blank lines and lines starting with `#` are skipped; a relative
// path is taken against the list's own folder (a scheduled task's current folder is
// System32). The list is a file like any other: a name in it never makes Tessarel open a
// path on another computer or a device (image/parent_name.h's rule).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/win32types.h"

// One path of the list, as the door takes it (the system's code page), or why it is not
// opened.
struct ListedImage {
  size_t line = 0;     // from 1
  std::string path;    // where `refused` is empty: the file to check
  std::string shown;   // the line as the report shows it
  std::string refused;  // why the line is not opened, in words; empty where it may be
};

// A run's findings stay for its report: a list names at most this many disk files, and a
// sweep of folders lists at most as many (16,384 findings hold some 10 MB).
constexpr size_t kMostListedImages = 16384;

struct ImageList {
  bool read = false;
  std::string why;  // where it was not read
  std::vector<ListedImage> images;
};

// The list's lines in UTF-16, told by their bytes as the header above says; a line's CR
// taken away.
std::vector<std::u16string> ListLines(const std::string& bytes, uint32_t codePage);

// The list at `path`, read through the door (a file of at most 4 MiB naming at most 16,384
// disk files), each line resolved against the list's folder.
ImageList ReadImageList(const std::string& path);
