// Hostile shapes of legal bytes: every special float pattern through both
// directions, every byte value where an item begins, NUL bytes and lone
// carriage returns in text forms, NUL bytes in binary names and strings.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "numtext/extended.h"
#include "numtext/format.h"
#include "round_trip.h"
#include "support/failures.h"
#include "support/test_streams.h"
#include "tobinary/text_to_binary.h"
#include "totext/binary_to_text.h"

namespace quenlo {
namespace {

using test::FailureOf;
using test::TextBytes;
using test::VectorStream;

struct Result {
  std::string output;
  std::string failure;
};

Result Convert(void (*convert)(TStream&, TStream&), const std::string& input) {
  VectorStream in(TextBytes(input));
  VectorStream out;
  std::string failure = FailureOf([&] { convert(in, out); });
  return {out.text(), failure};
}

std::string Box(const std::string& value) {
  return std::string(
             "TPF0\x01T\x01"
             "A\x01P",
             10) +
         value + std::string(2, '\0');
}

std::string FloatBytes(uint16_t sign_exponent, uint64_t significand) {
  uint8_t bytes[Extended::kByteSize];
  Extended{significand, sign_exponent}.ToBytes(bytes);
  return "\x05" + std::string(reinterpret_cast<const char*>(bytes), sizeof bytes);
}

// Each pattern as a property value: its text, and what that text reads back
// as. An empty readback means the same float, bit for bit; kSameText a float
// of the same text (15 digits do not give every bit back).
TEST(HostileInput, EverySpecialFloatPatternInBothDirections) {
  const std::string kZero("\x02\x00", 2);
  const std::string kInf = "\x07\x03INF";
  const std::string kNan = "\x07\x03NAN";
  const std::string kSameText = "same text";
  const char* kInvalidOp = "EInvalidOp: Opération flottante incorrecte";
  struct Row {
    const char* name;
    uint16_t sign_exponent;
    uint64_t significand;
    const char* text;  // nullptr: the conversion fails with kInvalidOp
    std::string readback;
  };
  const Row rows[] = {
      {"+0", 0x0000, 0, "0", kZero},
      {"-0", 0x8000, 0, "0", kZero},
      {"smallest denormal", 0x0000, 1, "0", kZero},
      {"largest denormal", 0x8000, 0x7FFFFFFFFFFFFFFF, "0", kZero},
      {"pseudo-denormal", 0x0000, 0x8000000000000000, "0", kZero},
      {"one and a half", 0x3FFF, 0xC000000000000000, "1.5", ""},
      {"two", 0x4000, 0x8000000000000000, "2", std::string("\x02\x02", 2)},
      {"2^31", 0x401E, 0x8000000000000000, "2147483648", ""},
      {"-2^31", 0xC01E, 0x8000000000000000, "-2147483648", std::string("\x04\x00\x00\x00\x80", 5)},
      {"10^15", 0x4030, 0xE35FA931A0000000, "1E15", ""},
      {"largest normal", 0x7FFE, 0xFFFFFFFFFFFFFFFF, "1.18973149535723E4932", kSameText},
      {"a third", 0x3FFD, 0xAAAAAAAAAAAAAAAB, "0.333333333333333", kSameText},
      {"+infinity", 0x7FFF, 0x8000000000000000, "INF", kInf},
      {"-infinity", 0xFFFF, 0x8000000000000000, "INF", kInf},
      {"infinity with low bits", 0x7FFF, 0x8000000000000001, "INF", kInf},
      {"pseudo-infinity", 0x7FFF, 0, "NAN", kNan},
      {"quiet NaN", 0x7FFF, 0xC000000000000000, "NAN", kNan},
      {"signalling NaN", 0x7FFF, 0xA000000000000000, "NAN", kNan},
      {"indefinite", 0xFFFF, 0xC000000000000000, "NAN", kNan},
      {"pseudo-NaN", 0x7FFF, 0x4000000000000001, "NAN", kNan},
      {"unnormal", 0x0001, 0x4000000000000000, nullptr, ""},
      {"pseudo-zero", 0x3FFF, 0, nullptr, ""},
      {"largest unnormal", 0x7FFE, 0x7FFFFFFFFFFFFFFF, nullptr, ""},
  };
  for (const Row& row : rows) {
    const std::string value = FloatBytes(row.sign_exponent, row.significand);
    const Result text = Convert(BinaryFormToText, Box(value));
    if (row.text == nullptr) {
      EXPECT_EQ(text.failure, kInvalidOp) << row.name;
      EXPECT_EQ(text.output, "object A: T\r\n  P = ") << row.name;
      continue;
    }
    EXPECT_EQ(text.failure, "") << row.name;
    EXPECT_EQ(text.output, "object A: T\r\n  P = " + std::string(row.text) + "\r\nend\r\n")
        << row.name;
    const Result back = Convert(TextToBinaryForm, text.output);
    EXPECT_EQ(back.failure, "") << row.name;
    if (row.readback == kSameText) {
      EXPECT_NE(back.output, Box(value)) << row.name;
      EXPECT_EQ(Convert(BinaryFormToText, back.output).output, text.output) << row.name;
    } else {
      EXPECT_EQ(test::Hex(TextBytes(back.output)),
                test::Hex(TextBytes(Box(row.readback.empty() ? value : row.readback))))
          << row.name;
    }
  }
}

// The smallest normal's 15 digits lie below it: they read back as a denormal,
// whose text is 0. The one pattern whose text does not survive a second round.
TEST(HostileInput, TheSmallestNormalReadsBackAsADenormal) {
  const Result text = Convert(BinaryFormToText, Box(FloatBytes(0x0001, 0x8000000000000000)));
  EXPECT_EQ(text.output, "object A: T\r\n  P = 3.36210314311209E-4932\r\nend\r\n");
  const Result back = Convert(TextToBinaryForm, text.output);
  ASSERT_EQ(back.failure, "");
  const std::string payload = back.output.substr(10, Extended::kByteSize + 1);
  ASSERT_EQ(payload[0], '\x05');
  const Extended value = Extended::FromBytes(reinterpret_cast<const uint8_t*>(payload.data()) + 1);
  EXPECT_EQ(value.BiasedExponent(), 0);
  EXPECT_FALSE(value.HasIntegerBit());
  EXPECT_EQ(Convert(BinaryFormToText, back.output).output, "object A: T\r\n  P = 0\r\nend\r\n");
}

// A NUL byte ends the text for the tokenizer: whatever stands before the root's
// "end" is then missing, and the conversion fails where the text stopped.
TEST(HostileInput, NulBytesEndATextForm) {
  const std::string nul(1, '\0');
  struct Row {
    std::string text;
    const char* failure;
  };
  const Row rows[] = {
      {nul, "EParserError: OBJECT attendu à la ligne 1"},
      {"object A: T\r\n" + nul + "  P = 1\r\nend\r\n",
       "EParserError: Identificateur attendu à la ligne 2"},
      {"object A: T\r\n  Pro" + nul + "p = 1\r\nend\r\n",
       "EParserError: ''='' attendu à la ligne 2"},
      {"object A: T\r\n  P = 'a" + nul + "b'\r\nend\r\n",
       "EParserError: Constante chaîne incorrecte à la ligne 2"},
      {"object A: T\r\n  P = {00" + nul + "}\r\nend\r\n",
       "EParserError: Valeur binaire incorrecte à la ligne 2"},
      // After the root's end nothing more is read.
      {"object A: T\r\nend\r\n" + nul + "garbage", ""},
      // The bytes behind a NUL still fill the buffer, and a full buffer needs
      // a line feed.
      {"object A: T\r\n" + nul + std::string(5000, 'x') + "\r\nend\r\n",
       "EParserError: Ligne trop longue à la ligne 2"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(Convert(TextToBinaryForm, row.text).failure, row.failure)
        << testing::PrintToString(row.text);
  }
}

// A lone carriage return separates tokens but ends no line: the line count
// stays 1, and a text of more than a buffer has no line feed where one is needed.
TEST(HostileInput, LoneCarriageReturnsEndNoLine) {
  const std::string lines = "object A: T\r\n  P = 1\r\n  Q = 'x'\r\nend\r\n";
  std::string returns = lines;
  for (size_t at = returns.find('\n'); at != std::string::npos; at = returns.find('\n'))
    returns.erase(at, 1);
  EXPECT_EQ(Convert(TextToBinaryForm, returns).output, Convert(TextToBinaryForm, lines).output);
  EXPECT_EQ(Convert(TextToBinaryForm, "object A: T\r  P = 1\r  Q = )\rend\r").failure,
            "EParserError: Valeur de propriété incorrecte à la ligne 1");

  std::string many = "object A: T\r";
  for (int i = 0; i < 400; ++i) many += "  P" + std::to_string(i) + " = 1\r";
  many += "end\r";
  ASSERT_GT(many.size(), 4096u);
  EXPECT_EQ(Convert(TextToBinaryForm, many).failure,
            "EParserError: Ligne trop longue à la ligne 1");
}

// A NUL inside a string is a character like any other; inside a name it is
// copied into the text as it stands, and that text is then refused, never
// read back as another tree.
TEST(HostileInput, NulBytesInBinaryStringsAndNames) {
  const Result string = Convert(BinaryFormToText, Box(std::string("\x06\x03"
                                                                  "a\0b",
                                                                  5)));
  EXPECT_EQ(string.output, "object A: T\r\n  P = 'a'#0'b'\r\nend\r\n");
  EXPECT_EQ(Convert(TextToBinaryForm, string.output).output, Box(std::string("\x06\x03"
                                                                             "a\0b",
                                                                             5)));

  const std::string named[] = {
      std::string("TPF0\x03T\0X\x01"
                  "A\x00\x00",
                  12),  // class name
      std::string("TPF0\x01T\x03"
                  "A\0X\x00\x00",
                  12),  // object name
      std::string("TPF0\x01T\x01"
                  "A\x03P\0Q\x02\x01\x00\x00",
                  16),  // property name
  };
  for (const std::string& stream : named) {
    const Result text = Convert(BinaryFormToText, stream);
    EXPECT_EQ(text.failure, "") << testing::PrintToString(stream);
    EXPECT_NE(text.output.find('\0'), std::string::npos);
    EXPECT_EQ(Convert(TextToBinaryForm, text.output).failure.rfind("EParserError: ", 0), 0u)
        << testing::PrintToString(text.output);
  }
}

// Every byte value where a value, an object, a collection item or a text
// token begins, followed by payloads that end at once, run out, or claim 2 GiB;
// the fuzz properties (round_trip.h) must hold for each, the independent
// reading of the stream deciding what must succeed.
TEST(HostileInput, EveryByteValueWhereAnItemBegins) {
  const std::string payloads[] = {std::string(16, '\0'), std::string(16, '\xFF'),
                                  std::string("\xFF\xFF\xFF\x7F", 4),
                                  std::string("\x05\x00\x00\x00"
                                              "abcde",
                                              9),
                                  ""};
  auto check_stream = [](const std::string& stream) {
    fuzz::CheckBinaryStream(reinterpret_cast<const uint8_t*>(stream.data()), stream.size());
  };
  for (int byte = 0; byte < 256; ++byte) {
    const std::string b(1, static_cast<char>(byte));
    for (const std::string& payload : payloads) {
      check_stream(Box(b + payload));           // a value
      check_stream(Box("\x0E" + b + payload));  // a collection item
      check_stream(std::string("TPF0", 4) + b + payload + std::string(4, '\0'));  // the root object
      check_stream(std::string("TPF0\x01T\x00\x00", 8) + b + payload);            // a child object
    }
    for (const std::string& text :
         {b + "object A: T\r\nend\r\n", "object A: T\r\n  P = " + b + "1\r\nend\r\n",
          "object A: T\r\n  P = '" + b + "'\r\nend\r\n"}) {
      fuzz::CheckTextForm(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    }
  }
}

}  // namespace
}  // namespace quenlo
