#include "image/sweep.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <numeric>

#include "image/image_format.h"

namespace {

enum class State { Pending, Head, Folded, NotDisk };

bool Hex(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

// A GUID as Hyper-V writes it in a checkpoint's name: 8-4-4-4-12 hexadecimal digits.
bool IsGuid(const std::string& text) {
  if (text.size() != 36) return false;
  for (size_t i = 0; i < text.size(); ++i)
    if ((i == 8 || i == 13 || i == 18 || i == 23) ? text[i] != '-' : !Hex(text[i])) return false;
  return true;
}

// A generic file that holds no disk: no container, no table, no file system at sector 0.
bool HoldsNoDisk(const ImageCheck& check) {
  if (check.refusal != ImageRefusal::None || check.format != ImageFormat::Raw) return false;
  const ImageReason reason = check.Judged().reason;
  return reason == ImageReason::NothingInFirstSector || reason == ImageReason::TableUnread;
}

class Sweeper {
 public:
  Sweeper(std::vector<SweepCandidate> candidates, const ImageOptions& options,
          const std::vector<Target>& targets)
      : m_files(std::move(candidates)), m_options(options), m_targets(targets),
        m_state(m_files.size(), State::Pending), m_findings(m_files.size()),
        m_foldedAs(m_files.size()), m_into(m_files.size()) {}

  SweptImages Run(const SweepProgress& progress) {
    SweptImages swept;
    Index(&swept.sweep);
    std::vector<size_t> order(m_files.size());
    std::iota(order.begin(), order.end(), 0);
    // Heads first, where they can be told before reading: a checkpoint by its name (a
    // running one's base is then never read), then the newest.
    std::vector<bool> checkpoint(m_files.size());
    for (size_t i = 0; i < m_files.size(); ++i)
      checkpoint[i] = CheckpointBase(m_files[i].shown).has_value();
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
      if (checkpoint[a] != checkpoint[b]) return checkpoint[a] > checkpoint[b];
      return m_files[a].writeTime > m_files[b].writeTime;
    });
    size_t done = 0;
    for (size_t pass = 0; pass < 2; ++pass)  // the second for a file left without its head
      for (size_t i : order) {
        if (m_state[i] != State::Pending) continue;
        if (progress) progress(done, order.size(), m_files[i].shown);
        ++done;
        Check(i);
      }
    for (size_t i = 0; i < m_files.size(); ++i) Report(i, &swept);
    return swept;
  }

 private:
  // Each file by identity and by path; a file named twice is one.
  void Index(Sweep* sweep) {
    for (size_t i = 0; i < m_files.size(); ++i) {
      SweepCandidate& file = m_files[i];
      if (file.shown.empty()) file.shown = file.path;
      size_t* first = nullptr;
      if (file.identity) first = &m_byIdentity.emplace(*file.identity, i).first->second;
      if (!file.path.empty()) {
        size_t& byKey = m_byKey.emplace(ChainKey(file.path), i).first->second;
        if (!first) first = &byKey;
      }
      if (first && *first != i) {
        sweep->links.push_back({file.shown, m_files[*first].shown});
        m_state[i] = State::Folded;  // the same file: neither reported nor folded
        m_duplicate.push_back(i);
      }
    }
  }

  std::optional<size_t> Find(const std::string& path) const {
    if (const std::optional<FileIdentity> id = AskFileIdentity(path)) {
      const auto it = m_byIdentity.find(*id);
      if (it != m_byIdentity.end()) return it->second;
    }
    const auto it = m_byKey.find(ChainKey(path));
    if (it != m_byKey.end()) return it->second;
    return std::nullopt;
  }

