// The resource form file: a one-entry resource header around a binary form stream.
//
//   FF | 0A 00 | class name upper-cased, 0 | 30 10 | stream size (4 bytes LE) | stream
//
// The header is 10 + L bytes for a class name of L bytes (names of up to 255 bytes).
#pragma once

#include <cstdint>

#include "runtime/streams.h"

namespace quenlo {

// The most bytes the header reader looks at: the marker, the type and a name of
// up to 255 bytes with its 0, the flags and the size, with room for the 0 byte
// that ends the longest name.
constexpr int32_t kResourceHeaderProbe = 265;

// Moves the stream from the start of a resource form file to right behind its
// header. Fails with EInvalidImage "Format de flux incorrect" when the first
// three bytes are not FF 0A 00.
void SkipResourceHeader(TStream& input);

// The .DFM -> text direction: skips the header and renders the stream as text.
void ResourceFormToText(TStream& input, TStream& output);

// The text -> .DFM direction: builds the whole binary form stream in memory,
// then writes the header and the stream. Nothing reaches the output before the
// stream is complete; a short write fails with EWriteError.
void TextToResourceForm(TStream& input, TStream& output);

}  // namespace quenlo
