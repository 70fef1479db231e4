// Memory a backend hands out for VirtualAlloc: zeroed blocks on the allocation granularity
// of Windows (64 KiB), so that unbuffered reads into them are aligned as on Windows. The
// blocks still held are freed with the object.
#pragma once

#include <cstring>
#include <map>
#include <new>

namespace sys {

class MemoryBlocks {
 public:
  MemoryBlocks() = default;
  ~MemoryBlocks() {
    for (auto& [block, size] : m_blocks) ::operator delete(block, kGranularity);
  }
  MemoryBlocks(const MemoryBlocks&) = delete;
  MemoryBlocks& operator=(const MemoryBlocks&) = delete;

  // A new block of `size` bytes; null when there is no memory for it.
  void* Allocate(size_t size) {
    void* block = ::operator new(size, kGranularity, std::nothrow);
    if (block == nullptr) return nullptr;
    std::memset(block, 0, size);
    m_blocks[block] = size;
    return block;
  }
  // False for an address that is not a block of this object.
  bool Free(void* block) {
    auto it = m_blocks.find(block);
    if (it == m_blocks.end()) return false;
    ::operator delete(block, kGranularity);
    m_blocks.erase(it);
    return true;
  }
  int Count() const { return static_cast<int>(m_blocks.size()); }

 private:
  static constexpr std::align_val_t kGranularity{65536};
  std::map<void*, size_t> m_blocks;
};

}  // namespace sys
