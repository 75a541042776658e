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
// Example: "object A: TB [3]" + CR LF + "end" gives TPF0, F2 02 03 (prefix with
// the child position 3), 02 54 42, 01 41, 00, 00.
void TextToBinaryForm(TStream& input, TStream& output);

}  // namespace quenlo
