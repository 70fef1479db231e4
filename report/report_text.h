// The report as text: the clipboard's fixed-width table, the console report, the tips'
// sentences, and the exit status that sums the verdicts up.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "report/findings.h"
#include "report/report_words.h"
#include "report/text_lines.h"

namespace report {

// The report's columns: drive letter, drive number, drive name, data start.
const std::vector<int>& VolumeWidths();  // 8, 8, 32, 12
using VolumeHeadings = std::array<std::string, 4>;
std::array<std::string, 4> VolumeCells(const ScanRow& row);

// The line the text report starts with when it ran without raw access; empty with it.
std::string ModeLine(const RunMode& mode);

// The console report: the volume table with its verdicts. A volume over several disks is
// followed by one line per piece ("  1/2", its disk, that disk's name, its data start and
// its own verdict); an undetermined volume by a line that says why. Under the table, each
// fixed volume that was not examined, and why. Last, when the system's list of volumes did
// not come whole, a line that says so.
std::string VolumeText(const VolumeHeadings& headings, const std::vector<ScanRow>& rows,
                       const DriveTable& drives, const std::vector<SkippedVolume>& skipped,
                       const VolumeListing& listing = {});
// The partitions of the listed drives that have no row, after the volumes: drive, number,
// type, start, length, verdict, and what Windows shows on it. Empty when there is none.
std::string PartitionText(const DriveTable& drives);
// For Device Information's tip: one sentence for each misaligned partition of the drive
// that has no row, one per line; empty when there is none.
std::string PartitionTip(const DriveInfo& drive);
// For Device Information's tip: the largest free region that starts off the grid, where a
// partition of 1 MiB or more can still be made, and where one made there should start;
// empty for none.
std::string FreeSpaceNote(const DriveInfo& drive);
// For Device Information's tip: what a physical sector past 4 KiB means ("This drive
// reports 16384-byte physical sectors; Windows writes in 4096-byte units."); empty for
// any other drive.
std::string PhysicalSectorNote(const DriveInfo& drive);
// The drive table: number, name, serial, firmware, grid, physical sector, its source.
std::string DriveText(const VolumeHeadings& headings, const DriveTable& drives);

// The console's text: a machine's volumes, its partitions without a row and, with
// `drives`, its drive table; then each disk file's section.
std::string Text(const Findings& findings, const VolumeHeadings& headings, bool drives);

}  // namespace report
