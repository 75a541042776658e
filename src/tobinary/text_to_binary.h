// Text form to binary form stream.
#pragma once

#include "runtime/streams.h"

namespace quenlo {

// Reads one text form from input and writes the binary form stream of the same
// tree to output: the signature, then the root object with its properties and
// children, item by item in one pass. Every failure is raised out of it; output
// then holds what was written before the failure.
//
// The decimal separator is "." for the whole call and gets its old value back
// on every path. Objects, lists and collections nest at most kMaxNestingLevel
// deep (the root object is level 1); deeper text fails with EStackOverflow.
//
// String values: string tokens joined by "+" make one value. It is written as
// tgWideString when a "#" code above 255 (or, after a UTF-8 byte-order mark, a
// quoted character beyond ASCII) is in it, else byte for byte as tgString or
// tgLongString.
//
// Text written by BinaryFormToText converts back to the stream it came from
// in canonical form, which one more round leaves unchanged. Among its rules:
// the narrowest integer width; tgString up to 255 bytes; child positions of 0
// or below and item indexes of -1 dropped; floats as far as their 15 written
// digits carry; a tgWideString or tgUtf8String as tgWideString when a code
// unit is above 255, else as the byte string of its code units. An empty
// identifier value renders as nothing and does not read back.
//
// Example: "object A: TB [3]" + CR LF + "end" gives TPF0, F2 02 03 (prefix with
// the child position 3), 02 54 42, 01 41, 00, 00.
void TextToBinaryForm(TStream& input, TStream& output);

}  // namespace quenlo
