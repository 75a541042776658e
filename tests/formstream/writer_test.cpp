#include "formstream/writer.h"

#include <gtest/gtest.h>

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
using test::Hex;
using test::VectorStream;

using test::kWriteError;

// 1.5: exponent 0x3FFF, significand 1.1 in binary.
constexpr Extended kOneAndAHalf = MakeExtended(false, 0x3FFF, 0xC000000000000000);

ByteVector Written(const std::function<void(TWriter&)>& write) {
  VectorStream out;
  TWriter writer(out, kFilerBufferSize);
  write(writer);
  writer.Release();
  return out.data();
}

struct ItemCase {
  const char* name;
  std::function<void(TWriter&)> write;
  ByteVector expected;
};

TEST(WriterItems, CanonicalEncodings) {
  const std::string text255(255, 'a');
  const std::string text256(256, 'b');
  const std::string name300(300, 'n');
  const std::vector<ItemCase> cases = {
      // Integers take the narrowest width; the payload is two's complement.
      {"int -128", [](TWriter& w) { w.WriteIntValue(-128); }, Bytes("02 80")},
      {"int 127", [](TWriter& w) { w.WriteIntValue(127); }, Bytes("02 7F")},
      {"int -129", [](TWriter& w) { w.WriteIntValue(-129); }, Bytes("03 7F FF")},
      {"int 128", [](TWriter& w) { w.WriteIntValue(128); }, Bytes("03 80 00")},
      {"int -32768", [](TWriter& w) { w.WriteIntValue(-32768); }, Bytes("03 00 80")},
      {"int 32767", [](TWriter& w) { w.WriteIntValue(32767); }, Bytes("03 FF 7F")},
      {"int -32769", [](TWriter& w) { w.WriteIntValue(-32769); }, Bytes("04 FF 7F FF FF")},
      {"int 32768", [](TWriter& w) { w.WriteIntValue(32768); }, Bytes("04 00 80 00 00")},
      {"int 0", [](TWriter& w) { w.WriteIntValue(0); }, Bytes("02 00")},
      {"int -1", [](TWriter& w) { w.WriteIntValue(-1); }, Bytes("02 FF")},
      {"int 100000", [](TWriter& w) { w.WriteIntValue(100000); }, Bytes("04 A0 86 01 00")},
      {"int min", [](TWriter& w) { w.WriteIntValue(INT32_MIN); }, Bytes("04 00 00 00 80")},
      // Texts: tgString up to 255 bytes, tgLongString beyond, never cut.
      {"text 255", [&](TWriter& w) { w.WriteTextValue(text255); },
       Concat({Bytes("06 FF"), test::TextBytes(text255)})},
      {"text 256", [&](TWriter& w) { w.WriteTextValue(text256); },
       Concat({Bytes("0C 00 01 00 00"), test::TextBytes(text256)})},
      {"text empty", [](TWriter& w) { w.WriteTextValue(""); }, Bytes("06 00")},
      {"text with byte 0", [](TWriter& w) { w.WriteTextValue(std::string_view("a\0b", 3)); },
       Bytes("06 03 61 00 62")},
      // Wide strings: the count of code units, then each unit little-endian, at
      // any length.
      {"wide empty", [](TWriter& w) { w.WriteWideStringValue(u""); }, Bytes("12 00 00 00 00")},
      {"wide A De", [](TWriter& w) { w.WriteWideStringValue(u"A\u0414"); },
       Bytes("12 02 00 00 00 41 00 14 04")},
      {"wide surrogate pair", [](TWriter& w) { w.WriteWideStringValue(u"\U0001F600"); },
       Bytes("12 02 00 00 00 3D D8 00 DE")},
      {"wide 300 units", [](TWriter& w) { w.WriteWideStringValue(std::u16string(300, u'\u20AC')); },
       Concat({Bytes("12 2C 01 00 00"), test::Repeat(Bytes("AC 20"), 300)})},
      // Names are cut to 255 bytes.
      {"name 300", [&](TWriter& w) { w.WriteName(name300); },
       Concat({Bytes("FF"), test::TextBytes(name300.substr(0, 255))})},
      {"name empty", [](TWriter& w) { w.WriteName(""); }, Bytes("00")},
      // Identifiers: the three words in any letter case become their tags.
      {"ident False", [](TWriter& w) { w.WriteIdentValue("False"); }, Bytes("08")},
      {"ident true", [](TWriter& w) { w.WriteIdentValue("true"); }, Bytes("09")},
      {"ident NIL", [](TWriter& w) { w.WriteIdentValue("NIL"); }, Bytes("0D")},
      {"ident fALSE", [](TWriter& w) { w.WriteIdentValue("fALSE"); }, Bytes("08")},
      {"ident abc", [](TWriter& w) { w.WriteIdentValue("abc"); }, Bytes("07 03 61 62 63")},
      {"ident Falsey", [](TWriter& w) { w.WriteIdentValue("Falsey"); },
       Bytes("07 06 46 61 6C 73 65 79")},
      {"ident Nil with non-ASCII", [](TWriter& w) { w.WriteIdentValue("N\xEDl"); },
       Bytes("07 03 4E ED 6C")},
      {"ident empty", [](TWriter& w) { w.WriteIdentValue(""); }, Bytes("07 00")},
      // Prefixes: nothing without flags, never bits 2 and 3.
      {"prefix none", [](TWriter& w) { w.WriteObjectPrefix(0, 5); }, Bytes("")},
      {"prefix inherited", [](TWriter& w) { w.WriteObjectPrefix(pfInherited, 5); }, Bytes("F1")},
      {"prefix child pos 2", [](TWriter& w) { w.WriteObjectPrefix(pfChildPos, 2); },
       Bytes("F2 02 02")},
      {"prefix both 300", [](TWriter& w) { w.WriteObjectPrefix(pfInherited | pfChildPos, 300); },
       Bytes("F3 03 2C 01")},
      {"prefix bit 2 only", [](TWriter& w) { w.WriteObjectPrefix(4, 0); }, Bytes("")},
      {"prefix bits 2,3 dropped", [](TWriter& w) { w.WriteObjectPrefix(0x0D, 0); }, Bytes("F1")},
      // Floats are copied bit for bit.
      {"float 1.5", [](TWriter& w) { w.WriteFloatValue(kOneAndAHalf); },
       Bytes("05 00 00 00 00 00 00 00 C0 FF 3F")},
      {"float unnormal",
       [](TWriter& w) { w.WriteFloatValue(MakeExtended(true, 1, 0x0123456789ABCDEF)); },
       Bytes("05 EF CD AB 89 67 45 23 01 01 80")},
      // Binary values: the length comes before the data.
      {"binary empty", [](TWriter& w) { w.WriteBinaryValue([](TMemoryStream&) {}); },
       Bytes("0A 00 00 00 00")},
      {"binary 1 2 3",
       [](TWriter& w) { w.WriteBinaryValue([](TMemoryStream& m) { m.Write("\x01\x02\x03", 3); }); },
       Bytes("0A 03 00 00 00 01 02 03")},
      {"binary sized by its end, not its position",
       [](TWriter& w) {
         w.WriteBinaryValue([](TMemoryStream& m) {
           m.Write("\x01\x02\x03", 3);
           m.Seek(1, soBeginning);
         });
       },
       Bytes("0A 03 00 00 00 01 02 03")},
      // Markers and whole-value forms.
      {"signature", [](TWriter& w) { w.WriteStreamSignature(); }, Bytes("54 50 46 30")},
      {"list of 1 and 2",
       [](TWriter& w) {
         w.WriteListStart();
         w.WriteIntValue(1);
         w.WriteIntValue(2);
         w.WriteEndOfList();
       },
       Bytes("01 02 01 02 02 00")},
      {"set optA optB",
       [](TWriter& w) {
         w.WriteTag(tgSet);
         w.WriteName("optA");
         w.WriteName("optB");
         w.WriteName("");
       },
       Bytes("0B 04 6F 70 74 41 04 6F 70 74 42 00")},
      {"collection",
       [](TWriter& w) {
         w.WriteTag(tgCollection);
         w.WriteListStart();
         w.WriteName("Size");
         w.WriteIntValue(1);
         w.WriteEndOfList();
         w.WriteIntValue(5);
         w.WriteListStart();
         w.WriteEndOfList();
         w.WriteEndOfList();
       },
       Bytes("0E 01 04 53 69 7A 65 02 01 00 02 05 01 00 00")},
  };
  for (const ItemCase& c : cases) {
    EXPECT_EQ(Hex(Written(c.write)), Hex(c.expected)) << c.name;
  }
}

