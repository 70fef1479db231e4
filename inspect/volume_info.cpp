#include "inspect/volume_info.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "disk/boot_sector.h"
#include "inspect/drive_info.h"
#include "disk/little_endian.h"
#include "platform/device.h"
#include "platform/sys.h"

namespace {

constexpr DWORD kUnbuffered = FILE_FLAG_NO_BUFFERING | FILE_ATTRIBUTE_NORMAL;
constexpr DWORD kNameBytes = 128;
// Dynamic volumes span at most 32 disks; a count far past that is no answer to trust.
constexpr DWORD kMostExtents = 128;

// Where the partition begins on its disk, and its length (0 where not said), in bytes as
// Windows gives them. The MBR-only request is asked first, so an MBR machine sends what it
// always sent; GPT partitions answer only the _EX request, whatever their style. A start
// before the disk's first byte is no start.
// *error: what Windows said when the last request asked failed, ERROR_SUCCESS otherwise.
// With QueryOnly only the _EX request is asked: the other needs read access.
std::optional<VolumeExtent> PartitionPlace(Device& volume, AccessMode mode, DWORD* error) {
  int64_t offset = -1, length = 0;
  DWORD returned = 0;
  *error = ERROR_SUCCESS;
  PARTITION_INFORMATION mbr;
  if (mode == AccessMode::Raw && volume.Out(IOCTL_DISK_GET_PARTITION_INFO, &mbr, &returned)) {
    if (returned >= offsetof(PARTITION_INFORMATION, StartingOffset) + 8)
      offset = mbr.StartingOffset.QuadPart;
    if (returned >= offsetof(PARTITION_INFORMATION, PartitionLength) + 8)
      length = mbr.PartitionLength.QuadPart;
  } else {
    PARTITION_INFORMATION_EX ex;
    if (!volume.Out(IOCTL_DISK_GET_PARTITION_INFO_EX, &ex, &returned))
      *error = sys::GetLastError();
    else if (returned >= offsetof(PARTITION_INFORMATION_EX, StartingOffset) + 8)
      offset = ex.StartingOffset.QuadPart;
    if (returned >= offsetof(PARTITION_INFORMATION_EX, PartitionLength) + 8)
      length = ex.PartitionLength.QuadPart;
  }
  if (offset < 0) return std::nullopt;
  return VolumeExtent{std::nullopt, ByteCount(static_cast<uint64_t>(offset)),
                      ByteCount(length > 0 ? static_cast<uint64_t>(length) : 0)};
}

// The disk the system says holds the volume, by its number; none when it does not say
// (dynamic disks, Storage Spaces, older systems).
std::optional<DiskNumber> SystemDiskNumber(Device& volume) {
  STORAGE_DEVICE_NUMBER number;
  DWORD returned = 0;
  if (!volume.Out(IOCTL_STORAGE_GET_DEVICE_NUMBER, &number, &returned) ||
      returned < sizeof number || number.DeviceType != FILE_DEVICE_DISK)
    return std::nullopt;
  return DiskNumber(number.DeviceNumber);
}

uint64_t ExtentsBytes(DWORD count) {
  return offsetof(VOLUME_DISK_EXTENTS, Extents) + uint64_t{count} * sizeof(DISK_EXTENT);
}

// The volume's pieces as the volume manager lists them; empty when it gives none. A
// buffer for one piece fails with ERROR_MORE_DATA and the count when there are more: then
// it is asked again with room for all.
// *error as PartitionStartSector's.
std::vector<VolumeExtent> DiskExtents(Device& volume, DWORD* error) {
  std::vector<BYTE> answer(sizeof(VOLUME_DISK_EXTENTS), 0);
  DWORD returned = 0;
  *error = ERROR_SUCCESS;
  bool ok = volume.Control(IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS, nullptr, 0, answer.data(),
                           static_cast<DWORD>(answer.size()), &returned);
  if (!ok) {
    *error = sys::GetLastError();
    if (*error != ERROR_MORE_DATA) return {};
    *error = ERROR_SUCCESS;
    const DWORD count = le::U32(answer.data());
    if (count < 2 || count > kMostExtents) return {};
    answer.assign(ExtentsBytes(count), 0);
    ok = volume.Control(IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS, nullptr, 0, answer.data(),
                        static_cast<DWORD>(answer.size()), &returned);
    if (!ok) {
      *error = sys::GetLastError();
      return {};
    }
  }
  // Zero pieces is no answer (Wine gives it); every piece counted must have come back.
  const DWORD count = le::U32(answer.data());
  if (count == 0 || ExtentsBytes(count) > answer.size() || ExtentsBytes(count) > returned)
    return {};
  std::vector<VolumeExtent> pieces;
  for (DWORD i = 0; i < count; ++i) {
    const BYTE* e = answer.data() + ExtentsBytes(i);
    const auto offset = static_cast<int64_t>(le::U64(e + offsetof(DISK_EXTENT, StartingOffset)));
    if (offset < 0) return {};
    const auto length = static_cast<int64_t>(le::U64(e + offsetof(DISK_EXTENT, ExtentLength)));
    pieces.push_back({DiskNumber(le::U32(e)), ByteCount(static_cast<uint64_t>(offset)),
                      ByteCount(length > 0 ? static_cast<uint64_t>(length) : 0)});
  }
  return pieces;
}

// The first of drives 0..9 whose sector at byte `position` equals the volume's first
// sector; none when none does. A drive that does not open (a gap in the numbering, a
// disk held by another program) is passed over.
// Where the search's copy of a drive's sector goes, past the volume's own at the buffer's
// start: on a boundary of 4096 bytes or of the largest physical sector of the drives it
// reads (0..9), whichever is larger, as Windows documents unbuffered reads to want it. A
// physical sector past 64 KiB is no answer to trust. Asked for every volume: it looks at
// those ten, not at every drive listed, so that it stays flat on a machine of hundreds.
uint64_t SearchStride(uint32_t bytesPerSector) {
  uint64_t alignment = 4096;
  const DriveTable& drives = g_drives;  // asked, not added to
  for (uint32_t n = 0; n < kDriveCount; ++n) {
    const uint64_t physical = drives[DiskNumber(n)].PhysicalSectorBytes();
    if (physical <= 65536) alignment = std::max(alignment, physical);
  }
  return (bytesPerSector + alignment - 1) / alignment * alignment;
}

std::optional<DiskNumber> SearchDrives(ByteCount position, const BYTE* volumeSector,
                                       BYTE* driveSector, uint32_t bytes) {
  for (uint32_t n = 0; n < kDriveCount; ++n) {
    Device drive(PhysicalDrivePath(n), GENERIC_READ, kUnbuffered);
    if (!drive.IsOpen()) continue;
    if (drive.ReadAt(position.value, driveSector, bytes) &&
        std::memcmp(volumeSector, driveSector, bytes) == 0)
      return DiskNumber(n);
  }
  return std::nullopt;
}

}  // namespace

