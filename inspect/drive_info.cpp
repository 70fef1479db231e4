#include "inspect/drive_info.h"
#include "inspect/drive_layout.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "disk/little_endian.h"
#include "platform/device.h"

DriveTable g_drives;

const DriveInfo& DriveTable::operator[](DiskNumber number) const {
  static const DriveInfo initial;
  auto it = m_entries.find(number);
  return it == m_entries.end() ? initial : it->second.info;
}

const DriveInfo& DriveTable::Identify(DiskNumber number, AccessMode mode) {
  Entry& entry = m_entries[number];
  if (!entry.asked) {
    entry.asked = true;
    IdentifyDrive(number.value, &entry.info, mode);
  }
  return entry.info;
}

void DriveTable::HoldsVolume(DiskNumber number) { m_entries[number].holdsVolume = true; }

std::vector<DiskNumber> DriveTable::Listed() const {
  std::vector<DiskNumber> numbers;
  uint32_t n = 0;
  for (; n < kDriveCount && (*this)[DiskNumber(n)].Opened(); ++n)
    numbers.push_back(DiskNumber(n));
  for (const auto& [number, entry] : m_entries)
    if (entry.holdsVolume && number.value >= n) numbers.push_back(number);
  return numbers;
}

namespace {

constexpr DWORD kIdentifyBytes = 512;
constexpr DWORD kSmartRequestBytes = sizeof(SENDCMDINPARAMS);                              // 33
constexpr DWORD kSmartAnswerBytes = offsetof(SENDCMDOUTPARAMS, bBuffer) + kIdentifyBytes;  // 528

constexpr DWORD kScsiBufferBytes = 100;
constexpr DWORD kSenseOffset = sizeof(SCSI_PASS_THROUGH);  // 44
constexpr UCHAR kSenseBytes = 18;
constexpr DWORD kInquiryOffset = kSenseOffset + kSenseBytes;  // 62
constexpr UCHAR kInquiryBytes = 36;
constexpr BYTE kIntegritySignature = 0xA5;
constexpr DWORD kVendorNeeds = 56;  // returned counts from which the name parts are taken
constexpr DWORD kProductNeeds = 72;
// Room for the device descriptor's fixed part and its texts, as disks give them.
constexpr DWORD kDescriptorBytes = 1024;
constexpr size_t kMostDescriptorChars = 64;

// Drops trailing spaces of a field of width n, never looking at index 0, so a field of
// spaces only keeps one.
void TrimTrailingSpaces(char* text, int n) {
  for (int i = n - 1; i > 0 && text[i] == ' '; --i) text[i] = '\0';
}

// An ATA text: two characters per word, the first in the word's high byte.
CString AtaText(const BYTE* data, int firstByte, int width) {
  char scratch[41] = {};
  for (int i = 0; i < width; i += 2) {
    scratch[i] = static_cast<char>(data[firstByte + i + 1]);
    scratch[i + 1] = static_cast<char>(data[firstByte + i]);
  }
  scratch[width] = '\0';
  TrimTrailingSpaces(scratch, width);
  return CString(scratch);
}

// A SCSI text field: copied up to its first zero byte, at most width characters.
CString ScsiText(const BYTE* field, int width) {
  char scratch[17] = {};
  for (int i = 0; i < width && field[i] != 0; ++i) scratch[i] = static_cast<char>(field[i]);
  TrimTrailingSpaces(scratch, width);
  return CString(scratch);
}

uint16_t Word(const BYTE* data, int index) { return le::U16(data + 2 * index); }

// Words 117-118: the logical sector size in words, valid when word 106 says so (bit 12:
// longer than 256 words). Anything else is the classic 512 bytes.
uint32_t LogicalSectorBytes(const BYTE* data) {
  const uint16_t w = Word(data, 106);
  if ((w & 0xC000) != 0x4000 || (w & 0x1000) == 0) return 512;
  const uint64_t words = Word(data, 117) | (static_cast<uint32_t>(Word(data, 118)) << 16);
  if (words <= 256 || words > 0x7FFFFFFF) return 512;  // contradicts bit 12, or unsizeable
  return static_cast<uint32_t>(2 * words);
}

void TakeGeometry(const BYTE* data, DriveInfo* out) {
  out->sectorsPerPhysical = 1;
  out->alignPhase = 0;
  out->firstSectorPastPhysical = false;
  out->bytesPerLogicalSector = LogicalSectorBytes(data);
  out->geometry = GeometrySource::AtaIdentity;
  const uint16_t w = Word(data, 106);
  if ((w & 0xE000) != 0x6000) return;
  out->sectorsPerPhysical = static_cast<uint16_t>(1u << (w & 0xF));
  const uint16_t v = Word(data, 209);
  if ((v & 0xC000) != 0x4000) return;
  const uint16_t offset = v & 0x3FFF;
  out->alignPhase = static_cast<uint16_t>(out->sectorsPerPhysical - offset);
  // Logical sector 0 cannot lie a whole physical sector or more into one: the drive
  // reported an impossible grid, which is kept for Device Information but judges nothing.
  if (offset >= out->sectorsPerPhysical) {
    out->geometry = GeometrySource::None;
    out->firstSectorPastPhysical = true;
  }
}

enum class AtaOutcome { Identified, TryScsi, GiveUp };

AtaOutcome AskAta(Device& drive, DriveInfo* out) {
  SENDCMDINPARAMS request;
  std::memset(&request, 0, sizeof request);
  request.irDriveRegs.bDriveHeadReg = 0xA0;
  request.irDriveRegs.bCommandReg = ID_CMD;

  BYTE answer[kSmartAnswerBytes] = {};
  auto* params = reinterpret_cast<SENDCMDOUTPARAMS*>(answer);
  params->cBufferSize = kIdentifyBytes;

  DWORD returned = 0;
  const bool ok = drive.Control(SMART_RCV_DRIVE_DATA, &request, kSmartRequestBytes, answer,
                                kSmartAnswerBytes, &returned);
  if (!ok && returned != 0) return AtaOutcome::GiveUp;
  // Nothing came back, or too little to hold the identity: the zeros left in the
  // buffer would pass the byte-sum test as a drive without a name.
  if (returned < kSmartAnswerBytes) return AtaOutcome::TryScsi;
  // The driver says the command failed: whatever the buffer holds is no identity.
  if (params->DriverStatus.bDriverError != 0) return AtaOutcome::TryScsi;

  const BYTE* data = answer + offsetof(SENDCMDOUTPARAMS, bBuffer);
  unsigned sum = 0;
  for (DWORD i = 0; i < kIdentifyBytes; ++i) sum += data[i];
  if ((sum & 0xFF) != 0) return AtaOutcome::TryScsi;
  // Word 255 carries the signature 0xA5 in its low byte: 512 zero bytes sum to 0 too,
  // and are no identity.
  if (data[kIdentifyBytes - 2] != kIntegritySignature) return AtaOutcome::TryScsi;

  out->model = AtaText(data, 54, 40);
  out->serial = AtaText(data, 20, 20);
  out->firmware = AtaText(data, 46, 8);
  TakeGeometry(data, out);
  out->rotationWord = Word(data, 217);
  out->identityTrim = (Word(data, 169) & 1) != 0;
  out->status = DriveInfo::kIdentified;
  return AtaOutcome::Identified;
}

void AskScsi(Device& drive, DriveInfo* out) {
  BYTE buffer[kScsiBufferBytes] = {};
  auto* spt = reinterpret_cast<SCSI_PASS_THROUGH*>(buffer);
  spt->Length = sizeof(SCSI_PASS_THROUGH);
  spt->CdbLength = 6;
  spt->SenseInfoLength = kSenseBytes;
  spt->DataIn = SCSI_IOCTL_DATA_IN;
  spt->DataTransferLength = kInquiryBytes;
  spt->TimeOutValue = 5;
  spt->DataBufferOffset = kInquiryOffset;
  spt->SenseInfoOffset = kSenseOffset;
  spt->Cdb[0] = 0x12;  // INQUIRY
  spt->Cdb[4] = kInquiryBytes;

  DWORD returned = 0;
  if (!drive.Control(IOCTL_SCSI_PASS_THROUGH, buffer, kScsiBufferBytes, buffer, kScsiBufferBytes,
                     &returned))
    return;
  // A status other than GOOD (0) says the device did not answer the command: its data,
  // if any, is no name.
  if (spt->ScsiStatus != 0) return;
  const BYTE* inquiry = buffer + kInquiryOffset;
  if (returned >= kVendorNeeds) out->model = ScsiText(inquiry + 8, 8) + " ";
  if (returned >= kProductNeeds) out->model += ScsiText(inquiry + 16, 16);
}

// The geometry the storage stack reports for drives that give no ATA identity (NVMe,
// USB, SAS): taken only when the whole descriptor came back and it describes a grid
// word 209 could describe.
void AskAlignment(Device& drive, DriveInfo* out) {
  STORAGE_PROPERTY_QUERY query;
  std::memset(&query, 0, sizeof query);
  query.PropertyId = StorageAccessAlignmentProperty;
  query.QueryType = PropertyStandardQuery;
  STORAGE_ACCESS_ALIGNMENT_DESCRIPTOR d;
  DWORD returned = 0;
  if (!drive.Out(IOCTL_STORAGE_QUERY_PROPERTY, &query, &d, &returned)) return;
  if (returned < sizeof d || d.Size < sizeof d) return;

  const uint32_t logical = d.BytesPerLogicalSector;
  const uint32_t physical = d.BytesPerPhysicalSector;
  const uint32_t offset = d.BytesOffsetForSectorAlignment;
  if (logical < 512 || physical < logical || physical % logical != 0) return;
  const uint32_t ratio = physical / logical;
  if (ratio > 32768 || (ratio & (ratio - 1)) != 0) return;
  if (offset % logical != 0 || offset >= physical) return;

  // Logical sector 0 lies `offset` bytes into its physical sector, as word 209 says it.
  const uint32_t k = offset / logical;
  out->sectorsPerPhysical = static_cast<uint16_t>(ratio);
  out->alignPhase = ratio == 1 ? 0 : static_cast<uint16_t>(ratio - k);
  out->bytesPerLogicalSector = logical;
  out->geometry = GeometrySource::StorageDescriptor;
}

// A property whose descriptor is one BOOLEAN after its header (the seek penalty, TRIM),
// which any handle may ask; none where the stack does not answer it, or answers short.
std::optional<bool> AskFlag(Device& drive, STORAGE_PROPERTY_ID property) {
  STORAGE_PROPERTY_QUERY query;
  std::memset(&query, 0, sizeof query);
  query.PropertyId = property;
  query.QueryType = PropertyStandardQuery;
  DEVICE_SEEK_PENALTY_DESCRIPTOR d;  // DEVICE_TRIM_DESCRIPTOR has the same layout
  DWORD returned = 0;
  if (!drive.Out(IOCTL_STORAGE_QUERY_PROPERTY, &query, &d, &returned)) return std::nullopt;
  const DWORD flag = offsetof(DEVICE_SEEK_PENALTY_DESCRIPTOR, IncursSeekPenalty);
  if (returned <= flag || d.Size <= flag) return std::nullopt;
  return d.IncursSeekPenalty != 0;
}

DWORD DescriptorField(const BYTE* answer, size_t offset) { return le::U32(answer + offset); }

// One text of the device descriptor: from its offset to its zero byte, both inside the
// `valid` bytes of the answer, without its leading and trailing spaces. None for offset 0,
// an offset inside the fixed part or past the answer, or a text with no end there (the
// buffer cut it, so it may be only part of itself).
std::string DescriptorText(const BYTE* answer, DWORD valid, DWORD offset) {
  if (offset < offsetof(STORAGE_DEVICE_DESCRIPTOR, RawDeviceProperties) || offset >= valid)
    return {};
  const BYTE* begin = answer + offset;
  const auto* end = static_cast<const BYTE*>(std::memchr(begin, 0, valid - offset));
  if (end == nullptr) return {};
  std::string text(begin, end);
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  text = text.substr(first, text.find_last_not_of(' ') - first + 1);
  if (text.size() > kMostDescriptorChars) text.resize(kMostDescriptorChars);
  return text;
}

// Named from the storage device descriptor, which any user may ask for: vendor and
// product as the INQUIRY name joins them, revision and serial number.
void AskDescriptor(Device& drive, DriveInfo* out) {
  STORAGE_PROPERTY_QUERY query;
  std::memset(&query, 0, sizeof query);
  query.PropertyId = StorageDeviceProperty;
  query.QueryType = PropertyStandardQuery;
  BYTE answer[kDescriptorBytes] = {};
  DWORD returned = 0;
  if (!drive.Control(IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query, answer, sizeof answer,
                     &returned))
    return;
  const DescriptorTexts texts = ReadDeviceDescriptor(answer, std::min(returned, kDescriptorBytes));
  out->model = texts.name;
  out->serial = texts.serial;
  out->firmware = texts.revision;
}

}  // namespace

