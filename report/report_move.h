// The move of a disk or a disk file to the other logical sector size in each output: its
// words, its JSON member (docs/report.schema.json's sectorSizeMove), its text lines, and the
// readiness for a 4Kn disk that --target 4kn asks.
#pragma once

#include <optional>
#include <string>

#include "disk/sector_size_move.h"
#include "json/json_writer.h"

namespace report {

// "ready", "needs-table-rewrite", "needs-reformat", "not-ready".
const char* MoveVerdictWord(MoveVerdict verdict);
// What one item found, with the value read.
std::string MoveItemWords(const MoveItem& item, uint32_t to);
// "its move to 4096-byte sectors: needs-reformat", or why nothing tells.
std::string MoveSummary(const std::optional<SectorSizeMove>& move);
// Its items' words, one after another ("; " between): the CSV's field.
std::string MoveItemList(const std::optional<SectorSizeMove>& move);
// `sectorSizeMove`: the move, or null where nothing tells whether it can move.
void SectorSizeMoveMember(JsonWriter& json, const std::optional<SectorSizeMove>& move);
// The text's lines of its items, each beginning with `lead`.
std::string MoveItemLines(const std::optional<SectorSizeMove>& move, const std::string& lead);

}  // namespace report
