// Deflate streams inflated with zlib: a stream-optimized VMDK's grains (zlib's format, RFC
// 1950) and a QCOW2's compressed clusters (raw deflate, RFC 1951).
#pragma once

#include <cstddef>
#include <cstdint>

enum class Deflate { Zlib, Raw };

// Inflates `in` into exactly `outBytes` bytes at `out`; a stream that ends sooner leaves the
// rest zeros. False for a stream that is broken or longer than `outBytes`.
bool Inflate(Deflate kind, const uint8_t* in, size_t inBytes, uint8_t* out, size_t outBytes);
