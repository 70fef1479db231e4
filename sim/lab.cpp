#include "sim/lab.h"

#include "sim/builders.h"

namespace sim {

namespace {

VolumeLayout Ntfs(char letter, uint32_t drive, uint64_t start) {
  VolumeLayout v;
  v.letter = letter;
  v.drive = drive;
  v.startSector = start;
  v.fileSystem = "NTFS";
  // Hidden sectors is a 32-bit field: past 2 TiB it no longer holds the start.
  v.bootSector = BuildNtfsBootSector(512, 8, static_cast<uint32_t>(start),
                                     0x7E55A2E1000000ull + static_cast<uint64_t>(letter));
  v.sectorsPerCluster = 8;
  return v;
}

VolumeLayout Gpt(VolumeLayout v) {
  v.table = PartitionTable::Gpt;
  return v;
}

// An EFI system partition: a FAT32 volume with neither letter nor folder, of clusters of one
// sector, as Windows makes it (FAT32 needs 65,525 clusters, which 100 MB holds only of
// sectors).
VolumeLayout EfiSystem(uint32_t drive, uint64_t start, uint64_t sectors, const char* id) {
  VolumeLayout v = Gpt(Ntfs(0, drive, start));
  v.volumeName = std::string("\\\\?\\Volume{5e55a2e1-ef15-4a7a-8d3b-") + id + "}\\";
  v.fileSystem = "FAT32";
  FatParams p = Fat32Layout(sectors, 1, 32);
  p.hiddenSectors = static_cast<uint32_t>(start);
  v.bootSector = BuildFatBootSector(p);
  v.sectorsPerCluster = 1;
  v.gptType = gpt::kEfiSystem;
  v.sectors = sectors;
  return v;
}

void Fat32(Machine& m, char letter, uint32_t drive, uint32_t start, uint8_t sectorsPerCluster) {
  FatParams p;
  p.sectorsPerCluster = sectorsPerCluster;
  p.reservedSectors = 32;
  p.fats = 2;
  p.rootEntries = 0;
  p.fatSize32 = 1000;
  p.hiddenSectors = start;
  p.totalSectors = 2000000;
  VolumeLayout v;
  v.letter = letter;
  v.drive = drive;
  v.startSector = start;
  v.fileSystem = "FAT32";
  v.bootSector = BuildFatBootSector(p);
  v.sectorsPerCluster = sectorsPerCluster;
  PlaceVolume(m, v);
}

}  // namespace

void BuildLab(Machine& m) {
  // Windows 10 22H2, where the token says whether the program runs elevated.
  m.majorVersion = 10;
  m.minorVersion = 0;
  m.buildNumber = 19045;
  m.computerName = "TESSAREL-LAB";
  AddAtaDrive(m, 0, "KESTREL KD4000-512E", "KD40A0001", "KD01", 0x6003, 0x4000);
  VolumeLayout system = Ntfs('C', 0, 2048);
  system.active = true;  // the disk BIOS starts
  PlaceVolume(m, system);
  PlaceVolume(m, Ntfs('D', 0, 63));

  AddAtaDrive(m, 1, "KESTREL KD2000-SHIFT", "KD20B0002", "KD02", 0x6003, 0x4001);
  PlaceVolume(m, Ntfs('E', 1, 63));

  AddAtaDrive(m, 2, "ORMOLU OM500 CLASSIC", "OM5C0003", "OM1.4", 0x4000, 0);
  Fat32(m, 'F', 2, 63, 8);

  AddAtaDrive(m, 3, "KESTREL KD1000-512E", "KD10C0004", "KD03", 0x6003, 0x4000);
  Fat32(m, 'G', 3, 2048, 4);  // data at 2048 + 2032, on the grid; clusters of 2 KiB

  Drive& bridge = m.drives[4];  // a USB bridge that passes no ATA commands
  bridge.open = Open::Ok;
  bridge.scsi.supported = true;
  bridge.scsi.inquiry = BuildInquiry("VITRELLE", "PORTA-DISK 2T");
  bridge.scsi.returned = 98;
  bridge.descriptor = {true, "VITRELLE", "PORTA-DISK 2T", "0207", ""};
  PlaceVolume(m, Ntfs('H', 4, 2048));

  AddStorageDrive(m, 5, "NVMe", "VOLANTE VX2 1TB", 512, 4096);
  PlaceVolume(m, Gpt(Ntfs('L', 5, 2048)));
  PlaceVolume(m, Gpt(Ntfs('M', 5, 1026047)));  // made by an old tool, off the grid

  AddAtaDrive(m, 6, "KESTREL KD8000-512E", "KD80D0006", "KD04", 0x6003, 0x4000);
  m.drives[6].sectorCount = 15628053168ull;  // 8 TB
  PlaceVolume(m, Gpt(Ntfs('N', 6, 5000000000ull)));
  VolumeLayout encrypted = Gpt(Ntfs('O', 6, 2048));
  encrypted.encryptionKey = 0xB17E0C4E5EC2E7ull;
  PlaceVolume(m, encrypted);

  // A 512-byte-native drive cloned sector for sector to a 512e drive: the copy keeps
  // the original's start at 63, which the new drive's grid does not share.
  AddAtaDrive(m, 7, "ORMOLU OM1000 CLASSIC", "OM1C0007", "OM1.6", 0x4000, 0);
  AddAtaDrive(m, 8, "KESTREL KD2000-512E", "KD20E0008", "KD03", 0x6003, 0x4000);
  const VolumeLayout original = Ntfs('P', 7, 63);
  PlaceVolume(m, original);
  VolumeLayout copy = original;
  copy.letter = 'Q';
  copy.drive = 8;
  PlaceVolume(m, copy);

  // Disks past a gap and past the tenth, which only the volumes on them name.
  AddStorageDrive(m, 10, "SWIFTLY", "PORTA-SSD 1T", 512, 4096);
  VolumeLayout exfat;
  exfat.letter = 'R';
  exfat.drive = 10;
  exfat.startSector = 2048;
  exfat.fileSystem = "exFAT";
  exfat.sectorsPerCluster = 64;
  exfat.bootSector = BuildExfatBootSector(9, 6, 2048 * 512ull, 6141, 1953523712);
  PlaceVolume(m, exfat);

  AddAtaDrive(m, 11, "KESTREL KD3000-512E", "KD30F0011", "KD05", 0x6003, 0x4000);
  AddAtaDrive(m, 12, "KESTREL KD3000-512E", "KD30F0012", "KD05", 0x6003, 0x4000);
  // Dynamic GPT disks: the volumes lie inside the LDM data partition.
  for (uint32_t disk : {11u, 12u}) {
    AddPartition(m, disk, PartitionTable::Gpt, {34, 2014, 0, gpt::kLdmMetadata, false});
    AddPartition(m, disk, PartitionTable::Gpt, {2048, 4194304, 0, gpt::kLdmData, false});
  }
  VolumeLayout data = Ntfs('T', 11, 0);
  data.table = PartitionTable::Gpt;
  data.pieces = {{11, 264192, 786432}};
  PlaceVolume(m, data);
  VolumeLayout spanned = Ntfs('S', 11, 0);
  spanned.table = PartitionTable::Gpt;
  spanned.pieces = {{11, 1050624, 1048576}, {12, 2099199, 1048576}};
  PlaceVolume(m, spanned);

  // A database volume mounted in a folder of C:, made by an old tool; the EFI system
  // partition, which has neither letter nor folder; a fixed letter whose partition
  // requests fail.
  VolumeLayout sql = Ntfs(0, 3, 4194367);
  sql.volumeName = "\\\\?\\Volume{5e55a2e1-5a1d-4a7a-8d3b-00000000d474}\\";
  sql.mountPaths = {"C:\\SQL\\Data\\"};
  PlaceVolume(m, sql);
  PlaceVolume(m, EfiSystem(6, 34, 2014, "0000000000e5"));
  // V: answers neither partition request, but its pieces place it; W: answers nothing
  // that could place it.
  PlaceVolume(m, Ntfs('V', 2, 206848));
  m.letters['V'].partitionInfoOk = false;
  PlaceVolume(m, Ntfs('W', 2, 411648));
  m.letters['W'].partitionInfoOk = false;
  m.letters['W'].deviceNumberOk = false;
  m.letters['W'].extentsOk = false;

  // A laptop's disk that also starts Linux: Windows' own partitions, then Linux's, made
  // by a tool that counted from sector 63.
  AddAtaDrive(m, 13, "KESTREL KD2000-DUAL", "KD20H0013", "KD03", 0x6003, 0x4000);
  PlaceVolume(m, EfiSystem(13, 2048, 204800, "0000000013e5"));
  AddPartition(m, 13, PartitionTable::Gpt, {206848, 32768, 0, gpt::kMsReserved, false});
  VolumeLayout windows = Gpt(Ntfs('U', 13, 239616));
  windows.sectors = 100000000;
  PlaceVolume(m, windows);
  AddPartition(m, 13, PartitionTable::Gpt, {100239679, 0, 0, gpt::kLinuxFileSystem, false});
  // A USB disk on MBR with an extended container holding Linux and its swap, the swap
  // a track past a boundary.
  AddStorageDrive(m, 14, "SWIFTLY", "PORTA-HDD 2T", 512, 4096);
  VolumeLayout old = Ntfs('X', 14, 2048);
  old.sectors = 4192256;
  PlaceVolume(m, old);
  AddPartition(m, 14, PartitionTable::Mbr, {4196352, 4194304, 0x83, "", true});
  AddPartition(m, 14, PartitionTable::Mbr, {8390719, 2097152, 0x82, "", true});

  // An NVMe SSD whose driver reports its own 16 KiB unit as the physical sector, as Windows
  // 11's does: Y: at 1 MiB, and a volume of virtual machines mounted in C:\VM\, 4 KiB past
  // 101 MiB.
  AddStorageDrive(m, 15, "NVMe", "VOLANTE VX7 2TB", 512, 16384);
  VolumeLayout fast = Gpt(Ntfs('Y', 15, 2048));
  fast.sectors = 204800;
  PlaceVolume(m, fast);
  VolumeLayout machines = Gpt(Ntfs(0, 15, 206856));
  machines.volumeName = "\\\\?\\Volume{5e55a2e1-7a1d-4a7a-8d3b-0000000000f1}\\";
  machines.mountPaths = {"C:\\VM\\"};
  machines.sectors = 2097152;
  PlaceVolume(m, machines);

  // A 4Kn disk: 4096-byte logical and physical sectors, Z: at 1 MiB.
  AddAtaDrive(m, 16, "KESTREL KD6000-4KN", "KD60G0016", "KD07", 0x5000, 0, 4096);
  VolumeLayout native = Gpt(Ntfs('Z', 16, 256));
  native.bootSector = BuildNtfsBootSector(4096, 1, 256, 0x7E55A2E10000005Aull);
  native.sectorsPerCluster = 1;
  native.sectors = 262144;
  PlaceVolume(m, native);

  // Each drive answers as its kind would: the NVMe and USB SSDs without a seek penalty, the
  // hard disks with one; drive 8, an older SATA SSD, answers no seek-penalty request, and
  // says it only in its identity; the USB bridge of drive 4 says nothing.
  for (uint32_t ssd : {5u, 10u, 15u}) SetMedia(m.drives[ssd], true);
  for (uint32_t hdd : {0u, 1u, 2u, 3u, 6u, 7u, 11u, 12u, 13u, 14u, 16u})
    SetMedia(m.drives[hdd], false);
  SetMedia(m.drives[8], true, false);

  Volume& removable = m.letters['I'];
  removable.type = DRIVE_REMOVABLE;
  removable.freeSpaceOk = true;
  removable.sectorsPerCluster = 8;
  removable.bytesPerSector = 512;
  removable.fileSystemOk = true;
  removable.fileSystem = "FAT32";
  m.letters['J'].type = DRIVE_CDROM;  // no medium: the space query fails
  Volume& remote = m.letters['K'];
  remote = removable;
  remote.type = DRIVE_REMOTE;
  remote.fileSystem = "NTFS";
}

}  // namespace sim
