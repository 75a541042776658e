#include "formstream/reader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "numtext/extended.h"
#include "support/failures.h"
#include "support/test_streams.h"

namespace quenlo {
namespace {

using test::Bytes;
using test::ByteVector;
using test::Concat;
using test::FailureOf;
using test::VectorStream;

using test::kReadError;
using test::kInvalidValue;
using test::kBadFormat;
using test::kTooDeep;

const ByteVector kTinyForm = Bytes(
    "54 50 46 30 04 54 42 6F 78 04 42 6F 78 31"
    "04 53 69 7A 65 02 08 05 43 6F 75 6E 74 03 2C 01"
    "05 54 69 74 6C 65 06 02 48 69 05 53 68 6F 77 6E 09 00"
    "F2 02 02 05 54 49 74 65 6D 05 49 74 65 6D 31 00 00 00");

std::string Bits(const Extended& value) {
  char text[32];
  std::snprintf(text, sizeof text, "%04X %016llX", value.sign_exponent,
                static_cast<unsigned long long>(value.significand));
  return text;
}

// What one read gave (or how it failed) and how many bytes it consumed, seen
// from the stream after the reader gave its read-ahead back.
struct Outcome {
  std::string result;
  int64_t consumed;
  bool operator==(const Outcome&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Outcome& o) {
  return out << "{\"" << o.result << "\", " << o.consumed << "}";
}

using ReadStep = std::function<std::string(TReader&)>;

Outcome ReadOnce(const ByteVector& bytes, const ReadStep& step,
                 int32_t buffer_size = kFilerBufferSize) {
  VectorStream in(bytes);
  std::string result;
  {
    TReader reader(in, buffer_size);
    std::string failure = FailureOf([&] { result = step(reader); });
    if (!failure.empty()) result = failure;
  }
  return {result, in.position()};
}

std::string IntOf(TReader& r) { return std::to_string(r.ReadIntValue()); }
std::string FloatOf(TReader& r) { return Bits(r.ReadFloatValue()); }
std::string TextOf(TReader& r) {
  std::string s;
  r.ReadTextValue(s);
  return s;
}
// The code units in hex: "0041 0414".
std::string UnitsOf(TReader& r) {
  std::u16string units;
  r.ReadTextValue(units);
  std::string out;
  for (const char16_t unit : units) {
    char text[8];
    std::snprintf(text, sizeof text, "%s%04X", out.empty() ? "" : " ", static_cast<unsigned>(unit));
    out += text;
  }
  return out;
}
std::string IdentOf(TReader& r) {
  std::string s;
  r.ReadIdentValue(s);
  return s;
}
std::string NameOf(TReader& r) {
  std::string s;
  r.ReadName(s);
  return s;
}
std::string PrefixOf(TReader& r) {
  TPrefixFlags flags = 0xEE;
  int32_t position = 77;
  r.ReadObjectPrefix(flags, position);
  return "flags " + std::to_string(flags) + " pos " + std::to_string(position);
}
std::string ListCheckOf(TReader& r) {
  r.CheckTag(tgList);
  return "ok";
}
std::string SignatureOf(TReader& r) {
  r.CheckSignature();
  return "ok";
}

struct ReadCase {
  const char* name;
  ByteVector bytes;
  ReadStep step;
  Outcome expected;
};

TEST(ReaderItems, TypedReads) {
  const std::string long_name(255, 'q');
  const std::vector<ReadCase> cases = {
      // Integers of every width, sign-extended.
      {"int8 -1", Bytes("02 FF"), IntOf, {"-1", 2}},
      {"int8 -10", Bytes("02 F6"), IntOf, {"-10", 2}},
      {"int16 32767", Bytes("03 FF 7F"), IntOf, {"32767", 3}},
      {"int16 -32768", Bytes("03 00 80"), IntOf, {"-32768", 3}},
      {"int32 min", Bytes("04 00 00 00 80"), IntOf, {"-2147483648", 5}},
      {"int32 100000", Bytes("04 A0 86 01 00"), IntOf, {"100000", 5}},
      {"int from a string tag", Bytes("06 00"), IntOf, {kInvalidValue, 1}},
      {"int from extended tag", Bytes("05 00"), IntOf, {kInvalidValue, 1}},
      {"int cut short", Bytes("04 01 02"), IntOf, {kReadError, 3}},
      // Floats: extended bit for bit, integers converted exactly.
      {"float 1.5",
       Bytes("05 00 00 00 00 00 00 00 C0 FF 3F"),
       FloatOf,
       {"3FFF C000000000000000", 11}},
      {"float unnormal kept",
       Bytes("05 EF CD AB 89 67 45 23 01 01 80"),
       FloatOf,
       {"8001 0123456789ABCDEF", 11}},
      {"float from int16 300", Bytes("03 2C 01"), FloatOf, {"4007 9600000000000000", 3}},
      {"float from int8 -128", Bytes("02 80"), FloatOf, {"C006 8000000000000000", 2}},
      {"float from int8 0", Bytes("02 00"), FloatOf, {"0000 0000000000000000", 2}},
      {"float from a string", Bytes("06 01 41"), FloatOf, {kInvalidValue, 1}},
      {"float cut short", Bytes("05 00 00 00"), FloatOf, {kReadError, 4}},
      // Texts, both forms alike.
      {"long text of 5", Bytes("0C 05 00 00 00 68 65 6C 6C 6F"), TextOf, {"hello", 10}},
      {"text of 0", Bytes("06 00"), TextOf, {"", 2}},
      {"long text of 0", Bytes("0C 00 00 00 00"), TextOf, {"", 5}},
      {"text with byte 0", Bytes("06 03 61 00 62"), TextOf, {std::string("a\0b", 3), 5}},
      {"text from ident", Bytes("07 00"), TextOf, {kInvalidValue, 1}},
      {"negative long length", Bytes("0C FF FF FF FF 41 41"), TextOf, {kInvalidValue, 5}},
      {"most negative long length", Bytes("0C 00 00 00 80 41"), TextOf, {kInvalidValue, 5}},
      {"text cut short", Bytes("06 05 41 42"), TextOf, {kReadError, 4}},
      {"long text cut short", Bytes("0C 05 00 00 00 41"), TextOf, {kReadError, 6}},
      // Identifiers and the three tag-only words.
      {"False", Bytes("08"), IdentOf, {"False", 1}},
      {"True", Bytes("09"), IdentOf, {"True", 1}},
      {"nil", Bytes("0D"), IdentOf, {"nil", 1}},
      {"ident abc", Bytes("07 03 61 62 63"), IdentOf, {"abc", 5}},
      {"ident empty", Bytes("07 00"), IdentOf, {"", 2}},
      {"ident from int", Bytes("02 01"), IdentOf, {kInvalidValue, 1}},
      // Names.
      {"name empty", Bytes("00"), NameOf, {"", 1}},
      {"name ABC", Bytes("03 41 42 43"), NameOf, {"ABC", 4}},
      {"name 255", Concat({Bytes("FF"), test::TextBytes(long_name)}), NameOf, {long_name, 256}},
      {"name cut short", Bytes("05 41"), NameOf, {kReadError, 2}},
      // Object prefixes: none below F0, the low four bits otherwise.
      {"no prefix", Bytes("04 54 42 6F 78"), PrefixOf, {"flags 0 pos 77", 0}},
      {"EF is a name length", Bytes("EF"), PrefixOf, {"flags 0 pos 77", 0}},
      {"F0", Bytes("F0 04"), PrefixOf, {"flags 0 pos 77", 1}},
      {"F1", Bytes("F1 04"), PrefixOf, {"flags 1 pos 77", 1}},
      {"F4 bit 2 only", Bytes("F4 04"), PrefixOf, {"flags 4 pos 77", 1}},
      {"F3 02 07", Bytes("F3 02 07 04"), PrefixOf, {"flags 3 pos 7", 3}},
      {"FE 04 ...", Bytes("FE 04 FF FF FF FF"), PrefixOf, {"flags 14 pos -1", 6}},
      {"F2 then a string", Bytes("F2 06 01 41"), PrefixOf, {kInvalidValue, 2}},
      {"F2 at the end", Bytes("F2"), PrefixOf, {kReadError, 1}},
      {"prefix of an empty stream", Bytes(""), PrefixOf, {kReadError, 0}},
      // CheckTag skips the whole offending value before failing.
      {"list found", Bytes("01 00"), ListCheckOf, {"ok", 1}},
      {"int8 7 instead of a list", Bytes("02 07 99"), ListCheckOf, {kInvalidValue, 2}},
      {"set instead of a list", Bytes("0B 01 61 00 99"), ListCheckOf, {kInvalidValue, 4}},
      {"binary running past the end", Bytes("0A 10 00 00 00 01 02"), ListCheckOf, {kReadError, 7}},
      // The signature.
      {"signature", Bytes("54 50 46 30 00"), SignatureOf, {"ok", 4}},
      {"empty stream", Bytes(""), SignatureOf, {kReadError, 0}},
      {"three bytes", Bytes("54 50 46"), SignatureOf, {kReadError, 3}},
      {"first byte differs", Bytes("55 50 46 30 00"), SignatureOf, {kBadFormat, 4}},
      {"second byte differs", Bytes("54 51 46 30"), SignatureOf, {kBadFormat, 4}},
      {"third byte differs", Bytes("54 50 66 30"), SignatureOf, {kBadFormat, 4}},
      {"fourth byte differs", Bytes("54 50 46 31"), SignatureOf, {kBadFormat, 4}},
  };
  for (const ReadCase& c : cases) {
    EXPECT_EQ(ReadOnce(c.bytes, c.step), c.expected) << c.name;
  }
}

TEST(ReaderItems, TextsAsCodeUnits) {
  const std::vector<ReadCase> cases = {
      {"wide string", Bytes("12 03 00 00 00 41 00 14 04 3D D8"), UnitsOf, {"0041 0414 D83D", 11}},
      {"empty wide string", Bytes("12 00 00 00 00 41"), UnitsOf, {"", 5}},
      {"wide units as they stand", Bytes("12 02 00 00 00 80 00 FF FF"), UnitsOf, {"0080 FFFF", 9}},
      {"UTF-8 string", Bytes("14 05 00 00 00 41 C3 A9 D0 94"), UnitsOf, {"0041 00E9 0414", 10}},
      {"UTF-8 beyond U+FFFF", Bytes("14 04 00 00 00 F0 9F 98 80"), UnitsOf, {"D83D DE00", 9}},
      {"UTF-8 with invalid bytes", Bytes("14 03 00 00 00 E9 80 41"), UnitsOf, {"00E9 20AC 0041", 8}},
      {"UTF-8 sequence cut by the length", Bytes("14 01 00 00 00 C3 A9"), UnitsOf, {"00C3", 6}},
      {"UTF-8 byte-order mark kept", Bytes("14 03 00 00 00 EF BB BF"), UnitsOf, {"FEFF", 8}},
      {"empty UTF-8 string", Bytes("14 00 00 00 00"), UnitsOf, {"", 5}},
      // Byte strings: each byte one code unit, with no code page applied.
      {"string bytes", Bytes("06 03 41 80 FF"), UnitsOf, {"0041 0080 00FF", 5}},
      {"long string bytes", Bytes("0C 01 00 00 00 E9"), UnitsOf, {"00E9", 6}},
      // Negative counts fail right after their four bytes.
      {"negative wide count", Bytes("12 FF FF FF FF 41 00"), UnitsOf, {kInvalidValue, 5}},
      {"most negative wide count", Bytes("12 00 00 00 80 41 00"), UnitsOf, {kInvalidValue, 5}},
      {"negative UTF-8 length", Bytes("14 FE FF FF FF 41"), UnitsOf, {kInvalidValue, 5}},
      {"wide string cut inside a unit", Bytes("12 02 00 00 00 41 00 42"), UnitsOf, {kReadError, 8}},
      {"UTF-8 string cut short", Bytes("14 03 00 00 00 41"), UnitsOf, {kReadError, 6}},
      {"count cut short", Bytes("12 01 00"), UnitsOf, {kReadError, 3}},
      {"units from an ident", Bytes("07 01 41"), UnitsOf, {kInvalidValue, 1}},
      {"units from tag 146", Bytes("92 00 00 00 00"), UnitsOf, {kInvalidValue, 1}},
      // The byte form of a text takes no wide kind.
      {"bytes from a wide string", Bytes("12 00 00 00 00"), TextOf, {kInvalidValue, 1}},
      {"bytes from a UTF-8 string", Bytes("14 00 00 00 00"), TextOf, {kInvalidValue, 1}},
  };
  for (const ReadCase& c : cases) {
    EXPECT_EQ(ReadOnce(c.bytes, c.step), c.expected) << c.name;
    // Units that straddle a refill, in every position.
    EXPECT_EQ(ReadOnce(c.bytes, c.step, 3), c.expected) << c.name << ", 3-byte buffer";
  }
}

TEST(ReaderItems, PeeksConsumeNothing) {
  EXPECT_EQ(ReadOnce(Bytes("01 00"), [](TReader& r) { return std::to_string(r.AtEndOfList()); }),
            (Outcome{"0", 0}));
  EXPECT_EQ(ReadOnce(Bytes("00"), [](TReader& r) { return std::to_string(r.AtEndOfList()); }),
            (Outcome{"1", 0}));
  EXPECT_EQ(ReadOnce(Bytes("C8"), [](TReader& r) { return std::to_string(+r.PeekTag()); }),
            (Outcome{"200", 0}));
  EXPECT_EQ(ReadOnce(Bytes(""), [](TReader& r) { return std::to_string(r.AtEndOfList()); }),
            (Outcome{kReadError, 0}));
  // A set of no elements: the first name is already empty.
  EXPECT_EQ(ReadOnce(Bytes("0B 00"),
                     [](TReader& r) {
                       r.ReadTag();
                       return "[" + NameOf(r) + "]";
                     }),
            (Outcome{"[]", 2}));
}

TEST(ReaderItems, SkipValueConsumesOneValue) {
  struct SkipCase {
    const char* bytes;
    int64_t consumed;
  };
  const std::vector<SkipCase> cases = {
      {"00", 1},
      {"08", 1},
      {"09", 1},
      {"0D", 1},
      {"01 00", 2},
      {"01 02 05 06 01 41 01 0B 01 61 00 00 00", 13},
      {"02 80", 2},
      {"03 01 02", 3},
      {"04 01 02 03 04", 5},
      {"05 00 00 00 00 00 00 00 C0 FF 3F", 11},
      {"06 03 61 62 63", 5},
      {"07 02 61 62", 4},
      {"06 00", 2},
      {"0A 03 00 00 00 01 02 03", 8},
      {"0A 00 00 00 00", 5},
      {"0A FF FF FF FF 01", 5},  // a negative length counts as 0
      {"0B 01 61 01 62 00", 6},
      {"0B 00", 2},
      // Long strings and collections: the tag only.
      {"0C 05 00 00 00 41", 1},
      {"0E 01 00 00", 1},
      // Bytes that begin no value: the tag only.
      {"0F 01", 1},
      {"7F 01", 1},
      // 128 and above: the rule of the byte minus 128.
      {"80 01", 1},
      {"81 02 01 00", 4},
      {"82 05", 2},
      {"85 00 00 00 00 00 00 00 00 00 00", 11},
      {"86 01 41", 3},
      {"8A 02 00 00 00 01 02", 7},
      {"8C 05 00 00 00", 1},
      {"8E 01", 1},
      {"8F 01", 1},
      {"FF 01", 1},
      // Wide strings: the count and 2N bytes; UTF-8 strings: the length and N
      // bytes; also as 146 and 148.
      {"12 02 00 00 00 41 00 42 00", 9},
      {"12 00 00 00 00", 5},
      {"14 03 00 00 00 61 62 63", 8},
      {"14 00 00 00 00", 5},
      {"92 01 00 00 00 41 00", 7},
      {"94 01 00 00 00 41", 6},
      {"11 01", 1},
      {"13 01", 1},
      {"15 01", 1},
  };
  for (const SkipCase& c : cases) {
    ByteVector bytes = Concat({Bytes(c.bytes), Bytes("EE EE")});
    EXPECT_EQ(ReadOnce(bytes,
                       [](TReader& r) {
                         r.SkipValue();
                         return "ok";
                       }),
              (Outcome{"ok", c.consumed}))
        << c.bytes;
  }
  // A skip that runs past the end of the data.
  EXPECT_EQ(ReadOnce(Bytes("0A 00 10 00 00 01"),
                     [](TReader& r) {
                       r.SkipValue();
                       return "ok";
                     }),
            (Outcome{kReadError, 6}));
  // A negative count fails once its four bytes are read, inside a list too.
  for (const char* bytes : {"12 FF FF FF FF 41", "94 00 00 00 80 41", "01 14 FF FF FF FF 00"}) {
    const int64_t consumed = bytes[0] == '0' ? 6 : 5;
    EXPECT_EQ(ReadOnce(Bytes(bytes),
                       [](TReader& r) {
                         r.SkipValue();
                         return "ok";
                       }),
              (Outcome{kInvalidValue, consumed}))
        << bytes;
  }
  EXPECT_EQ(ReadOnce(Bytes("01 02 01"),
                     [](TReader& r) {
                       r.SkipValue();
                       return "ok";
                     }),
            (Outcome{kReadError, 3}));
}

ByteVector NestedLists(int depth) {
  return Concat({ByteVector(static_cast<size_t>(depth), tgList),
                 ByteVector(static_cast<size_t>(depth), tgNull)});
}

TEST(ReaderNesting, SkippedListsShareTheLevelLimit) {
  auto skip = [](TReader& r) {
    r.SkipValue();
    return "ok";
  };
  auto skip_inside_root = [](TReader& r) {
    r.EnterLevel();
    r.SkipValue();
    return "ok";
  };
  EXPECT_EQ(ReadOnce(NestedLists(1000), skip), (Outcome{"ok", 2000}));
  // The level is refused before the tag that opens it is consumed.
  EXPECT_EQ(ReadOnce(NestedLists(1001), skip), (Outcome{kTooDeep, 1000}));
  EXPECT_EQ(ReadOnce(NestedLists(999), skip_inside_root), (Outcome{"ok", 1998}));
  EXPECT_EQ(ReadOnce(NestedLists(1000), skip_inside_root), (Outcome{kTooDeep, 999}));
  // Lists written as 129 nest like lists.
  ByteVector high_lists = Concat({ByteVector(1001, 0x81), ByteVector(1001, tgNull)});
  EXPECT_EQ(ReadOnce(high_lists, skip), (Outcome{kTooDeep, 1000}));
  // Levels left are free again.
  EXPECT_EQ(ReadOnce(Concat({NestedLists(1000), NestedLists(1000)}),
                     [](TReader& r) {
                       r.SkipValue();
                       r.SkipValue();
                       return "ok";
                     }),
            (Outcome{"ok", 4000}));
}

// Walks a whole stream in reading order and describes what it met.
std::string WalkValue(TReader& r);

std::string WalkObject(TReader& r) {
  TPrefixFlags flags;
  int32_t position = 0;
  std::string class_name, object_name, out;
  r.ReadObjectPrefix(flags, position);
  r.ReadName(class_name);
  r.ReadName(object_name);
  out = "object " + object_name + ":" + class_name + " flags " + std::to_string(flags) + " pos " +
        std::to_string(position) + " {";
  while (!r.AtEndOfList()) {
    std::string name = NameOf(r);
    out += " " + name + "=" + WalkValue(r);
  }
  r.SkipEndOfList();
  out += " } children {";
  while (!r.AtEndOfList()) out += " " + WalkObject(r);
  r.SkipEndOfList();
  return out + " }";
}

std::string WalkValue(TReader& r) {
  switch (r.PeekTag()) {
    case tgInt8:
    case tgInt16:
    case tgInt32:
      return "int " + IntOf(r);
    case tgString:
    case tgLongString:
      return "text " + TextOf(r);
    case tgFalse:
    case tgTrue:
    case tgNil:
    case tgIdent:
      return "ident " + IdentOf(r);
    default:
      return "other " + std::to_string(+r.ReadTag());
  }
}

TEST(ReaderStream, TinyFormReadsBackWhateverTheBufferAndDeliveries) {
  const std::string expected =
      "object Box1:TBox flags 0 pos 0 { Size=int 8 Count=int 300 Title=text Hi Shown=ident True }"
      " children { object Item1:TItem flags 2 pos 2 { } children { } }";
  for (int32_t buffer_size : {1, 2, 3, 5, 64, 4096}) {
    for (int32_t chunk : {0, 1, 2, 7}) {
      VectorStream in(Concat({kTinyForm, Bytes("DE AD BE EF")}));
      in.read_chunk = chunk;
      std::string walked;
      {
        TReader reader(in, buffer_size);
        reader.CheckSignature();
        walked = WalkObject(reader);
      }
      EXPECT_EQ(walked, expected) << "buffer " << buffer_size << ", chunk " << chunk;
      // Bytes after the root object stay unread once the read-ahead is given back.
      EXPECT_EQ(in.position(), 66) << "buffer " << buffer_size << ", chunk " << chunk;
      for (int32_t request : in.read_requests) EXPECT_EQ(request, buffer_size);
    }
  }
}

TEST(ReaderStream, ReleaseGivesTheReadAheadBack) {
  ByteVector data(10000);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i);
  VectorStream in(data);
  in.Seek(5, soBeginning);
  in.seek_calls = 0;
  {
    TReader reader(in, kFilerBufferSize);
    EXPECT_EQ(in.calls(), 0);  // creation reads nothing
    uint8_t first[10];
    reader.ReadRaw(first, 10);
    EXPECT_EQ(first[0], 5);
    EXPECT_EQ(first[9], 14);
    EXPECT_EQ(in.position(), 5 + 4096);
  }
  EXPECT_EQ(in.position(), 15);
}

TEST(ReaderStream, ReleaseWithoutReadAheadDoesNotSeek) {
  VectorStream in(Bytes("54 50 46 30"));
  {
    TReader reader(in, kFilerBufferSize);
    reader.CheckSignature();
  }
  EXPECT_EQ(in.seek_calls, 0);
  EXPECT_EQ(in.position(), 4);
}

TEST(ReaderStream, ReadRawAcrossRefillsWithShortDeliveries) {
  ByteVector data(10000);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 13 + i / 256);
  VectorStream in(data);
  in.read_chunk = 1000;
  ByteVector got(10000);
  {
    TReader reader(in, kFilerBufferSize);
    reader.ReadRaw(got.data(), 10000);
    reader.ReadRaw(nullptr, 0);
  }
  EXPECT_EQ(got, data);
  EXPECT_EQ(in.read_calls, 10);
  for (int32_t request : in.read_requests) EXPECT_EQ(request, 4096);
}

TEST(ReaderStream, ReadRawThatStraddlesTheEndKeepsWhatThereWas) {
  VectorStream in(Bytes("01 02 03 04 05 06"));
  ByteVector got(10, 0xEE);
  TReader reader(in, 4);
  EXPECT_EQ(FailureOf([&] { reader.ReadRaw(got.data(), 10); }), kReadError);
  EXPECT_EQ(test::Hex(got), "01 02 03 04 05 06 EE EE EE EE");
}

TEST(ReaderStream, FailedReadOfTheStreamIsAReadError) {
  VectorStream in(kTinyForm);
  in.read_end = 20;  // the stream's own read fails from there on
  TReader reader(in, 8);
  reader.CheckSignature();
  EXPECT_EQ(FailureOf([&] { WalkObject(reader); }), kReadError);
}

TEST(ReaderStream, LongTextMemoryFollowsTheDataPresent) {
  // A claim of 2 GiB in a file of 100 bytes.
  ByteVector bytes = Concat({Bytes("0C FF FF FF 7F"), ByteVector(95, 0x41)});
  VectorStream in(bytes);
  std::string text;
  {
    TReader reader(in, kFilerBufferSize);
    EXPECT_EQ(FailureOf([&] { reader.ReadTextValue(text); }), kReadError);
  }
  EXPECT_EQ(text, std::string(95, 'A'));
  EXPECT_LT(text.capacity(), 1u << 20);

  // A real long text of 100000 bytes arrives whole.
  std::string long_text(100000, 'x');
  for (size_t i = 0; i < long_text.size(); i += 7) long_text[i] = static_cast<char>(i % 256);
  VectorStream big(Concat({Bytes("0C A0 86 01 00"), test::TextBytes(long_text), Bytes("00")}));
  big.read_chunk = 999;
  TReader reader(big, kFilerBufferSize);
  reader.ReadTextValue(text);
  EXPECT_EQ(text, long_text);
  EXPECT_TRUE(reader.AtEndOfList());
}

TEST(ReaderStream, WideTextMemoryFollowsTheDataPresent) {
  // Claims of 2^31 - 1 units and bytes in files of about 100 bytes.
  for (const char* head : {"12 FF FF FF 7F", "14 FF FF FF 7F"}) {
    VectorStream in(Concat({Bytes(head), ByteVector(96, 0x41)}));
    std::u16string units;
    TReader reader(in, kFilerBufferSize);
    EXPECT_EQ(FailureOf([&] { reader.ReadTextValue(units); }), kReadError) << head;
    EXPECT_LT(units.capacity(), 1u << 20) << head;
  }
  // A real wide text of 100000 units, delivered in odd pieces so that units
  // straddle the refills.
  std::u16string long_units(100000, u'x');
  ByteVector bytes = Bytes("12 A0 86 01 00");
  for (size_t i = 0; i < long_units.size(); ++i) {
    long_units[i] = static_cast<char16_t>(i * 7919);
    bytes.push_back(static_cast<uint8_t>(long_units[i]));
    bytes.push_back(static_cast<uint8_t>(long_units[i] >> 8));
  }
  bytes.push_back(tgNull);
  VectorStream big(bytes);
  big.read_chunk = 999;
  TReader reader(big, kFilerBufferSize);
  std::u16string units;
  reader.ReadTextValue(units);
  EXPECT_TRUE(units == long_units);
  EXPECT_TRUE(reader.AtEndOfList());
}

TEST(ReaderStream, PeekAtTheEdgeOfABufferLoad) {
  // Every byte arrives in its own load: stepping back over a tag must stay
  // inside the buffer.
  VectorStream in(Bytes("03 2C 01 02 05 01"));
  in.read_chunk = 1;
  TReader reader(in, kFilerBufferSize);
  EXPECT_EQ(Bits(reader.ReadFloatValue()), "4007 9600000000000000");
  EXPECT_EQ(FailureOf([&] { reader.CheckTag(tgList); }), kInvalidValue);  // 02 05 skipped
  EXPECT_EQ(reader.PeekTag(), tgList);
}

}  // namespace
}  // namespace quenlo
