// Both conversions over streams that misbehave at every point of a form of
// several buffer loads: reads that fail or deliver short counts, writes that
// take only part of a block, once or for good, and a memory stream that cannot
// grow. Each fault ends the conversion with its own failure and leaves exactly
// the output produced before it; no fault goes unreported.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/resource_form.h"
#include "support/failures.h"
#include "support/test_streams.h"
#include "tobinary/text_to_binary.h"
#include "totext/binary_to_text.h"

namespace quenlo {
namespace {

using test::FailureOf;
using test::LimitedMemoryStream;
using test::TextBytes;
using test::VectorStream;

using test::kReadError;
using test::kWriteError;
using test::kNoMemory;

// A form of some 40 KB of text: every kind of value, a multi-line block, a child.
std::string BigText() {
  std::string text = "object Big: TBig\r\n";
  for (int i = 0; i < 600; ++i) {
    text += "  P" + std::to_string(i) + " = ";
    switch (i % 6) {
      case 0:
        text += std::to_string(i * 1234567 - 50000);
        break;
      case 1:
        text += "'line " + std::to_string(i) + "'#13#10";
        break;
      case 2:
        text += "1.5E" + std::to_string(i % 40);
        break;
      case 3:
        text += "[optA, optB]";
        break;
      case 4:
        text += "(\r\n    1\r\n    'x'\r\n    (\r\n      Alpha.Beta))";
        break;
      default:
        text += "{";
        for (int b = 0; b < 100; ++b) text += "0123456789ABCDEF"[(i + b) % 16] + std::string("F");
        text += "}";
    }
    text += "\r\n";
  }
  return text +
         "  object Child: TChild [3]\r\n    Q = <\r\n      item [2]\r\n        R = True\r\n      "
         "end>\r\n  end\r\nend\r\n";
}

std::string Converted(void (*convert)(TStream&, TStream&), const std::string& input) {
  VectorStream in(TextBytes(input));
  VectorStream out;
  convert(in, out);
  return out.text();
}

// A stream and its text that convert into each other: BigText() after one
// round, so that its floats have their canonical form.
struct Forms {
  std::string stream;
  std::string text;
};

const Forms& Big() {
  static const Forms forms = [] {
    const std::string stream = Converted(
        TextToBinaryForm, Converted(BinaryFormToText, Converted(TextToBinaryForm, BigText())));
    return Forms{stream, Converted(BinaryFormToText, stream)};
  }();
  return forms;
}

// Fault positions: a stride through the whole form and every byte around the
// buffer boundaries, where refills and drains happen.
std::vector<int64_t> FaultPositions(size_t size) {
  std::vector<int64_t> positions;
  for (size_t at = 0; at <= size + 1; at += 61) positions.push_back(static_cast<int64_t>(at));
  for (size_t boundary = 4096; boundary < size; boundary += 4096) {
    for (size_t at = boundary - 3; at <= boundary + 3; ++at)
      positions.push_back(static_cast<int64_t>(at));
  }
  positions.push_back(static_cast<int64_t>(size) - 1);
  positions.push_back(static_cast<int64_t>(size));
  return positions;
}

struct Direction {
  const char* name;
  void (*convert)(TStream&, TStream&);
  const std::string& input;
  const std::string& output;
};

std::vector<Direction> Directions() {
  const Forms& big = Big();
  return {{"to text", BinaryFormToText, big.stream, big.text},
          {"to binary", TextToBinaryForm, big.text, big.stream}};
}

bool IsPrefix(const std::string& part, const std::string& whole) {
  return whole.compare(0, part.size(), part) == 0;
}

TEST(FaultInjection, BinaryInputThatStopsDeliveringAnywhere) {
  const Forms& big = Big();
  ASSERT_GT(big.stream.size(), 3u * 4096);
  for (const int64_t end : FaultPositions(big.stream.size())) {
    for (const int32_t chunk : {0, 1, 1000, 4097}) {
      VectorStream in(TextBytes(big.stream));
      in.read_end = end;
      in.read_chunk = chunk;
      in.failures_negative = end % 2 == 1;
      VectorStream out;
      const std::string failure = FailureOf([&] { BinaryFormToText(in, out); });
      if (end >= static_cast<int64_t>(big.stream.size())) {
        EXPECT_EQ(failure, "") << "end " << end << ", chunk " << chunk;
        EXPECT_TRUE(out.text() == big.text) << "end " << end << ", chunk " << chunk;
      } else {
        EXPECT_EQ(failure, kReadError) << "end " << end << ", chunk " << chunk;
        EXPECT_TRUE(IsPrefix(out.text(), big.text)) << "end " << end << ", chunk " << chunk;
      }
    }
  }
}

TEST(FaultInjection, TextInputThatStopsDeliveringAnywhere) {
  const Forms& big = Big();
  ASSERT_GT(big.text.size(), 4u * 4096);
  for (const int64_t end : FaultPositions(big.text.size())) {
    for (const int32_t chunk : {0, 1, 3000}) {
      VectorStream in(TextBytes(big.text));
      in.read_end = end;
      in.read_chunk = chunk;
      in.failures_negative = end % 2 == 0;
      VectorStream out;
      const std::string failure = FailureOf([&] { TextToBinaryForm(in, out); });
      // The text read up to "end" of the root is the whole form.
      if (end >= static_cast<int64_t>(big.text.size()) - 2) {
        EXPECT_EQ(failure, "") << "end " << end << ", chunk " << chunk;
        EXPECT_TRUE(out.text() == big.stream) << "end " << end << ", chunk " << chunk;
      } else {
        // A cut token may still read as another value: only the failure is known.
        EXPECT_TRUE(failure.rfind("EParserError: ", 0) == 0 ||
                    failure.rfind("EConvertError: ", 0) == 0)
            << "end " << end << ", chunk " << chunk << ": " << failure;
      }
    }
  }
}

// The output stream takes `capacity` bytes in all, the write crossing it only
// what fits: the output then holds exactly the first `capacity` bytes.
TEST(FaultInjection, OutputThatTakesPartOfABlock) {
  for (const Direction& direction : Directions()) {
    for (const int64_t capacity : FaultPositions(direction.output.size())) {
      VectorStream in(TextBytes(direction.input));
      VectorStream out;
      out.write_capacity = capacity;
      out.failures_negative = capacity % 2 == 1;
      const std::string failure = FailureOf([&] { direction.convert(in, out); });
      const bool fits = capacity >= static_cast<int64_t>(direction.output.size());
      EXPECT_EQ(failure, fits ? "" : kWriteError) << direction.name << ", capacity " << capacity;
      EXPECT_TRUE(out.text() == direction.output.substr(0, static_cast<size_t>(capacity)))
          << direction.name << ", capacity " << capacity << ": " << out.text().size() << " bytes";
    }
  }
}

// A first write that takes part of its block fails the conversion; the drain
// on the way out hands over the rest of that block once, and nothing twice.
TEST(FaultInjection, AWriteInterruptedOnce) {
  for (const Direction& direction : Directions()) {
    for (const int32_t takes : {0, 1, 2048, 4095}) {
      VectorStream in(TextBytes(direction.input));
      VectorStream out;
      out.first_write_takes = takes;
      EXPECT_EQ(FailureOf([&] { direction.convert(in, out); }), kWriteError)
          << direction.name << ", " << takes;
      EXPECT_TRUE(out.text() == direction.output.substr(0, 4096))
          << direction.name << ", " << takes << ": " << out.text().size() << " bytes";
    }
  }
  // A form that fits one block meets the fault at the final drain: the rest
  // stays behind, and the failure is reported.
  VectorStream in(TextBytes("object A: T\r\n  P = 1\r\nend\r\n"));
  VectorStream out;
  out.first_write_takes = 5;
  EXPECT_EQ(FailureOf([&] { TextToBinaryForm(in, out); }), kWriteError);
  EXPECT_EQ(out.text(), "TPF0\x01");
}

TEST(FaultInjection, AMemoryStreamThatCannotGrow) {
  const Forms& big = Big();
  ASSERT_GT(big.stream.size(), 16384u);
  for (const int32_t limit : {0, 8192, 16384}) {
    VectorStream in(TextBytes(big.text));
    LimitedMemoryStream out(limit);
    EXPECT_EQ(FailureOf([&] { TextToBinaryForm(in, out); }), kNoMemory) << limit;
    // Blocks of 4096 bytes went in until the one that needed more room.
    EXPECT_TRUE(out.text() == big.stream.substr(0, static_cast<size_t>(limit))) << limit;

    VectorStream stream_in(TextBytes(big.stream));
    LimitedMemoryStream text_out(limit);
    EXPECT_EQ(FailureOf([&] { BinaryFormToText(stream_in, text_out); }), kNoMemory) << limit;
    EXPECT_TRUE(text_out.text() == big.text.substr(0, static_cast<size_t>(limit))) << limit;
  }
  // The resource form goes out in two writes, header then stream; the second
  // fails whole.
  VectorStream in(TextBytes(big.text));
  LimitedMemoryStream out(8192);
  EXPECT_EQ(FailureOf([&] { TextToResourceForm(in, out); }), kNoMemory);
  std::string header("\xFF\x0A\x00TBIG\x00\x30\x10", 10);
  for (int i = 0; i < 4; ++i) header += static_cast<char>(big.stream.size() >> (8 * i));
  EXPECT_EQ(out.text(), header);
}

}  // namespace
}  // namespace quenlo
