#include "formstream/filer.h"

namespace quenlo {

TFiler::TFiler(TStream& stream, int32_t buffer_size)
    : Stream(stream),
      Buffer(new uint8_t[static_cast<size_t>(buffer_size > 0 ? buffer_size : 1)]),
      BufferSize(buffer_size > 0 ? buffer_size : 1) {}

TFiler::~TFiler() = default;

}  // namespace quenlo
