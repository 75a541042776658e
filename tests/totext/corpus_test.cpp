// Converts every resource form file of the shared corpus, when it is present.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <set>
#include <string>

#include "totext/convert_support.h"

namespace quenlo {
namespace {

namespace fs = std::filesystem;

const fs::path kCorpus = "/work/shared/corpus";

test::ByteVector ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return test::ByteVector(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The one form that stores tgNull as a property value (inside a collection
// item): the null ends the item early and what follows no longer parses.
const char kNullValueForm[] = "binary/Coran__Cor_dm_acs.dfm";

// Files whose streams use the wide string tags, from the manifest.
std::set<std::string> FilesWithWideStrings() {
  std::set<std::string> files;
  std::ifstream manifest(kCorpus / "MANIFEST.tsv");
  std::string line;
  while (std::getline(manifest, line)) {
    if (line.find("ext-tags=") != std::string::npos) files.insert(line.substr(0, line.find('\t')));
  }
  return files;
}

// The resource header: FF 0A 00, the name up to its 0 byte, then six bytes.
size_t StreamStart(const test::ByteVector& file) {
  if (file.size() < 3 || file[0] != 0xFF || file[1] != 0x0A || file[2] != 0x00) return 0;
  size_t end_of_name = 3;
  while (end_of_name < file.size() && file[end_of_name] != 0) ++end_of_name;
  return end_of_name + 1 + 6;
}

TEST(Corpus, EveryBinaryFormConvertsOrFailsWithItsKnownFailure) {
  if (!fs::is_directory(kCorpus / "binary")) GTEST_SKIP() << "no corpus at " << kCorpus;
  const std::set<std::string> wide = FilesWithWideStrings();
  int converted = 0;
  int wide_converted = 0;
  std::map<std::string, int> failures;
  for (const auto& entry : fs::directory_iterator(kCorpus / "binary")) {
    const std::string name = "binary/" + entry.path().filename().string();
    test::ByteVector file = ReadFile(entry.path());
    size_t start = StreamStart(file);
    ASSERT_GT(start, 0u) << name;
    test::VectorStream in(file);
    in.Seek(static_cast<int32_t>(start), soBeginning);
    test::VectorStream out;
    std::string failure = test::FailureOf([&] { BinaryFormToText(in, out); });
    if (failure.empty()) {
      ++converted;
      if (wide.count(name)) ++wide_converted;
      EXPECT_EQ(in.position(), static_cast<int64_t>(file.size())) << name << ": bytes left over";
      EXPECT_TRUE(out.text().ends_with("end\r\n")) << name;
    } else {
      ++failures[failure];
    }
    if (name == kNullValueForm) {
      EXPECT_EQ(failure, "EReadError: Valeur de propriété incorrecte") << name;
    } else {
      EXPECT_EQ(failure, "") << name;
    }
  }
  // The manifest was read: every form with wide strings but the null one converted.
  EXPECT_EQ(wide_converted + wide.count(kNullValueForm), wide.size());
  EXPECT_FALSE(wide.empty());
  std::cout << "corpus: " << converted << " converted (" << wide_converted << " with wide strings)";
  for (const auto& [failure, count] : failures) std::cout << ", " << count << " x " << failure;
  std::cout << "\n";
}

}  // namespace
}  // namespace quenlo
