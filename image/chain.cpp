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

std::u16string FromUtf8(const std::string& text) {
  std::u16string out;
  for (size_t i = 0; i < text.size();) {
    const auto b = static_cast<unsigned char>(text[i]);
    const size_t n = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
    uint32_t c = n == 1 ? b : n == 0 ? 0 : b & (0x7F >> n);
    bool whole = n != 0 && i + n <= text.size();
    for (size_t k = 1; whole && k < n; ++k) {
      const auto t = static_cast<unsigned char>(text[i + k]);
      whole = (t & 0xC0) == 0x80;
      c = (c << 6) | (t & 0x3F);
    }
    if (!whole || c > 0x10FFFF || (c >= 0xD800 && c < 0xE000)) {
      out += u'\uFFFD';
      ++i;
      continue;
    }
    if (c >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
    i += n;
  }
  return out;
}

ParentFound OpenParent(const std::string& childPath, const std::u16string& wideName,
                       const ChainPlace& chain,
                       const std::function<std::string(const DiskImage&)>& mismatch) {
  ParentFound found;
  const auto refused = [&](const std::string& words) {
    found.refusal = Refused(ImageRefusal::Differencing, words);
    found.refusal.parents = found.parents;
    return std::move(found);
  };
  if (wideName.empty()) return refused("a differencing disk that names no parent");
  // The name in the code page the A functions take; one it cannot spell cannot be opened.
  const bool ascii =
      std::all_of(wideName.begin(), wideName.end(), [](char16_t c) { return c < 0x80; });
  const std::optional<std::string> spelled =
      ascii ? std::optional<std::string>(std::string(wideName.begin(), wideName.end()))
            : EncodeAnsi(AskCodePage(), wideName);
  if (!spelled) {
    std::string shown;
    for (char16_t c : wideName) shown += c < 0x80 ? static_cast<char>(c) : '?';
    return refused("its parent \"" + shown +
                   "\" is named in characters this system's code page cannot spell");
  }
  const std::string& name = *spelled;
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

ParentFound OpenParentAtFirst(const std::string& childPath,
                              const std::vector<std::u16string>& names, const ChainPlace& chain,
                              const std::function<std::string(const DiskImage&)>& mismatch) {
  if (names.empty()) return OpenParent(childPath, u"", chain, mismatch);
  std::string looked;
  for (const std::u16string& name : names) {
    ParentFound parent = OpenParent(childPath, name, chain, mismatch);
    const bool missing =
        !parent.parents.empty() && parent.parents.front().refusal == ImageRefusal::CannotOpen;
    if (!missing) return parent;
    looked += (looked.empty() ? "" : ", ") + parent.parents.front().path;
  }
  ParentFound none;
  none.refusal = Refused(ImageRefusal::Differencing, "its parent was not found at " + looked);
  return none;
}