std::vector<VolumeExtent> VolumePieces(const std::string& volumeName) {
  std::string device = volumeName;
  if (!device.empty() && device.back() == '\\') device.pop_back();
  Device volume(device, 0, 0);
  if (!volume.IsOpen()) return {};
  DWORD error = ERROR_SUCCESS;
  return DiskExtents(volume, &error);
}

CVolumeInfo::CVolumeInfo(char letter)
    : m_probed(false),
      m_optical(false),
      m_remote(false),
      m_bytesPerSector(0),
      m_bytesPerCluster(0),
      m_startSector(0),
      m_dataAreaOffset(0),
      m_driveIndex(0),
      m_letter(letter),
      m_root(RootPath(letter)),
      m_device(VolumeDevicePath(letter)),
      m_failure(ProbeFailure::None) {}

CVolumeInfo::CVolumeInfo(const std::string& volumeName) : CVolumeInfo('\0') {
  m_device = volumeName;
  if (!m_device.empty() && m_device.back() == '\\') m_device.pop_back();
  m_root = m_device + '\\';
}

int CVolumeInfo::Probe(AccessMode mode) {
  m_access = mode;
  const std::string& root = m_root;
  const UINT type = sys::GetDriveTypeA(root.c_str());

  DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, totalClusters = 0;
  const BOOL ok = sys::GetDiskFreeSpaceA(root.c_str(), &sectorsPerCluster, &bytesPerSector,
                                         &freeClusters, &totalClusters);
  const DWORD sizesError = ok ? ERROR_SUCCESS : sys::GetLastError();
  m_bytesPerSector = bytesPerSector;
  // A sector size of 0 is no geometry: every later division is by it.
  if (!ok || bytesPerSector == 0) {
    if (type == DRIVE_CDROM) {
      m_bytesPerSector = 2048;
      m_bytesPerCluster = 2048;
      m_optical = true;
      return kOptical;
    }
    Fail(ProbeFailure::Sizes, sizesError);
    return kNotUsable;
  }

  if (!m_probed) {
    if (type < DRIVE_REMOVABLE || type > DRIVE_CDROM) {
      Fail(ProbeFailure::DriveType, ERROR_SUCCESS);
      return kNotUsable;
    }
    if (type == DRIVE_REMOTE) m_remote = true;
    if (type == DRIVE_CDROM) m_optical = true;
  }
  int code = kProbeUsable | (m_remote ? kProbeRemote : 0);
  if (!m_optical) code |= kProbeNotOptical;
  m_bytesPerCluster = m_bytesPerSector * sectorsPerCluster;

  if (type != DRIVE_CDROM) ProbeDevice();
  m_probed = true;
  return code;
}

