// What a sweep of lists and folders found beside its disks: the roots, how many disk files,
// which were folded under which disk, which were no disk, which were not examined and why,
// and the links it met; in the text, the JSON (`sweep`) and its record in JSON lines.
#pragma once

#include <optional>
#include <string>

#include "image/sweep.h"
#include "json/json_writer.h"

namespace report {

// The `sweep` object's members (docs/report.schema.json).
void SweepMembers(JsonWriter& json, const Sweep& sweep, size_t images);
// The text's section, after the images.
std::string SweepText(const Sweep& sweep, size_t images);
// "parent", "extent", "change-tracking", "in-use-parent".
const char* FoldedWord(FoldedAs as);
// Why a run over disk files judged nothing: its folders hold none, or its lists name none.
std::string NothingWords(const std::optional<Sweep>& sweep);

}  // namespace report
