#include "report/report_sweep.h"

#include "report/report_words.h"

namespace report {

std::string NothingWords(const std::optional<Sweep>& sweep) {
  return sweep && !sweep->roots.empty() ? "no disk file to check: the folders hold none"
                                        : "no disk file to check: the lists name none";
}

const char* FoldedWord(FoldedAs as) {
  switch (as) {
    case FoldedAs::Parent:
      return "parent";
    case FoldedAs::Extent:
      return "extent";
    case FoldedAs::ChangeTracking:
      return "change-tracking";
    case FoldedAs::InUseParent:
      return "in-use-parent";
  }
  return "parent";
}

void SweepMembers(JsonWriter& json, const Sweep& sweep, size_t images) {
  json.Member("lists", sweep.lists);
  json.Member("roots", sweep.roots);
  json.Member("recurse", sweep.recurse);
  json.Member("complete", sweep.Complete());
  json.Member("filesFound", sweep.FilesFound(images));
  json.Member("images", images);
  json.Key("folded");
  json.BeginArray();
  for (const FoldedFile& file : sweep.folded) {
    json.BeginObject();
    json.Member("path", file.path);
    json.Member("as", FoldedWord(file.as));
    json.Member("into", file.into);
    json.EndObject();
  }
  json.EndArray();
  json.Member("notDisks", sweep.notDisks);
  json.Key("notExamined");
  json.BeginArray();
  for (const SweepNote& note : sweep.notExamined) {
    json.BeginObject();
    json.Member("path", note.path);
    json.Member("kind", note.folder ? "folder" : "file");
    json.Member("reason", note.why);
    json.EndObject();
  }
  json.EndArray();
  json.Key("links");
  json.BeginArray();
  for (const SweepLink& link : sweep.links) {
    json.BeginObject();
    json.Member("path", link.path);
    json.Member("sameAs", link.sameAs.empty() ? std::nullopt : std::optional<std::string>(link.sameAs));
    json.EndObject();
  }
  json.EndArray();
}

namespace {

std::string FoldedLine(const FoldedFile& file) {
  std::string line = "  " + Printable(file.path.c_str()) + ", ";
  switch (file.as) {
    case FoldedAs::Parent:
      line += "a parent of ";
      break;
    case FoldedAs::Extent:
      line += "an extent of ";
      break;
    case FoldedAs::ChangeTracking:
      line += "the change-tracking file of ";
      break;
    case FoldedAs::InUseParent:
      line += "not examined: the parent of the disk in use ";
      break;
  }
  for (size_t i = 0; i < file.into.size(); ++i)
    line += (i == 0 ? "" : ", ") + Printable(file.into[i].c_str());
  return line + "\n";
}

}  // namespace

std::string SweepText(const Sweep& sweep, size_t images) {
  std::string text = "Sweep";
  std::vector<std::string> from = sweep.lists;
  from.insert(from.end(), sweep.roots.begin(), sweep.roots.end());
  for (size_t i = 0; i < from.size(); ++i)
    text += (i == 0 ? " of " : ", ") + Printable(from[i].c_str());
  text += sweep.recurse ? " and every folder under them\n" : "\n";
  text += "  " + Decimal(sweep.FilesFound(images)) + " disk files found: " + Decimal(images) +
          " disks, " + Decimal(sweep.folded.size()) + " folded into them, " +
          Decimal(sweep.notDisks.size()) + " no disk, " + Decimal(sweep.FilesNotExamined()) +
          " not examined\n";
  if (!sweep.Complete()) text += "  INCOMPLETE: a folder could not be listed\n";
  if (!sweep.folded.empty()) text += "Folded into the disk that holds them\n";
  for (const FoldedFile& file : sweep.folded) text += FoldedLine(file);
  if (!sweep.notDisks.empty()) text += "No disk: no container, partition table or file system\n";
  for (const std::string& path : sweep.notDisks) text += "  " + Printable(path.c_str()) + "\n";
  if (!sweep.notExamined.empty()) text += "Not examined\n";
  for (const SweepNote& note : sweep.notExamined)
    text += "  " + Printable(note.path.c_str()) + (note.folder ? " (folder)" : "") + ": " +
            note.why + "\n";
  if (!sweep.links.empty()) text += "Links\n";
  for (const SweepLink& link : sweep.links)
    text += "  " + Printable(link.path.c_str()) +
            (link.sameAs.empty() ? ": followed"
                                 : ": the same as " + Printable(link.sameAs.c_str()) +
                                       ", not read again") +
            "\n";
  return text;
}

}  // namespace report
