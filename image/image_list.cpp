#include "image/image_list.h"

#include <algorithm>

#include "image/byte_source.h"
#include "image/disk_image.h"
#include "image/parent_name.h"
#include "platform/ansi_text.h"
#include "platform/backend.h"

namespace {

// Far past a host's thousands of paths, and its decoding well inside the console's memory.
constexpr uint64_t kMostListBytes = 4 << 20;
// Each disk file's findings stay for the report, about 1 KB each: a run keeps them well
// inside the 32-bit console's memory.

// Well-formed UTF-8 (RFC 3629): no overlong form, no surrogate, nothing past U+10FFFF.
bool IsUtf8(const std::string& text) {
  for (size_t i = 0; i < text.size();) {
    const auto b = static_cast<unsigned char>(text[i]);
    const size_t n = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
    if (n == 0 || i + n > text.size()) return false;
    uint32_t c = n == 1 ? b : b & (0x7F >> n);
    for (size_t k = 1; k < n; ++k) {
      const auto t = static_cast<unsigned char>(text[i + k]);
      if ((t & 0xC0) != 0x80) return false;
      c = (c << 6) | (t & 0x3F);
    }
    static const uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < kLeast[n] || c > 0x10FFFF || (c >= 0xD800 && c < 0xE000)) return false;
    i += n;
  }
  return true;
}

std::u16string FromUtf16Le(const std::string& bytes, size_t from) {
  std::u16string text;
  for (size_t i = from; i + 1 < bytes.size(); i += 2)
    text += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                  (static_cast<unsigned char>(bytes[i + 1]) << 8));
  return text;
}

bool Blank(const std::u16string& line) {
  return std::all_of(line.begin(), line.end(), [](char16_t c) { return c == u' ' || c == u'\t'; });
}

// One line, resolved against the list's own path, in the system's code page.
ListedImage Listed(size_t number, const std::u16string& line, const std::u16string& list,
                   uint32_t codePage) {
  ListedImage listed;
  listed.line = number;
  listed.shown = ShownName(line);
  if (const std::optional<std::string> why = WhyParentNameRefused(line)) {
    listed.refused = "named in the list " + *why + ", which Tessarel does not open from a list";
    return listed;
  }
  const std::optional<std::string> path = EncodeAnsi(codePage, ResolveParentName(list, line));
  if (!path) {
    listed.refused = "its name cannot be spelled in this system's code page";
    return listed;
  }
  listed.path = *path;
  return listed;
}

}  // namespace

std::vector<std::u16string> ListLines(const std::string& bytes, uint32_t codePage) {
  std::u16string text;
  if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE')
    text = FromUtf16Le(bytes, 2);
  else if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0)
    text = FromUtf8(bytes.substr(3));
  else if (IsUtf8(bytes))  // ASCII, or UTF-8 written without a mark
    text = FromUtf8(bytes);
  else
    text = DecodeAnsi(codePage, bytes);
  std::vector<std::u16string> lines;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(u'\n', start);
    if (end == std::u16string::npos) end = text.size();
    std::u16string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == u'\r') line.pop_back();
    lines.push_back(std::move(line));
    start = end + 1;
  }
  if (!lines.empty() && lines.back().empty()) lines.pop_back();  // the last line's end
  return lines;
}

ImageList ReadImageList(const std::string& path) {
  const sys::FilesOnly filesOnly;  // a list is a file: nothing it leads to opens a device
  ImageList list;
  FileSource file(path);
  if (!file.IsOpen()) {
    list.why = "Windows would not open it (error " + std::to_string(file.OpenError()) + ")";
    return list;
  }
  if (file.Size() > kMostListBytes) {
    list.why = "it is larger than the 4 MiB a list of paths takes";
    return list;
  }
  std::string bytes(static_cast<size_t>(file.Size()), '\0');
  if (!bytes.empty() && !file.Read(0, reinterpret_cast<uint8_t*>(&bytes[0]), bytes.size())) {
    list.why = "it could not be read";
    return list;
  }
  const uint32_t codePage = AskCodePage();
  const std::u16string own = DecodeAnsi(codePage, path);
  const std::vector<std::u16string> lines = ListLines(bytes, codePage);
  for (size_t i = 0; i < lines.size(); ++i) {
    if (Blank(lines[i]) || lines[i][0] == u'#') continue;
    if (list.images.size() == kMostListedImages) {
      list.images.clear();
      list.why = "it names more than 16,384 disk files; split it into lists of fewer";
      return list;
    }
    list.images.push_back(Listed(i + 1, lines[i], own, codePage));
  }
  list.read = true;
  return list;
}
