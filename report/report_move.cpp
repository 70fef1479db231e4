#include "report/report_move.h"

#include "report/report_words.h"

namespace report {

namespace {

const char* KindWord(MoveItemKind kind) {
  switch (kind) {
    case MoveItemKind::StartOff4K: return "start-off-4k";
    case MoveItemKind::LengthOff4K: return "length-off-4k";
    case MoveItemKind::SizeOff4K: return "size-off-4k";
    case MoveItemKind::BelowFirstUsable: return "below-first-usable";
    case MoveItemKind::InBackupTable: return "in-backup-table";
    case MoveItemKind::RecordOff4K: return "record-off-4k";
    case MoveItemKind::TableRewrite: return "table-rewrite";
    case MoveItemKind::FileSystemRecords: return "file-system-records";
    case MoveItemKind::EspTooSmall: return "esp-too-small";
    case MoveItemKind::BootsThroughBios: return "boots-through-bios";
    case MoveItemKind::FileSystemUnread: return "file-system-unread";
    case MoveItemKind::GuestSectorsDiffer: return "guest-sectors-differ";
  }
  return "";
}

// The kinds that name a partition (0: a file system that fills a disk without a table).
bool NamesPartition(MoveItemKind kind) {
  return kind == MoveItemKind::StartOff4K || kind == MoveItemKind::LengthOff4K ||
         kind == MoveItemKind::BelowFirstUsable || kind == MoveItemKind::InBackupTable ||
         kind == MoveItemKind::FileSystemRecords || kind == MoveItemKind::EspTooSmall ||
         kind == MoveItemKind::FileSystemUnread;
}

// The kinds whose value was read: a byte, a size, a recorded size.
bool HasValue(MoveItemKind kind) {
  return kind != MoveItemKind::TableRewrite && kind != MoveItemKind::BootsThroughBios &&
         kind != MoveItemKind::FileSystemUnread;
}

std::string PartitionWords(uint32_t partition) {
  return partition == 0 ? "the file system that fills the disk" : "partition " + std::to_string(partition);
}

std::string RecordsWords(const MoveItem& item, uint32_t to) {
  const std::string who = PartitionWords(item.partition) + " (" + item.fileSystem + ")";
  if (to == 512) return who + " records " + Decimal(item.value) + "-byte sectors";
  if (item.fileSystem == "ext")
    return who + " has " + Decimal(item.value) + "-byte blocks, which a 4Kn device cannot "
           "mount: it must be formatted again";
  return who + " records " + Decimal(item.value) + "-byte sectors: it must be formatted again";
}

}  // namespace

const char* MoveVerdictWord(MoveVerdict verdict) {
  switch (verdict) {
    case MoveVerdict::Ready: return "ready";
    case MoveVerdict::NeedsTableRewrite: return "needs-table-rewrite";
    case MoveVerdict::NeedsReformat: return "needs-reformat";
    case MoveVerdict::NotReady: return "not-ready";
  }
  return "";
}

std::string MoveItemWords(const MoveItem& item, uint32_t to) {
  const std::string at = Decimal(item.value);
  const std::string who = PartitionWords(item.partition);
  switch (item.kind) {
    case MoveItemKind::StartOff4K:
      return who + " starts at byte " + at + ", not a multiple of 4096";
    case MoveItemKind::LengthOff4K:
      return who + " ends at byte " + at + ", not a multiple of 4096";
    case MoveItemKind::SizeOff4K:
      return "the disk's size, " + at + " bytes, is not a multiple of 4096";
    case MoveItemKind::BelowFirstUsable:
      return who + " starts at byte " + at + ", below byte 24,576, the first a GPT of " +
             "4096-byte sectors leaves usable";
    case MoveItemKind::InBackupTable:
      return who + " ends at byte " + at + ", inside the last 20,480 bytes, where a GPT of " +
             "4096-byte sectors keeps its backup";
    case MoveItemKind::RecordOff4K:
      return "the record of a logical partition at byte " + at + " does not lie on 4 KiB " +
             "outside every partition";
    case MoveItemKind::TableRewrite:
      return "the partition table must be written again in " + std::to_string(to) +
             "-byte sectors; the data can then move block for block";
    case MoveItemKind::FileSystemRecords:
      return RecordsWords(item, to);
    case MoveItemKind::EspTooSmall:
      return who + ", the EFI system partition, is " + at + " bytes, below the 272,629,760 " +
             "bytes (260 MiB) one on a 4Kn disk needs";
    case MoveItemKind::BootsThroughBios:
      return "boots through BIOS: a 4Kn disk is started by UEFI firmware only";
    case MoveItemKind::FileSystemUnread:
      return who + ": the sector size what it holds records was not read";
    case MoveItemKind::GuestSectorsDiffer:
      return "its container names 512-byte sectors, but its guest is laid out in " + at +
             "-byte ones: the disk is already unreadable in its guest";
  }
  return "";
}

std::string MoveSummary(const std::optional<SectorSizeMove>& move) {
  if (!move) return "nothing it holds tells whether it can move to the other sector size";
  return "its move to " + std::to_string(move->to) + "-byte sectors: " + MoveVerdictWord(move->verdict);
}

std::string MoveItemList(const std::optional<SectorSizeMove>& move) {
  std::string list;
  if (move)
    for (const MoveItem& item : move->items) list += (list.empty() ? "" : "; ") + MoveItemWords(item, move->to);
  return list;
}

void SectorSizeMoveMember(JsonWriter& json, const std::optional<SectorSizeMove>& move) {
  json.Key("sectorSizeMove");
  if (!move) return json.Null();
  json.BeginObject();
  json.Member("to", move->to);
  json.Member("verdict", MoveVerdictWord(move->verdict));
  json.Key("items");
  json.BeginArray();
  for (const MoveItem& item : move->items) {
    json.BeginObject();
    json.Member("kind", KindWord(item.kind));
    json.Member("partition", NamesPartition(item.kind) ? std::optional<uint32_t>(item.partition) : std::nullopt);
    json.Member("value", HasValue(item.kind) ? std::optional<uint64_t>(item.value) : std::nullopt);
    json.Member("fileSystem", item.fileSystem.empty() ? std::nullopt : std::optional<std::string>(item.fileSystem));
    json.Member("words", MoveItemWords(item, move->to));
    json.EndObject();
  }
  json.EndArray();
  json.EndObject();
}

std::string MoveItemLines(const std::optional<SectorSizeMove>& move, const std::string& lead) {
  std::string lines;
  if (move)
    for (const MoveItem& item : move->items) lines += lead + MoveItemWords(item, move->to) + "\n";
  return lines;
}

}  // namespace report
