#include "image/sweep_listing.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <deque>
#include <map>
#include <set>

#include "image/image_list.h"
#include "platform/sys.h"

namespace {

bool EndsNoCase(const std::string& name, const char* suffix) {
  const size_t n = std::strlen(suffix);
  if (name.size() < n) return false;
  for (size_t i = 0; i < n; ++i)
    if (std::tolower(static_cast<unsigned char>(name[name.size() - n + i])) != suffix[i])
      return false;
  return true;
}

// The folder's own separator: a path written with '/' is joined with '/'.
char SeparatorOf(const std::string& folder) {
  return folder.find('\\') == std::string::npos && folder.find('/') != std::string::npos ? '/'
                                                                                         : '\\';
}

std::string Joined(const std::string& folder, const std::string& name) {
  if (!folder.empty() && (folder.back() == '\\' || folder.back() == '/')) return folder + name;
  return folder + SeparatorOf(folder) + name;
}

// The root as named, without trailing separators but a drive's root ("C:\").
std::string Trimmed(std::string root) {
  while (root.size() > 1 && (root.back() == '\\' || root.back() == '/') &&
         !(root.size() == 3 && root[1] == ':'))
    root.pop_back();
  return root;
}

std::string ListingError(DWORD error) {
  const std::string number = "Windows error " + std::to_string(error);
  switch (error) {
    case ERROR_ACCESS_DENIED:
      return "Windows refused to list it (" + number + ")";
    case ERROR_PATH_NOT_FOUND:
    case ERROR_FILE_NOT_FOUND:
      return "it was not found (" + number + ")";
    default:
      return "it could not be listed (" + number + ")";
  }
}

constexpr const char* kUnspellable = "its name cannot be spelled in this system's code page";
constexpr const char* kVhdSet =
    "a VHD Set, which Tessarel does not read: its disk's data lies in the .avhdx files it "
    "names";

// The walk: plain folders first, depth first, then the links met on the way, so that a
// folder is listed under its own path before any link to it.
class Walk {
 public:
  explicit Walk(bool recurse) : m_recurse(recurse) {}

  SweepListing Run(const std::vector<std::string>& roots) {
    for (const std::string& root : roots) m_plain.push_back(Trimmed(root));
    while (!m_plain.empty() || !m_links.empty()) {
      const bool link = m_plain.empty();
      std::deque<std::string>& from = link ? m_links : m_plain;
      const std::string folder = from.front();
      from.pop_front();
      Visit(folder, link);
    }
    for (size_t linked : m_linked) m_listing.links.push_back({m_listing.files[linked].path, ""});
    return std::move(m_listing);
  }

 private:
  // Lists `folder` unless its identity was listed already, its folders next (depth first).
  void Visit(const std::string& folder, bool link) {
    if (const std::optional<FileIdentity> id = AskFileIdentity(folder)) {
      const auto [seen, fresh] = m_folders.emplace(*id, folder);
      if (!fresh) return m_listing.links.push_back({folder, seen->second});
    }
    if (link) m_listing.links.push_back({folder, ""});
    std::deque<std::string> below;
    List(folder, &below);
    m_plain.insert(m_plain.begin(), below.begin(), below.end());
  }

  void List(const std::string& folder, std::deque<std::string>* below) {
    if (m_full) return;
    WIN32_FIND_DATAA entry;
    HANDLE find = sys::FindFirstFileA(Joined(folder, "*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) {
      const DWORD error = sys::GetLastError();
      if (error != ERROR_FILE_NOT_FOUND)  // an empty drive's root lists nothing
        m_listing.notExamined.push_back({folder, ListingError(error), true});
      return;
    }
    do Take(folder, entry, below);
    while (!m_full && sys::FindNextFileA(find, &entry));
    const DWORD error = sys::GetLastError();
    sys::FindClose(find);
    if (!m_full && error != ERROR_NO_MORE_FILES)
      m_listing.notExamined.push_back({folder, ListingError(error), true});
  }

  void Take(const std::string& folder, const WIN32_FIND_DATAA& entry,
            std::deque<std::string>* below) {
    const std::string name(entry.cFileName, strnlen(entry.cFileName, MAX_PATH));
    if (name == "." || name == "..") return;
    const std::string path = Joined(folder, name);
    const bool unspellable = name.find('?') != std::string::npos;
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      if (!m_recurse) return;
      if (unspellable) return m_listing.notExamined.push_back({path, kUnspellable, true});
      const bool link = (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
      (link ? m_links : *below).push_back(path);
      return;
    }
    bool generic = false;
    if (EndsNoCase(name, ".vhds")) {
      return m_listing.notExamined.push_back({path, kVhdSet, false});
    }
    if (!HasDiskExtension(name, &generic)) return;
    if (m_listing.files.size() == kMostListedImages) {
      m_full = true;
      return m_listing.notExamined.push_back(
          {folder, "the sweep holds 16,384 disk files already: sweep the folders under it apart",
           true});
    }
    if (unspellable) return m_listing.notExamined.push_back({path, kUnspellable, false});
    FoundFile file{path, AskFileIdentity(path),
                   uint64_t{entry.ftLastWriteTime.dwHighDateTime} << 32 |
                       entry.ftLastWriteTime.dwLowDateTime,
                   generic};
    // A link to a file counts as its target: one identity, one file, under its own path
    // where the sweep finds that too.
    const bool link = (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    if (file.identity) {
      const auto [seen, fresh] = m_files.emplace(*file.identity, m_listing.files.size());
      if (!fresh) {
        FoundFile& first = m_listing.files[seen->second];
        if (link || m_linked.count(seen->second) == 0)
          return m_listing.links.push_back({path, first.path});
        m_listing.links.push_back({first.path, path});
        first.path = path;
        m_linked.erase(seen->second);
        return;
      }
    }
    if (link) m_linked.insert(m_listing.files.size());
    m_listing.files.push_back(std::move(file));
  }

  bool m_recurse;
  bool m_full = false;  // the sweep holds as many files as a run reports
  SweepListing m_listing;
  std::map<FileIdentity, std::string> m_folders;
  std::map<FileIdentity, size_t> m_files;  // each file's place in the listing
  std::set<size_t> m_linked;               // the files listed by a link's path
  std::deque<std::string> m_plain, m_links;
};

}  // namespace

bool HasDiskExtension(const std::string& name, bool* generic) {
  for (const char* ext : {".img", ".raw"})
    if (EndsNoCase(name, ext)) {
      if (generic) *generic = true;
      return true;
    }
  if (generic) *generic = false;
  for (const char* ext : {".vhd", ".vhdx", ".avhd", ".avhdx", ".vmdk", ".qcow2", ".qcow", ".vdi"})
    if (EndsNoCase(name, ext)) return true;
  return false;
}

SweepListing ListFolders(const std::vector<std::string>& roots, bool recurse) {
  return Walk(recurse).Run(roots);
}
