#include "image/disk_image.h"

#include <algorithm>
#include <cstring>

#include "image/big_endian.h"
#include "disk/little_endian.h"

ImageOpening Refused(ImageRefusal refusal, std::string detail) {
  ImageOpening opening;
  opening.refusal = refusal;
  opening.detail = std::move(detail);
  return opening;
}

ImageOpening DifferencingRefusal() {
  return Refused(ImageRefusal::Differencing,
                 "a differencing disk: its sectors lie partly in its parent; check the parent, or "
                 "a merged copy");
}

const char* RefusalCode(ImageRefusal refusal) {
  switch (refusal) {
    case ImageRefusal::None:
      return nullptr;
    case ImageRefusal::Differencing:
      return "differencing";
    case ImageRefusal::LogNotEmpty:
      return "log-not-empty";
    case ImageRefusal::InUse:
      return "in-use";
    case ImageRefusal::Checksum:
      return "checksum";
    case ImageRefusal::OutsideFile:
      return "outside-file";
    case ImageRefusal::UnknownFormat:
      return "unknown-format";
    case ImageRefusal::CannotOpen:
      return "cannot-open";
  }
  return nullptr;
}

EntryTable::EntryTable(std::shared_ptr<ByteSource> file, uint64_t at, uint32_t entryBytes,
                       uint64_t count, bool bigEndian, uint64_t pageBytes)
    : m_file(std::move(file)),
      m_at(at),
      m_count(count),
      m_pageBytes(pageBytes),
      m_entryBytes(entryBytes),
      m_bigEndian(bigEndian) {}

void EntryTable::Shrink(uint64_t pageBytes) {
  m_page.reset();
  std::string().swap(m_bytes);
  m_pageBytes = std::max<uint64_t>(pageBytes, m_entryBytes);
}

std::optional<uint64_t> EntryTable::operator[](uint64_t i) {
  if (i >= m_count) return std::nullopt;
  const uint64_t offset = i * m_entryBytes;  // the table lies inside the file: no overflow
  const uint64_t page = offset / m_pageBytes;
  if (m_page != page) {
    m_page.reset();
    const uint64_t from = page * m_pageBytes;
    const uint64_t length = std::min<uint64_t>(m_pageBytes, m_count * m_entryBytes - from);
    m_bytes.assign(static_cast<size_t>(length), '\0');
    if (!m_file->Read(m_at + from, reinterpret_cast<uint8_t*>(&m_bytes[0]), m_bytes.size()))
      return std::nullopt;
    m_page = page;
  }
  const auto* p = reinterpret_cast<const uint8_t*>(m_bytes.data()) + (offset - page * m_pageBytes);
  if (m_entryBytes == 4) return m_bigEndian ? be::U32(p) : le::U32(p);
  return m_bigEndian ? be::U64(p) : le::U64(p);
}
