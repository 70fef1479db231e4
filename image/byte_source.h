// Bytes read by their offset: an image file, or the virtual disk a container holds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/device.h"

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual uint64_t Size() const = 0;
  // Exactly `size` bytes at `offset`; false where any of them lies past Size() (nothing is
  // read there) or a read fails.
  virtual bool Read(uint64_t offset, uint8_t* out, size_t size) = 0;

 protected:
  bool Inside(uint64_t offset, size_t size) const {
    return offset <= Size() && size <= Size() - offset;
  }
};

// Another owner's source, read as it is, up to `size` bytes where given: a raw image's disk
// is its file, a fixed VHD's the file before its footer.
class SharedSource : public ByteSource {
 public:
  explicit SharedSource(std::shared_ptr<ByteSource> source, std::optional<uint64_t> size = {})
      : m_source(std::move(source)), m_size(size.value_or(m_source->Size())) {}
  uint64_t Size() const override { return m_size; }
  bool Read(uint64_t offset, uint8_t* out, size_t size) override {
    return Inside(offset, size) && m_source->Read(offset, out, size);
  }

 private:
  std::shared_ptr<ByteSource> m_source;
  uint64_t m_size;
};

// A file named by its path, opened through the door for reading only, shared so that a
// hypervisor that has it open may keep writing.
class FileSource : public ByteSource {
 public:
  explicit FileSource(const std::string& path);
  bool IsOpen() const { return m_file.IsOpen() && m_size.has_value(); }
  DWORD OpenError() const { return m_file.IsOpen() ? m_sizeError : m_file.OpenError(); }
  uint64_t Size() const override { return m_size.value_or(0); }
  bool Read(uint64_t offset, uint8_t* out, size_t size) override;

 private:
  Device m_file;
  std::optional<uint64_t> m_size;
  DWORD m_sizeError = ERROR_SUCCESS;
};