  void Check(size_t i) {
    const SweepCandidate& file = m_files[i];
    ImageFinding finding = file.refused.empty()
                               ? FindImage(file.path, m_options, m_targets)
                               : UnopenedImage(file.shown, file.refused);
    if (file.generic && HoldsNoDisk(finding.check)) {
      m_state[i] = State::NotDisk;
      return;
    }
    m_state[i] = State::Head;
    // Only a chain that was read whole holds its files: a parent a refused disk names may not
    // be its parent at all (another disk's CID, a loop), and is judged on its own.
    const bool read = finding.check.refusal == ImageRefusal::None;
    for (const ParentImage& parent : finding.check.parents)
      if (read) Fold(parent.path, FoldedAs::Parent, i);
    for (const MemberFile& member : finding.check.members)
      Fold(member.path,
           member.kind == MemberKind::Extent ? FoldedAs::Extent : FoldedAs::ChangeTracking, i);
    if (finding.check.refusal == ImageRefusal::InUse)
      if (const std::optional<std::string> base = CheckpointBase(file.path))
        Fold(*base, FoldedAs::InUseParent, i);
    m_findings[i] = std::move(finding);
  }

  // The file at `path` among the candidates is `head`'s: no image of its own.
  void Fold(const std::string& path, FoldedAs as, size_t head) {
    const std::optional<size_t> found = Find(path);
    if (!found || *found == head) return;
    const size_t j = *found;
    if (m_state[j] == State::Head) {  // checked before its head was: its finding goes
      m_findings[j].reset();
      for (std::vector<size_t>& into : m_into) into.erase(std::remove(into.begin(), into.end(), j), into.end());
      for (size_t k = 0; k < m_into.size(); ++k)
        if (m_state[k] == State::Folded && m_into[k].empty() &&
            std::find(m_duplicate.begin(), m_duplicate.end(), k) == m_duplicate.end())
          m_state[k] = State::Pending;
    }
    if (m_state[j] == State::NotDisk) return;
    m_state[j] = State::Folded;
    m_foldedAs[j] = as;
    if (std::find(m_into[j].begin(), m_into[j].end(), head) == m_into[j].end())
      m_into[j].push_back(head);
  }

  void Report(size_t i, SweptImages* swept) {
    switch (m_state[i]) {
      case State::Head:
        swept->images.push_back(std::move(*m_findings[i]));
        break;
      case State::NotDisk:
        swept->sweep.notDisks.push_back(m_files[i].shown);
        break;
      case State::Folded: {
        if (m_into[i].empty()) break;  // a file named twice
        FoldedFile folded{m_files[i].shown, m_foldedAs[i], {}};
        std::sort(m_into[i].begin(), m_into[i].end());  // in the order the heads were found
        for (size_t head : m_into[i]) folded.into.push_back(m_files[head].shown);
        swept->sweep.folded.push_back(std::move(folded));
        break;
      }
      case State::Pending:
        break;
    }
  }

  std::vector<SweepCandidate> m_files;
  const ImageOptions& m_options;
  std::vector<Target> m_targets;
  std::vector<State> m_state;
  std::vector<std::optional<ImageFinding>> m_findings;
  std::vector<FoldedAs> m_foldedAs;
  std::vector<std::vector<size_t>> m_into;
  std::vector<size_t> m_duplicate;
  std::map<FileIdentity, size_t> m_byIdentity;
  std::map<std::string, size_t> m_byKey;
};

}  // namespace

bool Sweep::Complete() const {
  return std::none_of(notExamined.begin(), notExamined.end(),
                      [](const SweepNote& note) { return note.folder; });
}

size_t Sweep::FilesNotExamined() const {
  return static_cast<size_t>(std::count_if(notExamined.begin(), notExamined.end(),
                                           [](const SweepNote& note) { return !note.folder; }));
}

std::optional<std::string> CheckpointBase(const std::string& path) {
  const size_t dot = path.rfind('.');
  const size_t under = path.rfind('_');
  if (dot == std::string::npos || under == std::string::npos || under > dot) return std::nullopt;
  std::string ext = path.substr(dot);
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (ext != ".avhdx" && ext != ".avhd") return std::nullopt;
  std::string guid = path.substr(under + 1, dot - under - 1);
  if (guid.size() == 38 && guid.front() == '{' && guid.back() == '}') guid = guid.substr(1, 36);
  if (!IsGuid(guid)) return std::nullopt;
  return path.substr(0, under) + (ext == ".avhdx" ? ".vhdx" : ".vhd");
}

SweptImages SweepImages(std::vector<SweepCandidate> candidates, const ImageOptions& options,
                        const std::vector<Target>& targets, const SweepProgress& progress) {
  return Sweeper(std::move(candidates), options, targets).Run(progress);
}
