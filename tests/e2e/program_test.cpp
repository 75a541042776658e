// The executable as a user runs it: exit codes, files left behind, error output.
#include "e2e/program.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace quenlo::e2e {
namespace {

std::string Example(const std::string& name) {
  std::ifstream in(std::string(QUENLO_SOURCE_DIR) + "/examples/" + name, std::ios::binary);
  std::ostringstream contents;
  contents << in.rdbuf();
  return contents.str();
}

std::string ErrorBox(const std::string& class_name, const std::string& message) {
  return "Erreur de l'application\nException " + class_name +
         " dans le module quenlo \xC3\xA0 XXXXXXXX.\n" + message + "\n";
}

TEST(Program, ConvertsTheSampleBothWays) {
  ScratchFolder folder;
  folder.Write("Sample.DFM", Example("Sample.DFM"));
  Outcome outcome = RunQuenlo(folder, {"Sample.DFM"});
  EXPECT_EQ(outcome.exit_code, 0) << outcome.err;
  EXPECT_EQ(outcome.err, "");
  EXPECT_EQ(outcome.out, "");
  EXPECT_EQ(folder.Read("Sample.TXT"), Example("Sample.TXT"));

  folder.Write("Dialog.txt", Example("Dialog.txt"));
  outcome = RunQuenlo(folder, {"Dialog.txt", "ignored second argument"});
  EXPECT_EQ(outcome.exit_code, 0) << outcome.err;
  EXPECT_EQ(folder.Read("Dialog.DFM"), Example("Dialog.expected.DFM"));
}

TEST(Program, TextBackToTheSameResourceForm) {
  ScratchFolder folder;
  folder.Write("Sample.txt", Example("Sample.TXT"));
  EXPECT_EQ(RunQuenlo(folder, {"Sample.txt"}).exit_code, 0);
  EXPECT_EQ(folder.Read("Sample.DFM"), Example("Sample.DFM"));
}

TEST(Program, NoArgumentAndAbsentFiles) {
  ScratchFolder folder;
  Outcome outcome = RunQuenlo(folder, {});
  EXPECT_EQ(outcome.exit_code, 1);
  EXPECT_EQ(outcome.err.rfind("Usage : quenlo FICHIER", 0), 0u) << outcome.err;
  EXPECT_EQ(RunQuenlo(folder, {""}).exit_code, 1);

  outcome = RunQuenlo(folder, {"Missing.dfm"});
  EXPECT_EQ(outcome.exit_code, 2);
  EXPECT_EQ(outcome.err, "Fichier introuvable : Missing.dfm\n");
  EXPECT_FALSE(folder.Exists("Missing.TXT"));

  std::filesystem::create_directory(folder / "Folder.dfm");
  EXPECT_EQ(RunQuenlo(folder, {"Folder.dfm"}).exit_code, 2);
  EXPECT_FALSE(folder.Exists("Folder.TXT"));
}

TEST(Program, VersionAndHelpOnlyWithoutSuchAFile) {
  ScratchFolder folder;
  Outcome outcome = RunQuenlo(folder, {"--version"});
  EXPECT_EQ(outcome.exit_code, 0);
  EXPECT_EQ(outcome.out,
            "Marvessa 00.00.00.03\nBidirectional Translator between TXT and DFM file formats.\n");
  outcome = RunQuenlo(folder, {"--help"});
  EXPECT_EQ(outcome.exit_code, 0);
  EXPECT_NE(outcome.out.find("Usage"), std::string::npos);

  // A real file of that name is converted like any other.
  folder.Write("--version", Example("Sample.TXT"));
  EXPECT_EQ(RunQuenlo(folder, {"--version"}).exit_code, 0);
  EXPECT_EQ(folder.Read("--version.DFM"), Example("Sample.DFM"));
}

// Each failure a user meets: the box text, exit code 1 and the file left behind.
TEST(Program, FailuresReportClassMessageAndLeaveTheSpecifiedOutput) {
  struct Row {
    const char* name;
    std::string input;
    const char* class_name;
    std::string message;
    const char* output;
    std::string left_behind;
  };
  const std::string sample = Example("Sample.DFM");
  const std::string unnormal_stream =
      std::string("TPF0\x04TBox\x00\x01X\x05\x00\x00\x00\x00\x00\x00\x00\x40\xFF\x3F\x00\x00", 25);
  const std::string unnormal =
      std::string("\xFF\x0A\x00TBOX\x00\x30\x10\x19\x00\x00\x00", 14) + unnormal_stream;
  const Row rows[] = {
      {"Short.dfm", std::string("\xFF\x0A\x00", 3), "EReadError", "Erreur de lecture du flux.",
       "Short.TXT", ""},
      {"Text.dfm", "object a: TBox\r\nend\r\n", "EInvalidImage", "Format de flux incorrect.",
       "Text.TXT", ""},
      {"Empty.dfm", "", "EInvalidImage", "Format de flux incorrect.", "Empty.TXT", ""},
      {"Cut.dfm", sample.substr(0, sample.size() - 20), "EReadError", "Erreur de lecture du flux.",
       "Cut.TXT", Example("Sample.TXT").substr(0, Example("Sample.TXT").find("  inherited"))},
      {"Bad.dfm", unnormal, "EInvalidOp", "Op\xC3\xA9ration flottante incorrecte.", "Bad.TXT",
       "object TBox\r\n  X = "},
      {"Syntax.txt", "object a: TBox\r\n  Left = 1\r\n  Top = )\r\nend\r\n", "EParserError",
       "Valeur de propri\xC3\xA9t\xC3\xA9 incorrecte \xC3\xA0 la ligne 3.", "Syntax.DFM", ""},
      {"Big.txt", "object a: TBox\r\n  Left = 2147483648000000\r\nend\r\n", "EConvertError",
       "'2147483648000000' n'est pas une valeur enti\xC3\xA8re correcte.", "Big.DFM", ""},
      {"Long.txt", "object a: TBox\r\n  Left = " + std::string(4057, '7') + "\r\nend\r\n",
       "EConvertError",
       "R\xC3\xA9sultat de Format sup\xC3\xA9rieur \xC3\xA0 4096 caract\xC3\xA8res.", "Long.DFM",
       ""},
  };
  for (const Row& row : rows) {
    ScratchFolder folder;
    folder.Write(row.name, row.input);
    Outcome outcome = RunQuenlo(folder, {row.name});
    EXPECT_EQ(outcome.exit_code, 1) << row.name;
    EXPECT_EQ(MaskAddress(outcome.err), ErrorBox(row.class_name, row.message)) << row.name;
    EXPECT_EQ(folder.Read(row.output), row.left_behind) << row.name;
  }
}

TEST(Program, InputHeldByAnotherProcess) {
  ScratchFolder folder;
  folder.Write("Box.dfm", Example("Sample.DFM"));
  LockFromAnotherProcess lock(folder / "Box.dfm");
  Outcome outcome = RunQuenlo(folder, {"Box.dfm"});
  EXPECT_EQ(outcome.exit_code, 1);
  EXPECT_EQ(MaskAddress(outcome.err),
            ErrorBox("EFOpenError", "Ne peut ouvrir le fichier Box.dfm."));
  EXPECT_FALSE(folder.Exists("Box.TXT"));
}

TEST(Program, AMessageEndingWithADotGetsNoSecondOne) {
  ScratchFolder folder;
  folder.Write("Box.", Example("Sample.TXT"));
  LockFromAnotherProcess lock(folder / "Box.");
  Outcome outcome = RunQuenlo(folder, {"Box."});
  EXPECT_EQ(MaskAddress(outcome.err), ErrorBox("EFOpenError", "Ne peut ouvrir le fichier Box."));
}

TEST(Program, OutputThatCannotBeCreated) {
  ScratchFolder folder;
  folder.Write("Box.dfm", Example("Sample.DFM"));
  folder.Write("Box.TXT", "held");
  {
    LockFromAnotherProcess lock(folder / "Box.TXT");
    Outcome outcome = RunQuenlo(folder, {"Box.dfm"});
    EXPECT_EQ(outcome.exit_code, 1);
    EXPECT_EQ(MaskAddress(outcome.err), ErrorBox("EFCreateError",
                                                 "Ne peut cr\xC3\xA9"
                                                 "er le fichier Box.TXT."));
    EXPECT_EQ(folder.Read("Box.TXT"), "held");  // a file in use is not truncated
  }
  // A folder standing where the output should go.
  folder.Write("Form.txt", Example("Sample.TXT"));
  std::filesystem::create_directory(folder / "Form.DFM");
  Outcome outcome = RunQuenlo(folder, {"Form.txt"});
  EXPECT_EQ(outcome.exit_code, 1);
  EXPECT_EQ(MaskAddress(outcome.err), ErrorBox("EFCreateError",
                                               "Ne peut cr\xC3\xA9"
                                               "er le fichier Form.DFM."));

  if (geteuid() != 0) {  // permissions stop nothing for root
    folder.Write("Locked.txt", Example("Sample.TXT"));
    folder.Write("Locked.DFM", "old");
    chmod((folder / "Locked.DFM").c_str(), 0444);
    outcome = RunQuenlo(folder, {"Locked.txt"});
    EXPECT_EQ(MaskAddress(outcome.err), ErrorBox("EFCreateError",
                                                 "Ne peut cr\xC3\xA9"
                                                 "er le fichier Locked.DFM."));
    EXPECT_EQ(folder.Read("Locked.DFM"), "old");
  }
}

TEST(Program, OutputOnAFullDevice) {
  if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
  ScratchFolder folder;
  folder.Write("X.dfm", Example("Sample.DFM"));
  std::filesystem::create_symlink("/dev/full", folder / "X.TXT");
  Outcome outcome = RunQuenlo(folder, {"X.dfm"});
  EXPECT_EQ(outcome.exit_code, 1);
  EXPECT_EQ(MaskAddress(outcome.err), ErrorBox("EWriteError",
                                               "Erreur d'\xC3\xA9"
                                               "criture dans le flux."));

  folder.Write("Y.txt", Example("Sample.TXT"));
  std::filesystem::create_symlink("/dev/full", folder / "Y.DFM");
  outcome = RunQuenlo(folder, {"Y.txt"});
  EXPECT_EQ(outcome.exit_code, 1);
  EXPECT_EQ(MaskAddress(outcome.err), ErrorBox("EWriteError",
                                               "Erreur d'\xC3\xA9"
                                               "criture dans le flux."));
}

TEST(Program, AFailedFinalDrainReplacesTheFailureInFlight) {
  if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
  ScratchFolder folder;
  const std::string sample = Example("Sample.DFM");
  folder.Write("Cut.dfm", sample.substr(0, sample.size() - 20));  // fails with EReadError
  std::filesystem::create_symlink("/dev/full", folder / "Cut.TXT");
  Outcome outcome = RunQuenlo(folder, {"Cut.dfm"});
  EXPECT_EQ(outcome.exit_code, 1);
  EXPECT_EQ(MaskAddress(outcome.err), ErrorBox("EWriteError",
                                               "Erreur d'\xC3\xA9"
                                               "criture dans le flux."));
}

TEST(Program, RunningOutOfMemoryIsReportedWithoutMemory) {
#if defined(QUENLO_SANITIZED)
  GTEST_SKIP() << "sanitizers reserve more address space than the limit";
#elif defined(QUENLO_EMULATED)
  GTEST_SKIP() << "the emulator does not apply address-space limits to the program";
#else
  // A 200 MB string held whole must be refused under a 64 MB address space.
  ScratchFolder folder;
  std::string stream("TPF0\x04TBox\x00\x01S\x0C", 13);
  const uint32_t length = 200u << 20;
  for (int i = 0; i < 4; ++i) stream += static_cast<char>(length >> (8 * i));
  stream += std::string(length, 'x') + std::string(2, '\0');
  std::string file = std::string("\xFF\x0A\x00TBOX\x00\x30\x10", 10);
  for (int i = 0; i < 4; ++i) file += static_cast<char>(stream.size() >> (8 * i));
  folder.Write("Huge.dfm", file + stream);
  Outcome outcome = RunQuenlo(folder, {"Huge.dfm"}, 64u << 20);
  EXPECT_EQ(outcome.exit_code, 1);
  EXPECT_EQ(outcome.err,
            "Erreur de l'application\nException EOutOfMemory dans le module quenlo "
            "\xC3\xA0 00000000.\nPlus de m\xC3\xA9moire.\n");
  EXPECT_EQ(folder.Read("Huge.TXT"), "object TBox\r\n  S = ");
#endif
}

}  // namespace
}  // namespace quenlo::e2e
