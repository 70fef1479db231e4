// A differencing image's parents, found as its format names them and opened through the
// door for reading alone, each read as any image is (its format told by content), the
// chain walked at most 64 deep and never through one file twice.
#include <algorithm>
#include <cctype>

#include "image/disk_image.h"
#include "platform/ansi_text.h"

namespace {

bool Ascii(const std::string& s) {
  return std::all_of(s.begin(), s.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

bool Absolute(const std::string& name) {
  return (name.size() >= 3 && std::isalpha(static_cast<unsigned char>(name[0])) && name[1] == ':' &&
          (name[2] == '\\' || name[2] == '/')) ||
         (!name.empty() && (name[0] == '\\' || name[0] == '/'));
}

// `name`, relative to `folder` (which ends in its separator), its "." and ".." taken away:
// the folder is cut between whole characters of the system's code page; the parts are joined
// with the folder's own separator (Windows takes either).
std::string Resolve(std::string folder, const std::string& name) {
  const char separator = !folder.empty() && folder.back() == '/' ? '/' : '\\';
  size_t at = 0;
  while (at <= name.size()) {
    const size_t end = std::min(name.find_first_of("\\/", at), name.size());
    const std::string part = name.substr(at, end - at);
    const bool last = end == name.size();
    if (part == "..") {
      if (!folder.empty()) folder = FolderOf(folder.substr(0, folder.size() - 1));
    } else if (!part.empty() && part != ".") {
      folder += part + (last ? std::string() : std::string(1, separator));
    }
    at = end + 1;
  }
  return folder;
}

}  // namespace

std::string ChainKey(const std::string& path) {
  std::string key = path;
  std::replace(key.begin(), key.end(), '/', '\\');
  // Windows' names are the same in any case; only ASCII is folded, so that no trail byte of
  // a double-byte character changes.
  if (Ascii(key))
    std::transform(key.begin(), key.end(), key.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return key;
}

ParentFound OpenParent(const std::string& childPath, const std::string& name,
                       const ChainPlace& chain,
                       const std::function<std::string(const DiskImage&)>& mismatch) {
  ParentFound found;
  const auto refused = [&](const std::string& words) {
    found.refusal = Refused(ImageRefusal::Differencing, words);
    found.refusal.parents = found.parents;
    return std::move(found);
  };
  if (name.empty()) return refused("a differencing disk that names no parent");
  if (!Ascii(name))
    return refused("its parent \"" + name +
                   "\" is named outside ASCII, which Tessarel does not open yet");
  const std::string path = Absolute(name) ? name : Resolve(FolderOf(childPath), name);
  const std::string key = ChainKey(path);
  if (std::find(chain.files.begin(), chain.files.end(), key) != chain.files.end())
    return refused("its chain of parents comes back to " + path);
  if (chain.files.size() > kMostParents)
    return refused("its chain of parents is deeper than " + std::to_string(kMostParents));
  ImageOpening parent = OpenImage(path, chain);
  ParentImage own;
  own.path = path;
  own.refusal = parent.refusal;
  own.detail = parent.detail;
  own.error = parent.error;
  if (parent.image) {
    own.format = parent.image->format;
    own.container = parent.image->container;
  }
  found.parents.push_back(own);
  found.parents.insert(found.parents.end(), parent.parents.begin(), parent.parents.end());
  if (!parent.image) return refused("its parent " + path + " could not be read: " + parent.detail);
  if (mismatch) {
    const std::string why = mismatch(*parent.image);
    if (!why.empty())
      return refused("its parent " + path + " is not the disk it was made over: " + why);
  }
  found.guest = std::shared_ptr<ByteSource>(std::move(parent.image->guest));
  return found;
}
