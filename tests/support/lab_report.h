// The lab's report as the console prints it: the one place it is written out. The
// window's rows and marks, its "&Copy" text and the console's output are all checked
// against it.
#pragma once

#include <algorithm>
#include <array>
#include <string>
#include <vector>

constexpr char kLabReport[] =
    "Drive        Drv No  Drive Name                      Offset      Alignment   Partition aligned to\n"
    "C:           0       KESTREL KD4000-512E             2048        aligned     1M\n"
    "D:           0       KESTREL KD4000-512E             63          misaligned  512\n"
    "    move to sector 64 (1 sector, 512 bytes later) after shrinking it by 1 sector; no room at 2048, on 1 MiB\n"
    "E:           1       KESTREL KD2000-SHIFT            63          aligned     512\n"
    "F:           2       ORMOLU OM500 CLASSIC            2095        aligned     512\n"
    "G:           3       KESTREL KD1000-512E             4080        misaligned  1M\n"
    "    format with clusters of 4096 bytes\n"
    "    Windows calls its partition aligned: it does not judge clusters smaller than the physical sector\n"
    "H:           4       VITRELLE PORTA-DISK 2T          2048        undetermined 1M\n"
    "    undetermined: the drive reported nothing about its physical sectors\n"
    "    Windows calls its partition aligned, but the drive's storage stack reports no physical sector beyond the logical one\n"
    "L:           5       NVMe VOLANTE VX2 1TB            2048        aligned     1M\n"
    "M:           5       NVMe VOLANTE VX2 1TB            1026047     misaligned  512\n"
    "    move to sector 1026048 (1 sector, 512 bytes later), on 1 MiB\n"
    "N:           6       KESTREL KD8000-512E             5000000000  aligned     256K\n"
    "O:           6       KESTREL KD8000-512E             2048        aligned     1M\n"
    "P:           7       ORMOLU OM1000 CLASSIC           63          aligned     512\n"
    "Q:           8       KESTREL KD2000-512E             63          misaligned  512\n"
    "    move to sector 64 (1 sector, 512 bytes later), or to 2048 on 1 MiB\n"
    "R:           10      SWIFTLY PORTA-SSD 1T            8189        misaligned  1M\n"
    "    format it again, with clusters of at least 4096 bytes\n"
    "    Windows calls its partition aligned: it judges where the partition starts, Tessarel where the cluster heap begins\n"
    "S:           11      KESTREL KD3000-512E             1050624     misaligned  1M\n"
    "  1/2        11      KESTREL KD3000-512E             1050624     aligned     \n"
    "  2/2        12      KESTREL KD3000-512E             2099199     misaligned  \n"
    "    Windows calls the volume aligned: for a volume over several disks it answers once, for the largest of them\n"
    "T:           11      KESTREL KD3000-512E             264192      aligned     1M\n"
    "U:           13      KESTREL KD2000-DUAL             239616      aligned     1M\n"
    "V:           2       ORMOLU OM500 CLASSIC            206848      aligned     1M\n"
    "X:           14      SWIFTLY PORTA-HDD 2T            2048        aligned     1M\n"
    "Y:           15      NVMe VOLANTE VX7 2TB            2048        aligned     1M\n"
    "Z:           16      KESTREL KD6000-4KN              256         aligned     1M\n"
    "C:\\SQL\\Data\\ 3       KESTREL KD1000-512E             4194367     misaligned  512\n"
    "    move to sector 4194368 (1 sector, 512 bytes later), or to 4196352 on 1 MiB\n"
    "C:\\VM\\       15      NVMe VOLANTE VX7 2TB            206856      misaligned  4K\n"
    "    move to sector 206880 (24 sectors, 12288 bytes later), or to 208896 on 1 MiB\n"
    "W:  not examined: partition start (Windows error 1, incorrect function)\n"
    "\n"
    "Partitions without a letter or folder\n"
    "Drv No  Part  Type                Start       Length      Alignment    Aligned to  Holds\n"
    "2       3     NTFS/exFAT          411648      2097152     aligned      1M          no volume found\n"
    "6       3     EFI system          34          2014        misaligned   1K          no letter or folder\n"
    "    move to sector 40 (6 sectors, 3072 bytes later) after shrinking it by 6 sectors; no room at 2048, on 1 MiB\n"
    "11      1     LDM metadata        34          2014                     1K          holds other volumes\n"
    "11      2     LDM data            2048        4194304                  1M          holds other volumes\n"
    "12      1     LDM metadata        34          2014                     1K          holds other volumes\n"
    "12      2     LDM data            2048        4194304                  1M          holds other volumes\n"
    "13      1     EFI system          2048        204800      aligned      1M          no letter or folder\n"
    "13      2     Microsoft reserved  206848      32768                    1M          no volume\n"
    "13      4     Linux file system   100239679   2097152     misaligned   512         no volume\n"
    "    move to sector 100239680 (1 sector, 512 bytes later), or to 100241408 on 1 MiB\n"
    "14      2     Linux               4196352     4194304     aligned      1M          no volume\n"
    "14      3     Linux swap          8390719     2097152     misaligned   512         no volume\n"
    "    move to sector 8390720 (1 sector, 512 bytes later) after shrinking it by 1 sector, or to 8392704 on 1 MiB after shrinking it by 1985 sectors\n";

// A report without the lines that say where Windows' own view differs: what Windows
// before 8, which gives none, is reported.
inline std::string WithoutWindowsView(std::string report) {
  for (size_t at; (at = report.find("    Windows calls")) != std::string::npos;)
    report.erase(at, report.find('\n', at) + 1 - at);
  return report;
}

namespace lab {

struct Row {
  std::array<std::string, 4> cells;
  std::string verdict;
};

// The window's rows: the console's lines for the pieces of a volume over several disks,
// for the reason a volume is undetermined and for its advice (they begin with a space)
// and for volumes not examined are not rows. The first column fits the longest name, as
// the heading shows; then columns of 8, 32 and 12 bytes, then the verdict.
inline std::vector<Row> Rows() {
  std::vector<Row> rows;
  const std::string text = kLabReport;
  const size_t first = text.find("Drv No");
  size_t at = text.find('\n') + 1;
  for (size_t end; (end = text.find('\n', at)) != std::string::npos; at = end + 1) {
    const std::string l = text.substr(at, end - at);
    if (l.empty()) break;  // the partitions without a row follow the volumes
    if (l[0] == ' ' || l.find("not examined") != std::string::npos) continue;
    auto cell = [&](size_t from, size_t width) {
      std::string c = l.substr(from, width);
      return c.erase(c.find_last_not_of(' ') + 1);
    };
    rows.push_back({{cell(0, first), cell(first, 8), cell(first + 8, 32), cell(first + 40, 12)},
                    cell(first + 52, 12)});
  }
  return rows;
}

// What "&Copy" gives: the heading and each row, its cells padded but never cut.
inline std::string ClipboardReport() {
  std::string text = "Drive   Drv No  Drive Name                      Offset      \n";
  for (const Row& row : Rows()) {
    const size_t widths[] = {8, 8, 32, 12};
    for (size_t c = 0; c < 4; ++c)
      text += row.cells[c] + std::string(widths[c] > row.cells[c].size() ? widths[c] - row.cells[c].size() : 0, ' ');
    text += "\n";
  }
  return text;
}

// As a Windows program writes it to a text stream.
inline std::string WithCrLf(const std::string& text) {
  std::string out;
  for (char c : text) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
  return out;
}

}  // namespace lab
