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
    {"a VHDX image", [](const FileEnds& e) { return e.Head("vhdxfile"); }, ReadVhdx},
    // A VHD ends with its footer; a dynamic one also starts with a copy of it.
    {"a VHD image", [](const FileEnds& e) { return e.Tail("conectix") || e.Head("conectix"); },
     ReadVhd},
    {"a QCOW2 image", [](const FileEnds& e) { return e.Head("QFI\xfb"); }, ReadQcow2},
    {"a VMDK image", Vmdk, ReadVmdk},
    {"a VMDK of ESX's older sparse format", [](const FileEnds& e) { return e.Head("COWD"); },
     nullptr},
    {"a VDI image", [](const FileEnds& e) { return e.Head("\x7F\x10\xDA\xBE", 0x40); }, ReadVdi},
    {"a Parallels image",
     [](const FileEnds& e) { return e.Head("WithoutFreeSpace") || e.Head("WithouFreSpacExt"); },
     nullptr},
    {"a DMG image", [](const FileEnds& e) { return e.Tail("koly"); }, nullptr},
};
const size_t kImageFormatCount = std::size(kImageFormats);
