// The verdict on a volume, a piece of one, or a partition, and why one could not be judged.
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
