#include "cli/resource_form.h"

#include <gtest/gtest.h>

#include <string>

#include "runtime/exceptions.h"

namespace quenlo {
namespace {

void Fill(TMemoryStream& stream, const std::string& bytes) {
  stream.Write(bytes.data(), static_cast<int32_t>(bytes.size()));
  stream.SetPosition(0);
}

std::string ContentsOf(const TMemoryStream& stream) {
  return std::string(reinterpret_cast<const char*>(stream.Memory()),
                     static_cast<size_t>(stream.DataSize()));
}

std::string Header(const std::string& name, uint32_t size) {
  std::string header = "\xFF\x0A";
  header += '\0';
  header += name;
  header += '\0';
  header += "\x30\x10";
  for (int i = 0; i < 4; ++i) header += static_cast<char>(size >> (8 * i));
  return header;
}

TEST(SkipResourceHeader, StopsRightBehindTheHeader) {
  const std::string tiny_stream = "TPF0" + std::string(62, '\0');
  struct Row {
    std::string file;
    int32_t position;
  };
  const Row rows[] = {
      {Header("TBOX", 66) + tiny_stream, 14},
      {Header(std::string(76, 'N'), 66) + tiny_stream, 86},
      // Names beyond 76 bytes are found whole, up to 255.
      {Header(std::string(200, 'N'), 66) + tiny_stream, 210},
      {Header(std::string(255, 'N'), 66), 265},
      // Three bytes only: the stream lands beyond its end, for the reader to refuse.
      {std::string("\xFF\x0A\x00", 3), 10},
      // The area is zeroed first, so a file cut after FF 0A still passes.
      {std::string("\xFF\x0A", 2), 10},
  };
  for (const Row& row : rows) {
    TMemoryStream stream;
    Fill(stream, row.file);
    SkipResourceHeader(stream);
    EXPECT_EQ(stream.Position(), row.position);
  }
}

TEST(SkipResourceHeader, RefusesAnythingButTheRawDataType) {
  for (const std::string& file :
       {std::string(), std::string("\xFE\x0A\x00TBOX", 7), std::string("\xFF\x0B\x00TBOX", 7),
        std::string("\xFF\x0A\x01TBOX", 7), std::string("object Box: TBox\r\nend\r\n")}) {
    TMemoryStream stream;
    Fill(stream, file);
    try {
      SkipResourceHeader(stream);
      FAIL() << file;
    } catch (const EInvalidImage& failure) {
      EXPECT_EQ(failure.Message(), "Format de flux incorrect");
    }
  }
}

TEST(TextToResourceForm, HeaderNamesTheRootClassUpperCased) {
  struct Row {
    const char* text;
    std::string name;
  };
  const Row rows[] = {
      {"object a: tbox end", "TBOX"},         {"inherited a: tBox end", "TBOX"},
      {"object a: TBox [3] end", "TBOX"},     {"inherited a: TBox [300] end", "TBOX"},
      {"object a: TBox [70000] end", "TBOX"}, {"object Tx_9 end", "TX_9"},
  };
  for (const Row& row : rows) {
    TMemoryStream input;
    Fill(input, row.text);
    TMemoryStream output;
    TextToResourceForm(input, output);
    std::string file = ContentsOf(output);
    size_t header_size = 10 + row.name.size();
    ASSERT_GE(file.size(), header_size) << row.text;
    uint32_t size = static_cast<uint32_t>(file.size() - header_size);
    EXPECT_EQ(file.substr(0, header_size), Header(row.name, size)) << row.text;
    EXPECT_EQ(file.substr(header_size, 4), "TPF0");
  }
}

TEST(TextToResourceForm, LongClassNamesGetTheirWholeHeaderAndReadBack) {
  std::string class_name(200, 'c');
  std::string text = "object x: " + class_name + " end";
  TMemoryStream input;
  Fill(input, text);
  TMemoryStream output;
  TextToResourceForm(input, output);
  std::string file = ContentsOf(output);
  EXPECT_EQ(file.substr(3, 200), std::string(200, 'C'));
  output.SetPosition(0);
  SkipResourceHeader(output);
  EXPECT_EQ(output.Position(), 210);
}

TEST(TextToResourceForm, NothingIsWrittenWhenTheTextFails) {
  TMemoryStream input;
  Fill(input, "object a: TBox\r\n  Left = \r\nend");
  TMemoryStream output;
  EXPECT_THROW(TextToResourceForm(input, output), EParserError);
  EXPECT_EQ(output.DataSize(), 0);
}

TEST(TextToResourceForm, AShortWriteIsAWriteError) {
  struct ShortStream : TMemoryStream {
    int32_t Write(const void* buffer, int32_t count) override {
      return TMemoryStream::Write(buffer, count > 4 ? count - 1 : count);
    }
  };
  TMemoryStream input;
  Fill(input, "object a: TBox end");
  ShortStream output;
  EXPECT_THROW(TextToResourceForm(input, output), EWriteError);
}

}  // namespace
}  // namespace quenlo