TEST(WriterItems, EveryTagCanBeWritten) {
  for (int tag = tgNull; tag <= tgCollection; ++tag) {
    EXPECT_EQ(Written([&](TWriter& w) { w.WriteTag(static_cast<TFormValueTag>(tag)); }),
              ByteVector{static_cast<uint8_t>(tag)});
  }
}

TEST(WriterItems, TinyFormGivesItsSixtySixBytes) {
  ByteVector bytes = Written([](TWriter& w) {
    w.WriteStreamSignature();
    w.WriteObjectPrefix(0, 0);
    w.WriteName("TBox");
    w.WriteName("Box1");
    w.WriteName("Size");
    w.WriteIntValue(8);
    w.WriteName("Count");
    w.WriteIntValue(300);
    w.WriteName("Title");
    w.WriteTextValue("Hi");
    w.WriteName("Shown");
    w.WriteIdentValue("true");
    w.WriteEndOfList();
    w.WriteObjectPrefix(pfChildPos, 2);
    w.WriteName("TItem");
    w.WriteName("Item1");
    w.WriteEndOfList();
    w.WriteEndOfList();
    w.WriteEndOfList();
  });
  EXPECT_EQ(Hex(bytes), Hex(Bytes("54 50 46 30 04 54 42 6F 78 04 42 6F 78 31"
                                  "04 53 69 7A 65 02 08 05 43 6F 75 6E 74 03 2C 01"
                                  "05 54 69 74 6C 65 06 02 48 69 05 53 68 6F 77 6E 09 00"
                                  "F2 02 02 05 54 49 74 65 6D 05 49 74 65 6D 31 00 00 00")));
  EXPECT_EQ(bytes.size(), 66u);
}

