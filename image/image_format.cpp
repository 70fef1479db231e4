#include "image/image_format.h"

#include <algorithm>

// Each format's reader, in a file of its own.
ImageOpening ReadVhd(const ImageFile& file);
ImageOpening ReadVhdx(const ImageFile& file);
ImageOpening ReadVmdk(const ImageFile& file);
ImageOpening ReadQcow2(const ImageFile& file);
ImageOpening ReadVdi(const ImageFile& file);

namespace {

// VMware's sparse extent ("KDMV"), or a small text descriptor whose first KiB names its type.
bool Vmdk(const FileEnds& e) {
  return e.Head("KDMV") || e.head.find("createType=") != std::string::npos;
}

// A raw image is its disk, in the sectors its own table and boot sectors witness.
ImageOpening ReadRaw(std::shared_ptr<ByteSource> file) {
  ImageOpening opening;
  DiskImage image;
  image.virtualSize = file->Size();
  image.fileBytes = file->Size();
  image.sectorSizeFrom = SectorSizeFrom::Default;
  image.guest = std::make_unique<SharedSource>(std::move(file));
  opening.image = std::move(image);
  return opening;
}

}  // namespace

FileEnds ReadEnds(ByteSource& file) {
  FileEnds ends;
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

const ImageFormatEntry kImageFormats[] = {
    {"a VHDX image", "VHDX", [](const FileEnds& e) { return e.Head("vhdxfile"); }, ReadVhdx},
    // A VHD ends with its footer; a dynamic one also starts with a copy of it.
    {"a VHD image", "VHD", [](const FileEnds& e) { return e.Tail("conectix") || e.Head("conectix"); },
     ReadVhd},
    {"a QCOW2 image", "QCOW2", [](const FileEnds& e) { return e.Head("QFI\xfb"); }, ReadQcow2},
    {"a VMDK image", "VMDK", Vmdk, ReadVmdk},
    {"a VMDK of ESX's older sparse format", nullptr, [](const FileEnds& e) { return e.Head("COWD"); },
     nullptr},
    {"a VDI image", "VDI", [](const FileEnds& e) { return e.Head("\x7F\x10\xDA\xBE", 0x40); }, ReadVdi},
    {"a Parallels image", nullptr,
     [](const FileEnds& e) { return e.Head("WithoutFreeSpace") || e.Head("WithouFreSpacExt"); },
     nullptr},
    {"a DMG image", nullptr, [](const FileEnds& e) { return e.Tail("koly"); }, nullptr},
};
const size_t kImageFormatCount = std::size(kImageFormats);

ImageOpening OpenImage(const std::string& path, const ChainPlace& chain) {
  auto file = std::make_shared<FileSource>(path);
  if (!file->IsOpen()) {
    const DWORD error = file->OpenError();
    ImageOpening opening =
        error == ERROR_SHARING_VIOLATION
            ? Refused(ImageRefusal::InUse,
                      "in use, probably by a running virtual machine: check a copy, or check it "
                      "when the machine is off, or check its checkpoint's parent, or inside the "
                      "guest")
            : Refused(ImageRefusal::CannotOpen, "Windows would not open it");
    opening.error = error;
    return opening;
  }
  return ReadImage(std::move(file), path, chain);
}

ImageOpening ReadImage(std::shared_ptr<ByteSource> file, const std::string& path,
                       const ChainPlace& chain) {
  ImageFile image{file, path, ReadEnds(*file), chain};
  image.chain.files.push_back(ChainKey(path));
  for (size_t i = 0; i < kImageFormatCount; ++i) {
    const ImageFormatEntry& format = kImageFormats[i];
    if (!format.probe(image.ends)) continue;
    if (format.read != nullptr) {
      ImageOpening opening = format.read(image);
      if (opening.image) opening.image->fileBytes = file->Size();
      return opening;
    }
    return Refused(ImageRefusal::UnknownFormat,
                   std::string(format.name) +
                       ": Tessarel does not read this format; convert it with qemu-img, or "
                       "check the disk inside the guest");
  }
  return ReadRaw(std::move(file));
}
