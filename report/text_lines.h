// The text's building blocks, shared by the volumes', the partitions' and the disk files'
// sections: fixed-width lines, and the advice in words.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "disk/advice.h"
#include "disk/units.h"

namespace report {

// Appends one line: each cell followed by spaces up to its column's width (a longer cell
// is never cut), then a line feed. With a gap, every cell but the last is followed by at
// least that many spaces, so that a long cell never runs into the next.
void AppendFixedWidthLine(std::string& text, const std::vector<std::string>& cells,
                          const std::vector<int>& widths, size_t gap = 0);

// The console's lines under a row the advice applies to: first whether to format it again
// ("    format with clusters of 4096 bytes"), then where to move it, each start with its
// own room: "    move to sector 64 (1 sector, 512 bytes later) after shrinking it by 1
// sector; no room at 2048, on 1 MiB". Empty without advice.
std::string AdviceLines(const std::optional<Advice>& advice);
// The row tip's sentence: the 1 MiB start where it fits, else the first aligning start
// where it fits, else that start with its shrink; and formatting again where advised. It
// names no start without its room. Empty without advice.
std::string AdviceSentence(const Advice& advice, SectorSize sectorSize);

}  // namespace report