TEST(WriterItems, FailingProducerLeavesNothingAndPassesThrough) {
  VectorStream out;
  TWriter writer(out, kFilerBufferSize);
  writer.WriteName("Data");
  std::string failure = FailureOf([&] {
    writer.WriteBinaryValue([](TMemoryStream& m) {
      m.Write("\x01\x02", 2);
      Raise<EParserError>(MessageId::kInvalidBinary);
    });
  });
  EXPECT_EQ(failure, "EParserError: Valeur binaire incorrecte");
  writer.Release();
  EXPECT_EQ(Hex(out.data()), Hex(Bytes("04 44 61 74 61")));
}

TEST(WriterItems, LargeBinaryValueGoesThroughTheBuffer) {
  ByteVector data(10000);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7);
  VectorStream out;
  {
    TWriter writer(out, kFilerBufferSize);
    writer.WriteBinaryValue(
        [&](TMemoryStream& m) { m.Write(data.data(), static_cast<int32_t>(data.size())); });
    writer.Release();
  }
  EXPECT_EQ(out.data(), Concat({Bytes("0A 10 27 00 00"), data}));
  EXPECT_EQ(out.write_requests, (std::vector<int32_t>{4096, 4096, 10005 - 8192}));
}

// The byte layer.

TEST(WriterBuffer, DrainsOnlyWhenMoreBytesComeToAFullBuffer) {
  VectorStream out;
  TWriter writer(out, kFilerBufferSize);
  ByteVector block(4096, 0x41);
  writer.WriteRaw(block.data(), 4096);
  EXPECT_EQ(out.calls(), 0);
  writer.WriteTag(tgList);
  EXPECT_EQ(out.write_requests, std::vector<int32_t>{4096});
  writer.Release();
  EXPECT_EQ(out.write_requests, (std::vector<int32_t>{4096, 1}));
  EXPECT_EQ(out.data(), Concat({block, Bytes("01")}));
}

