// A virtual disk kept in blocks of its file (a dynamic VHD, any VHDX): each block's data
// where the format's table places it, or zeros for a block never written.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "image/byte_source.h"

class BlockDisk : public ByteSource {
 public:
  BlockDisk(std::shared_ptr<ByteSource> file, uint64_t size, uint64_t blockBytes)
      : m_file(std::move(file)), m_size(size), m_blockBytes(blockBytes) {}
  uint64_t Size() const override { return m_size; }
  bool Read(uint64_t offset, uint8_t* out, size_t size) override;

 protected:
  // Where block `block`'s data begins in the file; none for one that reads as zeros.
  struct Place {
    bool known = false;  // the table could be read and the entry means something
    std::optional<uint64_t> dataAt;
  };
  virtual Place Locate(uint64_t block) = 0;

 private:
  std::shared_ptr<ByteSource> m_file;
  uint64_t m_size, m_blockBytes;
};
