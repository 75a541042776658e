// Binary form stream to text form.
#pragma once

#include "runtime/streams.h"

namespace quenlo {

// Renders the one object tree of the binary form stream at the input's position
// as text form on the output: CR LF line ends, two blanks per level. Reads
// nothing after the root object record; the input then stands right behind it.
//
// DecimalMark is '.' during the call and its entry value afterwards. Failures
// (EReadError for damaged or truncated input, EInvalidOp for an unnormal float,
// EStackOverflow beyond kMaxNestingLevel, EWriteError when the output refuses
// bytes) leave the output holding every byte rendered before them.
void BinaryFormToText(TStream& input, TStream& output);

}  // namespace quenlo