TEST(WriterBuffer, PiecesOfAnySizeReachTheStreamInFullBlocks) {
  VectorStream out;
  ByteVector expected;
  {
    TWriter writer(out, kFilerBufferSize);
    for (int i = 0; i < 3000; ++i) {
      ByteVector piece(static_cast<size_t>(i % 13), static_cast<uint8_t>(i));
      writer.WriteRaw(piece.data(), static_cast<int32_t>(piece.size()));
      expected.insert(expected.end(), piece.begin(), piece.end());
    }
    ByteVector large(9000, 0x5A);
    writer.WriteRaw(large.data(), 9000);
    expected.insert(expected.end(), large.begin(), large.end());
    writer.Release();
  }
  EXPECT_EQ(out.data(), expected);
  ASSERT_FALSE(out.write_requests.empty());
  for (size_t i = 0; i + 1 < out.write_requests.size(); ++i) EXPECT_EQ(out.write_requests[i], 4096);
  EXPECT_EQ(out.write_requests.back(), static_cast<int32_t>((expected.size() - 1) % 4096 + 1));
}

TEST(WriterBuffer, NothingWrittenMeansNoStreamCall) {
  VectorStream out;
  {
    TWriter writer(out, kFilerBufferSize);
    writer.WriteRaw("", 0);
    writer.Release();
    writer.Release();
  }
  EXPECT_EQ(out.calls(), 0);
}

TEST(WriterBuffer, DestructionDoesNotDrain) {
  VectorStream out;
  {
    TWriter writer(out, kFilerBufferSize);
    writer.WriteStreamSignature();
  }
  EXPECT_EQ(out.calls(), 0);
}

TEST(WriterBuffer, ShortDrainFailsAndKeepsWhatTheStreamDidNotTake) {
  ByteVector data(5000);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i % 251);
  VectorStream out;
  out.write_capacity = 100;
  TWriter writer(out, kFilerBufferSize);
  // The full buffer goes out when byte 4097 comes, and the stream takes 100.
  EXPECT_EQ(FailureOf([&] { writer.WriteRaw(data.data(), 5000); }), kWriteError);
  EXPECT_EQ(out.data(), ByteVector(data.begin(), data.begin() + 100));
  // A stream that takes nothing fails every drain; the bytes wait.
  EXPECT_EQ(FailureOf([&] { writer.Release(); }), kWriteError);
  EXPECT_EQ(out.data().size(), 100u);
  // Once the stream takes bytes again, the next release writes exactly the rest,
  // neither repeating nor losing any.
  out.write_capacity = -1;
  EXPECT_EQ(FailureOf([&] { writer.Release(); }), "");
  EXPECT_EQ(out.data(), ByteVector(data.begin(), data.begin() + 4096));
  EXPECT_EQ(out.write_requests, (std::vector<int32_t>{4096, 3996, 3996}));
}

TEST(WriterBuffer, FailedDrainAtReleaseReplacesTheFailureInFlight) {
  VectorStream out;
  out.write_capacity = 2;
  TWriter writer(out, kFilerBufferSize);
  std::string failure = FailureOf([&] {
    RunThenRelease(
        [&] {
          writer.WriteStreamSignature();
          Raise<EReadError>(MessageId::kStreamReadError);
        },
        [&] { writer.Release(); });
  });
  EXPECT_EQ(failure, kWriteError);
  EXPECT_EQ(test::AsText(out.data()), "TP");
}

TEST(WriterBuffer, SmallBuffersKeepTheBytesInOrder) {
  for (int32_t size : {1, 2, 3, 7}) {
    VectorStream out;
    TWriter writer(out, size);
    writer.WriteStreamSignature();
    writer.WriteName("Hello");
    writer.WriteIntValue(-70000);
    writer.Release();
    EXPECT_EQ(Hex(out.data()), Hex(Bytes("54 50 46 30 05 48 65 6C 6C 6F 04 90 EE FE FF")))
        << "buffer of " << size;
    for (int32_t request : out.write_requests) EXPECT_LE(request, size);
  }
}

}  // namespace
}  // namespace quenlo
