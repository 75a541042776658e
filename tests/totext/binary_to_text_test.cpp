#include "totext/binary_to_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "formstream/tags.h"
#include "numtext/format.h"
#include "totext/convert_support.h"

namespace quenlo {
namespace {

using test::Blanks;
using test::Bytes;
using test::ByteVector;
using test::Concat;
using test::Convert;
using test::Form;
using test::FormText;
using test::Lines;
using test::NameBytes;
using test::TextBytes;
using test::VectorStream;

using test::kReadError;
using test::kInvalidValue;
using test::kBadFormat;
using test::kWriteError;
using test::kInvalidOp;

const ByteVector kWorkedExample = Bytes(
    "54 50 46 30 04 54 42 6F 78 04 42 6F 78 31 04 53 69 7A 65 02 08"
    "05 52 61 74 69 6F 05 00 00 00 00 00 00 00 C0 FF 3F"
    "05 54 69 74 6C 65 06 0B 49 74 27 73 20 64 6F 6E 65 0D 0A"
    "05 53 68 6F 77 6E 08 04 4D 6F 64 65 07 05 6D 6F 64 65 41"
    "05 46 6C 61 67 73 0B 04 6F 70 74 41 04 6F 70 74 42 00"
    "05 4C 69 6E 65 73 01 06 03 6F 6E 65 06 00 00"
    "04 44 61 74 61 0A 03 00 00 00 01 AB FF"
    "07 43 6F 6C 75 6D 6E 73 0E 01 04 53 69 7A 65 02 40 00"
    "02 05 01 05 54 69 74 6C 65 06 01 78 00 00 00"
    "F3 02 02 05 54 49 74 65 6D 05 49 74 65 6D 31 03 54 6F 70 02 F8 00 00 00");

const char kWorkedExampleText[] =
    "object Box1: TBox\n"
    "  Size = 8\n"
    "  Ratio = 1.5\n"
    "  Title = 'It'#39's done'#13#10\n"
    "  Shown = False\n"
    "  Mode = modeA\n"
    "  Flags = [optA, optB]\n"
    "  Lines = (\n"
    "    'one'\n"
    "    '')\n"
    "  Data = {01ABFF}\n"
    "  Columns = <\n"
    "    item\n"
    "      Size = 64\n"
    "    end\n"
    "    item [5]\n"
    "      Title = 'x'\n"
    "    end>\n"
    "  inherited Item1: TItem [2]\n"
    "    Top = -8\n"
    "  end\n"
    "end\n";

ByteVector Property(std::string_view name, const ByteVector& value) {
  return Concat({NameBytes(name), value});
}

ByteVector Counting(int count, int first = 0) {
  ByteVector bytes;
  for (int i = 0; i < count; ++i) bytes.push_back(static_cast<uint8_t>(first + i));
  return bytes;
}

ByteVector BinaryValue(const ByteVector& data) {
  auto n = static_cast<uint32_t>(data.size());
  return Concat({ByteVector{tgBinary, static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8),
                            static_cast<uint8_t>(n >> 16), static_cast<uint8_t>(n >> 24)},
                 data});
}

std::string HexDigits(const ByteVector& data) {
  std::string hex = test::Hex(data);
  std::erase(hex, ' ');
  return hex;
}

TEST(BinaryToText, WorkedExample) {
  ASSERT_EQ(kWorkedExample.size(), 179u);
  test::Conversion result = Convert(kWorkedExample);
  EXPECT_EQ(result.failure, "");
  EXPECT_EQ(result.text, Lines(kWorkedExampleText));
  EXPECT_EQ(result.text.size(), 338u);
  EXPECT_EQ(result.input_position, 179);
}

TEST(BinaryToText, BlobOfFortyBytesTakesThreeLines) {
  test::Conversion result = Convert(Form(Property("Blob", BinaryValue(Counting(40)))));
  EXPECT_EQ(result.failure, "");
  EXPECT_EQ(result.text,
            Lines("object A: T\n"
                  "  Blob = {\n"
                  "    000102030405060708090A0B0C0D0E0F101112131415161718191A1B1C1D1E1F\n"
                  "    2021222324252627}\n"
                  "end\n"));
}

struct ValueCase {
  const char* name;
  ByteVector value;
  std::string rendering;  // what follows "P = " on its line(s), line feeds as \n
};

TEST(BinaryToText, ValueRenderings) {
  const std::string long_run(5000, 'w');
  const std::vector<ValueCase> cases = {
      // Integers of every width alike.
      {"int8", Bytes("02 08"), "8"},
      {"int16", Bytes("03 08 00"), "8"},
      {"int32", Bytes("04 08 00 00 00"), "8"},
      {"int8 negative", Bytes("02 F8"), "-8"},
      {"int32 min", Bytes("04 00 00 00 80"), "-2147483648"},
      {"float 1.5", Bytes("05 00 00 00 00 00 00 00 C0 FF 3F"), "1.5"},
      // Strings: quoted runs and #codes, both string tags alike.
      {"empty string", Bytes("06 00"), "''"},
      {"empty long string", Bytes("0C 00 00 00 00"), "''"},
      {"quote inside", Bytes("06 04 49 74 27 73"), "'It'#39's'"},
      {"long string, same bytes", Bytes("0C 04 00 00 00 49 74 27 73"), "'It'#39's'"},
      {"only a quote", Bytes("06 01 27"), "#39"},
      {"only codes", Bytes("06 04 27 27 0D 0A"), "#39#39#13#10"},
      {"byte 0", Bytes("06 01 00"), "#0"},
      {"tab between letters", Bytes("06 03 41 09 42"), "'A'#9'B'"},
      {"31 and 32", Bytes("06 02 1F 20"), "#31' '"},
      {"high bytes are printable", Bytes("06 03 7F 80 FF"), "'\x7F\x80\xFF'"},
      {"several thousand printable bytes", Concat({Bytes("0C 88 13 00 00"), TextBytes(long_run)}),
       "'" + long_run + "'"},
      // Wide strings: the same rule over code units, every unit from 127 on a
      // #code.
      {"wide string", Bytes("12 03 00 00 00 41 00 14 04 42 00"), "'A'#1044'B'"},
      {"empty wide string", Bytes("12 00 00 00 00"), "''"},
      {"wide printable edges", Bytes("12 04 00 00 00 1F 00 20 00 7E 00 7F 00"), "#31' ~'#127"},
      {"wide quote and Latin-1", Bytes("12 03 00 00 00 27 00 E9 00 FF 00"), "#39#233#255"},
      {"wide highest unit", Bytes("12 01 00 00 00 FF FF"), "#65535"},
      {"UTF-8 string", Bytes("14 08 00 00 00 D0 9F 72 69 76 65 74 21"), "#1055'rivet!'"},
      {"UTF-8 ASCII only", Bytes("14 02 00 00 00 48 69"), "'Hi'"},
      {"empty UTF-8 string", Bytes("14 00 00 00 00"), "''"},
      {"UTF-8 surrogate pair", Bytes("14 04 00 00 00 F0 9F 98 80"), "#55357#56832"},
      {"UTF-8 invalid bytes", Bytes("14 04 00 00 00 41 E9 80 42"), "'A'#233#8364'B'"},
      {"UTF-8 byte-order mark kept", Bytes("14 04 00 00 00 EF BB BF 41"), "#65279'A'"},
      {"wide strings in a list", Bytes("01 12 01 00 00 00 14 04 14 01 00 00 00 41 00"),
       "(\n    #1044\n    'A')"},
      {"several thousand wide units",
       Concat({Bytes("12 88 13 00 00"), test::Repeat(Bytes("77 00"), 5000)}), "'" + long_run + "'"},
      {"several thousand codes",
       Concat({Bytes("12 D0 07 00 00"), test::Repeat(Bytes("AC 20 61 00"), 1000)}),
       [] {
         std::string text;
         for (int i = 0; i < 1000; ++i) text += "#8364'a'";
         return text;
       }()},
      // Identifiers and the tag-only words.
      {"ident", Bytes("07 05 6D 6F 64 65 41"), "modeA"},
      {"dotted ident", Bytes("07 05 61 2E 62 2E 63"), "a.b.c"},
      {"empty ident", Bytes("07 00"), ""},
      {"False", Bytes("08"), "False"},
      {"True", Bytes("09"), "True"},
      {"nil", Bytes("0D"), "nil"},
      // Sets.
      {"empty set", Bytes("0B 00"), "[]"},
      {"one element", Bytes("0B 01 61 00"), "[a]"},
      {"two elements", Bytes("0B 04 6F 70 74 41 04 6F 70 74 42 00"), "[optA, optB]"},
      // Lists: one element per line, ")" behind the last one.
      {"empty list", Bytes("01 00"), "()"},
      {"list of two", Bytes("01 02 01 02 02 00"), "(\n    1\n    2)"},
      {"nested lists", Bytes("01 01 02 01 00 01 00 00"), "(\n    (\n      1)\n    ())"},
      {"list of mixed values", Bytes("01 06 01 61 0B 00 0A 01 00 00 00 FF 00"),
       "(\n    'a'\n    []\n    {FF})"},
      // Binary blocks: one line below 32 bytes, 32 bytes to a line from 32 on.
      {"empty block", Bytes("0A 00 00 00 00"), "{}"},
      {"negative length", Bytes("0A FF FF FF FF"), "{}"},
      {"three bytes", Bytes("0A 03 00 00 00 01 AB FF"), "{01ABFF}"},
      {"31 bytes", BinaryValue(Counting(31)), "{" + HexDigits(Counting(31)) + "}"},
      {"32 bytes", BinaryValue(Counting(32)), "{\n    " + HexDigits(Counting(32)) + "}"},
      {"64 bytes", BinaryValue(Counting(64)),
       "{\n    " + HexDigits(Counting(32)) + "\n    " + HexDigits(Counting(32, 32)) + "}"},
      {"every byte value", BinaryValue(Counting(256)),
       [] {
         std::string lines = "{";
         for (int i = 0; i < 8; ++i) lines += "\n    " + HexDigits(Counting(32, 32 * i));
         return lines + "}";
       }()},
      // Collections: items one level deeper, their properties two.
      {"empty collection", Bytes("0E 00"), "<>"},
      {"item without properties", Bytes("0E 01 00 00"), "<\n    item\n    end>"},
      {"items with indexes of every width",
       Bytes("0E 02 05 01 00 03 00 80 01 00 04 FF FF FF FF 01 01 51 09 00 00"),
       "<\n    item [5]\n    end\n    item [-32768]\n    end\n    item [-1]\n      Q = True\n"
       "    end>"},
      {"collection inside an item", Bytes("0E 01 01 51 0E 01 01 52 01 02 07 00 00 00 00 00"),
       "<\n    item\n      Q = <\n        item\n          R = (\n            7)\n        end>\n"
       "    end>"},
  };
  for (const ValueCase& c : cases) {
    test::Conversion result = Convert(Form(Property("P", c.value)));
    EXPECT_EQ(result.failure, "") << c.name;
    EXPECT_EQ(result.text, FormText(Lines(c.rendering))) << c.name;
  }
}

TEST(BinaryToText, NullWhereAValueIsExpectedEndsThePropertyList) {
  // The value-less P leaves its line ending in " = "; the 00 then closes the
  // property list, the next one the child list.
  test::Conversion result = Convert(Form(Property("P", {})));
  EXPECT_EQ(result.failure, "");
  EXPECT_EQ(result.text, Lines("object A: T\n  P = \nend\n"));
}

TEST(BinaryToText, ObjectHeaders) {
  struct HeaderCase {
    ByteVector record_start;  // prefix, class name, object name
    const char* header;
  };
  const std::vector<HeaderCase> cases = {
      {Bytes("04 54 42 6F 78 00"), "object TBox"},
      {Bytes("F0 01 54 01 41"), "object A: T"},
      {Bytes("F1 01 54 01 41"), "inherited A: T"},
      {Bytes("F2 02 FE 01 54 01 41"), "object A: T [-2]"},
      {Bytes("F3 03 2C 01 01 54 00"), "inherited T [300]"},
      {Bytes("F4 01 54 01 41"), "object A: T"},
      {Bytes("FD 01 54 01 41"), "inherited A: T"},
      {Bytes("FE 04 00 00 00 80 01 54 01 41"), "object A: T [-2147483648]"},
  };
  for (const HeaderCase& c : cases) {
    ByteVector root = Concat({TextBytes("TPF0"), NameBytes("R"), NameBytes(""), Bytes("00"),
                              c.record_start, Bytes("00 00 00")});
    test::Conversion result = Convert(root);
    EXPECT_EQ(result.failure, "") << c.header;
    EXPECT_EQ(result.text, Lines("object R\n  " + std::string(c.header) + "\n  end\nend\n"));
  }
}

struct FailureCase {
  const char* name;
  ByteVector input;
  const char* failure;
  std::string output;  // line feeds as \n
};

TEST(BinaryToText, FailuresLeaveEverythingRenderedBefore) {
  const ByteVector header = Concat({TextBytes("TPF0"), NameBytes("T"), NameBytes("A")});
  auto with_property = [&](const ByteVector& value) {
    return Concat({header, NameBytes("P"), value});
  };
  const ByteVector unnormal = Bytes("05 00 00 00 00 00 00 00 40 FF 3F");
  const std::vector<FailureCase> cases = {
      // Signature.
      {"empty input", {}, kReadError, ""},
      {"two bytes", Bytes("54 50"), kReadError, ""},
      {"not TPF0", Bytes("54 50 46 31 01 54 00 00 00"), kBadFormat, ""},
      {"ends after the signature", TextBytes("TPF0"), kReadError, ""},
      // Truncation: everything rendered before the failing read stays.
      {"inside the class name", Bytes("54 50 46 30 04 54 42"), kReadError, ""},
      {"after the header", header, kReadError, "object A: T\n"},
      {"inside a property name", Concat({header, Bytes("04 53 69")}), kReadError,
       "object A: T\n  "},
      {"before a value", Concat({header, NameBytes("P")}), kReadError, "object A: T\n  P = "},
      {"inside a string", with_property(Bytes("06 05 41 42")), kReadError, "object A: T\n  P = "},
      {"inside a long string", with_property(Bytes("0C 10 00 00 00 41")), kReadError,
       "object A: T\n  P = "},
      {"inside a set", with_property(Bytes("0B 01 61 03 62")), kReadError, "object A: T\n  P = [a"},
      {"inside a list", with_property(Bytes("01 02 05")), kReadError,
       "object A: T\n  P = (\n    5"},
      {"inside a binary length", with_property(Bytes("0A 28 00")), kReadError,
       "object A: T\n  P = {"},
      {"inside a binary piece", with_property(Concat({Bytes("0A 28 00 00 00"), Counting(35)})),
       kReadError, "object A: T\n  P = {\n    " + HexDigits(Counting(32)) + "\n    "},
      {"inside a collection index", with_property(Bytes("0E 03 01")), kReadError,
       "object A: T\n  P = <\n    item ["},
      {"before the end of the children", Concat({header, Bytes("00")}), kReadError,
       "object A: T\n"},
      // Damaged values.
      {"collection item that is no list", with_property(Bytes("0E 02 05 02 07 00 00 00 00")),
       kInvalidValue, "object A: T\n  P = <\n    item [5]\n"},
      {"skipping that item runs past the end", with_property(Bytes("0E 0A 10 00 00 00 01")),
       kReadError, "object A: T\n  P = <\n    item\n"},
      {"child position that is no integer",
       Concat({header, Bytes("00 F2 06 01 41 01 54 00 00 00 00")}), kInvalidValue, "object A: T\n"},
      {"unnormal float", with_property(unnormal), kInvalidOp, "object A: T\n  P = "},
      {"unnormal float in a list", with_property(Concat({Bytes("01 02 01"), unnormal})), kInvalidOp,
       "object A: T\n  P = (\n    1\n    "},
      {"value tag 15", with_property(Bytes("0F 00 00")), kInvalidValue, "object A: T\n  P = "},
      {"prefix byte as a value", with_property(Bytes("F3 00 00")), kInvalidValue,
       "object A: T\n  P = "},
      {"negative long string length", with_property(Bytes("0C FF FF FF FF 00 00")), kInvalidValue,
       "object A: T\n  P = "},
      {"long string claiming 2 GiB", with_property(Concat({Bytes("0C FF FF FF 7F"), Counting(90)})),
       kReadError, "object A: T\n  P = "},
      {"negative wide count", with_property(Bytes("12 FF FF FF FF 00 00")), kInvalidValue,
       "object A: T\n  P = "},
      {"negative UTF-8 length", with_property(Bytes("14 00 00 00 80 00 00")), kInvalidValue,
       "object A: T\n  P = "},
      {"inside a wide string", with_property(Bytes("12 03 00 00 00 41 00 42")), kReadError,
       "object A: T\n  P = "},
      {"inside a UTF-8 string", with_property(Bytes("14 03 00 00 00 41 42")), kReadError,
       "object A: T\n  P = "},
      {"wide tag plus 128", with_property(Bytes("92 00 00 00 00 00 00")), kInvalidValue,
       "object A: T\n  P = "},
  };
  for (const FailureCase& c : cases) {
    test::Conversion result = Convert(c.input);
    EXPECT_EQ(result.failure, c.failure) << c.name;
    EXPECT_EQ(result.text, Lines(c.output)) << c.name;
  }
}

TEST(BinaryToText, EveryByteAsAValueTag) {
  // Enough zero bytes after the tag for any valid tag to complete.
  const std::vector<std::string> valid = {"",      "()",   "0",  "0",  "0",  "0",   "''", "",
                                          "False", "True", "{}", "[]", "''", "nil", "<>"};
  for (int tag = 0; tag < 256; ++tag) {
    ByteVector input = Concat({TextBytes("TPF0"), NameBytes("T"), NameBytes("A"), NameBytes("P"),
                               ByteVector{static_cast<uint8_t>(tag)}, ByteVector(20, 0)});
    test::Conversion result = Convert(input);
    if (tag <= tgCollection) {
      EXPECT_EQ(result.failure, "") << tag;
      EXPECT_EQ(result.text, FormText(valid[static_cast<size_t>(tag)])) << tag;
    } else if (tag == tgWideString || tag == tgUtf8String) {
      EXPECT_EQ(result.failure, "") << tag;
      EXPECT_EQ(result.text, FormText("''")) << tag;
    } else {
      EXPECT_EQ(result.failure, kInvalidValue) << tag;
      EXPECT_EQ(result.text, Lines("object A: T\n  P = ")) << tag;
    }
  }
}

TEST(BinaryToText, EveryByteAsTheStartOfACollectionItem) {
  for (int first = 0; first < 256; ++first) {
    ByteVector input =
        Concat({TextBytes("TPF0"), NameBytes("T"), NameBytes("A"), NameBytes("P"),
                ByteVector{tgCollection, static_cast<uint8_t>(first)}, ByteVector(24, 0)});
    test::Conversion result = Convert(input);
    std::string expected_failure = kInvalidValue;
    std::string expected_text = Lines("object A: T\n  P = <\n    item\n");
    if (first == tgNull) {
      expected_failure = "";
      expected_text = FormText("<>");
    } else if (first == tgList) {
      expected_failure = "";
      expected_text = FormText(Lines("<\n    item\n    end>"));
    } else if (first == tgInt8 || first == tgInt16 || first == tgInt32) {
      expected_text = Lines("object A: T\n  P = <\n    item [0]\n");
    }
    EXPECT_EQ(result.failure, expected_failure) << first;
    EXPECT_EQ(result.text, expected_text) << first;
  }
}

TEST(BinaryToText, DecimalMarkIsADotDuringTheCallOnly) {
  const ByteVector value = Bytes("05 00 00 00 00 00 00 00 C0 FF 3F");
  ScopedDecimalMark comma(',');
  test::Conversion result = Convert(Form(Property("P", value)));
  EXPECT_EQ(result.text, FormText("1.5"));
  EXPECT_EQ(DecimalMark, ',');
  // Also after a failure.
  result =
      Convert(Concat({TextBytes("TPF0"), NameBytes("T"), NameBytes("A"), NameBytes("P"), value}));
  EXPECT_EQ(result.failure, kReadError);
  EXPECT_EQ(result.text, Lines("object A: T\n  P = 1.5\n"));
  EXPECT_EQ(DecimalMark, ',');
}

TEST(BinaryToText, BytesAfterTheRootObjectAreNotRead) {
  ByteVector input = Concat({kWorkedExample, Bytes("FF FF 0F 0F"), ByteVector(5000, 0xEE)});
  test::Conversion result = Convert(input);
  EXPECT_EQ(result.failure, "");
  EXPECT_EQ(result.text, Lines(kWorkedExampleText));
  EXPECT_EQ(result.input_position, 179);
}

TEST(BinaryToText, TextReachesTheOutputInFullBlocks) {
  ByteVector data(50000);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 31);
  VectorStream output;
  test::Conversion result = Convert(Form(Property("Picture", BinaryValue(data))), output);
  EXPECT_EQ(result.failure, "");
  ASSERT_GT(output.write_requests.size(), 20u);
  for (size_t i = 0; i + 1 < output.write_requests.size(); ++i) {
    EXPECT_EQ(output.write_requests[i], 4096);
  }
  // 32 bytes to a line: 64 digits, CR LF and four blanks.
  EXPECT_EQ(result.text.size(), std::string("object A: T\r\n  Picture = {").size() +
                                    (data.size() / 32) * (2 + 4 + 64) + (2 + 4 + 2 * 16) +
                                    std::string("}\r\nend\r\n").size());
}