DescriptorTexts ReadDeviceDescriptor(const BYTE* answer, DWORD returned) {
  DescriptorTexts texts;
  // Every offset must have come back; past the descriptor's own size nothing is its.
  if (returned < offsetof(STORAGE_DEVICE_DESCRIPTOR, BusType)) return texts;
  const DWORD valid =
      std::min(returned, DescriptorField(answer, offsetof(STORAGE_DEVICE_DESCRIPTOR, Size)));
  auto text = [&](size_t field) {
    return DescriptorText(answer, valid, DescriptorField(answer, field));
  };
  const std::string vendor = text(offsetof(STORAGE_DEVICE_DESCRIPTOR, VendorIdOffset));
  const std::string product = text(offsetof(STORAGE_DEVICE_DESCRIPTOR, ProductIdOffset));
  const std::string name =
      vendor.empty() || product.empty() ? vendor + product : vendor + " " + product;
  texts.name = CString(name.c_str());
  texts.revision =
      CString(text(offsetof(STORAGE_DEVICE_DESCRIPTOR, ProductRevisionOffset)).c_str());
  texts.serial = CString(text(offsetof(STORAGE_DEVICE_DESCRIPTOR, SerialNumberOffset)).c_str());
  return texts;
}

void IdentifyDrive(uint32_t index, DriveInfo* out, AccessMode mode) {
  out->status = DriveInfo::kNoIdentity;

  // Read and write access: Windows demands both for the SMART request and the SCSI
  // pass-through. Without them, access 0 still answers the storage property queries.
  const DWORD access = mode == AccessMode::Raw ? GENERIC_READ | GENERIC_WRITE : 0;
  Device drive(PhysicalDrivePath(index), access, 0);
  if (!drive.IsOpen()) {
    out->status = drive.OpenError() == ERROR_ACCESS_DENIED ? DriveInfo::kAccessDenied
                                                            : DriveInfo::kOpenFailed;
    return;
  }
  if (mode == AccessMode::QueryOnly) {
    AskDescriptor(drive, out);
    AskAlignment(drive, out);
  } else {
    const AtaOutcome ata = AskAta(drive, out);
    if (ata == AtaOutcome::TryScsi) AskScsi(drive, out);
    if (ata != AtaOutcome::Identified) AskAlignment(drive, out);
  }
  out->seekPenalty = AskFlag(drive, StorageDeviceSeekPenaltyProperty);
  out->trimEnabled = AskFlag(drive, StorageDeviceTrimProperty);
  // One logical sector size for the drive: the geometry request's, which Windows itself
  // counts the table in, else the identity's or the descriptor's. Where they name different
  // sizes, the grid they gave is in sectors of another size than the drive's volumes.
  const DiskSize disk = AskDiskSize(drive);
  if (disk.bytesPerSector) {
    out->sectorSizesDisagree =
        out->bytesPerLogicalSector != 0 && out->bytesPerLogicalSector != *disk.bytesPerSector;
    out->bytesPerLogicalSector = *disk.bytesPerSector;
  }
  out->layout = ReadDriveLayout(
      drive, SectorSize(out->bytesPerLogicalSector != 0 ? out->bytesPerLogicalSector : 512),
      disk.bytes);
}
