#include "report/report_lines.h"

#include "platform/volume_names.h"
#include "report/report_images.h"
#include "report/report_move.h"
#include "report/report_sweep.h"
#include "report/report_text.h"

namespace report {

namespace {

// The first thing the advice says to do, short: "move to 64 after shrinking 1 sector",
// "format with 4096-byte clusters"; empty where it says nothing.
std::string FirstAdvice(const std::optional<Advice>& advice) {
  if (!advice) return "";
  if (advice->format)
    return advice->clusterBytes ? "format with " + Decimal(*advice->clusterBytes) + "-byte clusters"
                                : "format again with clusters of at least " +
                                      Decimal(advice->clusterUnit) + " bytes";
  const auto move = [](Sectors to, const Room& room) {
    return "move to " + Decimal(to) +
           (room.fit == Fit::Shrinks ? " after shrinking " + Count(room.shrinkBy) : "");
  };
  if (advice->moveTo && advice->moveToRoom.fit != Fit::NoRoom)
    return move(*advice->moveTo, advice->moveToRoom);
  if (advice->moveToMiB && advice->moveToMiBRoom.fit != Fit::NoRoom)
    return move(*advice->moveToMiB, advice->moveToMiBRoom);
  return advice->moveTo ? "no room to move it" : "";
}

// "D: disk 0 at 63: move to 64 after shrinking 1 sector"; the place where the advice moves
// it or says nothing, which leaves the place to read.
std::string Item(const std::string& name, const std::string& where, std::optional<Sectors> at,
                 const std::optional<Advice>& advice) {
  const std::string first = FirstAdvice(advice);
  const bool formats = advice && advice->format;
  std::string item = name + where;
  if (at && !formats) item += " at " + Decimal(*at);
  return first.empty() ? item : item + ": " + first;
}

std::string Disk(std::optional<DiskNumber> disk) { return disk ? " disk " + Decimal(*disk) : ""; }

// Items joined with "; " after `head`, cut at the last whole item that leaves room for
// "; and N more" within the line's limit.
std::string Joined(std::string head, const std::vector<std::string>& items) {
  for (size_t i = 0; i < items.size(); ++i) {
    const size_t rest = items.size() - i - 1;
    const std::string more = rest > 0 ? "; and " + std::to_string(rest) + " more" : "";
    const std::string cut = "; and " + std::to_string(items.size() - i) + " more";
    if (head.size() + 2 + items[i].size() + more.size() > kMostLineCharacters) return head + cut;
    head += "; " + items[i];
  }
  return head;
}

std::string Of(size_t n, const Tally& t) {
  return std::to_string(n) + " of " + Count(t.total, t.one, t.many);
}

std::string Of(size_t n, const ImageCounts& c) {
  return std::to_string(n) + " of " + Count(c.total, "image", "images");
}

// "; 1 of 2 images not ready for azure", "; 2 of 3 disks not ready for 4kn", with --target.
std::string TargetClause(const Tally& t) {
  std::string clause;
  for (const TargetCount& c : t.targets)
    clause += "; " + std::to_string(c.notReady) + " of " +
              (c.images ? Count(c.of, "image", "images") : Count(c.of, "disk", "disks")) +
              " not ready for " + c.target;
  return clause;
}

// What the line counts: "2 of 21 volumes", or for images "1 of 2 images; 0 of 3 partitions".
std::string Counted(const Tally& t, bool misaligned) {
  if (!t.images) return Of(misaligned ? t.misaligned.size() : t.undetermined.size(), t) + TargetClause(t);
  const ImageCounts& c = *t.images;
  return Of(misaligned ? c.misaligned : c.undetermined, c) + "; " +
         Of(misaligned ? c.partitionsMisaligned : c.partitionsUndetermined, t) + TargetClause(t);
}

std::string Perfdata(const Tally& t, bool critical) {
  const char* warning = critical ? ";;0;0; " : ";0;;0; ";
  const size_t misaligned = t.images ? t.images->partitionsMisaligned : t.misaligned.size();
  const size_t undetermined = t.images ? t.images->partitionsUndetermined : t.undetermined.size();
  std::string data = "misaligned=" + std::to_string(misaligned) + warning +
                     "undetermined=" + std::to_string(undetermined) + ";;;0; " + t.many + "=" +
                     std::to_string(t.total) + ";;;0;";
  if (t.images)
    data += " images_misaligned=" + std::to_string(t.images->misaligned) + warning +
            "images_undetermined=" + std::to_string(t.images->undetermined) +
            ";;;0; images=" + std::to_string(t.images->total) + ";;;0;";
  if (!t.targets.empty()) data += " target_not_ready=" + std::to_string(t.notReadyForAny) + ";;;0;";
  return data;
}

std::string Names(const std::vector<std::string>& names) {
  std::string list;
  for (const std::string& name : names) list += (list.empty() ? "" : ", ") + name;
  return list;
}

void MachineItems(Tally& t, const MachineFindings& machine) {
  t.total += machine.rows.size() + machine.skipped.size();
  for (const ScanRow& row : machine.rows) {
    const std::string name = Printable(row.name.c_str());
    if (row.verdict == Verdict::Misaligned) {
      t.misaligned.push_back(Item(name, Disk(row.drive), row.dataStart, row.advice));
      t.misalignedNames.push_back(name);
    } else if (row.verdict == Verdict::Undetermined) {
      const char* why = UndeterminedWords(row.reason);
      t.undetermined.push_back(name + Disk(row.drive) + (why ? std::string(": ") + why : ""));
      t.undeterminedNames.push_back(name);
    }
  }
  for (const SkippedVolume& v : machine.skipped) {
    const std::string name = Printable(v.name.c_str());
    t.undetermined.push_back(name + " not examined: " + FailureWords(v.reason) +
                             (v.error != 0 ? " (" + WindowsErrorWords(v.error) + ")" : ""));
    t.undeterminedNames.push_back(name);
  }
  const VolumeListing& listing = machine.listing;
  if (!listing.complete)
    t.incomplete = "the list of volumes is incomplete (" +
                   (listing.error != 0 ? WindowsErrorWords(listing.error)
                                       : "more than " + std::to_string(kMostVolumes) + " volumes") +
                   ")";
}

// The images and the partitions inside them: counted as partitions, each image by its own
// verdict beside.
void ImageItems(Tally& t, const std::vector<ImageFinding>& images) {
  t.one = "partition";
  t.many = "partitions";
  ImageCounts c;
  for (const ImageFinding& finding : images) {
    const ImageCheck& image = finding.check;
    const std::string path = Printable(image.path.c_str());
    const ImageVerdict verdict = image.Judged();
    ++c.total;
    if (verdict.verdict == Verdict::Misaligned) {
      ++c.misaligned;
      t.misalignedNames.push_back(path);
    } else if (verdict.verdict == Verdict::Undetermined) {
      ++c.undetermined;
      t.undeterminedNames.push_back(path);
    }
    // The image's own item, where the image and not a partition inside says it.
    switch (verdict.reason) {
      case ImageReason::Refused:
        t.undetermined.push_back(path + ": refused (" + RefusalCode(image.refusal) + ")");
        break;
      case ImageReason::TableUnread:
      case ImageReason::NothingInFirstSector:
      case ImageReason::SectorSizeUnknown:
      case ImageReason::HoldsOtherVolumes:
        t.undetermined.push_back(path + ": " + ImageReasonWords(verdict));
        break;
      case ImageReason::BlocksOff4K:
        t.misaligned.push_back(path + ": blocks off 4 KiB in the file");
        break;
      default:
        break;
    }
    for (const ImagePartition& ip : image.partitions) {
      const Partition& p = ip.partition;
      if (!p.verdict) continue;
      ++t.total;
      const std::string where = path + " partition " + std::to_string(p.number);
      if (*p.verdict == Verdict::Misaligned) {
        ++c.partitionsMisaligned;
        t.misaligned.push_back(Item(where, "", ip.dataStart, p.advice));
      } else if (*p.verdict == Verdict::Undetermined) {
        ++c.partitionsUndetermined;
        const char* why = UndeterminedWords(p.reason);
        t.undetermined.push_back(where + (why ? std::string(": ") + why : ""));
      }
    }
  }
  t.images = c;
}

// The disk files a sweep found and did not examine, as undetermined images; the folders it
// could not list, as an incomplete list.
void SweepItems(Tally& t, const Sweep& sweep) {
  for (const SweepNote& note : sweep.notExamined) {
    const std::string path = Printable(note.path.c_str());
    if (note.folder) {
      if (t.incomplete.empty())
        t.incomplete = "the sweep is incomplete (" + path + ": " + note.why + ")";
      continue;
    }
    ++t.images->total;
    ++t.images->undetermined;
    t.undetermined.push_back(path + " not examined: " + note.why);
    t.undeterminedNames.push_back(path);
  }
}

// Each target's count: the machine's disks (4kn) or the images, not ready for it.
void TargetItems(Tally& t, const Findings& findings) {
  for (Target target : findings.targets) t.targets.push_back({TargetWord(target), 0, 0, !findings.machine});
  const auto count = [&](const std::vector<bool>& ready) {
    bool any = false;
    for (size_t i = 0; i < ready.size(); ++i) {
      ++t.targets[i].of;
      t.targets[i].notReady += ready[i] ? 0 : 1;
      any = any || !ready[i];
    }
    t.notReadyForAny += any ? 1 : 0;
  };
  if (findings.machine)
    for (DiskNumber number : findings.machine->drives->Listed())
      count({DriveReadyFor4Kn(*findings.machine, number)});
  for (const ImageFinding& finding : findings.images) {
    std::vector<bool> ready;
    for (const TargetCheck& target : finding.targets) ready.push_back(target.ready);
    count(ready);
  }
}

}  // namespace

Tally TallyOf(const Findings& findings) {
  Tally t;
  if (!findings.targets.empty()) TargetItems(t, findings);
  if (findings.machine) MachineItems(t, *findings.machine);
  if (findings.ChecksImages()) ImageItems(t, findings.images);
  if (findings.sweep) SweepItems(t, *findings.sweep);
  if (findings.NothingToCheck()) t.nothing = NothingWords(findings.sweep);
  return t;
}

std::string SummaryLine(const Tally& t) {
  std::string line;
  const bool misaligned = t.images ? t.images->misaligned > 0 : !t.misaligned.empty();
  const bool undetermined = t.images ? t.images->undetermined > 0 : !t.undetermined.empty();
  if (!t.incomplete.empty())
    line = Joined("INCOMPLETE: " + t.incomplete + "; " + Of(t.misaligned.size(), t) + " misaligned",
                  t.misaligned);
  else if (misaligned)
    line = Joined("MISALIGNED: " + Counted(t, true), t.misaligned);
  else if (undetermined)
    line = Joined("UNDETERMINED: " + Counted(t, false), t.undetermined);
  else if (!t.nothing.empty())
    line = "UNDETERMINED: " + t.nothing;
  else if (t.images)
    line = "OK: " + Count(t.images->total, "image", "images") + " aligned; " +
           (t.total == 0 ? std::string("no partition") : Count(t.total, t.one, t.many)) +
           TargetClause(t);
  else if (t.total == 0)
    line = std::string("OK: no ") + (t.one == std::string("volume") ? "fixed volume" : "partition");
  else
    line = "OK: " + Count(t.total, t.one, t.many) + " aligned" + TargetClause(t);
  return line + "\n";
}

std::string SummaryError(const std::string& why) {
  std::string line = "ERROR: " + why;
  if (line.size() > kMostLineCharacters) line.resize(kMostLineCharacters);
  return line + "\n";
}

PluginOutput NagiosLine(const Tally& t, bool critical) {
  PluginOutput out;
  std::string state, text;
  const bool misaligned = t.images ? t.images->misaligned > 0 : !t.misaligned.empty();
  const bool undetermined = t.images ? t.images->undetermined > 0 : !t.undetermined.empty();
  // Images are named by their paths, volumes by their names.
  const auto counted = [&](bool m) {
    return t.images ? Of(m ? t.images->misaligned : t.images->undetermined, *t.images)
                    : Of(m ? t.misaligned.size() : t.undetermined.size(), t);
  };
  if (misaligned) {
    out.status = critical ? 2 : 1;
    state = critical ? "CRITICAL" : "WARNING";
    text = counted(true) + " misaligned: " + Names(t.misalignedNames);
  } else if (!t.incomplete.empty() || undetermined || !t.nothing.empty()) {
    out.status = 3;
    state = "UNKNOWN";
    text = !t.incomplete.empty() ? t.incomplete
           : undetermined        ? counted(false) + " undetermined: " + Names(t.undeterminedNames)
                                 : t.nothing;
  } else {
    state = "OK";
    text = t.images ? Count(t.images->total, "image", "images") + " aligned, " +
                          Count(t.total, t.one, t.many)
                    : Count(t.total, t.one, t.many) + " aligned";
  }
  const std::string perfdata = " | " + Perfdata(t, critical);
  std::string head = "TESSAREL " + state + " - " + text;
  // The names may be many: the performance data is never cut.
  if (head.size() + perfdata.size() > kMostLineCharacters)
    head = head.substr(0, kMostLineCharacters - perfdata.size() - 4) + " ...";
  out.line = head + perfdata + "\n";
  return out;
}

PluginOutput NagiosError(const std::string& why) { return {"TESSAREL UNKNOWN - " + why + "\n", 3}; }

}  // namespace report
