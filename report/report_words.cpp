#include "report/report_words.h"

#include <cstdio>

#include "platform/win32types.h"

namespace report {

std::string Printable(const char* text) {
  std::string cell(text);
  for (char& c : cell)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  return cell;
}

std::string Decimal(unsigned long long value) {
  char text[24];
  std::snprintf(text, sizeof text, "%llu", value);
  return text;
}

std::string Count(uint64_t n, const char* one, const char* many) {
  return Decimal(n) + " " + (n == 1 ? one : many);
}

const char* FailureWords(ProbeFailure failure) {
  switch (failure) {
    case ProbeFailure::DriveType:
      return "drive type";
    case ProbeFailure::Sizes:
      return "sizes";
    case ProbeFailure::DeviceOpen:
      return "device open";
    case ProbeFailure::PartitionStart:
      return "partition start";
    case ProbeFailure::FirstSector:
      return "first sector";
    case ProbeFailure::None:
      break;
  }
  return "none";
}

std::string AlignedToWord(uint64_t bytes) {
  if (bytes >= (1u << 20) && bytes % (1u << 20) == 0) return Decimal(bytes >> 20) + "M";
  if (bytes >= 1024 && bytes % 1024 == 0) return Decimal(bytes >> 10) + "K";
  return Decimal(bytes);
}

const char* VerdictWord(Verdict verdict) {
  switch (verdict) {
    case Verdict::Aligned:
      return "aligned";
    case Verdict::Misaligned:
      return "misaligned";
    case Verdict::Undetermined:
      break;
  }
  return "undetermined";
}

const char* UndeterminedWords(Undetermined reason) {
  switch (reason) {
    case Undetermined::DataAreaNeedsRights:
      return "its data area needs administrative rights to read";
    case Undetermined::NoGrid:
      return "the drive reported nothing about its physical sectors";
    case Undetermined::NoDrive:
      return "no drive holds the volume";
    case Undetermined::SearchNeedsRights:
      return "finding its drive needs administrative rights";
    case Undetermined::DataAreaUnread:
      return "its data area could not be read";
    case Undetermined::BootSectorUnread:
      return "its boot sector could not be read";
    case Undetermined::SectorSizes:
      return "the volume and its drive disagree about the sector size";
    case Undetermined::FirstSectorPastPhysical:
      return "the drive reports its first sector past its physical sector";
    case Undetermined::BootSectorSize:
      return "its boot sector counts sectors of another size than the disk's";
    case Undetermined::None:
      break;
  }
  return nullptr;
}

DriveGeometry GeometryOf(const DriveInfo& drive) {
  DriveGeometry g;
  // A drive without an ATA identity may still have reported its grid.
  g.reported = drive.Identified() || drive.HasGeometry();
  if (!g.reported) return g;
  if (drive.sectorsPerPhysical != 1)
    g.alignment = static_cast<int>(drive.sectorsPerPhysical) - static_cast<int>(drive.alignPhase);
  g.physicalSectorSize = drive.PhysicalSectorBytes();
  return g;
}

DriveGeometry ReportedGeometryOf(const DriveInfo& drive) {
  DriveGeometry g = GeometryOf(drive);
  if (drive.firstSectorPastPhysical) {
    g.alignment.reset();
    g.impossibleAlignment = true;
  }
  return g;
}

std::string AlignmentCell(const DriveGeometry& geometry) {
  if (!geometry.reported || geometry.impossibleAlignment) return "Unknown";
  return geometry.alignment ? std::to_string(*geometry.alignment) : "";
}

std::string PhysicalSectorCell(const DriveGeometry& geometry) {
  if (!geometry.reported || !geometry.physicalSectorSize) return "Unknown";
  return Decimal(*geometry.physicalSectorSize);
}

const char* GeometrySourceWords(GeometrySource source) {
  switch (source) {
    case GeometrySource::AtaIdentity:
      return "ATA identity";
    case GeometrySource::StorageDescriptor:
      return "storage descriptor";
    case GeometrySource::ImageGrid:
      return "image grid";
    case GeometrySource::None:
      break;
  }
  return "none";
}

// What a locked BitLocker volume's calls fail with (FVE_E_LOCKED_VOLUME).
constexpr uint32_t kLockedByBitLocker = 0x80310000u;

std::string WindowsErrorWords(uint32_t error) {
  const char* words = nullptr;
  switch (error) {
    case ERROR_INVALID_FUNCTION:
      words = "incorrect function";
      break;
    case ERROR_ACCESS_DENIED:
      words = "access denied";
      break;
    case ERROR_NOT_READY:
      words = "not ready";
      break;
    case ERROR_SHARING_VIOLATION:
      words = "sharing violation";
      break;
    case ERROR_IO_DEVICE:
      words = "the device's I/O error";
      break;
    case ERROR_CRC:
      words = "the device's data error (CRC)";
      break;
    case kLockedByBitLocker:
      words = "the volume is locked by BitLocker";
      break;
  }
  const std::string number = "Windows error " + std::to_string(error);
  return words != nullptr ? number + ", " + words : number;
}

std::string HoldsWords(const Partition& p) {
  switch (p.holds) {
    case PartitionHolds::Row:
      return p.row;
    case PartitionHolds::NoPath:
      return "no letter or folder";
    case PartitionHolds::NoVolume:
      return "no volume";
    case PartitionHolds::Container:
      return "holds other volumes";
    case PartitionHolds::NotFixed:
      return p.shownAs + " (not a fixed volume)";
    case PartitionHolds::NotExamined: {
      std::string words = p.shownAs + " not examined: " + FailureWords(p.failure);
      if (p.failureError != 0) words += " (" + WindowsErrorWords(p.failureError) + ")";
      return words;
    }
    case PartitionHolds::Unknown:
      break;
  }
  return "no volume found";
}

const char* PlacedByWord(PlacedBy by) {
  switch (by) {
    case PlacedBy::Extents:
      return "extents";
    case PlacedBy::Partition:
      return "partition";
    case PlacedBy::Search:
      break;
  }
  return "search";
}

const char* PartitionStyleWord(PartitionStyle style) {
  switch (style) {
    case PartitionStyle::Mbr:
      return "MBR";
    case PartitionStyle::Gpt:
      return "GPT";
    case PartitionStyle::Raw:
      break;
  }
  return "RAW";
}

std::string WindowsDisagreesWords(WindowsDisagrees why, bool exfat, Reader reader) {
  // A tip cannot send its reader to a report it has no way to make: it says how.
  const std::string report = reader == Reader::Console
                                 ? "please report it with a trace"
                                 : "run TessarelReport.exe --drives --trace tessarel-trace.jsonl "
                                   "from an elevated prompt and send the file";
  switch (why) {
    case WindowsDisagrees::DataArea:
      return std::string(
                 "Windows calls its partition aligned: it judges where the partition "
                 "starts, Tessarel where the ") +
             (exfat ? "cluster heap" : "data area") + " begins";
    case WindowsDisagrees::Clusters:
      return "Windows calls its partition aligned: it does not judge clusters smaller than the "
             "physical sector";
    case WindowsDisagrees::HiddenSectors:
      return "Windows calls its partition aligned, but the drive's storage stack reports no "
             "physical sector beyond the logical one";
    case WindowsDisagrees::SeveralDisks:
      return "Windows calls the volume aligned: for a volume over several disks it answers once, "
             "for the largest of them";
    case WindowsDisagrees::WindowsAligned:
      return "Windows calls its partition aligned; Tessarel does not: " + report;
    case WindowsDisagrees::WindowsMisaligned:
      return "Windows calls its partition misaligned; Tessarel does not: " + report;
    case WindowsDisagrees::None:
      break;
  }
  return "";
}

std::string MediaWord(const DriveInfo& drive) {
  const std::optional<Media> media = drive.MediaKind();
  if (!media) return "";
  return *media == Media::Ssd ? "SSD" : "HDD";
}

std::optional<std::string> SectorFormat(const DriveInfo& drive) {
  if (!drive.HasGeometry() || drive.bytesPerLogicalSector == 0) return std::nullopt;
  const uint64_t logical = drive.bytesPerLogicalSector, physical = drive.PhysicalSectorBytes();
  if (logical == 512 && physical == 512) return std::string("512n");
  if (logical == 512 && physical == 4096) return std::string("512e");
  if (logical == 4096 && physical == 4096) return std::string("4Kn");
  return Decimal(logical) + "/" + Decimal(physical);
}

std::string CostNote(const DriveInfo& drive) {
  if (!drive.HasGeometry()) return "";
  if (drive.sectorsPerPhysical == 1)
    return "Misalignment costs this disk nothing: its physical sector is its logical one.";
  const std::optional<Media> media = drive.MediaKind();
  if (media == Media::Ssd) return "On this SSD a misaligned volume costs extra writes and wear.";
  if (media == Media::Hdd)
    return "On this hard disk each misaligned write reads and rewrites a whole physical sector.";
  return "";
}

}  // namespace report
