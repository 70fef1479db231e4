// The words of the report: the tables that turn the inspection's states into the text the
// console, the JSON, the clipboard and the tips share, and what the report says of a run.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "inspect/drive_info.h"
#include "inspect/scan.h"
#include "json/json_writer.h"
#include "platform/elevation.h"
#include "platform/run_stamp.h"

namespace report {

// A device text as a table cell: a control character (a line feed in a drive's name, say)
// would break the table's lines, so each shows as '?'.
std::string Printable(const char* text);
std::string Decimal(unsigned long long value);
inline std::string Decimal(Sectors n) { return Decimal(n.value); }
inline std::string Decimal(ByteCount n) { return Decimal(n.value); }
inline std::string Decimal(DiskNumber n) { return Decimal(n.value); }
// "1 sector", "7 sectors".
std::string Count(uint64_t n, const char* one, const char* many);
inline std::string Count(Sectors n) { return Count(n.value, "sector", "sectors"); }
inline std::string Count(ByteCount n) { return Count(n.value, "byte", "bytes"); }

const char* VerdictWord(Verdict verdict);  // "aligned", "misaligned", "undetermined"
// A power of two of bytes, short: "512", "4K", "1M".
std::string AlignedToWord(uint64_t bytes);
// Why a volume is undetermined, as the report says it; nullptr for a judged one.
const char* UndeterminedWords(Undetermined reason);
// What kept a volume from being examined, as the report names it.
const char* FailureWords(ProbeFailure failure);
// What Windows said, as the report names it: "Windows error 1, incorrect function", or
// "Windows error 87" for an error it has no words for.
std::string WindowsErrorWords(uint32_t error);
// What a partition holds, as the report says it: "no letter or folder", "no volume", ...
std::string HoldsWords(const Partition& partition);
const char* GeometrySourceWords(GeometrySource source);  // "ATA identity", ...
const char* PlacedByWord(PlacedBy by);                   // "extents", "partition", "search"
const char* PartitionStyleWord(PartitionStyle style);    // "MBR", "GPT", "RAW"
// Why Windows' view of a row differs from Tessarel's, as the console's line under it and the
// tip's sentence say it; empty where they agree. `exfat` names exFAT's cluster heap.
// Who reads the words: the console, whose reader can run a command, or a window's tip.
enum class Reader { Console, Window };
std::string WindowsDisagreesWords(WindowsDisagrees why, bool exfat, Reader reader = Reader::Console);

// What Device Information shows of a drive's geometry: the grid offset and the physical
// sector size, or nothing known.
struct DriveGeometry {
  bool reported = false;         // false: "Unknown"
  std::optional<int> alignment;  // shown unless one logical per physical
  std::optional<uint64_t> physicalSectorSize;
  bool impossibleAlignment = false;  // the reported grid cannot be: "Unknown"
};
DriveGeometry GeometryOf(const DriveInfo& drive);
// What the console and the JSON report of it: Device Information's, except that a grid that
// cannot be (LBA 0 past its physical sector) has no alignment.
DriveGeometry ReportedGeometryOf(const DriveInfo& drive);
std::string AlignmentCell(const DriveGeometry& geometry);
std::string PhysicalSectorCell(const DriveGeometry& geometry);

// "HDD" or "SSD"; empty where the drive does not say.
std::string MediaWord(const DriveInfo& drive);
// "512n", "512e", "4Kn", or the two sizes ("512/16384") for another pairing; none where the
// physical sector is not known.
std::optional<std::string> SectorFormat(const DriveInfo& drive);
// For Device Information's tip: what misalignment costs on this drive; empty where its
// kind or its sectors are not known.
std::string CostNote(const DriveInfo& drive);

// How the console report ran: whether Windows says the process is elevated, and whether
// the drives opened for reading and writing (if not, what Windows said to drive 0).
struct RunMode {
  Elevation elevation = Elevation::Unknown;
  bool rawAccess = true;
  uint32_t refusal = 0;
  std::string computer;  // empty where Windows did not say
  // How the names Windows gave (in its ANSI code page) are read for the outputs written as
  // UTF-8 or escapes: the JSON and the CSV. The text keeps their bytes.
  TextDecoder decode = DecodeCp1252;
};

// What the outputs other machines gather say of the run itself: when and which (`stamp`),
// whether the list of volumes came whole, and the exit status the text would give.
struct RunFacts {
  RunStamp stamp;
  bool complete = true;
  int exitStatus = 0;
};

// Calls visit(number, layout, partition) for each partition of each listed drive that no
// volume row shows, in drive and table order: the partition lines and records every output
// writes.
template <class Visit>
void ForEachPartitionWithoutRow(const DriveTable& drives, Visit visit) {
  for (DiskNumber number : drives.Listed()) {
    const DriveInfo& drive = drives[number];
    if (!drive.layout) continue;
    for (const Partition& p : drive.layout->partitions)
      if (p.holds != PartitionHolds::Row) visit(number, *drive.layout, p);
  }
}

enum class ExitStatus {
  Aligned = 0,       // every volume aligned, or no fixed volume at all
  Misaligned = 1,    // at least one volume misaligned
  Undetermined = 2,  // none misaligned but one undetermined or not examined; or the list of
                     // volumes did not come whole, whatever the verdicts
  CannotRun = 3,     // not NT, drive 0 refused for another reason than access, a bad option,
                     // or the report could not be written
};

}  // namespace report
