#include "image/disk_image.h"

#include <algorithm>
#include <cstring>

#include "image/big_endian.h"
#include "image/sector_size.h"
#include "inspect/little_endian.h"

namespace {

// A raw image is its disk, in the sectors its own table and boot sectors witness.
ImageOpening ReadRaw(std::shared_ptr<ByteSource> file) {
  ImageOpening opening;
  DiskImage image;
  image.virtualSize = file->Size();
  const SectorSizeWitness witness = WitnessSectorSize(*file);
  image.logicalSectorSize = witness.bytes.value_or(512);
  image.sectorSizeFrom = witness.disagree ? SectorSizeFrom::Disagree
                         : witness.bytes  ? SectorSizeFrom::Image
                                          : SectorSizeFrom::Default;
  image.guest = std::make_unique<SharedSource>(std::move(file));
  opening.image = std::move(image);
  return opening;
}

// The file's first KiB and last sector, where every format's signature lies: read once.
struct Ends {
  std::string head, tail;
  bool Holds(const std::string& bytes, const std::string& at, size_t offset) const {
    return at.size() >= offset + bytes.size() && at.compare(offset, bytes.size(), bytes) == 0;
  }
  bool Head(const char* bytes, size_t offset = 0) const { return Holds(bytes, head, offset); }
};

Ends ReadEnds(ByteSource& file) {
  Ends ends;
  const uint64_t size = file.Size();
  const auto read = [&](uint64_t at, uint64_t length) {
    std::string bytes(static_cast<size_t>(length), '\0');
    if (length == 0 || !file.Read(at, reinterpret_cast<uint8_t*>(&bytes[0]), bytes.size()))
      return std::string();
    return bytes;
  };
  ends.head = read(0, std::min<uint64_t>(size, 1024));
  if (size >= 512) ends.tail = read(size - 512, 512);
  return ends;
}

// Formats this reader does not take apart, each by its signature as its publisher or qemu's
// probe knows it. Read as a raw disk, any of them would look blank: it is refused instead.
const char* UnreadFormat(const Ends& ends) {
  if (ends.Head("QFI\xfb")) return "a QCOW2 image";
  if (ends.Head("KDMV")) return "a VMDK sparse extent";
  if (ends.Head("COWD")) return "a VMDK of ESX's older sparse format";
  if (ends.Head("WithoutFreeSpace") || ends.Head("WithouFreSpacExt")) return "a Parallels image";
  if (ends.Head("\x7F\x10\xDA\xBE", 0x40)) return "a VDI image";  // 0xBEDA107F, little-endian
  if (ends.Holds("koly", ends.tail, 0)) return "a DMG image";
  // A VMDK descriptor is a small text file: its first KiB names its type.
  if (ends.head.find("createType=") != std::string::npos) return "a VMDK descriptor";
  return nullptr;
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
  const Ends ends = ReadEnds(*file);
  if (ends.Head("vhdxfile")) return ReadVhdx(std::move(file));
  // A VHD ends with its footer; a dynamic one also starts with a copy of it.
  if (ends.Holds("conectix", ends.tail, 0)) return ReadVhd(std::move(file));
  if (ends.Head("conectix"))
    return Refused(ImageRefusal::UnknownFormat,
                   "it starts as a dynamic VHD but its footer is missing from its end");
  if (const char* format = UnreadFormat(ends))
    return Refused(ImageRefusal::UnknownFormat,
                   std::string(format) +
                       ": Tessarel does not read this format; convert it with qemu-img, or "
                       "check the disk inside the guest");
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
