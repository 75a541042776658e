// The executable on hostile files: lengths claimed far beyond the data,
// nesting a million levels deep, a 100 MB line, and damaged forms by the
// hundred. Each run must end by itself, quickly, with exit code 0 or 1 and the
// error box, never by a signal, and within 64 MB of memory.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "e2e/program.h"
#include "form_generator.h"
#include "hostile/measured_run.h"

namespace quenlo::hostile {
namespace {

using e2e::ScratchFolder;

// A resource form file around a stream whose root is TBox, as the program
// writes one; the size field is not examined when reading.
std::string ResourceForm(const std::string& stream) { return fuzz::WrapInResourceHeader(stream); }

// The stream of a TBox whose property P holds the given value bytes.
std::string BoxWith(const std::string& value) {
  return std::string("TPF0\x04TBox\x00\x01P", 12) + value + std::string(2, '\0');
}

std::string ErrorBoxMessage(const std::string& err) {
  const size_t line = err.find('\n', err.find('\n') + 1);
  return line == std::string::npos ? err : err.substr(line + 1);
}

void ExpectFailureWithin(const MeasuredOutcome& outcome, const std::string& message, double seconds,
                         const std::string& name) {
  EXPECT_FALSE(outcome.hung) << name;
  EXPECT_EQ(outcome.exit_code, 1) << name << "\n" << outcome.err;
  EXPECT_EQ(ErrorBoxMessage(outcome.err), message + "\n") << name;
  EXPECT_LT(outcome.seconds, seconds * kSlowdown) << name;
  if (kMemoryIsMeasurable) {
    EXPECT_LT(outcome.peak_memory, kMemoryBound) << name;
  }
  std::cout << "  " << name << ": " << outcome.seconds << " s, peak " << outcome.peak_memory / 1024
            << " KiB\n";
}

TEST(ProgramLimits, ClaimedLengthsFailFastInBoundedMemory) {
  const std::string kReadError = "Erreur de lecture du flux.";
  const std::string kInvalid = "Valeur de propri\xC3\xA9t\xC3\xA9 incorrecte.";
  const std::string claim("\xFF\xFF\xFF\x7F", 4);  // 2^31 - 1
  const std::string data(64, 'A');
  struct Row {
    const char* name;
    std::string file;
    std::string message;
  };
  const Row rows[] = {
      {"long string", ResourceForm(BoxWith("\x0C" + claim + data)), kReadError},
      {"binary block", ResourceForm(BoxWith("\x0A" + claim + data)), kReadError},
      {"wide string", ResourceForm(BoxWith("\x12" + claim + data)), kReadError},
      {"UTF-8 string", ResourceForm(BoxWith("\x14" + claim + data)), kReadError},
      {"short string", ResourceForm(BoxWith("\x06\xFF" + data)), kReadError},
      // Skipped, not read: a collection item that starts with a value.
      {"skipped binary block", ResourceForm(BoxWith("\x0E\x0A" + claim + data)), kReadError},
      {"skipped wide string", ResourceForm(BoxWith("\x0E\x92" + claim + data)), kReadError},
      {"skipped UTF-8 string", ResourceForm(BoxWith("\x0E\x94" + claim + data)), kReadError},
      {"negative long string",
       ResourceForm(BoxWith("\x0C" + std::string("\x00\x00\x00\x80", 4) + data)), kInvalid},
      {"negative wide string",
       ResourceForm(BoxWith("\x12" + std::string("\xFF\xFF\xFF\xFF", 4) + data)), kInvalid},
      // A header whose name runs through the whole probe.
      {"endless header name", std::string("\xFF\x0A\x00", 3) + std::string(300, 'N'),
       "Format de flux incorrect."},
  };
  for (const Row& row : rows) {
    ASSERT_LT(row.file.size(), 500u) << row.name;
    ScratchFolder folder;
    folder.Write("Claim.dfm", row.file);
    ExpectFailureWithin(RunMeasured(folder, {"Claim.dfm"}), row.message, 2, row.name);
    if (kMemoryIsMeasurable) {
      const MeasuredOutcome limited = RunMeasured(folder, {"Claim.dfm"}, kMemoryBound);
      EXPECT_EQ(limited.exit_code, 1) << row.name;
      EXPECT_EQ(ErrorBoxMessage(limited.err), row.message + "\n") << row.name << " under 64 MB";
    }
  }
}

TEST(ProgramLimits, AMillionLevelsFailInBothDirections) {
  const int million = 1000000;
  auto times = [](const std::string& piece, int count) {
    std::string out;
    out.reserve(piece.size() * static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) out += piece;
    return out;
  };
  const std::string kTooDeep =
      "D\xC3\xA9"
      "bordement de pile.";
  struct Row {
    const char* name;
    const char* file_name;
    std::string contents;
  };
  const Row rows[] = {
      {"binary objects", "Objects.dfm",
       ResourceForm("TPF0" + times(std::string("\x04TBox\x00\x00", 7), million) +
                    std::string(million, '\0'))},
      {"binary lists", "Lists.dfm",
       ResourceForm(BoxWith(std::string(million, '\x01') + std::string(million, '\0')))},
      {"binary collections", "Collections.dfm",
       ResourceForm(BoxWith(times(std::string("\x0E\x01\x01Q", 4), million)))},
      {"skipped lists", "Skipped.dfm",
       ResourceForm(BoxWith("\x0E" + std::string(million, '\x81')))},
      {"text objects", "Objects.txt", times("object A: T\r\n", million)},
      {"text lists", "Lists.txt", "object A: T\r\n  P = " + times("(\r\n", million)},
      {"text collections", "Collections.txt",
       "object A: T\r\n  P = " + times("<item Q =\r\n", million)},
  };
  for (const Row& row : rows) {
    ScratchFolder folder;
    folder.Write(row.file_name, row.contents);
    ExpectFailureWithin(RunMeasured(folder, {row.file_name}), kTooDeep, 5, row.name);
  }
}

TEST(ProgramLimits, AHundredMegabyteLineFailsAtOnce) {
  ScratchFolder folder;
  {
    std::ofstream text(folder / "Line.txt", std::ios::binary);
    text << "object A: T\r\n  P = '";
    const std::string chunk(1 << 20, 'x');
    for (int i = 0; i < 100; ++i) text << chunk;
    text << "'\r\nend\r\n";
  }
  ExpectFailureWithin(RunMeasured(folder, {"Line.txt"}), "Ligne trop longue \xC3\xA0 la ligne 2.",
                      2, "100 MB line");
}

TEST(ProgramLimits, ALargeBinaryBlockConvertsInBoundedMemory) {
  // Blocks are rendered 32 bytes at a time, whatever their length.
  ScratchFolder folder;
  const uint32_t length = 48u << 20;
  {
    std::string head = "\x0A";
    for (int i = 0; i < 4; ++i) head += static_cast<char>(length >> (8 * i));
    std::string stream = BoxWith(head);
    stream.resize(stream.size() - 2);
    std::ofstream file(folder / "Block.dfm", std::ios::binary);
    file << ResourceForm(stream);
    std::string chunk(1 << 20, '\0');
    for (size_t i = 0; i < chunk.size(); ++i) chunk[i] = static_cast<char>(i * 7);
    for (uint32_t written = 0; written < length; written += chunk.size()) file << chunk;
    file << std::string(2, '\0');
  }
  const MeasuredOutcome outcome = RunMeasured(folder, {"Block.dfm"}, 0, 30 * kSlowdown);
  EXPECT_EQ(outcome.exit_code, 0) << outcome.err;
  if (kMemoryIsMeasurable) {
    EXPECT_LT(outcome.peak_memory, kMemoryBound);
  }
  std::cout << "  48 MB block: " << outcome.seconds << " s, peak " << outcome.peak_memory / 1024
            << " KiB\n";
  std::ifstream text(folder / "Block.TXT", std::ios::binary | std::ios::ate);
  // The header line and "  P = {", then CR LF, four blanks and 64 digits for
  // each piece of 32 bytes, then "}", CR LF and the "end" line.
  EXPECT_EQ(static_cast<size_t>(text.tellg()), 13u + 7 + (length / 32) * 70 + 1 + 2 + 5);
}

// Bytes of a form changed in a few random ways: flipped bits, bytes set to the
// values that matter most to the formats, cuts, repeated or dropped pieces.
std::string Damaged(std::string form, uint64_t& state) {
  auto next = [&state](uint64_t n) {
    state = state * 6364136223846793005u + 1442695040888963407u;
    return (state >> 33) % n;
  };
  static const char kValues[] = {'\0',   '\x01', '\x7F', '\x80', '\xFF', '\x0C', '\x0E', '\x12',
                                 '\x14', '\'',   '#',    '\n',   '\r',   '(',    '<',    '{'};
  const uint64_t changes = 1 + next(4);
  for (uint64_t c = 0; c < changes && !form.empty(); ++c) {
    const size_t at = next(form.size());
    switch (next(5)) {
      case 0:
        form[at] = static_cast<char>(form[at] ^ (1 << next(8)));
        break;
      case 1:
        form[at] = kValues[next(sizeof kValues)];
        break;
      case 2:
        form.resize(at);
        break;
      case 3:
        form.insert(at, form.substr(at, next(64)));
        break;
      default:
        form.erase(at, next(16));
    }
  }
  return form;
}

// QUENLO_DAMAGED_INPUTS sets how many runs (default 300), for longer runs by hand.
TEST(ProgramLimits, DamagedFormsEndWithExitCodeZeroOrOne) {
  const char* requested = std::getenv("QUENLO_DAMAGED_INPUTS");
  const long runs = requested != nullptr ? std::strtol(requested, nullptr, 10) : 300;
  uint64_t state = 20240611;
  ScratchFolder folder;
  int converted = 0;
  for (long i = 0; i < runs; ++i) {
    const bool binary = i % 2 == 0;
    const auto seed = static_cast<uint64_t>(i / 2);
    const std::string form =
        binary ? ResourceForm(fuzz::GenerateBinaryStream(seed)) : fuzz::GenerateTextForm(seed);
    const std::string name = binary ? "Form.dfm" : "Form.txt";
    const std::string damaged = Damaged(form, state);
    folder.Write(name, damaged);
    const MeasuredOutcome outcome = RunMeasured(folder, {name});
    const bool box = outcome.err.rfind("Erreur de l'application\nException E", 0) == 0;
    EXPECT_TRUE(!outcome.hung && (outcome.exit_code == 0 || (outcome.exit_code == 1 && box)))
        << "run " << i << ": exit " << outcome.exit_code << (outcome.hung ? " (hung)" : "") << "\n"
        << outcome.err << "\ninput: " << testing::PrintToString(damaged);
    if (HasFailure()) return;
    converted += outcome.exit_code == 0;
  }
  std::cout << "  " << runs << " damaged forms, " << converted << " converted\n";
}

}  // namespace
}  // namespace quenlo::hostile
