#include "report/report_free.h"

#include "report/report_words.h"

namespace report {

const char* FreeBlockWords(FreeBlock blocked, PartitionStyle style) {
  switch (blocked) {
    case FreeBlock::None:
      return nullptr;
    case FreeBlock::TableFull:
      return style == PartitionStyle::Gpt ? "every entry of its table is used"
                                          : "the table's four entries are used";
    case FreeBlock::PastMbrReach:
      return "past the 2^32 sectors an MBR reaches: convert the disk to GPT";
    case FreeBlock::OtherVolumes:
      return "a dynamic disk's or a storage pool's free space lies in its database, not its "
             "table: not read";
    case FreeBlock::TooSmall:
      return "no room after the record a logical partition needs";
  }
  return nullptr;
}

namespace {

std::optional<uint64_t> At(const std::optional<Sectors>& s) {
  return s ? std::optional<uint64_t>(s->value) : std::nullopt;
}

}  // namespace

void FreeMembers(JsonWriter& json, const FreeRegion& r, PartitionStyle style) {
  json.Member("start", r.range.start.value);
  json.Member("length", r.range.length.value);
  json.Member("logical", r.logical);
  json.Member("head", r.head);
  json.Member("onGrid", r.onGrid);
  json.Member("onMiB", r.onMiB);
  json.Member("gridStart", At(r.gridStart));
  json.Member("gridRoom", r.gridRoom.value);
  json.Member("mibStart", At(r.mibStart));
  json.Member("mibRoom", r.mibRoom.value);
  json.Member("windowsStart", At(r.windowsStart));
  json.Member("canCreate", r.blocked == FreeBlock::None);
  const char* why = FreeBlockWords(r.blocked, style);
  json.Member("reason", why ? std::optional<std::string>(why) : std::nullopt);
}

void FreeMember(JsonWriter& json, const std::optional<std::vector<FreeRegion>>& regions,
                PartitionStyle style) {
  json.Key("free");
  if (!regions) return json.Null();
  json.BeginArray();
  for (const FreeRegion& r : *regions) {
    json.BeginObject();
    FreeMembers(json, r, style);
    json.EndObject();
  }
  json.EndArray();
}

std::string FreeLines(const std::vector<FreeRegion>& regions, SectorSize size,
                      const std::string& lead, bool everySector) {
  std::string text;
  for (const FreeRegion& r : regions) {
    if (r.blocked != FreeBlock::None || !WorthShowing(r, size)) continue;
    const bool onGrid = r.gridStart && !everySector;
    if (!onGrid && !r.mibStart) continue;
    const Sectors aligned = onGrid ? *r.gridStart : *r.mibStart;
    const Sectors room = onGrid ? r.gridRoom : r.mibRoom;
    const char* where = everySector      ? (r.onMiB ? ", on 1 MiB" : ", off 1 MiB")
                        : r.onGrid == false ? ", off the grid"
                        : r.onGrid          ? ", on the grid"
                                            : ", no grid known";
    text += lead + Decimal(r.range.length) + " sectors free from sector " +
            Decimal(r.range.start) + (r.logical ? ", inside the extended partition" : "") + where +
            "\n";
    text += std::string(lead.size(), ' ') + "  start a partition there at sector " +
            Decimal(aligned) + " (" + (onGrid ? "" : "on 1 MiB, ") +
            Decimal(size.Of(room).value >> 20) + " MiB of room)";
    if (r.windowsStart)
      text += std::string(r.windowsStart == aligned ? "; Windows' own tools start it there"
                                                    : "; Windows' own tools would start it at ") +
              (r.windowsStart == aligned ? "" : Decimal(*r.windowsStart)) +
              (r.logical ? ", 1 MiB after its record" : "");
    text += "\n";
  }
  return text;
}

}  // namespace report
