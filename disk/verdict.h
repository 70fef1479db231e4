// The verdict on a volume, a piece of one, or a partition, why one could not be judged, and
// why a volume could not be examined at all.
#pragma once

enum class Verdict { Aligned, Misaligned, Undetermined };

// Why a volume, a piece or a partition could not be judged.
enum class Undetermined {
  None,                     // it was judged
  DataAreaNeedsRights,      // FAT and exFAT: the boot sector takes administrative rights to read
  NoGrid,                   // its drive reported nothing about its physical sectors
  NoDrive,                  // no drive was found to hold it
  SearchNeedsRights,        // it named no disk, and the drive search takes administrative rights
  DataAreaUnread,           // its boot sector did not say where its clusters begin
  BootSectorUnread,         // a partition that holds FAT: its boot sector could not be read
  SectorSizes,              // the volume and its drive (or the drive's own answers) disagree
  FirstSectorPastPhysical,  // the drive's word 209 puts LBA 0 a whole physical sector in or more
  BootSectorSize,           // an image's partition: its boot sector counts sectors of another size
};

// What kept the probe from placing a volume: the first of these it met, in the order it
// asks. Such a volume can have no row.
enum class ProbeFailure {
  None,            // placed: its start, its disk (or that none was found), its data area
  DriveType,       // the letter is no longer a local volume
  Sizes,           // its sector and cluster sizes could not be read
  DeviceOpen,      // the volume device did not open
  PartitionStart,  // neither the partition requests nor the disk extents gave its start
  FirstSector,     // its first sector could not be read, or cannot hold its file system's fields
};
