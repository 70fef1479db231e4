#include "sim/builders.h"

#include <algorithm>
#include <cstring>

namespace sim {

namespace {

void Put16(Bytes& b, size_t at, uint16_t v) {
  b[at] = static_cast<uint8_t>(v);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}
void Put32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
void Put64(Bytes& b, size_t at, uint64_t v) {
  for (int i = 0; i < 8; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
void PutText(Bytes& b, size_t at, const char* text, size_t width) {
  std::memset(&b[at], ' ', width);
  std::memcpy(&b[at], text, std::min(width, std::strlen(text)));
}

Bytes BootSector(uint16_t bytesPerSector) {
  Bytes b(std::max<size_t>(bytesPerSector, 512), 0);
  b[0] = 0xEB;
  b[1] = 0x58;
  b[2] = 0x90;
  b[510] = 0x55;
  b[511] = 0xAA;
  return b;
}

}  // namespace

void PutAtaText(std::array<uint8_t, 512>& data, int firstWord, int width, const std::string& text) {
  for (int i = 0; i < width; ++i) {
    const uint8_t c = i < static_cast<int>(text.size()) ? static_cast<uint8_t>(text[i]) : 0;
    // The first character of each word is its high byte.
    data[2 * firstWord + (i ^ 1)] = c;
  }
}

void SealIdentify(std::array<uint8_t, 512>& data) {
  data[510] = 0xA5;
  unsigned sum = 0;
  for (int i = 0; i < 511; ++i) sum += data[i];
  data[511] = static_cast<uint8_t>(-sum);
}

std::array<uint8_t, 512> BuildIdentify(const std::string& model, const std::string& serial,
                                       const std::string& firmware, uint16_t word106,
                                       uint16_t word209) {
  std::array<uint8_t, 512> data{};
  auto padded = [](std::string s, size_t width) {
    s.resize(std::max(s.size(), width), ' ');
    return s;
  };
  PutAtaText(data, 10, 20, padded(serial, 20));
  PutAtaText(data, 23, 8, padded(firmware, 8));
  PutAtaText(data, 27, 40, padded(model, 40));
  data[0] = 0x40;  // word 0: fixed device
  data[2 * 106] = static_cast<uint8_t>(word106);
  data[2 * 106 + 1] = static_cast<uint8_t>(word106 >> 8);
  data[2 * 209] = static_cast<uint8_t>(word209);
  data[2 * 209 + 1] = static_cast<uint8_t>(word209 >> 8);
  SealIdentify(data);
  return data;
}

Bytes BuildInquiry(const std::string& vendor, const std::string& product) {
  Bytes d(36, 0);
  d[0] = 0x00;  // direct-access block device
  d[2] = 0x05;  // SPC-3
  d[3] = 0x02;
  d[4] = 31;  // additional length
  PutText(d, 8, vendor.c_str(), 8);
  PutText(d, 16, product.c_str(), 16);
  PutText(d, 32, "1.00", 4);
  return d;
}

Bytes BuildFatBootSector(const FatParams& p) {
  Bytes b = BootSector(p.bytesPerSector);
  PutText(b, 3, "MSWIN4.1", 8);
  Put16(b, 11, p.bytesPerSector);
  b[13] = p.sectorsPerCluster;
  Put16(b, 14, p.reservedSectors);
  b[16] = p.fats;
  Put16(b, 17, p.rootEntries);
  b[21] = 0xF8;
  Put16(b, 22, p.fatSize16);
  Put16(b, 24, 63);
  Put16(b, 26, 255);
  Put32(b, 28, p.hiddenSectors);
  Put32(b, 32, p.totalSectors);
  if (p.fatSize16 == 0) {  // FAT32 extension
    Put32(b, 36, p.fatSize32);
    Put32(b, 44, 2);  // root cluster
    Put16(b, 48, 1);
    Put16(b, 50, 6);
    b[64] = 0x80;
    b[66] = 0x29;
    Put32(b, 67, 0x5EED0001);
    PutText(b, 71, "NO NAME", 11);
    PutText(b, 82, "FAT32", 8);
  } else {
    b[36] = 0x80;
    b[38] = 0x29;
    Put32(b, 39, 0x5EED0002);
    PutText(b, 43, "NO NAME", 11);
    PutText(b, 54, "FAT16", 8);
  }
  return b;
}

FatParams Fat32Layout(uint64_t sectors, uint8_t sectorsPerCluster, uint16_t reservedSectors,
                      uint16_t bytesPerSector) {
  FatParams p;
  p.bytesPerSector = bytesPerSector;
  p.sectorsPerCluster = sectorsPerCluster;
  p.reservedSectors = reservedSectors;
  p.fats = 2;
  p.rootEntries = 0;
  p.totalSectors = static_cast<uint32_t>(sectors);
  // Microsoft's FAT32 sizing (its TmpVal2): the clusters one table sector covers, over both
  // tables.
  const uint64_t perTableSector = (uint64_t{bytesPerSector} / 2 * sectorsPerCluster + p.fats) / 2;
  p.fatSize32 = static_cast<uint32_t>((sectors - reservedSectors + perTableSector - 1) / perTableSector);
  return p;
}

Bytes BuildNtfsBootSector(uint16_t bytesPerSector, uint8_t sectorsPerCluster,
                          uint32_t hiddenSectors, uint64_t serial) {
  Bytes b = BootSector(bytesPerSector);
  b[1] = 0x52;
  PutText(b, 3, "NTFS", 8);
  Put16(b, 11, bytesPerSector);
  b[13] = sectorsPerCluster;
  b[21] = 0xF8;
  Put16(b, 24, 63);
  Put16(b, 26, 255);
  Put32(b, 28, hiddenSectors);
  Put64(b, 40, 0x3FFFFFF);  // total sectors
  Put64(b, 48, 786432);     // $MFT cluster
  Put64(b, 56, 2);          // $MFTMirr cluster
  b[64] = 0xF6;             // 1 KiB file records
  b[68] = 0x01;
  Put64(b, 72, serial);
  return b;
}

Bytes BuildExfatBootSector(uint8_t bytesPerSectorShift, uint8_t sectorsPerClusterShift,
                           uint64_t partitionOffset, uint32_t clusterHeapOffset,
                           uint64_t volumeLength) {
  Bytes b = BootSector(static_cast<uint16_t>(1u << bytesPerSectorShift));
  b[0] = 0xEB;
  b[1] = 0x76;
  PutText(b, 3, "EXFAT", 8);
  Put64(b, 64, partitionOffset);
  Put64(b, 72, volumeLength);
  Put32(b, 80, 2048);  // FAT offset
  Put32(b, 84, 2048);  // FAT length
  Put32(b, 88, clusterHeapOffset);
  Put32(b, 92, 100000);     // cluster count
  Put32(b, 96, 4);          // root directory cluster
  Put16(b, 104, 0x0100);    // revision 1.0
  b[108] = bytesPerSectorShift;
  b[109] = sectorsPerClusterShift;
  b[110] = 1;  // FATs
  return b;
}

void PlaceVolume(Machine& machine, const VolumeLayout& v) {
  const uint32_t host = v.pieces.empty() ? static_cast<uint32_t>(v.drive) : v.pieces.front().disk;
  const uint64_t start = v.pieces.empty() ? v.startSector : v.pieces.front().startSector;
  Drive& drive = machine.drives[host];
  if (!v.bootSector.empty()) {
    Bytes sector = v.bootSector;
    sector.resize(drive.sectorSize, 0);
    if (v.encryptionKey != 0) Cipher(v.encryptionKey, 0, sector);
    drive.WriteSector(start, sector);
  }
  Volume& l = v.letter != 0 ? machine.letters[v.letter] : machine.unlettered[v.volumeName];
  l.name = v.volumeName;
  l.mountPaths = v.mountPaths;
  l.type = v.type;
  l.freeSpaceOk = true;
  l.sectorsPerCluster = v.sectorsPerCluster;
  l.bytesPerSector = drive.sectorSize;
  l.fileSystemOk = true;
  l.fileSystem = v.fileSystem;
  l.open = Open::Ok;
  l.partitionInfoOk = true;
  l.table = v.table;
  l.startingOffset = static_cast<int64_t>(start * drive.sectorSize);
  l.hostDrive = host;
  l.encryptionKey = v.encryptionKey;
  l.extents.clear();
  for (const VolumeLayout::Piece& p : v.pieces)
    l.extents.push_back({p.disk, p.startSector * drive.sectorSize, p.sectors * drive.sectorSize});
  if (!v.pieces.empty()) {
    l.deviceNumberOk = false;
    l.partitionInfoOk = v.table == PartitionTable::Mbr;
    return;  // a dynamic volume lies inside the disk's LDM partition
  }
  PartitionEntry entry;
  entry.start = start;
  entry.length = v.sectors;
  entry.mbrType = v.mbrType != 0                  ? v.mbrType
                  : v.fileSystem == "FAT32"       ? 0x0C
                  : v.fileSystem.rfind("FAT", 0) == 0 ? 0x06
                                                  : 0x07;
  entry.gptType = v.gptType;
  entry.logical = v.logical;
  entry.active = v.active;
  AddPartition(machine, host, v.table, entry);
}

void AddPartition(Machine& machine, uint32_t drive, PartitionTable style,
                  const PartitionEntry& entry) {
  LayoutAnswer& layout = machine.drives[drive].layout;
  layout.hasTable = true;
  layout.style = style;
  layout.partitions.push_back(entry);
}

namespace {
// Every drive carries a partition table in its sector 0, so that no two are alike.
void WritePartitionTable(Drive& d, uint32_t index, const std::string& name) {
  Bytes mbr(512, 0);
  for (size_t i = 0; i < name.size() && i < 400; ++i) mbr[i] = static_cast<uint8_t>(name[i]);
  mbr[440] = static_cast<uint8_t>(index + 1);
  mbr[510] = 0x55;
  mbr[511] = 0xAA;
  d.WriteSector(0, mbr);
}
}  // namespace

void AddAtaDrive(Machine& machine, uint32_t index, const std::string& model, const std::string& serial,
                 const std::string& firmware, uint16_t word106, uint16_t word209,
                 uint32_t sectorSize) {
  Drive& d = machine.drives[index];
  d.open = Open::Ok;
  d.sectorSize = sectorSize;
  d.smart.kind = SmartAnswer::Identify;
  d.smart.data = BuildIdentify(model, serial, firmware, word106, word209);
  if ((word106 & 0xD000) == 0x5000) {  // words 117-118: the logical sector in words
    const uint32_t words = sectorSize / 2;
    for (int i = 0; i < 4; ++i) d.smart.data[2 * 117 + i] = static_cast<uint8_t>(words >> (8 * i));
    SealIdentify(d.smart.data);
  }
  // The storage stack keeps the identity's texts (ATA names no vendor) and translates its
  // geometry words, as a SATA disk answers the property queries from Vista on.
  d.descriptor = {true, "", model, firmware, serial};
  d.alignment.supported = true;
  d.alignment.logical = sectorSize;
  d.alignment.physical = sectorSize;
  d.alignment.offset = 0;
  if ((word106 & 0xE000) == 0x6000) {
    d.alignment.physical = sectorSize << (word106 & 0xF);
    if ((word209 & 0xC000) == 0x4000) d.alignment.offset = (word209 & 0x3FFFu) * sectorSize;
  }
  WritePartitionTable(d, index, model);
}

void SetMedia(Drive& drive, bool ssd, bool stackAnswers) {
  if (stackAnswers) {
    drive.seekPenalty = !ssd;
    drive.trimEnabled = ssd;
  }
  if (drive.smart.kind != SmartAnswer::Identify) return;
  const uint16_t rotation = ssd ? 1 : 7200;
  drive.smart.data[2 * 217] = static_cast<uint8_t>(rotation);
  drive.smart.data[2 * 217 + 1] = static_cast<uint8_t>(rotation >> 8);
  drive.smart.data[2 * 169] = ssd ? 1 : 0;
  SealIdentify(drive.smart.data);
}

void AddStorageDrive(Machine& machine, uint32_t index, const std::string& vendor,
                     const std::string& product, DWORD logical, DWORD physical, DWORD offset) {
  Drive& d = machine.drives[index];
  d.open = Open::Ok;
  d.sectorSize = logical;
  d.smart.kind = SmartAnswer::Unsupported;
  d.scsi.supported = true;
  d.scsi.inquiry = BuildInquiry(vendor, product);
  d.scsi.returned = 98;
  d.descriptor = {true, vendor, product, "", ""};
  d.alignment.supported = true;
  d.alignment.logical = logical;
  d.alignment.physical = physical;
  d.alignment.offset = offset;
  WritePartitionTable(d, index, vendor + " " + product);
}

}  // namespace sim
