// A small lab of drives and volumes for the demo and the window tests: every verdict
// and every kind of letter the report distinguishes.
#pragma once

#include "sim/machine.h"

namespace sim {

//  drive 0  512e, grid at 0:       C: NTFS at 2048 (aligned, active), D: NTFS at 63 (misaligned)
//  drive 1  512e, sector 0 at 1/8: E: NTFS at 63 (aligned on this grid)
//  drive 2  512 native:            F: FAT32 at 63 (aligned: one logical per physical)
//  drive 3  512e:                  G: FAT32 with 2 KiB clusters (misaligned)
//  drive 4  answers INQUIRY only:  H: NTFS at 2048 (undetermined)
//  drive 5  NVMe, GPT, no ATA identity, 512/4096 from the storage stack:
//                                  L: NTFS at 2048 (aligned), M: NTFS at 1026047 (misaligned)
//  drive 6  8 TB 512e, GPT:        N: NTFS at 5000000000 (aligned, past 2 TiB),
//                                  O: encrypted NTFS at 2048 (aligned)
//  drive 7  512 native, the original of a clone: P: NTFS at 63 (aligned)
//  drive 8  512e, its copy:        Q: the same bytes at 63 (misaligned)
//  drive 9  missing: a gap in the numbering, which ends the drive phase
//  drive 10 a USB SSD Windows shows as fixed, 512/4096 from the storage stack:
//                                  R: exFAT at 2048, cluster heap at 6141 (misaligned)
//  drive 11 512e, dynamic GPT:     T: a data volume at 264192 (aligned), which answers no
//                                  partition request; S: first piece at 1050624 (aligned)
//  drive 12 512e, dynamic GPT:     S: second piece at 2099199 (misaligned): S is misaligned
//                                  (11 and 12 each hold LDM metadata and LDM data partitions)
//  drive 13 512e, GPT, starts Linux too: an EFI system partition at 2048 (FAT32, its data
//                                  area at 5256: aligned) with a volume but neither letter nor
//                                  folder, a Microsoft reserved partition,
//                                  U: NTFS at 239616 (aligned), Linux at 100239679 (misaligned)
//  drive 14 a USB disk, MBR, 512/4096 from the storage stack: X: NTFS at 2048 (aligned), and
//                                  an extended container with Linux at 4196352 (aligned) and
//                                  its swap at 8390719 (misaligned)
//  drive 15 NVMe, GPT, 512/16384 from the storage stack (Windows 11's driver reports the
//                                  device's 16 KiB unit): Y: NTFS at 2048 (aligned), and a
//                                  volume mounted in C:\VM\ at 206856 (misaligned)
//  drive 16 4Kn, GPT, 4096-byte logical and physical sectors: Z: NTFS at 256 (aligned)
//  Every drive has its partition table: a partition for each volume in one piece.
//  I: removable, J: optical without a medium, K: network drive: no rows
//  drive 3 also holds a volume mounted only in the folder C:\SQL\Data\, at 4194367
//  (misaligned); drive 6 an EFI system partition at 34 with neither letter nor folder, its
//  FAT32 data area at 98 (misaligned): no row;
//  drive 2 a fixed V: at 206848 whose partition requests fail, placed by its pieces
//  (aligned), and a fixed W: that answers nothing that could place it: not examined.
//  The machine runs Windows 10 (10.0.19045); every disk answers the storage property
//  queries, so a standard user still gets the verdicts that need no reading. The NVMe and
//  USB SSDs (5, 10, 15) say they pay no seek penalty and take TRIM, the hard disks that they
//  do not; drive 8, an older SATA SSD, says so only in its identity.
void BuildLab(Machine& machine);

}  // namespace sim
