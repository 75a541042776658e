// TFiler: the buffer shared by the form stream reader and writer.
#pragma once

#include <cstdint>
#include <memory>

#include "runtime/streams.h"

namespace quenlo {

// A fixed buffer over a stream the filer does not own. The stream must outlive
// the filer.
class TFiler {
 public:
  TFiler(const TFiler&) = delete;
  TFiler& operator=(const TFiler&) = delete;

 protected:
  // buffer_size must be at least 1; the converters use kFilerBufferSize.
  TFiler(TStream& stream, int32_t buffer_size);
  ~TFiler();

  TStream& Stream;
  std::unique_ptr<uint8_t[]> Buffer;
  int32_t BufferSize;
  // Reader: index of the next unconsumed byte. Writer: bytes waiting in Buffer.
  int32_t Cursor = 0;
  // Reader only: valid bytes in Buffer since the last refill.
  int32_t Filled = 0;
};

}  // namespace quenlo
