#include "inspect/volume_info.h"

#include <cstdio>
#include <cstring>

#include "inspect/drive_info.h"
#include "platform/sys.h"

namespace {

constexpr DWORD kReadShare = FILE_SHARE_READ | FILE_SHARE_WRITE;
constexpr DWORD kUnbuffered = FILE_FLAG_NO_BUFFERING | FILE_ATTRIBUTE_NORMAL;
constexpr DWORD kNameBytes = 128;
constexpr uint32_t kBpbEnd = 40;  // the boot-sector fields read end before byte 40

HANDLE OpenForReading(const char* path) {
  return sys::CreateFileA(path, GENERIC_READ, kReadShare, nullptr, OPEN_EXISTING, kUnbuffered,
                          nullptr);
}

// One whole sector into buffer; a short read is no sector.
bool ReadSector(HANDLE handle, BYTE* buffer, uint32_t bytes) {
  DWORD read = 0;
  return sys::ReadFile(handle, buffer, bytes, &read, nullptr) && read == bytes;
}

uint16_t Le16(const BYTE* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Le32(const BYTE* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// Sectors from the volume's start to its data area. The root directory counts as
// entries / 16 sectors whatever the sector size.
uint32_t FatDataAreaOffset(const BYTE* boot) {
  const uint16_t fatSize16 = Le16(boot + 22);
  const uint32_t fatSize = fatSize16 != 0 ? fatSize16 : Le32(boot + 36);
  const uint32_t reserved = Le16(boot + 14);
  const uint32_t fats = boot[16];
  const uint32_t rootEntries = Le16(boot + 17);
  return reserved + fats * fatSize + rootEntries / 16;
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
  char root[8];
  std::snprintf(root, sizeof root, "%c:\\", m_letter);
  const UINT type = sys::GetDriveTypeA(root);

  DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, totalClusters = 0;
  const BOOL ok = sys::GetDiskFreeSpaceA(root, &sectorsPerCluster, &bytesPerSector, &freeClusters,
                                         &totalClusters);
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

  char path[32];
  std::snprintf(path, sizeof path, "\\\\.\\%c:", letter);
  HANDLE volume = OpenForReading(path);
  if (volume == INVALID_HANDLE_VALUE) return;

  PARTITION_INFORMATION partition;
  std::memset(&partition, 0, sizeof partition);
  DWORD returned = 0;
  if (sys::DeviceIoControl(volume, IOCTL_DISK_GET_PARTITION_INFO, nullptr, 0, &partition,
                           sizeof partition, &returned, nullptr)) {
    const int64_t start =
        partition.StartingOffset.QuadPart / static_cast<int64_t>(m_bytesPerSector);
    m_startSector = static_cast<uint32_t>(start);
  }

  char root[8];
  std::snprintf(root, sizeof root, "%c:\\", letter);
  char fileSystem[kNameBytes] = {};  // a failed query leaves a name that is not FAT
  sys::GetVolumeInformationA(root, nullptr, 0, nullptr, nullptr, nullptr, fileSystem, kNameBytes);

  // Two sectors, computed wide: a sector size this large gets no buffer rather than a
  // buffer smaller than the reads into it.
  const uint64_t bufferBytes = 2 * static_cast<uint64_t>(m_bytesPerSector);
  BYTE* buffer = nullptr;
  if (bufferBytes <= 0xFFFFFFFFu)
    buffer = static_cast<BYTE*>(
        sys::VirtualAlloc(nullptr, static_cast<SIZE_T>(bufferBytes), MEM_COMMIT, PAGE_READWRITE));
  if (buffer == nullptr) {
    sys::CloseHandle(volume);
    return;
  }
  BYTE* volumeSector = buffer;
  BYTE* driveSector = buffer + m_bytesPerSector;

  // Without the volume's own first sector there is nothing to look for: a search for a
  // sector of zeros could name the wrong drive.
  if (!ReadSector(volume, volumeSector, m_bytesPerSector)) {
    sys::VirtualFree(buffer, 0, MEM_RELEASE);
    sys::CloseHandle(volume);
    return;
  }

  if (std::strncmp(fileSystem, "FAT", 3) != 0)
    m_dataAreaOffset = 0;
  else if (m_bytesPerSector >= kBpbEnd)
    m_dataAreaOffset = FatDataAreaOffset(volumeSector);
  // else: a sector too small to hold the boot-sector fields; the offset stays unknown.

  const uint64_t position = static_cast<uint64_t>(m_startSector) * m_bytesPerSector;
  for (m_driveIndex = 0; m_driveIndex < kDriveCount; ++m_driveIndex) {
    std::snprintf(path, sizeof path, "\\\\.\\PhysicalDrive%d", static_cast<int>(m_driveIndex));
    HANDLE drive = OpenForReading(path);
    if (drive == INVALID_HANDLE_VALUE) {
      m_driveIndex = -1;
      break;
    }
    LONG high = static_cast<LONG>(position >> 32);
    sys::SetFilePointer(drive, static_cast<LONG>(position & 0xFFFFFFFFu), &high, FILE_BEGIN);
    const bool read = ReadSector(drive, driveSector, m_bytesPerSector);
    sys::CloseHandle(drive);
    if (read && std::memcmp(volumeSector, driveSector, m_bytesPerSector) == 0) break;
  }

  sys::VirtualFree(buffer, 0, MEM_RELEASE);
  sys::CloseHandle(volume);
}

uint64_t CVolumeInfo::ClusterToSector(uint64_t cluster) const {
  if (m_bytesPerSector == 0) return 0;  // no geometry: no sector to name
  if (m_dataAreaOffset != 0)
    return m_dataAreaOffset + static_cast<uint64_t>(m_bytesPerCluster / m_bytesPerSector) * cluster;
  return (static_cast<uint64_t>(m_bytesPerCluster) * cluster) / m_bytesPerSector;
}

uint64_t CVolumeInfo::GetDataStartSector() const {
  if (m_startSector == kNotDetermined || m_dataAreaOffset == kNotDetermined) return kNoDataStart;
  return static_cast<uint32_t>(m_startSector + m_dataAreaOffset);
}
