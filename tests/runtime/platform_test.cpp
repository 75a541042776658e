// The platform layer as the driver relies on it, on whichever system the tests
// run: POSIX natively and under qemu, Windows under wine.
#include "runtime/platform.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

namespace quenlo {
namespace {

namespace fs = std::filesystem;

// Windows semantics (wildcards, DOS times) where the system's paths are Windows ones.
const bool kWindowsPaths = fs::path::preferred_separator == L'\\';

class PlatformFiles : public testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::path(testing::TempDir()) /
              ("quenlo-platform-" + std::string(testing::UnitTest::GetInstance()
                                                     ->current_test_info()
                                                     ->name()));
    fs::remove_all(folder_);
    fs::create_directories(folder_ / "Folder.dfm");
    std::ofstream(folder_ / "Box.txt", std::ios::binary) << "object Box: TBox\r\nend\r\n";
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }
  std::string Name(const std::string& leaf) const { return (folder_ / leaf).string(); }

  fs::path folder_;
};

TEST_F(PlatformFiles, PresentMeansAnEntryThatIsNotADirectory) {
  EXPECT_TRUE(platform::FileIsPresent(Name("Box.txt")));
  EXPECT_FALSE(platform::FileIsPresent(Name("Folder.dfm")));
  EXPECT_FALSE(platform::FileIsPresent(Name("Missing.txt")));
  EXPECT_FALSE(platform::FileIsPresent(""));
  // Only the directory search of Windows reads wildcards; its first match decides.
  EXPECT_EQ(platform::FileIsPresent(Name("B?x.*")), kWindowsPaths);
}

TEST_F(PlatformFiles, LastWriteTimesOutsideTheDosRangeCountAsAbsentOnWindows) {
  using namespace std::chrono_literals;
  const std::string name = Name("Box.txt");
  const auto now = fs::last_write_time(name);
  for (auto shift : {-24h * 365 * 60, 24h * 365 * 120}) {  // about 1965, about 2145
    fs::last_write_time(name, now + shift);
    EXPECT_EQ(platform::FileIsPresent(name), !kWindowsPaths);
  }
  fs::last_write_time(name, now);
  EXPECT_TRUE(platform::FileIsPresent(name));
}

TEST_F(PlatformFiles, CountsPositionsAndTruncation) {
  const std::string name = Name("Box.txt");
  platform::FileHandle file = platform::CreateFileForWriting(name);
  ASSERT_NE(file, platform::kInvalidHandle);
  EXPECT_EQ(platform::SeekFile(file, 0, 2), 0);  // created empty
  EXPECT_EQ(platform::WriteFile(file, "0123456789", 10), 10);
  EXPECT_EQ(platform::SeekFile(file, -4, 1), 6);
  char bytes[8] = {};
  EXPECT_EQ(platform::ReadFile(file, bytes, 8), 4);
  EXPECT_EQ(std::string(bytes, 4), "6789");
  EXPECT_EQ(platform::SeekFile(file, -20, 0), -1);
  EXPECT_EQ(platform::ReadFile(file, bytes, 0), 0);
  platform::CloseFile(file);

  file = platform::OpenFileForReading(name);
  ASSERT_NE(file, platform::kInvalidHandle);
  EXPECT_EQ(platform::WriteFile(file, "x", 1), 0);  // read access only
  EXPECT_EQ(platform::SeekFile(file, 0, 2), 10);
  platform::CloseFile(file);
  EXPECT_EQ(platform::OpenFileForReading(Name("Folder.dfm")), platform::kInvalidHandle);
  EXPECT_EQ(platform::OpenFileForReading(Name("Missing.txt")), platform::kInvalidHandle);
}

TEST(Platform, MessageTextsAreCodePage1252OnWindows) {
  struct Row {
    const char* utf8;
    const char* windows;
  };
  const Row rows[] = {
      {"Débordement de pile", "D\xE9" "bordement de pile"},
      {"Chaîne attendue", "Cha\xEEne attendue"},
      {"à € “œ”", "\xE0 \x80 \x93\x9C\x94"},
      {"Ā 𝄞", "? ?"},                      // no such character in the code page
      {"\xE9t\xC3", "\xE9t\xC3"},           // bytes that are not UTF-8 stay as they are
  };
  for (const Row& row : rows) {
    EXPECT_EQ(platform::MessageText(row.utf8),
              platform::kMessagesAreUtf8 ? row.utf8 : row.windows)
        << row.utf8;
  }
}

TEST(Platform, ModuleNameIsTheExecutablesFileName) {
  const std::string name = platform::ModuleName();
  EXPECT_EQ(name.rfind("runtime_tests", 0), 0u) << name;
  EXPECT_LE(name.size(), 63u);
  EXPECT_EQ(name.find_first_of("/\\"), std::string::npos) << name;
}

TEST(Platform, NativeCommandLineStartsWithTheProgram) {
  const std::string line = platform::NativeCommandLine();
  if (platform::kHasNativeCommandLine) {
    EXPECT_NE(line.find("runtime_tests"), std::string::npos) << line;
  } else {
    EXPECT_EQ(line, "");
  }
  const char mark = platform::LocaleDecimalSeparator();
  EXPECT_GT(static_cast<unsigned char>(mark), 32) << static_cast<int>(mark);
}

}  // namespace
}  // namespace quenlo
