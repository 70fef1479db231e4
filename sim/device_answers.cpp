// The simulated devices' answers to the requests the program sends, each as the device or
// its driver gives it, chosen from one table by request, handle and property. A request
// the table does not hold is no answer to model: it is kept, named, for the tests to fail
// on, so that a new request cannot ship with an answer nobody wrote.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "sim/machine.h"

namespace sim {

namespace {

constexpr uint64_t kLongestUnsized = 1ull << 21;  // 1 GiB of 512-byte sectors

// Each partition's length: as set, or up to the next partition and the disk's end.
std::vector<PartitionEntry> Sized(std::vector<PartitionEntry> entries, uint64_t sectors) {
  for (PartitionEntry& e : entries) {
    if (e.length != 0) continue;
    uint64_t end = std::min(sectors, e.start + kLongestUnsized);
    for (const PartitionEntry& other : entries)
      if (other.start > e.start) end = std::min(end, other.start);
    e.length = end > e.start ? end - e.start : 0;
  }
  return entries;
}


}  // namespace

// Every request the simulated devices answer. Partition requests on a drive answer for
// partition 0, the whole disk; a volume's device number and pieces name its disk.
const Machine::AnswerEntry Machine::kAnswers[] = {
    {SMART_RCV_DRIVE_DATA, HandleKind::Drive, kNoProperty, &Machine::Identify},
    {IOCTL_SCSI_PASS_THROUGH, HandleKind::Drive, kNoProperty, &Machine::Inquiry},
    {IOCTL_STORAGE_QUERY_PROPERTY, HandleKind::Drive, StorageDeviceProperty,
     &Machine::DeviceDescriptor},
    {IOCTL_STORAGE_QUERY_PROPERTY, HandleKind::Drive, StorageAccessAlignmentProperty,
     &Machine::AccessAlignment},
    {IOCTL_STORAGE_QUERY_PROPERTY, HandleKind::Drive, StorageDeviceSeekPenaltyProperty,
     &Machine::SeekPenalty},
    {IOCTL_STORAGE_QUERY_PROPERTY, HandleKind::Drive, StorageDeviceTrimProperty, &Machine::Trim},
    {IOCTL_DISK_GET_DRIVE_LAYOUT_EX, HandleKind::Drive, kNoProperty, &Machine::DriveLayout},
    {IOCTL_DISK_GET_DRIVE_GEOMETRY_EX, HandleKind::Drive, kNoProperty, &Machine::DriveGeometry},
    {IOCTL_DISK_GET_PARTITION_INFO, HandleKind::Either, kNoProperty, &Machine::PartitionInfo},
    {IOCTL_DISK_GET_PARTITION_INFO_EX, HandleKind::Either, kNoProperty, &Machine::PartitionInfo},
    {IOCTL_STORAGE_GET_DEVICE_NUMBER, HandleKind::Either, kNoProperty, &Machine::DeviceNumber},
    {IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS, HandleKind::Volume, kNoProperty, &Machine::DiskExtents},
};

std::vector<std::pair<DWORD, DWORD>> Machine::Answered() {
  std::vector<std::pair<DWORD, DWORD>> keys;
  for (const AnswerEntry& e : kAnswers) keys.emplace_back(e.code, e.property);
  return keys;
}

BOOL Machine::DeviceIoControl(HANDLE handle, DWORD code, LPVOID in, DWORD inSize, LPVOID out,
                              DWORD outSize, LPDWORD returned, LPOVERLAPPED) {
  Call call("DeviceIoControl");
  call.handle = handle;
  call.code = code;
  call.inSize = inSize;
  call.outSize = outSize;
  if (in != nullptr)
    call.request.assign(static_cast<uint8_t*>(in), static_cast<uint8_t*>(in) + inSize);
  Call& c = Record(std::move(call));
  if (returned) *returned = 0;
  if (Injected(c, ERROR_NOT_SUPPORTED)) return FALSE;
  c.failed = true;  // until it succeeds

  OpenDevice* device = Find(handle);
  if (device == nullptr) return Fail(ERROR_INVALID_HANDLE);
  // The access the code demands is in its bits 14 and 15.
  const DWORD needs = (code >> 14) & 3;
  if (((needs & 1) && !(device->access & GENERIC_READ)) ||
      ((needs & 2) && !(device->access & GENERIC_WRITE)))
    return Fail(ERROR_ACCESS_DENIED);

  DWORD property = kNoProperty;
  if (code == IOCTL_STORAGE_QUERY_PROPERTY) {
    if (in == nullptr || inSize < sizeof(STORAGE_PROPERTY_QUERY)) return Fail(ERROR_INVALID_PARAMETER);
    std::memcpy(&property, in, sizeof property);  // the enum, as any DWORD
  }
  const HandleKind kind = DriveAt(device->drive) != nullptr ? HandleKind::Drive : HandleKind::Volume;
  const auto entry = std::find_if(std::begin(kAnswers), std::end(kAnswers), [&](const AnswerEntry& e) {
    return e.code == code && e.property == property && (e.kind == kind || e.kind == HandleKind::Either);
  });
  if (entry == std::end(kAnswers)) {
    char named[96];
    std::snprintf(named, sizeof named, "DeviceIoControl 0x%lX%s on a %s",
                  static_cast<unsigned long>(code),
                  property == kNoProperty ? "" : (" property " + std::to_string(property)).c_str(),
                  kind == HandleKind::Drive ? "drive" : "volume");
    m_unmodelled.push_back(named);
    return Fail(property == kNoProperty ? ERROR_INVALID_FUNCTION : ERROR_NOT_SUPPORTED);
  }
  const BOOL ok = (this->*entry->answer)(*device, {in, inSize, out, outSize, returned, code});
  if (ok) {
    c.failed = false;
    m_lastError = ERROR_SUCCESS;
  }
  return ok;
}

std::vector<Extent> Machine::PiecesOf(const Volume& volume) const {
  if (!volume.extents.empty()) return volume.extents;
  const int64_t disk = volume.diskNumber >= 0 ? volume.diskNumber : volume.hostDrive;
  if (disk < 0 || volume.startingOffset < 0) return {};
  const auto offset = static_cast<uint64_t>(volume.startingOffset);
  return {{static_cast<uint32_t>(disk), offset, PartitionBytesAt(volume.hostDrive, offset)}};
}

uint64_t Machine::PartitionBytesAt(int64_t host, uint64_t offset) const {
  // A basic volume is all of its partition; without one in the table, the rest of the disk.
  const Drive* d = DriveAt(host);
  if (d == nullptr) return 0;
  for (const PartitionEntry& e : Sized(d->layout.partitions, d->sectorCount))
    if (e.start * d->sectorSize == offset) return e.length * d->sectorSize;
  const uint64_t bytes = d->sectorCount * d->sectorSize;
  return bytes > offset ? bytes - offset : 0;
}

BOOL Machine::Identify(const OpenDevice& device, const Request& r) {
  const Drive& drive = *DriveAt(device.drive);
  const size_t answerBytes = offsetof(SENDCMDOUTPARAMS, bBuffer) + 512;
  if (r.in == nullptr || r.out == nullptr || r.inSize < offsetof(SENDCMDINPARAMS, bBuffer) ||
      r.outSize < answerBytes)
    return Fail(ERROR_INVALID_PARAMETER);
  SENDCMDINPARAMS request;
  std::memcpy(&request, r.in, offsetof(SENDCMDINPARAMS, bBuffer));
  if (request.irDriveRegs.bCommandReg != ID_CMD) return Fail(ERROR_INVALID_PARAMETER);

  auto* answer = static_cast<uint8_t*>(r.out);
  switch (drive.smart.kind) {
    case SmartAnswer::Unsupported:
      return Fail(ERROR_NOT_SUPPORTED);
    case SmartAnswer::SucceedNoBytes:
      return TRUE;
    case SmartAnswer::FailWithBytes: {
      std::memset(answer, 0, offsetof(SENDCMDOUTPARAMS, bBuffer));
      answer[offsetof(SENDCMDOUTPARAMS, DriverStatus)] = 1;  // SMART_IDE_ERROR
      if (r.returned) *r.returned = drive.smart.returned;
      return Fail(ERROR_CRC);
    }
    case SmartAnswer::Identify: {
      const DWORD size = 512;
      std::memcpy(answer, &size, 4);
      std::memset(answer + 4, 0, sizeof(DRIVERSTATUS));
      answer[offsetof(SENDCMDOUTPARAMS, DriverStatus)] = drive.smart.driverError;
      std::memcpy(answer + offsetof(SENDCMDOUTPARAMS, bBuffer), drive.smart.data.data(), 512);
      if (r.returned) *r.returned = drive.smart.returned;
      return TRUE;
    }
  }
  return Fail(ERROR_INVALID_FUNCTION);
}

BOOL Machine::Inquiry(const OpenDevice& device, const Request& r) {
  const Drive& drive = *DriveAt(device.drive);
  if (r.in == nullptr || r.out == nullptr || r.inSize < sizeof(SCSI_PASS_THROUGH))
    return Fail(ERROR_INVALID_PARAMETER);
  SCSI_PASS_THROUGH spt;
  std::memcpy(&spt, r.in, sizeof spt);
  const uint64_t dataEnd = static_cast<uint64_t>(spt.DataBufferOffset) + spt.DataTransferLength;
  if (spt.Length != sizeof(SCSI_PASS_THROUGH) || spt.CdbLength < 6 || spt.CdbLength > 16 ||
      spt.DataIn != SCSI_IOCTL_DATA_IN || spt.DataBufferOffset < sizeof(SCSI_PASS_THROUGH) ||
      dataEnd > r.outSize)
    return Fail(ERROR_INVALID_PARAMETER);
  if (!drive.scsi.supported) return Fail(ERROR_INVALID_FUNCTION);
  if (spt.Cdb[0] != 0x12) return Fail(ERROR_INVALID_FUNCTION);  // only INQUIRY is modelled

  const size_t n =
      std::min<size_t>({drive.scsi.inquiry.size(), spt.DataTransferLength, spt.Cdb[4]});
  auto* buffer = static_cast<uint8_t*>(r.out);
  std::memcpy(buffer, r.in, sizeof spt);
  if (n > 0) std::memcpy(buffer + spt.DataBufferOffset, drive.scsi.inquiry.data(), n);
  buffer[offsetof(SCSI_PASS_THROUGH, ScsiStatus)] = drive.scsi.status;
  if (r.returned) *r.returned = drive.scsi.returned;
  return TRUE;
}

// What the class driver checks of every property query it answers: the query type, and
// room for the header at least; none when the query may be answered.
std::optional<BOOL> Machine::PropertyQuery(const Request& r, bool supported) {
  // The enum arrives as a DWORD that may hold any value.
  DWORD type;
  std::memcpy(&type, static_cast<const uint8_t*>(r.in) + offsetof(STORAGE_PROPERTY_QUERY, QueryType),
              sizeof type);
  if (!supported) return Fail(ERROR_NOT_SUPPORTED);
  if (type == PropertyExistsQuery) return TRUE;
  if (type != PropertyStandardQuery) return Fail(ERROR_INVALID_PARAMETER);
  if (r.out == nullptr || r.outSize < sizeof(STORAGE_DESCRIPTOR_HEADER))
    return Fail(ERROR_INSUFFICIENT_BUFFER);
  return std::nullopt;
}

BOOL Machine::AccessAlignment(const OpenDevice& device, const Request& r) {
  const Drive& drive = *DriveAt(device.drive);
  if (const std::optional<BOOL> early = PropertyQuery(r, drive.alignment.supported)) return *early;
  const AlignmentAnswer& a = drive.alignment;
  STORAGE_ACCESS_ALIGNMENT_DESCRIPTOR d;
  std::memset(&d, 0, sizeof d);
  d.Version = sizeof d;
  d.Size = a.size;
  d.BytesPerCacheLine = 64;
  d.BytesPerLogicalSector = a.logical;
  d.BytesPerPhysicalSector = a.physical;
  d.BytesOffsetForSectorAlignment = a.offset;
  const DWORD copied = std::min<DWORD>(r.outSize, sizeof d);
  std::memcpy(r.out, &d, copied);
  if (r.returned) *r.returned = std::min(copied, a.returned);
  return TRUE;
}

namespace {

// A descriptor of one BOOLEAN after its header, as the class driver fills it: what fits is
// copied, and the count says so.
template <class Descriptor>
BOOL AnswerFlag(bool value, BOOLEAN Descriptor::*field, void* out, DWORD outSize, DWORD* returned) {
  Descriptor d;
  std::memset(&d, 0, sizeof d);
  d.Version = sizeof d;
  d.Size = sizeof d;
  d.*field = value ? 1 : 0;
  const DWORD copied = std::min<DWORD>(outSize, sizeof d);
  std::memcpy(out, &d, copied);
  if (returned) *returned = copied;
  return TRUE;
}

}  // namespace

BOOL Machine::SeekPenalty(const OpenDevice& device, const Request& r) {
  const Drive& drive = *DriveAt(device.drive);
  if (const std::optional<BOOL> early = PropertyQuery(r, drive.seekPenalty.has_value()))
    return *early;
  return AnswerFlag(*drive.seekPenalty, &DEVICE_SEEK_PENALTY_DESCRIPTOR::IncursSeekPenalty, r.out,
                    r.outSize, r.returned);
}

BOOL Machine::Trim(const OpenDevice& device, const Request& r) {
  const Drive& drive = *DriveAt(device.drive);
  if (const std::optional<BOOL> early = PropertyQuery(r, drive.trimEnabled.has_value()))
    return *early;
  return AnswerFlag(*drive.trimEnabled, &DEVICE_TRIM_DESCRIPTOR::TrimEnabled, r.out, r.outSize,
                    r.returned);
}

BOOL Machine::DeviceDescriptor(const OpenDevice& device, const Request& r) {
  const Drive& drive = *DriveAt(device.drive);
  if (const std::optional<BOOL> early = PropertyQuery(r, drive.descriptor.supported)) return *early;
  Bytes answer(sizeof(STORAGE_DEVICE_DESCRIPTOR), 0);
  STORAGE_DEVICE_DESCRIPTOR d;
  std::memset(&d, 0, sizeof d);
  d.Version = sizeof d;
  auto text = [&answer](const std::string& value) -> DWORD {
    if (value.empty()) return 0;
    const auto offset = static_cast<DWORD>(answer.size());
    answer.insert(answer.end(), value.begin(), value.end());
    answer.push_back(0);
    return offset;
  };
  const DescriptorAnswer& a = drive.descriptor;
  d.VendorIdOffset = text(a.vendor);
  d.ProductIdOffset = text(a.product);
  d.ProductRevisionOffset = text(a.revision);
  d.SerialNumberOffset = text(a.serial);
  d.Size = static_cast<DWORD>(answer.size());
  std::memcpy(answer.data(), &d, sizeof d);
  // What fits is copied; the offsets still name where the rest would have been.
  const DWORD copied = std::min<DWORD>(r.outSize, d.Size);
  std::memcpy(r.out, answer.data(), copied);
  if (r.returned) *r.returned = copied;
  return TRUE;
}

namespace {

constexpr char kBasicData[] = "EBD0A0A2-B9E5-4433-87C0-68B6B72699C7";

// "C12A7328-F81F-11D2-BA4B-00A0C93EC93B" as Windows lays a GUID out: its first three
// fields little-endian, the last eight bytes in order.
void PutGuid(const std::string& text, uint8_t* out) {
  auto hex = [&text](size_t at, size_t digits) {
    return std::stoull(text.substr(at, digits), nullptr, 16);
  };
  const uint64_t d1 = hex(0, 8), d2 = hex(9, 4), d3 = hex(14, 4);
  for (int i = 0; i < 4; ++i) out[i] = static_cast<uint8_t>(d1 >> (8 * i));
  for (int i = 0; i < 2; ++i) out[4 + i] = static_cast<uint8_t>(d2 >> (8 * i));
  for (int i = 0; i < 2; ++i) out[6 + i] = static_cast<uint8_t>(d3 >> (8 * i));
  const size_t at[] = {19, 21, 24, 26, 28, 30, 32, 34};
  for (int i = 0; i < 8; ++i) out[8 + i] = static_cast<uint8_t>(hex(at[i], 2));
}

// One entry as Windows lists it: the partition it describes (null for an unused slot or a
// container), with the container's own type where it is one.
struct Slot {
  const PartitionEntry* partition = nullptr;
  uint8_t containerType = 0;
  uint64_t start = 0, length = 0;
};

// The entries in Windows' order. MBR: the primary ones and the extended container in four
// slots, then four for each logical partition: itself, the link to the next one's boot
// record, two unused.
std::vector<Slot> Slots(const std::vector<PartitionEntry>& entries, bool mbr) {
  std::vector<Slot> slots;
  std::vector<const PartitionEntry*> logical;
  for (const PartitionEntry& e : entries) {
    if (mbr && e.logical)
      logical.push_back(&e);
    else
      slots.push_back({&e, 0, e.start, e.length});
  }
  if (!mbr) return slots;
  if (!logical.empty()) {
    // The extended container begins a track before its first logical partition.
    const uint64_t first = logical.front()->start - 63;
    const uint64_t end = logical.back()->start + logical.back()->length;
    slots.push_back({nullptr, 0x0F, first, end - first});
  }
  slots.resize(4);
  for (size_t i = 0; i < logical.size(); ++i) {
    slots.push_back({logical[i], 0, logical[i]->start, logical[i]->length});
    if (i + 1 < logical.size())
      slots.push_back({nullptr, 0x05, logical[i + 1]->start - 63, logical[i + 1]->length + 63});
    while (slots.size() % 4 != 0) slots.push_back({});
  }
  return slots;
}

}  // namespace

BOOL Machine::DriveLayout(const OpenDevice& device, const Request& r) {
  const Drive& drive = *DriveAt(device.drive);
  if (!drive.layout.supported) return Fail(ERROR_INVALID_FUNCTION);
  const LayoutAnswer& layout = drive.layout;
  const uint32_t sector = drive.sectorSize;
  const std::vector<PartitionEntry> sized = Sized(layout.partitions, drive.sectorCount);

  const bool mbr = layout.style == PartitionTable::Mbr;
  const std::vector<Slot> slots = layout.hasTable ? Slots(sized, mbr) : std::vector<Slot>{};

  const size_t header = offsetof(DRIVE_LAYOUT_INFORMATION_EX, PartitionEntry);
  const size_t entry = sizeof(PARTITION_INFORMATION_EX);
  if (r.out == nullptr || r.outSize < header + slots.size() * entry)
    return Fail(ERROR_INSUFFICIENT_BUFFER);
  Bytes answer(header + slots.size() * entry, 0);
  const DWORD style = !layout.hasTable ? PARTITION_STYLE_RAW
                      : mbr            ? PARTITION_STYLE_MBR
                                       : PARTITION_STYLE_GPT;
  const DWORD count =
      layout.claimedCount != 0 ? layout.claimedCount : static_cast<DWORD>(slots.size());
  std::memcpy(answer.data(), &style, 4);
  std::memcpy(answer.data() + 4, &count, 4);
  // The usable area lies between the primary table (the protective MBR, the header and
  // 128 entries of 128 bytes: sectors 0 to 33 at 512 bytes, 0 to 5 at 4096) and the backup
  // (its entries and its header, at the disk's end).
  const uint64_t tableSectors = sector != 0 ? (128 * 128 + sector - 1) / sector : 0;
  const uint64_t written = layout.gptWrittenFor != 0 ? layout.gptWrittenFor : drive.sectorCount;
  if (style == PARTITION_STYLE_GPT && written > 2 * tableSectors + 3) {
    const auto first = static_cast<int64_t>((2 + tableSectors) * sector);
    const auto length = static_cast<int64_t>((written - 2 * tableSectors - 3) * sector);
    const DWORD entries = 128;
    std::memcpy(answer.data() + 24, &first, 8);
    std::memcpy(answer.data() + 32, &length, 8);
    std::memcpy(answer.data() + 40, &entries, 4);
  }
  DWORD number = 0;
  for (size_t i = 0; i < slots.size(); ++i) {
    const Slot& slot = slots[i];
    PARTITION_INFORMATION_EX info;
    std::memset(&info, 0, sizeof info);
    info.PartitionStyle = static_cast<PARTITION_STYLE>(style);
    info.StartingOffset.QuadPart = static_cast<int64_t>(slot.start * sector);
    info.PartitionLength.QuadPart = static_cast<int64_t>(slot.length * sector);
    if (slot.partition != nullptr) info.PartitionNumber = ++number;
    uint8_t* type = reinterpret_cast<uint8_t*>(&info) + offsetof(PARTITION_INFORMATION_EX, Mbr);
    if (mbr) {
      type[0] = slot.partition != nullptr ? slot.partition->mbrType : slot.containerType;
      info.Mbr.BootIndicator = slot.partition != nullptr && slot.partition->active;
      if (type[0] == 0) info.StartingOffset.QuadPart = info.PartitionLength.QuadPart = 0;
    } else {
      PutGuid(slot.partition->gptType.empty() ? kBasicData : slot.partition->gptType, type);
    }
    std::memcpy(answer.data() + header + i * entry, &info, entry);
  }
  std::memcpy(r.out, answer.data(), answer.size());
  if (r.returned) *r.returned = static_cast<DWORD>(answer.size());
  return TRUE;
}

BOOL Machine::DriveGeometry(const OpenDevice& device, const Request& r) {
  const Drive& drive = *DriveAt(device.drive);
  DISK_GEOMETRY_EX g;
  std::memset(&g, 0, sizeof g);
  g.Geometry.MediaType = FixedMedia;
  g.Geometry.TracksPerCylinder = 255;
  g.Geometry.SectorsPerTrack = 63;
  g.Geometry.Cylinders.QuadPart = static_cast<int64_t>(drive.sectorCount / (255 * 63));
  g.Geometry.BytesPerSector = drive.sectorSize;
  g.DiskSize.QuadPart = static_cast<int64_t>(drive.sectorCount * drive.sectorSize);
  const DWORD size = offsetof(DISK_GEOMETRY_EX, Data);
  if (r.out == nullptr || r.outSize < size) return Fail(ERROR_INSUFFICIENT_BUFFER);
  std::memcpy(r.out, &g, size);
  if (r.returned) *r.returned = size;
  return TRUE;
}

BOOL Machine::PartitionInfo(const OpenDevice& device, const Request& r) {
  const bool ex = r.code == IOCTL_DISK_GET_PARTITION_INFO_EX;
  // A physical drive answers for partition 0, the whole disk.
  int64_t start = 0;
  PartitionTable table = PartitionTable::Mbr;
  DWORD reported = ~DWORD{0};
  if (device.volume != nullptr) {
    const Volume& volume = *device.volume;
    if (!volume.partitionInfoOk) return Fail(ERROR_INVALID_FUNCTION);
    start = volume.startingOffset;
    table = volume.table;
    reported = volume.partitionReturned;
  }
  if (!ex && table == PartitionTable::Gpt) return Fail(ERROR_INVALID_FUNCTION);  // MBR only
  const DWORD size = ex ? sizeof(PARTITION_INFORMATION_EX) : sizeof(PARTITION_INFORMATION);
  if (r.out == nullptr || r.outSize < size) return Fail(ERROR_INSUFFICIENT_BUFFER);
  const auto length = static_cast<int64_t>(
      device.volume != nullptr ? PartitionBytesAt(device.volume->hostDrive, static_cast<uint64_t>(start))
                               : 0);
  if (ex) {
    PARTITION_INFORMATION_EX info;
    std::memset(&info, 0, sizeof info);
    info.PartitionStyle = table == PartitionTable::Gpt ? PARTITION_STYLE_GPT : PARTITION_STYLE_MBR;
    info.StartingOffset.QuadPart = start;
    info.PartitionLength.QuadPart = length;
    info.PartitionNumber = device.volume != nullptr ? 1 : 0;
    if (table == PartitionTable::Mbr) info.Mbr.RecognizedPartition = 1;
    std::memcpy(r.out, &info, sizeof info);
  } else {
    PARTITION_INFORMATION info;
    std::memset(&info, 0, sizeof info);
    info.StartingOffset.QuadPart = start;
    info.PartitionLength.QuadPart = length;
    info.RecognizedPartition = 1;
    std::memcpy(r.out, &info, sizeof info);
  }
  if (r.returned) *r.returned = std::min(size, reported);
  return TRUE;
}

BOOL Machine::DeviceNumber(const OpenDevice& device, const Request& r) {
  STORAGE_DEVICE_NUMBER number;
  std::memset(&number, 0, sizeof number);
  number.DeviceType = FILE_DEVICE_DISK;
  DWORD reported = sizeof number;
  if (device.drive >= 0) {
    number.DeviceNumber = static_cast<DWORD>(device.drive);
  } else {
    const Volume& volume = *device.volume;
    const int64_t disk = volume.diskNumber >= 0 ? volume.diskNumber : volume.hostDrive;
    if (!volume.deviceNumberOk || disk < 0) return Fail(ERROR_INVALID_FUNCTION);
    number.DeviceType = volume.deviceType;
    number.DeviceNumber = static_cast<DWORD>(disk);
    number.PartitionNumber = 1;
    reported = std::min<DWORD>(reported, volume.deviceNumberReturned);
  }
  if (r.out == nullptr || r.outSize < sizeof number) return Fail(ERROR_INSUFFICIENT_BUFFER);
  std::memcpy(r.out, &number, sizeof number);
  if (r.returned) *r.returned = reported;
  return TRUE;
}

BOOL Machine::DiskExtents(const OpenDevice& device, const Request& r) {
  const Volume& volume = *device.volume;
  if (!volume.extentsOk) return Fail(ERROR_INVALID_FUNCTION);
  const std::vector<Extent> pieces = volume.zeroExtents ? std::vector<Extent>{} : PiecesOf(volume);
  if (pieces.empty() && !volume.zeroExtents) return Fail(ERROR_INVALID_FUNCTION);
  // The volume manager wants room for the count and one piece; with more pieces than
  // the buffer holds it fills in the count alone and asks for more.
  if (r.out == nullptr || r.outSize < sizeof(VOLUME_DISK_EXTENTS))
    return Fail(ERROR_INSUFFICIENT_BUFFER);
  const uint64_t needed = offsetof(VOLUME_DISK_EXTENTS, Extents) +
                          uint64_t{sizeof(DISK_EXTENT)} * std::max<size_t>(pieces.size(), 1);
  Bytes answer(offsetof(VOLUME_DISK_EXTENTS, Extents) + sizeof(DISK_EXTENT) * pieces.size(), 0);
  const auto count =
      volume.claimedExtents != 0 ? volume.claimedExtents : static_cast<DWORD>(pieces.size());
  std::memcpy(answer.data(), &count, sizeof count);
  if (needed > r.outSize) {
    std::memcpy(r.out, answer.data(), sizeof count);
    if (r.returned) *r.returned = offsetof(VOLUME_DISK_EXTENTS, Extents);
    return Fail(ERROR_MORE_DATA);
  }
  for (size_t i = 0; i < pieces.size(); ++i) {
    DISK_EXTENT e;
    std::memset(&e, 0, sizeof e);
    e.DiskNumber = pieces[i].disk;
    e.StartingOffset.QuadPart = static_cast<int64_t>(pieces[i].offset);
    e.ExtentLength.QuadPart = static_cast<int64_t>(pieces[i].length);
    std::memcpy(answer.data() + offsetof(VOLUME_DISK_EXTENTS, Extents) + i * sizeof e, &e,
                sizeof e);
  }
  const auto size =
      static_cast<DWORD>(std::max<size_t>(answer.size(), sizeof(VOLUME_DISK_EXTENTS)));
  std::memcpy(r.out, answer.data(), answer.size());
  if (r.returned) *r.returned = std::min(size, volume.extentsReturned);
  return TRUE;
}

// Windows' view of the sectors under a volume (Windows 8 and later), from what the storage
// stack says of its disk: the alignment descriptor where the disk gives one, else one
// logical sector per physical. For a volume over several disks it answers once, for the
// disk of the largest physical sector.
BOOL Machine::GetFileInformationByHandle(HANDLE handle, LPBY_HANDLE_FILE_INFORMATION info) {
  Call call("GetFileInformationByHandle");
  call.handle = handle;
  Call& c = Record(std::move(call));
  if (Injected(c, ERROR_INVALID_FUNCTION)) return FALSE;
  const OpenDevice* device = Find(handle);
  uint64_t volume = 0, index = 0;
  if (device == nullptr) return Fail(c, ERROR_INVALID_HANDLE);
  if (!IdentityOf(*device, &volume, &index)) return Fail(c, ERROR_INVALID_FUNCTION);
  if (info == nullptr) return Fail(c, ERROR_NOACCESS);
  BY_HANDLE_FILE_INFORMATION answer{};
  answer.dwFileAttributes = device->file != nullptr ? FILE_ATTRIBUTE_NORMAL : FILE_ATTRIBUTE_DIRECTORY;
  answer.dwVolumeSerialNumber = static_cast<DWORD>(volume);
  if (device->file != nullptr) {
    answer.nFileSizeHigh = static_cast<DWORD>(device->file->size >> 32);
    answer.nFileSizeLow = static_cast<DWORD>(device->file->size);
  }
  answer.nNumberOfLinks = 1;
  answer.nFileIndexHigh = static_cast<DWORD>(index >> 32);
  answer.nFileIndexLow = static_cast<DWORD>(index);
  *info = answer;
  m_lastError = ERROR_SUCCESS;
  return TRUE;
}

BOOL Machine::FileIdAnswer(Call& c, uint64_t volume, uint64_t index, LPVOID info, DWORD size) {
  if (info == nullptr || size < sizeof(FILE_ID_INFO)) return Fail(c, ERROR_BAD_LENGTH);
  FILE_ID_INFO id{};
  id.VolumeSerialNumber = volume;
  std::memcpy(id.FileId.Identifier, &index, sizeof index);  // NTFS's index, widened
  std::memcpy(info, &id, sizeof id);
  m_lastError = ERROR_SUCCESS;
  return TRUE;
}

FILE_STORAGE_INFO Machine::StorageInfoOf(const Volume& volume) const {
  struct Grid {
    DWORD logical, physical, offset;
    uint64_t piece;
    bool offsetsUnknown;
  };
  std::optional<Grid> chosen;
  for (const Extent& piece : PiecesOf(volume)) {
    const Drive* d = DriveAt(piece.disk);
    if (d == nullptr) continue;
    const bool told = d->alignment.supported;
    const Grid s{told ? d->alignment.logical : d->sectorSize,
                 told ? d->alignment.physical : d->sectorSize, told ? d->alignment.offset : 0,
                 piece.offset, d->storageOffsetsUnknown};
    if (!chosen || s.physical > chosen->physical) chosen = s;
  }
  FILE_STORAGE_INFO answer;
  std::memset(&answer, 0, sizeof answer);
  if (chosen && chosen->physical != 0) {
    answer.LogicalBytesPerSector = chosen->logical;
    answer.PhysicalBytesPerSectorForAtomicity = chosen->physical;
    answer.PhysicalBytesPerSectorForPerformance = chosen->physical;
    answer.FileSystemEffectivePhysicalBytesPerSectorForAtomicity =
        std::max(chosen->logical, std::min<DWORD>(chosen->physical, 4096));
    answer.ByteOffsetForSectorAlignment = chosen->offset;
    answer.ByteOffsetForPartitionAlignment =
        static_cast<ULONG>((chosen->offset + chosen->piece) % chosen->physical);
    if (chosen->offset == 0) answer.Flags |= STORAGE_INFO_FLAGS_ALIGNED_DEVICE;
    if (answer.ByteOffsetForPartitionAlignment == 0)
      answer.Flags |= STORAGE_INFO_FLAGS_PARTITION_ALIGNED_ON_DEVICE;
    if (chosen->offsetsUnknown) {
      answer.ByteOffsetForSectorAlignment = STORAGE_INFO_OFFSET_UNKNOWN;
      answer.ByteOffsetForPartitionAlignment = STORAGE_INFO_OFFSET_UNKNOWN;
      answer.Flags = 0;
    }
  } else {
    const DWORD own = volume.ownSectorSize;
    answer.LogicalBytesPerSector = answer.PhysicalBytesPerSectorForAtomicity = own;
    answer.PhysicalBytesPerSectorForPerformance = own;
    answer.FileSystemEffectivePhysicalBytesPerSectorForAtomicity = own;
    answer.ByteOffsetForSectorAlignment = STORAGE_INFO_OFFSET_UNKNOWN;
    answer.ByteOffsetForPartitionAlignment = STORAGE_INFO_OFFSET_UNKNOWN;
  }
  return answer;
}

BOOL Machine::GetFileInformationByHandleEx(HANDLE handle, FILE_INFO_BY_HANDLE_CLASS infoClass,
                                           LPVOID info, DWORD size) {
  Call call("GetFileInformationByHandleEx");
  call.handle = handle;
  call.code = static_cast<DWORD>(infoClass);
  call.size = size;
  Call& c = Record(std::move(call));
  if (Injected(c, ERROR_INVALID_PARAMETER)) return FALSE;
  OpenDevice* device = Find(handle);
  if (device == nullptr) return Fail(c, ERROR_INVALID_HANDLE);
  // The class came with Windows 8 (6.2): before, it is one the function does not know.
  const bool windows8 = majorVersion > 6 || (majorVersion == 6 && minorVersion >= 2);
  uint64_t volume = 0, index = 0;
  if (infoClass == FileIdInfo && windows8 && IdentityOf(*device, &volume, &index))
    return FileIdAnswer(c, volume, index, info, size);
  if (infoClass != FileStorageInfo || !windows8 || device->volume == nullptr)
    return Fail(c, ERROR_INVALID_PARAMETER);
  // A fixed-size class: a buffer of another size is STATUS_INFO_LENGTH_MISMATCH.
  if (info == nullptr || size < sizeof(FILE_STORAGE_INFO)) return Fail(c, ERROR_BAD_LENGTH);
  const FILE_STORAGE_INFO answer = StorageInfoOf(*device->volume);
  std::memcpy(info, &answer, sizeof answer);
  m_lastError = ERROR_SUCCESS;
  return TRUE;
}

}  // namespace sim
