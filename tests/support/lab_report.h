// The lab's report as the console prints it: the one place it is written out. The
// window's rows and marks, its "&Copy" text and the console's output are all checked
// against it.
#pragma once

#include <array>
#include <string>
#include <vector>

constexpr char kLabReport[] =
    "Drive   Drv No  Drive Name                      Offset      Alignment   \n"
    "C:      0       KESTREL KD4000-512E             2048        aligned     \n"
    "D:      0       KESTREL KD4000-512E             63          misaligned  \n"
    "E:      1       KESTREL KD2000-SHIFT            63          aligned     \n"
    "F:      2       ORMOLU OM500 CLASSIC            2095        aligned     \n"
    "G:      3       KESTREL KD1000-512E             4080        misaligned  \n"
    "H:      4       VITRELLE PORTA-DISK 2T          2048        undetermined\n"
    "L:      5       NVMe VOLANTE VX2 1TB            2048        aligned     \n"
    "M:      5       NVMe VOLANTE VX2 1TB            1026047     misaligned  \n"
    "N:      6       KESTREL KD8000-512E             5000000000  aligned     \n"
    "O:      6       KESTREL KD8000-512E             2048        aligned     \n"
    "P:      7       ORMOLU OM1000 CLASSIC           63          aligned     \n"
    "Q:      8       KESTREL KD2000-512E             63          misaligned  \n"
    "R:      10      SWIFTLY PORTA-SSD 1T            8189        misaligned  \n"
    "S:      11      KESTREL KD3000-512E             1050624     misaligned  \n"
    "  1/2   11      KESTREL KD3000-512E             1050624     aligned     \n"
    "  2/2   12      KESTREL KD3000-512E             2099199     misaligned  \n"
    "T:      11      KESTREL KD3000-512E             264192      aligned     \n";

namespace lab {

// The heading and one line per volume: the console's lines for each piece of a volume
// over several disks (they begin with a space) are not rows of the window.
inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  for (size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1)
    if (text[at] != ' ') lines.push_back(text.substr(at, end - at));
  return lines;
}

// Every cell of the lab fits its column: columns of 8, 8, 32 and 12 bytes, then the verdict.
inline std::string Cell(const std::string& line, size_t first, size_t width) {
  std::string cell = line.substr(first, width);
  return cell.erase(cell.find_last_not_of(' ') + 1);
}

// What "&Copy" gives: each line without the verdict column.
inline std::string ClipboardReport() {
  std::string text;
  for (const std::string& line : Lines(kLabReport)) text += line.substr(0, 60) + "\n";
  return text;
}

struct Row {
  std::array<std::string, 4> cells;
  std::string verdict;
};
inline std::vector<Row> Rows() {
  std::vector<Row> rows;
  const std::vector<std::string> lines = Lines(kLabReport);
  for (size_t i = 1; i < lines.size(); ++i) {
    const std::string& l = lines[i];
    rows.push_back({{Cell(l, 0, 8), Cell(l, 8, 8), Cell(l, 16, 32), Cell(l, 48, 12)}, Cell(l, 60, 12)});
  }
  return rows;
}

// As a Windows program writes it to a text stream.
inline std::string WithCrLf(const std::string& text) {
  std::string out;
  for (char c : text) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
  return out;
}

}  // namespace lab
