#include "report/text_lines.h"

#include "report/report_words.h"

#include <algorithm>

namespace report {

void AppendFixedWidthLine(std::string& text, const std::vector<std::string>& cells,
                          const std::vector<int>& widths, size_t gap) {
  for (size_t c = 0; c < cells.size(); ++c) {
    text += cells[c];
    size_t width = c < widths.size() ? static_cast<size_t>(widths[c]) : 0;
    if (c + 1 < cells.size()) width = std::max(width, cells[c].size() + gap);
    if (cells[c].size() < width) text.append(width - cells[c].size(), ' ');
  }
  text += '\n';
}

namespace {

// "64 (1 sector, 512 bytes later)"
std::string Later(const Advice& advice) {
  return Decimal(*advice.moveTo) + " (" + Count(*advice.moveBy) + ", " +
         Count(*advice.moveByBytes) + " later)";
}

std::string AfterShrinking(const Room& room) {
  return " after shrinking it by " + Count(room.shrinkBy);
}

// The format line: the cluster size where the clusters are too small; otherwise at least
// the unit, which today's formatters lay the data area out on.
std::string FormatWords(const Advice& advice) {
  if (advice.clusterBytes)
    return "format with clusters of " + Decimal(*advice.clusterBytes) + " bytes";
  return "format it again, with clusters of at least " + Decimal(advice.clusterUnit) + " bytes";
}

}  // namespace

std::string AdviceLines(const std::optional<Advice>& advice) {
  std::string lines;
  if (!advice) return lines;
  if (advice->format) lines += "    " + FormatWords(*advice) + "\n";
  if (!advice->moveTo) return lines;
  // Each start with its own room: the first that aligns it, then the first on 1 MiB.
  const Room& first = advice->moveToRoom;
  const bool same = advice->moveToMiB == advice->moveTo;
  std::string line = first.fit == Fit::NoRoom ? "    no room at sector " : "    move to sector ";
  line += Later(*advice);
  if (same) line += first.fit == Fit::Shrinks ? ", on 1 MiB," : ", on 1 MiB";
  if (first.fit == Fit::Shrinks) line += AfterShrinking(first);
  if (advice->moveToMiB && !same) {
    const Room& mib = advice->moveToMiBRoom;
    const std::string at = Decimal(*advice->moveToMiB);
    if (mib.fit == Fit::NoRoom)
      line += "; no room at " + at + ", on 1 MiB";
    else
      line += (first.fit == Fit::NoRoom ? "; move to " : ", or to ") + at + " on 1 MiB" +
              (mib.fit == Fit::Shrinks ? AfterShrinking(mib) : "");
  }
  return lines + line + "\n";
}

std::string AdviceSentence(const Advice& advice, SectorSize sectorSize) {
  const auto mib = [&](Sectors sector) {
    return Decimal(sector) + " (" + Decimal(sectorSize.Of(sector).value / kMiB) + " MiB)";
  };
  // The start it names has room, or says what it costs: the 1 MiB start where it fits, else
  // the first aligning start where it fits, else that start with its shrink.
  std::string move, after;
  bool namedMiB = false;
  const Fit first = advice.moveToRoom.fit;
  if (advice.moveToMiB && advice.moveToMiBRoom.fit == Fit::Fits) {
    move = "moving its start to sector " + mib(*advice.moveToMiB);
    namedMiB = true;
  } else if (advice.moveTo && first != Fit::NoRoom) {
    const bool unknown = first == Fit::Unknown;
    namedMiB = unknown && advice.moveToMiB;
    move = "moving its start to sector " +
           (namedMiB ? mib(*advice.moveToMiB) : Decimal(*advice.moveTo));
    if (first == Fit::Shrinks) after = "," + AfterShrinking(advice.moveToRoom);
    if (unknown) after = "; whether it has room there is not known";
  } else if (advice.moveTo) {
    move = "moving its start to sector " + Decimal(*advice.moveTo);
    after = ", but there is no room there";
  }
  std::vector<std::string> steps;
  if (advice.format)
    steps.push_back(advice.clusterBytes ? "formatting it with clusters of " +
                                              Decimal(*advice.clusterBytes) + " bytes"
                                        : "formatting it again with clusters of at least " +
                                              Decimal(advice.clusterUnit) + " bytes");
  if (!move.empty()) steps.insert(steps.begin(), move);
  if (steps.empty()) return "";
  std::string sentence = steps.front();
  if (steps.size() > 1) sentence += " and " + steps.back();
  sentence += " would align it" + after;
  if (advice.moveToMiB && !namedMiB && advice.moveToMiBRoom.fit == Fit::NoRoom &&
      advice.moveToMiB != advice.moveTo)
    sentence += "; there is no room at " + mib(*advice.moveToMiB);
  sentence[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(sentence[0])));
  return sentence + ".";
}

}  // namespace report
