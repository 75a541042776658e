// Building binary form streams and running the converter on them, for the
// binary-to-text tests.
#pragma once

#include <string>
#include <string_view>

#include "support/failures.h"
#include "support/test_streams.h"
#include "totext/binary_to_text.h"

namespace quenlo::test {

// "a\nb" -> "a\r\nb": expected texts are written with plain line feeds.
inline std::string Lines(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

inline std::string Blanks(int levels) { return std::string(static_cast<size_t>(2 * levels), ' '); }

// A stream whose root object "A" of class "T" holds the given property records
// and child records.
inline ByteVector Form(const ByteVector& properties, const ByteVector& children = {}) {
  return Concat({TextBytes("TPF0"), NameBytes("T"), NameBytes("A"), properties, Bytes("00"),
                 children, Bytes("00")});
}

// The text of Form(one property P with the given value rendering).
inline std::string FormText(std::string_view rendering) {
  return Lines("object A: T\n  P = ") + std::string(rendering) + Lines("\nend\n");
}

struct Conversion {
  std::string text;     // what the output holds afterwards
  std::string failure;  // "" or "<class>: <message>"
  int64_t input_position;
};

inline Conversion Convert(const ByteVector& input, VectorStream& output) {
  VectorStream in(input);
  std::string failure = FailureOf([&] { BinaryFormToText(in, output); });
  return {output.text(), failure, in.position()};
}

inline Conversion Convert(const ByteVector& input) {
  VectorStream output;
  return Convert(input, output);
}

}  // namespace quenlo::test
