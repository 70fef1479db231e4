#include "inspect/volume_info.h"

#include <cstring>

#include "inspect/drive_info.h"
#include "platform/device.h"
#include "platform/sys.h"

namespace {

constexpr DWORD kUnbuffered = FILE_FLAG_NO_BUFFERING | FILE_ATTRIBUTE_NORMAL;
constexpr DWORD kNameBytes = 128;
constexpr uint32_t kBpbEnd = 40;  // the boot-sector fields read end before byte 40
constexpr uint32_t kRootEntryBytes = 32;
constexpr int32_t kAskTheDrives = -1;

uint16_t Le16(const BYTE* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Le32(const BYTE* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// Sectors from the volume's start to its data area. The root directory takes whole
// sectors of 32-byte entries, whatever the sector size.
uint64_t FatDataAreaOffset(const BYTE* boot, uint32_t bytesPerSector) {
  const uint16_t fatSize16 = Le16(boot + 22);
  const uint32_t fatSize = fatSize16 != 0 ? fatSize16 : Le32(boot + 36);
  const uint64_t reserved = Le16(boot + 14);
  const uint64_t fats = boot[16];
  const uint64_t rootBytes = uint64_t{Le16(boot + 17)} * kRootEntryBytes;
  const uint64_t rootSectors = (rootBytes + bytesPerSector - 1) / bytesPerSector;
  return reserved + fats * fatSize + rootSectors;
}

// The partition's first sector on its disk. The MBR-only request is asked first, so an
// MBR machine sends what it always sent; GPT partitions answer only the _EX request,
// whatever their style. A start before the disk's first byte is no start.
uint64_t PartitionStartSector(Device& volume, uint32_t bytesPerSector) {
  int64_t offset = -1;
  DWORD returned = 0;
  PARTITION_INFORMATION mbr;
  std::memset(&mbr, 0, sizeof mbr);
  if (volume.Control(IOCTL_DISK_GET_PARTITION_INFO, nullptr, 0, &mbr, sizeof mbr, &returned)) {
    if (returned >= offsetof(PARTITION_INFORMATION, StartingOffset) + 8)
      offset = mbr.StartingOffset.QuadPart;
  } else {
    PARTITION_INFORMATION_EX ex;
    std::memset(&ex, 0, sizeof ex);
    if (volume.Control(IOCTL_DISK_GET_PARTITION_INFO_EX, nullptr, 0, &ex, sizeof ex, &returned) &&
        returned >= offsetof(PARTITION_INFORMATION_EX, StartingOffset) + 8)
      offset = ex.StartingOffset.QuadPart;
  }
  if (offset < 0) return CVolumeInfo::kNotDetermined;
  return static_cast<uint64_t>(offset) / bytesPerSector;
}

// The disk the system says holds the volume: 0..9, 10 for a disk past the table, or
// kAskTheDrives when it does not say (dynamic disks, Storage Spaces, older systems).
int32_t SystemDriveNumber(Device& volume) {
  STORAGE_DEVICE_NUMBER number;
  std::memset(&number, 0, sizeof number);
  DWORD returned = 0;
  if (!volume.Control(IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, &number, sizeof number,
                      &returned) ||
      returned < sizeof number || number.DeviceType != FILE_DEVICE_DISK)
    return kAskTheDrives;
  return number.DeviceNumber < static_cast<DWORD>(kDriveCount)
             ? static_cast<int32_t>(number.DeviceNumber)
             : CVolumeInfo::kNoTableDrive;
}

// The first of drives 0..9 whose sector at byte `position` equals the volume's first
// sector; kNoTableDrive when none does before the first drive that does not open.
int32_t SearchDrives(uint64_t position, const BYTE* volumeSector, BYTE* driveSector,
                     uint32_t bytes) {
  for (int32_t n = 0; n < kDriveCount; ++n) {
    Device drive(PhysicalDrivePath(static_cast<uint32_t>(n)), GENERIC_READ, kUnbuffered);
    if (!drive.IsOpen()) break;
    if (drive.ReadAt(position, driveSector, bytes) &&
        std::memcmp(volumeSector, driveSector, bytes) == 0)
      return n;
  }
  return CVolumeInfo::kNoTableDrive;
}

}  // namespace

CVolumeInfo::CVolumeInfo(char letter)
    : m_probed(false),
      m_optical(false),
      m_remote(false),
      m_bytesPerSector(0),
      m_bytesPerCluster(0),
      m_startSector(0),
      m_dataAreaOffset(0),
      m_driveIndex(0),
      m_letter(letter) {}

int CVolumeInfo::Probe() {
  const std::string root = RootPath(m_letter);
  const UINT type = sys::GetDriveTypeA(root.c_str());

  DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, totalClusters = 0;
  const BOOL ok = sys::GetDiskFreeSpaceA(root.c_str(), &sectorsPerCluster, &bytesPerSector,
                                         &freeClusters, &totalClusters);
  m_bytesPerSector = bytesPerSector;
  // A sector size of 0 is no geometry: every later division is by it.
  if (!ok || bytesPerSector == 0) {
    if (type == DRIVE_CDROM) {
      m_bytesPerSector = 2048;
      m_bytesPerCluster = 2048;
      m_optical = true;
      return 1;
    }
    return 0;
  }

  if (!m_probed) {
    if (type < DRIVE_REMOVABLE || type > DRIVE_CDROM) return 0;
    if (type == DRIVE_REMOTE) m_remote = true;
    if (type == DRIVE_CDROM) m_optical = true;
  }
  int code = m_remote ? 5 : 1;
  if (!m_optical) code |= 2;
  m_bytesPerCluster = m_bytesPerSector * sectorsPerCluster;

  if (type != DRIVE_CDROM) ProbeDevice(m_letter);
  m_probed = true;
  return code;
}

void CVolumeInfo::ProbeDevice(char letter) {
  m_startSector = kNotDetermined;
  m_dataAreaOffset = kNotDetermined;
  m_driveIndex = -1;

  Device volume(VolumeDevicePath(letter), GENERIC_READ, kUnbuffered);
  if (!volume.IsOpen()) return;

  m_startSector = PartitionStartSector(volume, m_bytesPerSector);
  const int32_t systemDrive = SystemDriveNumber(volume);

  char fileSystem[kNameBytes] = {};  // a failed query leaves a name that is not FAT
  sys::GetVolumeInformationA(RootPath(letter).c_str(), nullptr, 0, nullptr, nullptr, nullptr,
                             fileSystem, kNameBytes);

  // Two sectors: the volume's first, and each drive's at the same place.
  SectorBuffer buffer(2 * static_cast<uint64_t>(m_bytesPerSector));
  if (!buffer.IsValid()) return;
  BYTE* volumeSector = buffer.Data();
  BYTE* driveSector = buffer.Data() + m_bytesPerSector;

  // Without the volume's own first sector there is nothing to look for: a search for a
  // sector of zeros could name the wrong drive.
  if (!volume.ReadAt(0, volumeSector, m_bytesPerSector)) return;

  if (std::strncmp(fileSystem, "FAT", 3) != 0)
    m_dataAreaOffset = 0;
  else if (m_bytesPerSector >= kBpbEnd)
    m_dataAreaOffset = FatDataAreaOffset(volumeSector, m_bytesPerSector);
  // else: a sector too small to hold the boot-sector fields; the offset stays unknown.

  // The system's answer costs one request; the search reads, and wakes, every drive
  // below the volume's. It also tells a clone from its original, which hold the same
  // bytes at the same place. Without a start there is no place to compare: the volume
  // gets no row either way, so no drive is read for it.
  if (systemDrive != kAskTheDrives)
    m_driveIndex = systemDrive;
  else if (m_startSector != kNotDetermined)
    m_driveIndex =
        SearchDrives(m_startSector * m_bytesPerSector, volumeSector, driveSector, m_bytesPerSector);
}

uint64_t CVolumeInfo::ClusterToSector(uint64_t cluster) const {
  if (m_bytesPerSector == 0) return 0;  // no geometry: no sector to name
  if (m_dataAreaOffset != 0)
    return m_dataAreaOffset + static_cast<uint64_t>(m_bytesPerCluster / m_bytesPerSector) * cluster;
  return (static_cast<uint64_t>(m_bytesPerCluster) * cluster) / m_bytesPerSector;
}

uint64_t CVolumeInfo::GetDataStartSector() const {
  if (m_startSector == kNotDetermined || m_dataAreaOffset == kNotDetermined) return kNoDataStart;
  const uint64_t start = m_startSector + m_dataAreaOffset;
  // A sum past the largest sector number names no sector.
  if (start < m_startSector) return kNoDataStart;
  return start;
}
