#include "sim/lab.h"

#include "sim/builders.h"

namespace sim {

namespace {

void Ntfs(Machine& m, char letter, int drive, uint32_t start) {
  VolumeSpec v;
  v.letter = letter;
  v.drive = drive;
  v.startSector = start;
  v.fileSystem = "NTFS";
  v.bootSector =
      BuildNtfsBootSector(512, 8, start, 0x7E55A2E1000000ull + static_cast<uint64_t>(letter));
  v.sectorsPerCluster = 8;
  PlaceVolume(m, v);
}

void Fat32(Machine& m, char letter, int drive, uint32_t start, uint8_t sectorsPerCluster) {
  FatParams p;
  p.sectorsPerCluster = sectorsPerCluster;
  p.reservedSectors = 32;
  p.fats = 2;
  p.rootEntries = 0;
  p.fatSize32 = 1000;
  p.hiddenSectors = start;
  p.totalSectors = 2000000;
  VolumeSpec v;
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
  AddAtaDrive(m, 0, "KESTREL KD4000-512E", "KD40A0001", "KD01", 0x6003, 0x4000);
  Ntfs(m, 'C', 0, 2048);
  Ntfs(m, 'D', 0, 63);

  AddAtaDrive(m, 1, "KESTREL KD2000-SHIFT", "KD20B0002", "KD02", 0x6003, 0x4001);
  Ntfs(m, 'E', 1, 63);

  AddAtaDrive(m, 2, "ORMOLU OM500 CLASSIC", "OM5C0003", "OM1.4", 0x4000, 0);
  Fat32(m, 'F', 2, 63, 8);

  AddAtaDrive(m, 3, "KESTREL KD1000-512E", "KD10C0004", "KD03", 0x6003, 0x4000);
  Fat32(m, 'G', 3, 2048, 4);  // data at 2048 + 2032, on the grid; clusters of 2 KiB

  Drive& bridge = m.drives[4];  // a USB bridge that passes no ATA commands
  bridge.open = Open::Ok;
  bridge.scsi.supported = true;
  bridge.scsi.inquiry = BuildInquiry("VITRELLE", "PORTA-DISK 2T");
  bridge.scsi.returned = 98;
  Ntfs(m, 'H', 4, 2048);

  Letter& removable = m.letters['I'];
  removable.type = DRIVE_REMOVABLE;
  removable.freeSpaceOk = true;
  removable.sectorsPerCluster = 8;
  removable.bytesPerSector = 512;
  removable.fileSystemOk = true;
  removable.fileSystem = "FAT32";
  m.letters['J'].type = DRIVE_CDROM;  // no medium: the space query fails
  Letter& remote = m.letters['K'];
  remote = removable;
  remote.type = DRIVE_REMOTE;
  remote.fileSystem = "NTFS";
}

}  // namespace sim
