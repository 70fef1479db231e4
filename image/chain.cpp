// A differencing image's parents, found as its format names them and opened through the
// door for reading alone, each read as any image is (its format told by content), the
// chain walked at most 64 deep and never through one file twice.
#include <algorithm>
#include <cctype>

#include "image/disk_image.h"
#include "image/image_format.h"
#include "image/parent_name.h"
#include "platform/ansi_text.h"

namespace {

bool Ascii(const std::string& s) {
  return std::all_of(s.begin(), s.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

std::u16string Widened(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

}  // namespace

// A name as the report shows it: in the system's code page where it spells it, else each
// character outside ASCII (and each control character) as '?'.
std::string ShownName(const std::u16string& name) {
  const bool plain = std::all_of(name.begin(), name.end(), [](char16_t c) { return c >= 0x20; });
  if (plain)
    if (const std::optional<std::string> spelled = EncodeAnsi(AskCodePage(), name)) return *spelled;
  std::string shown;
  for (char16_t c : name) shown += c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?';
  return shown;
}

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
  // A name from inside the file never reaches the door unless this computer may open it.
  if (const std::optional<std::string> why = WhyParentNameRefused(wideName)) {
    found.forbidden = "\"" + ShownName(wideName) + "\", " + *why;
    return refused("its parent is named " + found.forbidden +
                   ", which Tessarel does not open from a name inside a disk file");
  }
  // The child's path in UTF-16 once, the name joined to its folder there, and the result in
  // the code page the A functions take once: a trail byte 0x5C is never taken for a
  // separator. One the code page cannot spell cannot be opened.
  const bool ascii = Ascii(childPath) && std::all_of(wideName.begin(), wideName.end(),
                                                     [](char16_t c) { return c < 0x80; });
  const std::u16string resolved = ResolveParentName(
      Ascii(childPath) ? Widened(childPath) : DecodeAnsi(AskCodePage(), childPath), wideName);
  const std::optional<std::string> spelled =
      ascii ? std::optional<std::string>(std::string(resolved.begin(), resolved.end()))
            : EncodeAnsi(AskCodePage(), resolved);
  if (!spelled)
    return refused("its parent \"" + ShownName(wideName) +
                   "\" is named in characters this system's code page cannot spell");
  const std::string& path = *spelled;
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
  // A place not opened is skipped like one not found, and named only if none finds it.
  std::string looked, forbidden;
  for (const std::u16string& name : names) {
    ParentFound parent = OpenParent(childPath, name, chain, mismatch);
    const bool missing =
        !parent.parents.empty() && parent.parents.front().refusal == ImageRefusal::CannotOpen;
    if (!parent.forbidden.empty())
      forbidden += (forbidden.empty() ? "" : "; ") + parent.forbidden;
    else if (missing)
      looked += (looked.empty() ? "" : ", ") + parent.parents.front().path;
    else
      return parent;
  }
  std::string words = looked.empty() ? "its parent is named only as " + forbidden
                                     : "its parent was not found at " + looked;
  if (!looked.empty() && !forbidden.empty()) words += "; it is also named " + forbidden;
  if (!forbidden.empty()) words += ", which Tessarel does not open from a name inside a disk file";
  ParentFound none;
  none.refusal = Refused(ImageRefusal::Differencing, words);
  return none;
}
