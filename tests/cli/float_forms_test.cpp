// Float-heavy forms with their conversions fixed byte for byte in
// tests/data/float_forms: every machine the program is built for must give
// these exact bytes. The expected files were computed by the x87 unit itself
// (tools/make_float_forms.py), not by this program.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>

#include "cli/resource_form.h"
#include "runtime/streams.h"
#include "support/failures.h"

namespace quenlo {
namespace {

std::string DataFile(const std::string& name) {
  std::ifstream in(std::string(QUENLO_SOURCE_DIR) + "/tests/data/float_forms/" + name,
                   std::ios::binary);
  std::ostringstream contents;
  contents << in.rdbuf();
  EXPECT_TRUE(in.good()) << "cannot read " << name;
  return contents.str();
}

std::string Converted(void (*conversion)(TStream&, TStream&), const std::string& input) {
  TMemoryStream in;
  TMemoryStream out;
  in.WriteAll(input.data(), static_cast<int32_t>(input.size()));
  in.SetPosition(0);
  conversion(in, out);
  return std::string(reinterpret_cast<const char*>(out.Memory()),
                     static_cast<size_t>(out.DataSize()));
}

// Where two outputs part: the line of a text, the bytes of a binary form.
std::string FirstDifference(const std::string& actual, const std::string& expected) {
  size_t at = 0;
  while (at < actual.size() && at < expected.size() && actual[at] == expected[at]) ++at;
  std::ostringstream out;
  out << "first difference at byte " << at << " of " << expected.size() << " (got "
      << actual.size() << ")";
  const bool binary = expected.find('\0') != std::string::npos;
  auto piece = [&](const std::string& bytes) {
    if (binary) {
      std::ostringstream hex;
      for (size_t i = at; i < bytes.size() && i < at + 12; ++i) {
        hex << ' ' << "0123456789ABCDEF"[static_cast<uint8_t>(bytes[i]) >> 4]
            << "0123456789ABCDEF"[bytes[i] & 15];
      }
      return hex.str();
    }
    size_t start = bytes.rfind('\n', at == 0 ? 0 : at - 1);
    start = start == std::string::npos ? 0 : start + 1;
    return bytes.substr(start, bytes.find('\r', start) - start);
  };
  out << "\n  expected: " << piece(expected) << "\n  actual:   " << piece(actual);
  return out.str();
}

TEST(FloatForms, ConvertToTheCommittedBytes) {
  struct Row {
    const char* input;
    void (*conversion)(TStream&, TStream&);
    const char* expected;
  };
  const Row rows[] = {
      // Every class of bit pattern, table powers of ten and their neighbours, random values.
      {"bits.DFM", ResourceFormToText, "bits.TXT"},
      // Literals whose digits are accumulated and scaled with rounding at each step.
      {"literals.source.txt", TextToResourceForm, "literals.DFM"},
      {"literals.DFM", ResourceFormToText, "literals.TXT"},
  };
  for (const Row& row : rows) {
    const std::string input = DataFile(row.input);
    const std::string expected = DataFile(row.expected);
    std::string actual;
    EXPECT_EQ(test::FailureOf([&] { actual = Converted(row.conversion, input); }), "")
        << row.input;
    EXPECT_TRUE(actual == expected) << row.input << " -> " << row.expected << ": "
                                    << FirstDifference(actual, expected);
  }
}

}  // namespace
}  // namespace quenlo
