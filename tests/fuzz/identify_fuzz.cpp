// Drive identification against any answer: SMART, INQUIRY and the storage descriptor,
// any returned count, any bytes, opens that fail in each way, any one call failing, with
// raw access or with queries only. The input itself is also read as a device descriptor.
#include "fuzz_check.h"
#include "fuzz_codec.h"
#include "inspect/drive_layout.h"
#include "sim/builders.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::FuzzReader in(data, size);
  fuzz::SimRun run;
  sim::Machine& m = run.machine;
  uint32_t index;
  uint8_t seal, fail;
  in.Choice(index, fuzz::kDiskNumbers);
  fuzz::CodeDrive(in, m.drives[index]);
  in.U8(seal);
  // Many inputs should pass the integrity test, to reach what follows it.
  if (seal & 1) sim::SealIdentify(m.drives[index].smart.data);
  in.U8(fail);
  if (fail < 64) m.failCall = fail;

  const AccessMode mode = seal & 2 ? AccessMode::QueryOnly : AccessMode::Raw;
  DriveInfo info;
  IdentifyDrive(index, &info, mode);

  fuzz::CheckNothingLeft(m);
  FUZZ_CHECK(info.status >= -2 && info.status <= 1);
  if (mode == AccessMode::Raw) {
    FUZZ_CHECK(info.model.GetLength() <= 40);
    FUZZ_CHECK(info.serial.GetLength() <= 20);
    FUZZ_CHECK(info.firmware.GetLength() <= 8);
    if (info.status != 1) FUZZ_CHECK(info.serial.IsEmpty() && info.firmware.IsEmpty());
  } else {
    FUZZ_CHECK(info.status <= 0);  // no identity is asked for
  }
  if (info.HasGeometry()) {
    const unsigned spp = info.sectorsPerPhysical;
    FUZZ_CHECK(spp >= 1 && spp <= 32768 && (spp & (spp - 1)) == 0);
    FUZZ_CHECK(info.bytesPerLogicalSector >= 512);
    // The grid lies within one physical sector, or the drive did not say where (0).
    FUZZ_CHECK(info.alignPhase <= spp);
  }

  if (info.layout) FUZZ_CHECK(info.layout->partitions.size() <= 1024);

  // The input itself as a table: nothing read past it.
  if (const auto layout = ParseDriveLayout(data, size, SectorSize(512), std::nullopt))
    FUZZ_CHECK(layout->partitions.size() <= (size > 48 ? (size - 48) / 144 : 0));

  // Each text at most 64 characters, the name two of them and a space.
  const DescriptorTexts texts = ReadDeviceDescriptor(data, static_cast<DWORD>(size));
  FUZZ_CHECK(texts.name.GetLength() <= 129);
  FUZZ_CHECK(texts.serial.GetLength() <= 64 && texts.revision.GetLength() <= 64);
  return 0;
}
