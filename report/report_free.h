// The free space of a disk or a disk file in each output: each region's members in the JSON
// and its records, its CSV line, its words, and the text's section of the regions worth a
// partition.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "disk/free_space.h"
#include "disk/partition_table.h"
#include "json/json_writer.h"

namespace report {

// Why no partition can be made there, for a table of `style`; none where one can.
const char* FreeBlockWords(FreeBlock blocked, PartitionStyle style);
// One region's members (docs/report.schema.json's freeRegion).
void FreeMembers(JsonWriter& json, const FreeRegion& region, PartitionStyle style);
// `free`: the regions, or null where none were found (no table, a sector size untold).
void FreeMember(JsonWriter& json, const std::optional<std::vector<FreeRegion>>& regions,
                PartitionStyle style);
// The lines of the regions with at least 1 MiB of room at an aligned start: where each
// starts, where a partition on the grid and one made by Windows' tools would start; each
// beginning with `lead` (a drive's number, or spaces under an image). Where every sector
// is on the grid (`everySector`: a 4Kn disk) they speak of 1 MiB only.
std::string FreeLines(const std::vector<FreeRegion>& regions, SectorSize size,
                      const std::string& lead, bool everySector);

}  // namespace report
