#include "formstream/codepage.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "support/test_streams.h"

namespace quenlo {
namespace {

// "0041 20AC": the code units in hex.
std::string Units(const std::u16string& units) {
  std::string out;
  for (const char16_t unit : units) {
    char text[8];
    std::snprintf(text, sizeof text, "%s%04X", out.empty() ? "" : " ", static_cast<unsigned>(unit));
    out += text;
  }
  return out;
}

TEST(CodePage, Cp1252MapsEveryByte) {
  const std::string expected_high =
      "20AC 0081 201A 0192 201E 2026 2020 2021 02C6 2030 0160 2039 0152 008D 017D 008F "
      "0090 2018 2019 201C 201D 2022 2013 2014 02DC 2122 0161 203A 0153 009D 017E 0178";
  std::u16string high;
  for (int byte = 0x80; byte <= 0x9F; ++byte) high.push_back(Cp1252ToUnit(static_cast<uint8_t>(byte)));
  EXPECT_EQ(Units(high), expected_high);
  for (int byte = 0; byte < 256; ++byte) {
    if (byte >= 0x80 && byte <= 0x9F) continue;
    EXPECT_EQ(Cp1252ToUnit(static_cast<uint8_t>(byte)), byte) << byte;
  }
}

TEST(CodePage, Utf8DecodesWellFormedSequencesOnly) {
  struct Case {
    const char* name;
    const char* bytes;
    const char* units;
  };
  const Case cases[] = {
      {"ASCII", "41 00 7F", "0041 0000 007F"},
      {"two bytes", "C3 A9 D0 94", "00E9 0414"},
      {"three bytes", "E2 82 AC EF BF BF", "20AC FFFF"},
      {"four bytes, a surrogate pair", "F0 9F 98 80", "D83D DE00"},
      {"highest character", "F4 8F BF BF", "DBFF DFFF"},
      {"byte-order mark is kept", "EF BB BF 41", "FEFF 0041"},
      // Every other byte is its code page 1252 character, and decoding goes on
      // at the next byte.
      {"lone continuation bytes", "80 BF", "20AC 00BF"},
      {"cp1252 text", "E9 74 E9", "00E9 0074 00E9"},
      {"lead byte before ASCII", "C3 28", "00C3 0028"},
      {"overlong two bytes", "C0 AF C1 BF", "00C0 00AF 00C1 00BF"},
      {"overlong three bytes", "E0 80 AF", "00E0 20AC 00AF"},
      {"overlong four bytes", "F0 8F BF BF", "00F0 008F 00BF 00BF"},
      {"encoded surrogate", "ED A0 80", "00ED 00A0 20AC"},
      {"above U+10FFFF", "F4 90 80 80", "00F4 0090 20AC 20AC"},
      {"lead bytes F5 and up", "F5 FF", "00F5 00FF"},
      {"cut at the end", "41 E2 82", "0041 00E2 201A"},
      {"cut before a new sequence", "E2 82 C3 A9", "00E2 201A 00E9"},
  };
  for (const Case& c : cases) {
    const test::ByteVector bytes = test::Bytes(c.bytes);
    std::u16string units = u"x";
    AppendUtf8AsUnits(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), units);
    EXPECT_EQ(Units(units), std::string("0078 ") + c.units) << c.name;
  }
}

}  // namespace
}  // namespace quenlo
