// Identity of the physical drives, as read from the drives themselves.
#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "inspect/access_mode.h"
#include "disk/disk.h"
#include "disk/grid.h"
#include "disk/partition_table.h"
#include "disk/units.h"
#include "platform/cstring.h"
#include "platform/win32types.h"

// Where a drive's physical-sector geometry came from.
enum class GeometrySource {
  None,               // nothing usable was reported: no grid to judge by
  AtaIdentity,        // IDENTIFY DEVICE words 106 and 209
  StorageDescriptor,  // the storage stack's alignment descriptor (NVMe, USB, SAS)
  ImageGrid,          // a disk image's: the grid the person chose, or the host's usual one
};

enum class Media { Hdd, Ssd };

struct DriveInfo {
  // What the open and the identity gave: the values of `status`.
  static constexpr int32_t kIdentified = 1;     // ATA identity read, every field valid
  static constexpr int32_t kNoIdentity = 0;     // opened, no ATA identity (model may hold a SCSI name)
  static constexpr int32_t kOpenFailed = -1;    // the open failed
  static constexpr int32_t kAccessDenied = -2;  // the open failed with access denied
  int32_t status = kNoIdentity;
  uint16_t sectorsPerPhysical = 0;  // logical sectors per physical sector
  uint16_t alignPhase = 0;          // L starts a physical sector when L ≡ alignPhase (mod spp)
  CString model;
  CString serial;
  CString firmware;
  GeometrySource geometry = GeometrySource::None;
  // The drive's one logical sector size: the geometry request's, else the identity's or
  // the descriptor's; 0 when none was reported.
  uint32_t bytesPerLogicalSector = 0;
  // The geometry request named another logical sector size than the identity or the
  // descriptor: nothing on the drive can be judged by the grid they gave.
  bool sectorSizesDisagree = false;
  // Its identity put logical sector 0 a whole physical sector or more into one: the grid it
  // reported cannot be, and judges nothing.
  bool firstSectorPastPhysical = false;
  // What kind of disk it is, as the storage stack says (its seek penalty and TRIM
  // descriptors) and as its ATA identity says (word 217, the rotation rate; word 169 bit 0,
  // TRIM); each none where not said.
  std::optional<bool> seekPenalty;
  std::optional<bool> trimEnabled;
  std::optional<uint16_t> rotationWord;
  std::optional<bool> identityTrim;
  // Its partition table; none when the request failed. The scan ties each partition to
  // what Windows shows on it when it ends.
  std::optional<DriveLayout> layout;

  // The verdict may judge volumes of this drive against its grid.
  bool HasGeometry() const { return Opened() && geometry != GeometrySource::None; }
  bool Opened() const { return status >= kNoIdentity; }
  bool Identified() const { return status > kNoIdentity; }
  // A hard disk or an SSD: the seek penalty where the stack says, else the identity's
  // rotation rate (1: not rotating); none where neither says.
  std::optional<Media> MediaKind() const {
    if (seekPenalty) return *seekPenalty ? Media::Hdd : Media::Ssd;
    if (rotationWord == 1) return Media::Ssd;
    if (RotationRate()) return Media::Hdd;
    return std::nullopt;
  }
  // Revolutions per minute, where the identity gives a rate (0x0401 to 0xFFFE).
  std::optional<uint16_t> RotationRate() const {
    if (!rotationWord || *rotationWord < 0x0401 || *rotationWord > 0xFFFE) return std::nullopt;
    return rotationWord;
  }
  // It takes TRIM: the stack's answer, else the identity's.
  std::optional<bool> Trim() const { return trimEnabled ? trimEnabled : identityTrim; }
  // The sectors that begin a physical sector: those ≡ alignPhase (mod sectorsPerPhysical);
  // none without a grid to judge by.
  std::optional<Alignment> Grid() const {
    if (!HasGeometry() || sectorsPerPhysical == 0) return std::nullopt;
    return Alignment(Sectors(alignPhase), sectorsPerPhysical);
  }
  // How many logical sectors into its physical sector LBA 0 lies; none without a grid.
  std::optional<uint32_t> Lba0Offset() const {
    const std::optional<Alignment> grid = Grid();
    if (!grid) return std::nullopt;
    return static_cast<uint32_t>(grid->Past(Sectors(0)));
  }
  // Logical sector size times sectors per physical sector; 0 when not known.
  uint64_t PhysicalSectorBytes() const {
    return static_cast<uint64_t>(bytesPerLogicalSector) * sectorsPerPhysical;
  }
  // The drive as the judge sees it: its logical sector, its grid, why it has none, its
  // table.
  Disk AsDisk() const {
    Disk disk;
    disk.sectorSize = SectorSize(bytesPerLogicalSector);
    disk.grid = Grid();
    disk.noGrid = firstSectorPastPhysical ? Undetermined::FirstSectorPastPhysical
                                          : Undetermined::NoGrid;
    disk.layout = layout ? &*layout : nullptr;
    return disk;
  }
  // The unit clusters are judged against.
  uint64_t ClusterUnitBytes() const { return AsDisk().ClusterUnitBytes(); }
};

// The drive phase identifies drives 0, 1, ... up to the first that does not open, and the
// search by content reads drives 0 to 9: the numbers below this.
constexpr int kDriveCount = 10;

// The drives of one scan, by the number the system gives each disk ("\\.\PhysicalDriveN").
// Windows numbers disks with gaps and past ten: the drive phase fills the table from 0, and
// a volume that names another disk adds it. An entry not identified in this run is in its
// initial state; readers test status before any other field.
class DriveTable {
 public:
  DriveInfo& operator[](DiskNumber number) { return m_entries[number].info; }
  const DriveInfo& operator[](DiskNumber number) const;

  // Identifies drive `number` once per run: a drive asked before keeps what it answered.
  const DriveInfo& Identify(DiskNumber number, AccessMode mode = AccessMode::Raw);
  // Drive `number` holds a volume of this run: readers list it, also when it did not open.
  void HoldsVolume(DiskNumber number);
  // The drives a reader lists, in number order: from 0 up to the first that did not open
  // (at most ten), then every other drive that holds a volume.
  std::vector<DiskNumber> Listed() const;
  // Every entry back to its initial state: a scan starts from a clean table.
  void Clear() { m_entries.clear(); }

 private:
  struct Entry {
    DriveInfo info;
    bool asked = false;
    bool holdsVolume = false;
  };
  std::map<DiskNumber, Entry> m_entries;
};

extern DriveTable g_drives;

// Identifies physical drive `index`, the system's number of the disk, into *out. With
// QueryOnly the drive is named from its storage device descriptor and its grid taken from
// the access-alignment descriptor.
void IdentifyDrive(uint32_t index, DriveInfo* out, AccessMode mode = AccessMode::Raw);

// The texts of a storage device descriptor: `returned` bytes of the answer.
struct DescriptorTexts {
  CString name;  // vendor and product, each trimmed, joined by one space
  CString serial;
  CString revision;
};
DescriptorTexts ReadDeviceDescriptor(const BYTE* answer, DWORD returned);
