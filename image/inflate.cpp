#include "image/inflate.h"

#include <zlib.h>

#include <cstring>

bool Inflate(Deflate kind, const uint8_t* in, size_t inBytes, uint8_t* out, size_t outBytes) {
  z_stream z;
  std::memset(&z, 0, sizeof z);
  if (inflateInit2(&z, kind == Deflate::Zlib ? 15 : -15) != Z_OK) return false;
  z.next_in = const_cast<Bytef*>(in);
  z.avail_in = static_cast<uInt>(inBytes);
  z.next_out = out;
  z.avail_out = static_cast<uInt>(outBytes);
  const int result = inflate(&z, Z_FINISH);
  const size_t made = outBytes - z.avail_out;
  inflateEnd(&z);
  // A QCOW2 cluster's stream is followed by the rest of its last sector: an output filled
  // before the stream's end is whole.
  const bool whole = result == Z_STREAM_END || (result == Z_BUF_ERROR && made == outBytes) ||
                     (result == Z_OK && made == outBytes);
  if (!whole) return false;
  std::memset(out + made, 0, outBytes - made);
  return true;
}
