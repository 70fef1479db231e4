#include "image/disk_image.h"

#include <cstring>

#include "image/big_endian.h"
#include "inspect/little_endian.h"

namespace {

// A raw image is its disk: logical sectors of 4096 bytes where the GPT header lies at 4096
// (a 4Kn disk's copy), else of 512.
ImageOpening ReadRaw(std::shared_ptr<ByteSource> file) {
  ImageOpening opening;
  DiskImage image;
  image.virtualSize = file->Size();
  uint8_t signature[8];
  const bool at512 = file->Read(512, signature, 8) && std::memcmp(signature, "EFI PART", 8) == 0;
  const bool at4096 = file->Read(4096, signature, 8) && std::memcmp(signature, "EFI PART", 8) == 0;
  image.logicalSectorSize = at4096 && !at512 ? 4096 : 512;
  image.guest = std::make_unique<SharedSource>(std::move(file));
  opening.image = std::move(image);
  return opening;
}

}  // namespace

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

ImageOpening OpenImage(const std::string& path) {
  auto file = std::make_shared<FileSource>(path);
  if (!file->IsOpen()) {
    const DWORD error = file->OpenError();
    ImageOpening opening =
        error == ERROR_SHARING_VIOLATION
            ? Refused(ImageRefusal::InUse,
                      "in use, probably by a running virtual machine: check a copy, or check it "
                      "when the machine is off")
            : Refused(ImageRefusal::CannotOpen, "Windows would not open it");
    opening.error = error;
    return opening;
  }
  return ReadImage(std::move(file));
}

ImageOpening ReadImage(std::shared_ptr<ByteSource> file) {
  uint8_t cookie[8];
  if (file->Read(0, cookie, 8) && std::memcmp(cookie, "vhdxfile", 8) == 0)
    return ReadVhdx(std::move(file));
  // A VHD ends with its footer; a dynamic one also starts with a copy of it.
  const uint64_t size = file->Size();
  if (size >= 512 && file->Read(size - 512, cookie, 8) && std::memcmp(cookie, "conectix", 8) == 0)
    return ReadVhd(std::move(file));
  if (file->Read(0, cookie, 8) && std::memcmp(cookie, "conectix", 8) == 0)
    return Refused(ImageRefusal::UnknownFormat,
                   "it starts as a dynamic VHD but its footer is missing from its end");
  return ReadRaw(std::move(file));
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
                       uint64_t count, bool bigEndian)
    : m_file(std::move(file)),
      m_at(at),
      m_count(count),
      m_entryBytes(entryBytes),
      m_bigEndian(bigEndian) {}

std::optional<uint64_t> EntryTable::operator[](uint64_t i) {
  if (i >= m_count) return std::nullopt;
  const uint64_t offset = i * m_entryBytes;  // the table lies inside the file: no overflow
  const uint64_t page = offset / kPageBytes;
  if (m_page != page) {
    m_page.reset();
    const uint64_t from = page * kPageBytes;
    const uint64_t length = std::min<uint64_t>(kPageBytes, m_count * m_entryBytes - from);
    m_bytes.assign(static_cast<size_t>(length), '\0');
    if (!m_file->Read(m_at + from, reinterpret_cast<uint8_t*>(&m_bytes[0]), m_bytes.size()))
      return std::nullopt;
    m_page = page;
  }
  const auto* p = reinterpret_cast<const uint8_t*>(m_bytes.data()) + (offset - page * kPageBytes);
  if (m_entryBytes == 4) return m_bigEndian ? be::U32(p) : le::U32(p);
  return m_bigEndian ? be::U64(p) : le::U64(p);
}
