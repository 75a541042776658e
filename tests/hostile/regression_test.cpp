// Faults that fuzzing and the hostile inputs found, each kept with the case
// that showed it and its neighbours.
#include <gtest/gtest.h>

#include <string>

#include "support/failures.h"
#include "support/test_streams.h"
#include "tobinary/text_to_binary.h"
#include "totext/binary_to_text.h"

namespace quenlo {
namespace {

using test::FailureOf;
using test::TextBytes;
using test::VectorStream;

// A class name of 240 to 255 bytes (or a longer one, cut to 255) was written
// with a length byte that reads back as an object prefix: the conversion
// succeeded and left a stream that reads as another tree or not at all. Such
// a name now fails like a missing identifier; 239 bytes still convert both ways.
TEST(Regression, ClassNamesThatNoStreamCanHold) {
  for (const size_t length : {239u, 240u, 241u, 255u, 300u}) {
    for (const bool named : {true, false}) {
      const std::string class_name = "T" + std::string(length - 1, 'x');
      const std::string text =
          std::string("object ") + (named ? "A: " : "") + class_name + " [2]\r\n  P = 1\r\nend\r\n";
      VectorStream in(TextBytes(text));
      VectorStream stream;
      const std::string failure = FailureOf([&] { TextToBinaryForm(in, stream); });
      if (length < 240) {
        ASSERT_EQ(failure, "") << length;
        VectorStream stream_in(stream.data());
        VectorStream back;
        EXPECT_EQ(FailureOf([&] { BinaryFormToText(stream_in, back); }), "") << length;
        EXPECT_EQ(back.text(), text) << length;
      } else {
        EXPECT_EQ(failure, "EParserError: Identificateur attendu à la ligne 1") << length;
      }
    }
  }
  // Object names have no such limit.
  VectorStream in(TextBytes("object A" + std::string(254, 'x') + ": T\r\nend\r\n"));
  VectorStream stream;
  EXPECT_EQ(FailureOf([&] { TextToBinaryForm(in, stream); }), "");
}

}  // namespace
}  // namespace quenlo