void CVolumeInfo::ProbeDevice() {
  m_startSector = kNotDetermined;
  m_dataAreaOffset = kNotDetermined;
  m_driveIndex = -1;
  m_extents.clear();
  m_dataAreaNeedsRights = false;
  m_searchNeedsRights = false;

  const bool raw = m_access == AccessMode::Raw;
  Device volume(m_device, raw ? GENERIC_READ : 0, kUnbuffered);
  if (!volume.IsOpen()) return Fail(ProbeFailure::DeviceOpen, volume.OpenError());
  Placement placement = Place(volume);
  ReadFileSystem();
  // Windows' own view needs no rights: asked on whatever handle the probe has.
  FILE_STORAGE_INFO info;
  m_windows.reset();
  if (volume.StorageInfo(&info)) m_windows = ReadWindowsView(info);
  if (m_startSector == kNotDetermined) Fail(ProbeFailure::PartitionStart, placement.error);
  // What the system says of where the volume lies, kept at once: a volume that fails a
  // later step can still be named on its partition. The system's answer costs one request;
  // the search for a volume it leaves unplaced reads, and wakes, every drive below the
  // volume's. It also tells a clone from its original, which hold the same bytes at the
  // same place.
  if (!placement.pieces.empty()) {
    m_extents = placement.pieces;
  } else if (placement.partition && placement.systemDisk) {
    placement.partition->disk = placement.systemDisk;
    m_extents = {*placement.partition};
  }
  if (!raw) return PlaceWithoutReading(placement.partition);
  // Two sectors: the volume's first, and each drive's at the same place.
  const uint64_t stride = SearchStride(m_bytesPerSector);
  SectorBuffer buffer(stride + m_bytesPerSector);
  if (!buffer.IsValid()) return Fail(ProbeFailure::FirstSector, sys::GetLastError());
  // Without the volume's own first sector there is nothing to look for: a search for a
  // sector of zeros could name the wrong drive.
  if (!ReadDataArea(volume, buffer.Data()))
    return Fail(ProbeFailure::FirstSector, volume.ReadError());

  // Without a start there is no place to compare: the volume gets no row, so no drive is
  // read for it.
  if (m_startSector == kNotDetermined) return;
  if (m_extents.empty()) {
    m_extents = {*placement.partition};
    m_extents.front().disk = SearchDrives(placement.partition->offset, buffer.Data(),
                                          buffer.Data() + stride, m_bytesPerSector);
  }
  m_driveIndex = m_extents.front().disk ? m_extents.front().disk->value : kNoDrive;
}

