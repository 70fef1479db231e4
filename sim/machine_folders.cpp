// The machine's folders, listed as FindFirstFileA lists them: "." and ".." first in a folder
// that is not a drive's root, then each entry by its name (NTFS keeps them in order), each
// folder with FILE_ATTRIBUTE_DIRECTORY and a link with its reparse point's tag.
#include <algorithm>
#include <cctype>
#include <cstring>

#include "sim/machine.h"
#include "sim/names.h"

namespace sim {

namespace {

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

// A mask of * and ?, as Windows matches a name against it (without regard to case).
bool Matches(const char* mask, const char* name) {
  if (*mask == '\0') return *name == '\0';
  if (*mask == '*') return Matches(mask + 1, name) || (*name != '\0' && Matches(mask, name + 1));
  if (*name == '\0') return false;
  return (*mask == '?' || std::tolower(static_cast<unsigned char>(*mask)) ==
                              std::tolower(static_cast<unsigned char>(*name))) &&
         Matches(mask + 1, name + 1);
}

WIN32_FIND_DATAA Entry(const std::string& name, DWORD attributes, uint64_t size, DWORD tag) {
  WIN32_FIND_DATAA entry{};
  entry.dwFileAttributes = attributes;
  entry.nFileSizeHigh = static_cast<DWORD>(size >> 32);
  entry.nFileSizeLow = static_cast<DWORD>(size);
  entry.dwReserved0 = tag;
  std::strncpy(entry.cFileName, name.c_str(), MAX_PATH - 1);
  return entry;
}

// The part of `path` after `folder` (a key, sim/names.h) and its separator, up to the next
// separator, as `path` spells it; empty where `path` does not lie in `folder`.
std::string ChildOf(const std::string& path, const std::string& folder, bool* deeper) {
  const std::string key = PathKey(path);
  if (key.size() <= folder.size() + 1 || key[folder.size()] != '\\' ||
      key.compare(0, folder.size(), folder) != 0)
    return "";
  const size_t end = key.find('\\', folder.size() + 1);
  *deeper = end != std::string::npos;
  const size_t from = path.size() - key.size() + folder.size() + 1;  // after any "\\?\"
  return path.substr(from, *deeper ? end - folder.size() - 1 : std::string::npos);
}

}  // namespace

bool Machine::ListFolder(const std::string& path, const std::string& mask,
                         std::vector<WIN32_FIND_DATAA>* entries, bool* exists) const {
  const std::string folder = Resolved(path);  // a link lists its target
  const auto own = std::find_if(folders.begin(), folders.end(),
                                [&](const auto& f) { return PathKey(f.first) == folder; });
  if (own != folders.end() && !own->second.listable) return false;
  std::map<std::string, WIN32_FIND_DATAA> found;  // by the name in lower case: NTFS's order
  bool deeper = false;
  const bool root = folder.size() == 2 && folder[1] == ':';
  *exists = own != folders.end() || root;
  for (const auto& [name, file] : files) {
    const std::string child = ChildOf(name, folder, &deeper);
    if (child.empty()) continue;
    *exists = true;
    const DWORD link = file.symbolicLink ? FILE_ATTRIBUTE_REPARSE_POINT : 0;
    found[Lower(child)] =
        deeper ? Entry(child, FILE_ATTRIBUTE_DIRECTORY, 0, 0)
               : Entry(child, FILE_ATTRIBUTE_NORMAL | link, file.size,
                       link != 0 ? IO_REPARSE_TAG_SYMLINK : 0);
  }
  for (const auto& [name, f] : folders) {
    const std::string child = ChildOf(name, folder, &deeper);
    if (child.empty()) continue;
    *exists = true;
    const bool link = !deeper && !f.linkTo.empty();
    found[Lower(child)] =
        Entry(child, FILE_ATTRIBUTE_DIRECTORY | (link ? FILE_ATTRIBUTE_REPARSE_POINT : 0), 0,
              link ? f.tag : 0);
  }
  if (*exists && !root) {  // a drive's root has no . or ..
    for (const char* dot : {".", ".."})
      if (Matches(mask.c_str(), dot)) entries->push_back(Entry(dot, FILE_ATTRIBUTE_DIRECTORY, 0, 0));
  }
  for (const auto& [key, entry] : found)
    if (Matches(mask.c_str(), entry.cFileName)) entries->push_back(entry);
  return true;
}

HANDLE Machine::FindFirstFileA(LPCSTR pattern, LPWIN32_FIND_DATAA found) {
  Call& c = Record(Call("FindFirstFileA", pattern != nullptr ? pattern : ""));
  if (Injected(c, ERROR_ACCESS_DENIED)) return INVALID_HANDLE_VALUE;
  std::string path = pattern != nullptr ? pattern : "";
  if (StartsWithNoCase(path, "\\\\?\\")) path.erase(0, 4);
  std::replace(path.begin(), path.end(), '/', '\\');
  const size_t last = path.rfind('\\');
  if (found == nullptr || last == std::string::npos || last + 1 == path.size())
    return Fail(c, ERROR_INVALID_PARAMETER), INVALID_HANDLE_VALUE;
  Listing listing;
  bool exists = false;
  if (!ListFolder(path.substr(0, last), path.substr(last + 1), &listing.entries, &exists))
    return Fail(c, ERROR_ACCESS_DENIED), INVALID_HANDLE_VALUE;
  if (listing.entries.empty())
    return Fail(c, exists ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND), INVALID_HANDLE_VALUE;
  *found = listing.entries[listing.next++];
  HANDLE find = sys::MintHandle(m_nextHandle);
  m_listings[find] = std::move(listing);
  c.handle = find;
  m_lastError = ERROR_SUCCESS;
  return find;
}

BOOL Machine::FindNextFileA(HANDLE find, LPWIN32_FIND_DATAA found) {
  Call& c = Record(Call("FindNextFileA"));
  c.handle = find;
  if (Injected(c, ERROR_NOT_READY)) return FALSE;
  const auto it = m_listings.find(find);
  if (it == m_listings.end() || found == nullptr) return Fail(c, ERROR_INVALID_HANDLE);
  if (it->second.next >= it->second.entries.size()) return Fail(c, ERROR_NO_MORE_FILES);
  *found = it->second.entries[it->second.next++];
  m_lastError = ERROR_SUCCESS;
  return TRUE;
}

BOOL Machine::FindClose(HANDLE find) {
  Call& c = Record(Call("FindClose"));
  c.handle = find;
  if (m_listings.erase(find) == 0) return Fail(c, ERROR_INVALID_HANDLE);
  return TRUE;
}

}  // namespace sim
