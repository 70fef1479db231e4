// What the alignment verdict needs to know about one volume: behind a drive letter, or
// named by its volume name when only folders are mounted on it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "inspect/access_mode.h"
#include "disk/units.h"
#include "disk/verdict.h"
#include "inspect/windows_view.h"

// What placed a volume on its disks: its own pieces as the volume manager lists them, the
// partition requests with the disk's number, or a search of the drives by content.
enum class PlacedBy { Extents, Partition, Search };

// One piece of a volume: a simple volume has one; a spanned, striped or mirrored volume
// has one per piece, each on its own disk. Where it lies, in bytes as Windows gives them.
struct VolumeExtent {
  std::optional<DiskNumber> disk;  // none where no disk was found to hold it
  ByteCount offset;                // where the piece begins on that disk
  ByteCount length;                // 0 where the system did not say
};

class Device;

// A volume's pieces as the volume manager lists them; empty when it lists none. The volume
// is opened with access 0: nothing is read.
std::vector<VolumeExtent> VolumePieces(const std::string& volumeName);

class CVolumeInfo {
 public:
  explicit CVolumeInfo(char letter);
  // A volume by its volume name, "\\?\Volume{...}\" (a name handed out without its
  // trailing backslash is taken too); its m_letter is 0.
  explicit CVolumeInfo(const std::string& volumeName);

  // Classifies the drive and reads its geometry; for a volume that is not optical it
  // also runs the device probe, opening devices as `mode` allows (QueryOnly: with access
  // 0, reading nothing). Returns 0 (not usable), 1 (optical), 3 (local removable or
  // fixed) or 7 (remote).
  int Probe(AccessMode mode = AccessMode::Raw);

  uint32_t GetBytesPerSector() const { return m_bytesPerSector; }
  uint32_t GetBytesPerCluster() const { return m_bytesPerCluster; }
  // The disk that holds the volume's first sector: its number, -1 when not determined,
  // kNoDrive when no disk was found to hold it.
  int64_t GetDriveIndex() const { return m_driveIndex; }

  // The volume sector at which cluster (0 = first of the data area) begins.
  uint64_t ClusterToSector(uint64_t cluster) const;
  // The drive sector at which the data area begins; all ones when not determined.
  uint64_t GetDataStartSector() const;

  // What Probe returns, bit by bit: usable, not optical, remote.
  static constexpr int kProbeUsable = 1, kProbeNotOptical = 2, kProbeRemote = 4;
  static constexpr int kNotUsable = 0, kOptical = kProbeUsable,
                       kLocal = kProbeUsable | kProbeNotOptical, kRemote = kLocal | kProbeRemote;

  // Sector numbers are 64-bit: disks past 2 TiB have partitions beyond sector 2^32. A
  // start or data start that could not be determined is all ones.
  static constexpr uint64_t kNotDetermined = ~uint64_t{0};
  // The drive number of a volume that no disk was found to hold.
  static constexpr int64_t kNoDrive = -2;

  bool m_probed;
  bool m_optical;
  bool m_remote;
  uint32_t m_bytesPerSector;
  uint32_t m_bytesPerCluster;
  uint64_t m_startSector;     // the first piece's first sector on its disk
  uint64_t m_dataAreaOffset;  // sectors from the volume's start to its clusters
  int64_t m_driveIndex;
  char m_letter;
  std::string m_root;        // for the volume calls: "X:\\", or the volume name with its backslash
  std::string m_device;      // to open: "\\.\X:", or the volume name without its backslash
  std::string m_fileSystem;  // as the volume names it; empty when it does not say
  std::vector<VolumeExtent> m_extents;  // every piece, in the volume's order; empty until placed
  ProbeFailure m_failure;
  // Windows' own view of the volume's sectors, asked on the handle the probe opens; none
  // where Windows gives none (before Windows 8).
  std::optional<WindowsView> m_windows;
  PlacedBy m_placedBy = PlacedBy::Search;
  uint32_t m_failureError = 0;  // what Windows said to the call behind m_failure; 0: none
  // Reads QueryOnly left out that the verdict needed: the boot sector that says where a
  // FAT or exFAT volume's clusters begin, and the drive search for a volume that named no
  // disk.
  bool m_dataAreaNeedsRights = false;
  bool m_searchNeedsRights = false;

 private:
  AccessMode m_access = AccessMode::Raw;  // how the last probe opened devices
  // Where the system says the volume lies: by its disk number, or by its pieces.
  struct Placement {
    std::optional<DiskNumber> systemDisk;
    std::optional<VolumeExtent> partition;  // where the partition requests place it
    std::vector<VolumeExtent> pieces;
    uint32_t error = 0;  // what Windows said to the last request of the start that failed
  };
  void ProbeDevice();
  // Asks the volume where it starts and on which disks (partition requests, device
  // number, disk extents).
  Placement Place(Device& volume);
  // The file system's name, as the volume gives it.
  void ReadFileSystem();
  // Reads the volume's first sector into volumeSector, and from it where its clusters
  // begin; false when the sector could not be read.
  bool ReadDataArea(Device& volume, uint8_t* volumeSector);
  // The data area, and the place where the system gave none, for a volume opened with
  // access 0.
  void PlaceWithoutReading(const std::optional<VolumeExtent>& partition);
  // Keeps the first failure the probe meets, the one the report names, with what Windows
  // said to the call that made it give up (ERROR_SUCCESS when no call failed).
  void Fail(ProbeFailure failure, uint32_t error) {
    if (m_failure != ProbeFailure::None) return;
    m_failure = failure;
    m_failureError = error;
  }
};
