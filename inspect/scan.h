// The whole inspection, one unit of device work per step: identify drive 0, 1, ... until
// the first that does not open or drive 9, then examine the letters C to Z, then each
// fixed volume that only folders name. The report window takes one step per timer tick;
// the console report takes them back to back.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "disk/sector_size_move.h"
#include "inspect/alignment.h"
#include "inspect/partition_tie.h"
#include "inspect/volume_info.h"
#include "platform/cstring.h"

// One row of the report: a fixed volume the probe could place.
struct ScanRow {
  std::string name;                  // "C:", or the first folder of a volume without a letter
  char letter = 0;                   // 0 for a volume without a letter
  std::vector<std::string> paths;    // every path it is reachable by, its letter's root first
  std::optional<DiskNumber> drive;   // the disk of its first piece; none when none was found
  CString driveName;                 // that drive's model text; empty without one
  std::optional<Sectors> dataStart;  // where its clusters begin on that disk, when known
  Verdict verdict = Verdict::Undetermined;
  Undetermined reason = Undetermined::None;  // why, when the verdict is undetermined
  std::optional<Advice> advice;  // what would align a misaligned volume, where it applies
  bool onMiB = false;            // its first piece starts on a 1 MiB boundary
  uint64_t alignedTo = 0;        // the largest power of two up to 1 MiB its start's bytes take
  std::optional<WindowsView> windows;  // Windows' own view of it; none where Windows gave none
  WindowsDisagrees windowsDisagrees = WindowsDisagrees::None;  // why it differs, where it does
  std::string fileSystem;
  std::string volumeName;  // "\\?\Volume{...}\", as Windows names it; empty when it does not
  PlacedBy placedBy = PlacedBy::Extents;  // what placed it on its disks
  std::vector<PieceVerdict> extents;      // every piece of the volume, each judged on its disk
  std::unique_ptr<CVolumeInfo> volume;    // the record the row keeps
};

// A fixed volume the scan could not examine: it has no row, but the console names it.
struct SkippedVolume {
  std::string name;  // what its row would have shown
  ProbeFailure reason;
  uint32_t error = 0;  // what Windows said to the call behind it; 0 when no call failed
};

// Whether the system's list of volumes came whole, and if not, why: what Windows said, or
// 0 for a list cut at the most volumes taken.
struct VolumeListing {
  bool complete = true;
  uint32_t error = 0;
};

// What a scan found, which every output reads: its rows, the fixed volumes it could not
// examine, whether Windows' list of volumes came whole, and the drive table they lie on.
struct MachineFindings {
  std::vector<ScanRow> rows;
  std::vector<SkippedVolume> skipped;
  const DriveTable* drives = nullptr;  // g_drives, which outlives the findings
  VolumeListing listing;
  // Each listed drive's move to the other logical sector size, by number; a drive without
  // one is not held (nothing tells whether it can move).
  std::map<uint32_t, SectorSizeMove> moves;
};

// The move of drive `number`, where one is held.
inline std::optional<SectorSizeMove> MoveOf(const MachineFindings& findings, DiskNumber number) {
  const auto found = findings.moves.find(number.value);
  return found != findings.moves.end() ? std::optional<SectorSizeMove>(found->second) : std::nullopt;
}

// Drive `number` is ready for a physical 4Kn disk: of 4096-byte sectors, or its move needs
// nothing.
inline bool DriveReadyFor4Kn(const MachineFindings& findings, DiskNumber number) {
  return ReadyFor4Kn((*findings.drives)[number].bytesPerLogicalSector, MoveOf(findings, number));
}

// Each drive's move, for a physical 4Kn disk where `toPhysical4Kn`.
void FindSectorSizeMoves(MachineFindings& findings, bool toPhysical4Kn);

class CScan {
 public:
  // Drives and volumes are opened as `mode` allows.
  explicit CScan(AccessMode mode = AccessMode::Raw) : m_mode(mode) {}
  // One unit of device work: identifies one drive, examines one letter or one volume named
  // by folders, asks one volume without a row where it lies, or reads the boot sector of one
  // partition without a row. A fixed volume the probe could place gives a row; the drives
  // its pieces lie on are identified in the same step when the drive phase did not reach
  // them.
  std::optional<ScanRow> Step();
  bool Finished() const { return VolumesDone() && m_tied && m_nextJudged >= m_toJudge.size(); }
  // The fixed volumes examined so far that got no row, in the order they were met.
  const std::vector<SkippedVolume>& Skipped() const { return m_skipped; }
  // Whether the system's list of volumes came whole; known once the letters are done.
  const VolumeListing& Listing() const { return m_listing; }
  // What it found, once finished, with the rows its steps gave.
  MachineFindings Findings(std::vector<ScanRow> rows) const;
  // Every step, back to back: what the console's scan finds.
  MachineFindings Run();

 private:
  struct MountedVolume {
    std::string name;                // its volume name
    std::vector<std::string> paths;  // the folders it is mounted in
  };

  std::optional<ScanRow> Next();
  std::optional<ScanRow> ExamineLetter(char letter);
  std::optional<ScanRow> ExamineMounted(const MountedVolume& volume);
  std::optional<ScanRow> Examine(std::unique_ptr<CVolumeInfo> record, std::string name,
                                 std::vector<std::string> paths, std::string volumeName);
  // Keeps a volume the probe could not examine, and what is known of where it lies.
  void Skip(const CVolumeInfo& record, std::string name, const std::string& volumeName);
  void FindMountedVolumes();
  // A volume Windows lists but the scan examines as no row, to be asked where it lies: one
  // with neither letter nor folder, or a removable letter; none for the others.
  std::optional<PlacedVolume> Unexamined(const std::string& name,
                                         const std::vector<std::string>& paths) const;
  void PlaceUnexamined(PlacedVolume placed);
  // Every letter, every volume without a row and every volume named by folders is done.
  bool VolumesDone() const {
    return m_cursor > 'Z' && m_nextUnexamined >= m_unexamined.size() &&
           m_nextMounted >= m_mounted.size();
  }

  // 0..9: the drive to identify next; 'C'..'Z': the letter to examine next; past 'Z':
  // the volumes named by folders. Letters A and B are never examined.
  AccessMode m_mode;
  signed char m_cursor = 0;
  bool m_started = false;
  std::vector<MountedVolume> m_mounted;  // found in the step of the last letter
  size_t m_nextMounted = 0;
  std::vector<PlacedVolume> m_unexamined;  // found then too, each asked in a step of its own
  size_t m_nextUnexamined = 0;
  std::vector<TiedPartition> m_toJudge;  // partitions whose boot sector is read, one a step
  size_t m_nextJudged = 0;
  std::vector<SkippedVolume> m_skipped;
  VolumeListing m_listing;
  std::vector<PlacedVolume> m_placed;
  UINT m_letterTypes['Z' - 'C' + 1] = {};  // what GetDriveTypeA said of each letter
  bool m_allPlaced = true;  // every volume Windows listed was placed: an untied partition has none
  bool m_tied = false;
};
