// An independent reading of a binary form stream, the oracle of the fuzz
// targets: whether the binary-to-text converter must accept the stream, whether
// its text form can be read back as the same tree, and the canonical stream that
// reading it back must give.
//
// The canonical stream is the one the text-to-binary converter writes for the
// text of the stream: integers in their narrowest width (child positions and
// item indexes too), byte strings as tgString up to 255 bytes, wide and UTF-8
// strings as tgWideString when a code unit is above 255 and as byte strings
// otherwise, the identifiers False, True and nil in any letter case as their
// tags, no prefix byte without flags, no flag bits beyond pfInherited and
// pfChildPos, no child position of 0 or below, no item index of -1, negative
// binary lengths as 0, and each float as the value its 15-digit text reads back
// to (a whole number in the 32-bit range as an integer, INF and NAN as
// identifiers). Nothing after the root object record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace quenlo::fuzz {

using Bytes = std::vector<uint8_t>;

struct StreamVerdict {
  // BinaryFormToText must succeed on it.
  bool valid = false;
  // Its text converts back to the same tree: every name is an identifier (a
  // property name a dotted path of them, not starting with a keyword that ends
  // its list), class names hold at most 239 bytes, every value has a text (no
  // tgNull in place of a value, no empty identifier).
  bool readable_text = true;
  // Every float's text reads back to a value that has the same text. Values
  // near the bottom of the range lose bits on the way and may not.
  bool stable_floats = true;
  // A float whose text the number parsing refuses: never expected.
  std::string unreadable_float;
  // The first reason for !valid or !readable_text, for reports.
  std::string why;
  std::string root_class;
  // Bytes up to the end of the root object record, signature included.
  size_t consumed = 0;
  // It holds floats or wide or UTF-8 strings: values whose canonical form can
  // differ from what the text-to-binary converter wrote for another text.
  bool has_floats_or_wide = false;
  // Meaningful when valid and readable_text.
  Bytes canonical;
};

StreamVerdict JudgeStream(const uint8_t* data, size_t size);

// The deepest nesting the converters accept (the root object is level 1).
constexpr int kModelMaxNesting = 1000;

// The tokenizer sees whole lines through a 4096-byte window: a line whose line
// feed stands 4095 or more bytes after its start fails with "Ligne trop longue"
// when at least 4096 bytes of text remain from its start. Returns the number of
// the first such line of a text without NUL bytes, or 0.
int32_t FirstTooLongLine(const std::string& text);

}  // namespace quenlo::fuzz
