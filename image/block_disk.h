// A virtual disk kept in blocks of its file (a dynamic VHD, any VHDX, a sparse VMDK's grains,
// a QCOW2's clusters, a dynamic VDI): each block's data where the format's table places it,
// inflated where it is compressed, or zeros for a block never written.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "image/byte_source.h"
#include "image/inflate.h"

class BlockDisk : public ByteSource {
 public:
  BlockDisk(std::shared_ptr<ByteSource> file, uint64_t size, uint64_t blockBytes)
      : m_file(std::move(file)), m_size(size), m_blockBytes(blockBytes) {}
  uint64_t Size() const override { return m_size; }
  bool Read(uint64_t offset, uint8_t* out, size_t size) override;
  // A differencing disk's parent: what a block the disk does not hold reads as.
  void SetParent(std::shared_ptr<ByteSource> parent) { m_parent = std::move(parent); }

 protected:
  // Where block `block`'s data begins in the file; none for one that reads as zeros.
  struct Compressed {
    uint64_t at = 0;     // where its stream begins in the file
    uint32_t bytes = 0;  // how long it may be
    Deflate kind = Deflate::Zlib;
    // What the stream inflates to, where it holds more than the block (a QCOW2 cluster of
    // 32 subclusters): its bytes (0: one block), and where in it the block lies.
    uint64_t unitBytes = 0, within = 0;
  };
  struct Place {
    bool known = false;  // the table could be read and the entry means something
    std::optional<uint64_t> dataAt;
    std::optional<Compressed> compressed;
    bool parents = false;  // the block is the parent's (zeros without one)
  };
  static Place Unknown() { return {}; }
  static Place Zeros() { return {true, std::nullopt, std::nullopt, false}; }
  static Place At(uint64_t dataAt) { return {true, dataAt, std::nullopt, false}; }
  static Place Deflated(Compressed c) { return {true, std::nullopt, c, false}; }
  static Place Parents() { return {true, std::nullopt, std::nullopt, true}; }
  virtual Place Locate(uint64_t block) = 0;
  const std::shared_ptr<ByteSource>& File() const { return m_file; }

 private:
  // The block `c` holds, its stream inflated once and kept while it is read.
  const uint8_t* Inflated(const Compressed& c);

  std::shared_ptr<ByteSource> m_file;
  std::shared_ptr<ByteSource> m_parent;
  uint64_t m_size, m_blockBytes;
  std::optional<uint64_t> m_inflatedAt;  // the stream held inflated, by its place
  std::vector<uint8_t> m_inflated;
};