void CVolumeInfo::PlaceWithoutReading(const std::optional<VolumeExtent>& partition) {
  // NTFS and ReFS keep their clusters from the volume's first sector; FAT and exFAT say
  // where theirs begin only in the boot sector, which takes read access.
  if (KeepsClustersPastTables(FileSystemNamed(m_fileSystem)))
    m_dataAreaNeedsRights = true;
  else
    m_dataAreaOffset = 0;
  if (m_startSector == kNotDetermined) return;
  if (m_extents.empty()) {  // it named no disk, and the search would read
    m_searchNeedsRights = true;
    m_extents = {*partition};
  }
  m_driveIndex = m_extents.front().disk ? m_extents.front().disk->value : kNoDrive;
}

CVolumeInfo::Placement CVolumeInfo::Place(Device& volume) {
  // Windows lists every volume's pieces (basic, dynamic, spanned, mirrored), each with its
  // disk and where it starts there: the strongest answer. The partition requests and the
  // device number are the fallback, for systems and drivers that do not answer it.
  Placement placement;
  DWORD error = ERROR_SUCCESS;
  placement.pieces = DiskExtents(volume, &error);
  if (!placement.pieces.empty()) {
    m_startSector = placement.pieces.front().offset.value / m_bytesPerSector;
    m_placedBy = PlacedBy::Extents;
    return placement;
  }
  placement.partition = PartitionPlace(volume, m_access, &error);
  if (placement.partition) m_startSector = placement.partition->offset.value / m_bytesPerSector;
  placement.error = error;
  placement.systemDisk = SystemDiskNumber(volume);
  m_placedBy = placement.systemDisk ? PlacedBy::Partition : PlacedBy::Search;
  return placement;
}

void CVolumeInfo::ReadFileSystem() {
  char fileSystem[kNameBytes] = {};  // a failed query leaves a name of no file system
  sys::GetVolumeInformationA(m_root.c_str(), nullptr, 0, nullptr, nullptr, nullptr, fileSystem,
                             kNameBytes);
  fileSystem[kNameBytes - 1] = '\0';
  m_fileSystem = fileSystem;
}

bool CVolumeInfo::ReadDataArea(Device& volume, uint8_t* volumeSector) {
  if (!volume.ReadAt(0, volumeSector, m_bytesPerSector)) return false;

  const BootFileSystem fileSystem = FileSystemNamed(m_fileSystem);
  if (fileSystem == BootFileSystem::Fat) {
    const std::optional<uint64_t> offset = FatDataAreaOffset(volumeSector, m_bytesPerSector);
    if (offset)
      m_dataAreaOffset = *offset;
    else
      Fail(ProbeFailure::FirstSector, ERROR_SUCCESS);  // too small for the boot-sector fields
  } else if (fileSystem == BootFileSystem::Exfat) {
    m_dataAreaOffset = ExfatDataAreaOffset(volumeSector, m_bytesPerSector).value_or(kNotDetermined);
  } else {
    m_dataAreaOffset = 0;
  }
  return true;
}

uint64_t CVolumeInfo::ClusterToSector(uint64_t cluster) const {
  if (m_bytesPerSector == 0) return 0;  // no geometry: no sector to name
  if (m_dataAreaOffset != 0)
    return m_dataAreaOffset + static_cast<uint64_t>(m_bytesPerCluster / m_bytesPerSector) * cluster;
  return (static_cast<uint64_t>(m_bytesPerCluster) * cluster) / m_bytesPerSector;
}

uint64_t CVolumeInfo::GetDataStartSector() const {
  if (m_startSector == kNotDetermined || m_dataAreaOffset == kNotDetermined) return kNotDetermined;
  const uint64_t start = m_startSector + m_dataAreaOffset;
  // A sum past the largest sector number names no sector.
  if (start < m_startSector) return kNotDetermined;
  return start;
}