TEST(BinaryToText, OutputThatRefusesBytes) {
  const std::string full = Lines(kWorkedExampleText);
  {
    // The drain at the end takes only 5 bytes.
    VectorStream output;
    output.write_capacity = 5;
    test::Conversion result = Convert(kWorkedExample, output);
    EXPECT_EQ(result.failure, kWriteError);
    EXPECT_EQ(result.text, full.substr(0, 5));
  }
  {
    // A drain in the middle of the walk fails; the retry at release fails too.
    ByteVector input = Form(Property("P", BinaryValue(ByteVector(5000, 0xAB))));
    VectorStream output;
    output.write_capacity = 100;
    test::Conversion result = Convert(input, output);
    EXPECT_EQ(result.failure, kWriteError);
    EXPECT_EQ(result.text, Convert(input).text.substr(0, 100));
    EXPECT_EQ(output.write_requests, (std::vector<int32_t>{4096, 3996}));
  }
  {
    // A refused drain at release takes the place of the read failure in flight.
    ByteVector truncated(kWorkedExample.begin(), kWorkedExample.begin() + 120);
    VectorStream output;
    output.write_capacity = 3;
    test::Conversion result = Convert(truncated, output);
    EXPECT_EQ(result.failure, kWriteError);
    EXPECT_EQ(result.text, "obj");
  }
  {
    // The same truncated input with a willing output: the read failure, and
    // all the text before it.
    ByteVector truncated(kWorkedExample.begin(), kWorkedExample.begin() + 120);
    test::Conversion result = Convert(truncated);
    EXPECT_EQ(result.failure, kReadError);
    EXPECT_EQ(result.text, Lines("object Box1: TBox\n  Size = 8\n  Ratio = 1.5\n"
                                 "  Title = 'It'#39's done'#13#10\n  Shown = False\n"
                                 "  Mode = modeA\n  Flags = [optA, optB]\n"
                                 "  Lines = (\n    'one'\n    '')\n  Data = {"));
  }
}

TEST(BinaryToText, InputReadInShortDeliveries) {
  VectorStream in(kWorkedExample);
  in.read_chunk = 3;
  VectorStream output;
  BinaryFormToText(in, output);
  EXPECT_EQ(output.text(), Lines(kWorkedExampleText));
  EXPECT_EQ(in.position(), 179);
}

}  // namespace
}  // namespace quenlo
