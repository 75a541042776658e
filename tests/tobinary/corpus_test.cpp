// The real-world text forms of the shared corpus, when it is present.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <regex>
#include <sstream>
#include <string>

#include "formstream/reader.h"
#include "runtime/exceptions.h"
#include "runtime/streams.h"
#include "support/failures.h"
#include "tobinary/text_to_binary.h"

namespace quenlo {
namespace {

namespace fs = std::filesystem;

fs::path CorpusDirectory() {
  for (const fs::path& candidate : {fs::path(QUENLO_SOURCE_DIR) / ".." / "shared" / "corpus",
                                   fs::path("/work/shared/corpus")}) {
    if (fs::is_directory(candidate / "text")) return candidate;
  }
  return {};
}

// file name -> notes column of the manifest.
std::map<std::string, std::string> ManifestNotes(const fs::path& corpus) {
  std::map<std::string, std::string> notes;
  std::ifstream manifest(corpus / "MANIFEST.tsv");
  std::string line;
  while (std::getline(manifest, line)) {
    std::vector<std::string> columns;
    std::stringstream fields(line);
    std::string field;
    while (std::getline(fields, field, '\t')) columns.push_back(field);
    if (columns.size() >= 7 && columns[0].rfind("text/", 0) == 0) notes[columns[0].substr(5)] = columns[6];
  }
  return notes;
}

bool HasNote(const std::string& notes, const std::string& note) {
  std::stringstream words(notes);
  std::string word;
  while (words >> word) {
    if (word == note) return true;
  }
  return false;
}

// Walks a whole binary form stream item by item, so that a stream that is not
// well formed, or has bytes left over, fails.
class StreamWalker {
 public:
  explicit StreamWalker(TReader& reader) : reader_(reader) {}

  void WalkObject() {
    TPrefixFlags flags;
    int32_t position = 0;
    reader_.ReadObjectPrefix(flags, position);
    reader_.ReadName(name_);
    reader_.ReadName(name_);
    WalkProperties();
    while (!reader_.AtEndOfList()) WalkObject();
    reader_.SkipEndOfList();
  }

 private:
  void WalkProperties() {
    while (!reader_.AtEndOfList()) {
      reader_.ReadName(name_);
      WalkValue();
    }
    reader_.SkipEndOfList();
  }

  void WalkValue() {
    switch (reader_.PeekTag()) {
      case tgList:
        reader_.ReadTag();
        while (!reader_.AtEndOfList()) WalkValue();
        reader_.SkipEndOfList();
        break;
      case tgCollection:
        reader_.ReadTag();
        while (!reader_.AtEndOfList()) {
          const TFormValueTag tag = reader_.PeekTag();
          if (tag == tgInt8 || tag == tgInt16 || tag == tgInt32) reader_.ReadIntValue();
          reader_.CheckTag(tgList);
          WalkProperties();
        }
        reader_.SkipEndOfList();
        break;
      case tgString:
      case tgLongString:
        reader_.ReadTextValue(name_);
        break;
      default:
        reader_.SkipValue();
        break;
    }
  }

  TReader& reader_;
  std::string name_;
};

void CheckWellFormed(TMemoryStream& stream) {
  stream.SetPosition(0);
  {
    TReader reader(stream, kFilerBufferSize);
    reader.CheckSignature();
    StreamWalker(reader).WalkObject();
  }
  if (stream.Position() != stream.DataSize()) {
    throw std::runtime_error("bytes left over after the root object");
  }
}

// Forms that use what the text form does not have, and how they fail.
const std::map<std::string, std::string> kKnownFailures = {
    // A number written "0d".
    {"Karex__Dialog1.dfm", "EParserError: ''='' attendu à la ligne 58"},
    // Non-ASCII letters in object names.
    {"mspeech__Settings.dfm", "EParserError: Identificateur attendu à la ligne 1853"},
    {"mspeech@5c10c6e__Main.dfm", "EParserError: Identificateur attendu à la ligne 932"},
};

TEST(CorpusTest, ConvertsTheTextForms) {
  const fs::path corpus = CorpusDirectory();
  if (corpus.empty()) GTEST_SKIP() << "no corpus";
  const std::map<std::string, std::string> notes = ManifestNotes(corpus);

  int converted = 0;
  int failed = 0;
  std::map<std::string, std::vector<std::string>> failures;  // message without its line -> files
  const std::regex line_number(" à la ligne [0-9]+$");
  for (const fs::directory_entry& entry : fs::directory_iterator(corpus / "text")) {
    const std::string name = entry.path().filename().string();
    TMemoryStream output;
    std::string failure = test::FailureOf([&] {
      TFileStream input(entry.path().string(), TFileMode::fmOpenRead);
      TextToBinaryForm(input, output);
    });
    if (failure.empty()) {
      ++converted;
      EXPECT_EQ(test::FailureOf([&] { CheckWellFormed(output); }), "") << name;
      continue;
    }
    ++failed;
    // Only these forms step outside the text form as read.
    const auto known = kKnownFailures.find(name);
    if (known == kKnownFailures.end()) {
      ADD_FAILURE() << name << ": " << failure;
    } else {
      EXPECT_EQ(failure, known->second) << name;
    }
    const auto found = notes.find(name);
    const std::string file_notes = found == notes.end() ? "" : found->second;
    std::string tags;
    for (const char* note : {"plus", "bom", "widechar"}) {
      if (HasNote(file_notes, note)) tags += std::string(tags.empty() ? " [" : ",") + note;
    }
    if (!tags.empty()) tags += "]";
    failures[std::regex_replace(failure, line_number, "")].push_back(name + tags);
  }

  EXPECT_EQ(failed, static_cast<int>(kKnownFailures.size()));
  std::cout << "corpus text forms: " << converted << " converted, " << failed << " failed\n";
  for (const auto& [message, files] : failures) {
    std::cout << "  " << files.size() << " x " << message << "\n";
    for (const std::string& file : files) std::cout << "      " << file << "\n";
  }
  EXPECT_GT(converted, 0);
}

}  // namespace
}  // namespace quenlo
