#include "cli/names.h"

#include <gtest/gtest.h>

#include "cli/command_line.h"

namespace quenlo {
namespace {

TEST(OutputName, FollowsTheExtensionAndKeepsPathAndBase) {
  struct Row {
    const char* argument;
    bool resource_form;
    const char* output;
  };
  const Row rows[] = {
      {"FORM1.DFM", true, "FORM1.TXT"},
      {"c:\\work\\Box.dfm", true, "c:\\work\\Box.TXT"},
      {"Box.Dfm", true, "Box.TXT"},
      {"Box.txt", false, "Box.DFM"},
      {"Box", false, "Box.DFM"},
      {"Box.", false, "Box.DFM"},
      {"a.b.dfm", true, "a.b.TXT"},
      {".dfm", true, ".TXT"},
      {"c:Box.dfm", true, "c:Box.TXT"},
      {"c:\\my.dir\\Box", false, "c:\\my.dir\\Box.DFM"},
      // "/" delimits too, so the output stays in the input's folder.
      {"my.dir/Box", false, "my.dir/Box.DFM"},
      {"/tmp/x.y/Form.dfm", true, "/tmp/x.y/Form.TXT"},
      {"Box.dfmx", false, "Box.DFM"},
  };
  for (const Row& row : rows) {
    bool resource_form = AsciiUpper(ExtensionPart(row.argument)) == ".DFM";
    EXPECT_EQ(resource_form, row.resource_form) << row.argument;
    EXPECT_EQ(DeriveOutputName(row.argument, resource_form ? ".TXT" : ".DFM"), row.output)
        << row.argument;
  }
}

TEST(NameParts, SplitAtTheLastDelimiter) {
  EXPECT_EQ(PathPart("c:\\a\\b.c"), "c:\\a\\");
  EXPECT_EQ(NamePart("c:\\a\\b.c"), "b.c");
  EXPECT_EQ(ExtensionPart("c:\\a\\b.c"), ".c");
  EXPECT_EQ(ExtensionPart("a.b\\c"), "");
  EXPECT_EQ(ExtensionPart("Box."), ".");
  EXPECT_EQ(PathPart("Box"), "");
  EXPECT_EQ(AsciiUpper("abz\xE9{AZ"), "ABZ\xE9{AZ");
  // Long names are cut to 255 characters, the derived output too.
  std::string long_name(300, 'n');
  EXPECT_EQ(NamePart(long_name).size(), 255u);
  EXPECT_EQ(DeriveOutputName(long_name, ".DFM"), std::string(255, 'n') + ".DFM");
}

TEST(CommandLine, SplitsQuotedAndUnquotedRuns) {
  struct Row {
    const char* line;
    int32_t count;
    const char* first;
    const char* second;
  };
  const Row rows[] = {
      {"quenlo", 0, "", ""},
      {"quenlo \"\"", 0, "", ""},
      {"quenlo Box.txt", 1, "Box.txt", ""},
      {"\"C:\\Program Files\\quenlo.exe\" Box.txt Other", 2, "Box.txt", "Other"},
      {"quenlo \"my form.txt\"", 1, "my form.txt", ""},
      {"quenlo my\" form\".txt", 1, "my form.txt", ""},
      {"quenlo \"\"\"\"Box \t x", 2, "Box", "x"},
      {"quenlo \"unterminated run", 1, "unterminated run", ""},
      {"quenlo \xE9t\xE9.txt", 1, "\xE9t\xE9.txt", ""},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(ArgumentCount(row.line), row.count) << row.line;
    EXPECT_EQ(ArgumentAt(row.line, 1), row.first) << row.line;
    EXPECT_EQ(ArgumentAt(row.line, 2), row.second) << row.line;
  }
  // Items have no length limit.
  std::string long_item(1000, 'x');
  EXPECT_EQ(ArgumentAt("quenlo " + long_item, 1), long_item);
}

}  // namespace
}  // namespace quenlo
