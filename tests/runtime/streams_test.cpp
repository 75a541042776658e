#include "runtime/streams.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "runtime/exceptions.h"

namespace quenlo {
namespace {

TEST(MemoryStream, GrowsInStepsAndReadsBack) {
  TMemoryStream stream;
  std::vector<uint8_t> data(10000);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7);
  EXPECT_EQ(stream.Write(data.data(), 1), 1);
  EXPECT_EQ(stream.Capacity(), 8192);
  EXPECT_EQ(stream.Write(data.data() + 1, 9999), 9999);
  EXPECT_EQ(stream.Capacity(), 16384);
  EXPECT_EQ(stream.Size(), 10000);
  EXPECT_EQ(stream.Position(), 10000);

  std::vector<uint8_t> back(12000);
  stream.SetPosition(0);
  EXPECT_EQ(stream.Read(back.data(), 12000), 10000);
  back.resize(10000);
  EXPECT_EQ(back, data);
  EXPECT_EQ(stream.Read(back.data(), 1), 0);
}

TEST(MemoryStream, RefusesNegativeCountsAndPositions) {
  TMemoryStream stream;
  uint8_t b = 1;
  EXPECT_EQ(stream.Write(&b, -1), 0);
  EXPECT_EQ(stream.Write(&b, 0), 0);
  stream.Seek(-5, soBeginning);
  EXPECT_EQ(stream.Write(&b, 1), 0);
  EXPECT_EQ(stream.Read(&b, 1), 0);
  EXPECT_EQ(stream.Size(), 0);
  // Seeking past the end is allowed; a write there extends the data.
  stream.Seek(3, soBeginning);
  EXPECT_EQ(stream.Write(&b, 1), 1);
  EXPECT_EQ(stream.DataSize(), 4);
}

class RefusingMemoryStream : public TMemoryStream {
 protected:
  void Reallocate(int32_t requested) override {
    if (requested > 8192) Raise<EStreamError>(MessageId::kMemoryStreamError);
    TMemoryStream::Reallocate(requested);
  }
};

TEST(MemoryStream, FailureToGrowIsAStreamError) {
  RefusingMemoryStream stream;
  std::vector<uint8_t> data(8193);
  EXPECT_EQ(stream.Write(data.data(), 8192), 8192);
  try {
    stream.Write(data.data(), 1);
    FAIL();
  } catch (const EStreamError& failure) {
    EXPECT_EQ(failure.Message(), "Plus de mémoire lors de l'expansion du flux mémoire");
  }
}

TEST(Stream, WriteAllFailsOnAShortWrite) {
  struct HalfStream : TMemoryStream {
    int32_t Write(const void* buffer, int32_t count) override {
      return TMemoryStream::Write(buffer, count / 2);
    }
  } stream;
  stream.WriteAll("", 0);
  try {
    stream.WriteAll("abcd", 4);
    FAIL();
  } catch (const EWriteError& failure) {
    EXPECT_EQ(failure.Message(), "Erreur d'écriture dans le flux");
  }
}

TEST(FileStream, FailuresNameTheFile) {
  try {
    TFileStream("/nonexistent/dir/x.dfm", TFileMode::fmOpenRead);
    FAIL();
  } catch (const EFOpenError& failure) {
    EXPECT_EQ(failure.Message(), "Ne peut ouvrir le fichier /nonexistent/dir/x.dfm");
  }
  try {
    TFileStream("/nonexistent/dir/x.TXT", TFileMode::fmCreate);
    FAIL();
  } catch (const EFCreateError& failure) {
    EXPECT_EQ(failure.Message(), "Ne peut créer le fichier /nonexistent/dir/x.TXT");
  }
}

TEST(FileStream, NoSharingWhileOpen) {
  std::string name = testing::TempDir() + "quenlo_stream_test.bin";
  {
    TFileStream created(name, TFileMode::fmCreate);
    EXPECT_EQ(created.Write("hello", 5), 5);
    EXPECT_THROW(TFileStream(name, TFileMode::fmOpenRead), EFOpenError);
    EXPECT_THROW(TFileStream(name, TFileMode::fmCreate), EFCreateError);
  }
  TFileStream reader(name, TFileMode::fmOpenRead);
  char text[8] = {};
  EXPECT_EQ(reader.Size(), 5);
  EXPECT_EQ(reader.Read(text, 8), 5);
  EXPECT_STREQ(text, "hello");
  EXPECT_EQ(reader.Write("x", 1), 0);  // opened for reading only
  std::remove(name.c_str());
}

}  // namespace
}  // namespace quenlo
