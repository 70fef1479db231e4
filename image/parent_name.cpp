#include "image/parent_name.h"

#include <vector>

#include "platform/device_names.h"

namespace {

bool Separator(char16_t c) { return c == u'\\' || c == u'/'; }
bool Letter(char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }
bool Hex(char16_t c) { return (c >= u'0' && c <= u'9') || ((c | 0x20) >= u'a' && (c | 0x20) <= u'f'); }

bool StartsWith(const std::u16string& s, const char16_t* prefix, size_t from = 0) {
  for (size_t i = 0; prefix[i] != 0; ++i)
    if (from + i >= s.size() || s[from + i] != prefix[i]) return false;
  return true;
}

// "X:\" (or "X:/") at `at`.
bool DriveRoot(const std::u16string& s, size_t at = 0) {
  return s.size() >= at + 3 && Letter(s[at]) && s[at + 1] == u':' && Separator(s[at + 2]);
}

// "Volume{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}\" at `at`, in any case: its length, or 0.
size_t VolumeRoot(const std::u16string& s, size_t at) {
  static const char16_t kShape[] = u"volume{########-####-####-####-############}\\";
  const size_t length = std::char_traits<char16_t>::length(kShape);
  if (s.size() < at + length) return 0;
  for (size_t i = 0; i < length; ++i) {
    const char16_t want = kShape[i], got = s[at + i];
    const bool same = want == u'#' ? Hex(got) : Letter(want) ? (got | 0x20) == want : got == want;
    if (!same) return 0;
  }
  return length;
}

// The root a path begins with (kept as it is spelled), and whether ".." stops at it.
struct Root {
  size_t length = 0;
  bool absolute = false;
};

Root RootOf(const std::u16string& p) {
  if (StartsWith(p, u"\\\\?\\")) {
    if (DriveRoot(p, 4)) return {7, true};
    if (const size_t v = VolumeRoot(p, 4)) return {4 + v, true};
    if (StartsWith(p, u"UNC\\", 4)) {  // \\?\UNC\server\share\ .
      size_t at = 8, parts = 0;
      while (at < p.size() && parts < 2)
        if (p[at++] == u'\\') ++parts;
      return {at, true};
    }
    return {4, true};
  }
  if (p.size() >= 2 && Separator(p[0]) && Separator(p[1])) {  // \\server\share\ .
    size_t at = 2, parts = 0;
    while (at < p.size() && parts < 2)
      if (Separator(p[at++])) ++parts;
    return {at, true};
  }
  if (DriveRoot(p)) return {3, true};
  if (p.size() >= 2 && Letter(p[0]) && p[1] == u':') return {2, false};  // X: and its folder
  if (!p.empty() && Separator(p[0])) return {1, true};
  return {0, false};
}

}  // namespace

bool NamesDosDevice(const std::u16string& name) {
  size_t last = name.size();
  while (last > 0 && !Separator(name[last - 1])) --last;
  return IsDosDeviceName(name.data() + last, name.size() - last);
}

std::optional<std::string> WhyParentNameRefused(const std::u16string& name) {
  for (char16_t c : name)
    if (c < 0x20 || c == 0x7F) return "with a control character";
  if (StartsWith(name, u"\\??\\")) return "in the system's object space";
  size_t colonAllowed = 1;  // a drive letter's
  if (name.size() >= 2 && Separator(name[0]) && Separator(name[1])) {
    // Behind \\?\ Windows takes the rest as it is spelled: only a backslash separates.
    if (StartsWith(name, u"\\\\?\\") && DriveRoot(name, 4) && name[6] == u'\\' && name.size() > 7)
      colonAllowed = 5;
    else if (StartsWith(name, u"\\\\?\\") && VolumeRoot(name, 4) != 0 &&
             name.size() > 4 + VolumeRoot(name, 4))
      colonAllowed = std::u16string::npos;
    else if (name.size() >= 4 && (name[2] == u'.' || name[2] == u'?') && Separator(name[3]) &&
             !StartsWith(name, u"\\\\?\\UNC\\"))
      return "a device, not a file";
    else
      return "on another computer";
  }
  for (size_t at = name.find(u':'); at != std::u16string::npos; at = name.find(u':', at + 1)) {
    if (at != colonAllowed) return "with a colon, which names a stream of a file";
    if (at == 1 && !Letter(name[0])) return "with a colon, which names a stream of a file";
    if (at == 1 && (name.size() == 2 || !Separator(name[2])))
      return "relative to a drive's current folder";
  }
  if (NamesDosDevice(name)) return "a device, not a file";
  return std::nullopt;
}

std::u16string ResolveParentName(const std::u16string& child, const std::u16string& name) {
  // The child's folder: up to its last separator, or a drive's colon.
  size_t end = child.size();
  while (end > 0 && !Separator(child[end - 1]) && child[end - 1] != u':') --end;
  std::u16string folder = child.substr(0, end);
  const char16_t separator = !folder.empty() && folder.back() == u'/' ? u'/' : u'\\';
  std::u16string target = name;
  if (StartsWith(target, u"\\\\?\\") && DriveRoot(target, 4)) target.erase(0, 4);

  // Where the parts start from: an absolute name's own root, a rooted one's drive or share,
  // or the child's folder.
  std::u16string root;
  bool absolute = false;
  std::vector<std::u16string> parts;
  const Root named = RootOf(target);
  const auto split = [&](const std::u16string& text, size_t from) {
    std::u16string part;
    for (size_t i = from; i <= text.size(); ++i) {
      if (i < text.size() && !Separator(text[i])) {
        part += text[i];
        continue;
      }
      if (part == u"..") {
        if (!parts.empty() && parts.back() != u"..")
          parts.pop_back();
        else if (!absolute)
          parts.push_back(part);  // for Windows, from the current folder
      } else if (!part.empty() && part != u".") {
        parts.push_back(part);
      }
      part.clear();
    }
  };
  if (named.absolute && named.length > 1) {
    root = target.substr(0, named.length);
    absolute = true;
  } else {
    const Root own = RootOf(folder);
    root = folder.substr(0, own.length);
    absolute = own.absolute;
    if (named.absolute) {  // a single separator: the root of the child's drive or share
      if (root.empty() || !absolute) root = std::u16string(1, separator);
      absolute = true;
    } else {
      split(folder, own.length);
    }
  }
  split(target, named.absolute && named.length > 1 ? named.length : named.absolute ? 1 : 0);
  std::u16string out = root;
  for (size_t i = 0; i < parts.size(); ++i) {
    out += parts[i];
    if (i + 1 < parts.size()) out += separator;
  }
  return out;
}
