// The report as one JSON document, for scripts.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "report/findings.h"
#include "report/report_words.h"

class JsonWriter;

namespace report {

// Parts of the document the image report writes too: why a partition is undetermined (null
// for a judged one), and "advice" with what would align it.
// The shape of the document: raised when a key changes meaning or goes away
// (docs/report.schema.json describes it).
constexpr uint32_t kSchemaVersion = 1;
// "program", "version", "schemaVersion" and "computer": what every document begins with.
void Heading(JsonWriter& json, const RunMode& mode);
std::optional<std::string> ReasonOf(Undetermined reason);
void PartitionTypeMembers(JsonWriter& json, const Partition& p);  // number, type, typeName
// verdict, reason, onMiB and advice
void PartitionVerdictMembers(JsonWriter& json, const Partition& p);
// A text, or null where it is empty.
std::optional<std::string> Named(const std::string& text);
void AdviceMember(JsonWriter& json, const std::optional<Advice>& advice);

// The members of each object the report's lists hold, without its braces: the JSON-lines
// records carry the same keys.
void VolumeMembers(JsonWriter& json, const ScanRow& row);
void ExtentMembers(JsonWriter& json, const PieceVerdict& piece);
void SkippedMembers(JsonWriter& json, const SkippedVolume& volume);
void PartitionMembers(JsonWriter& json, const Partition& p, const DriveLayout& layout);
// A drive's sectorSizeMove, and its readiness for 4kn where that is named (`targets`).
void DriveMoveMembers(JsonWriter& json, const MachineFindings& machine, DiskNumber number,
                      bool to4Kn);

// The members of a disk file's object, and of its partitions' (the records carry them too).
void ImageMembers(JsonWriter& json, const ImageFinding& finding);
void ImagePartitionMembers(JsonWriter& json, const ImagePartition& ip, SectorSize size);

// The program, its version and how it ran; then a machine's volumes, the volumes not
// examined and the drives with their partitions; and the disk files checked.
std::string Json(const Findings& findings);

}  // namespace report
