#include "tobinary/text_to_binary.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "numtext/format.h"
#include "runtime/exceptions.h"
#include "support/failures.h"
#include "support/test_streams.h"

namespace quenlo {
namespace {

using test::ByteVector;
using test::Bytes;
using test::Concat;
using test::FailureOf;
using test::Hex;
using test::NameBytes;
using test::Repeat;
using test::TextBytes;
using test::VectorStream;

std::string CrLfLines(std::initializer_list<std::string_view> lines) {
  std::string text;
  for (const std::string_view line : lines) {
    text += line;
    text += "\r\n";
  }
  return text;
}

struct Result {
  std::string failure;  // "" on success
  ByteVector output;    // also after a failure: what the writer got out
};

Result Convert(const std::string& text) {
  VectorStream input(TextBytes(text));
  VectorStream output;
  Result result;
  result.failure = FailureOf([&] { TextToBinaryForm(input, output); });
  result.output = output.data();
  return result;
}

ByteVector Signature() { return TextBytes("TPF0"); }

TEST(TextToBinaryTest, ConvertsTheDialogExample) {
  const std::string text = CrLfLines({
      "OBJECT Dlg: TBox",
      "  Font . Size = $0A",
      "  Tag = -200",
      "  Scale = 2.5E-1",
      "  Flags = [optA,optB]",
      "  Owner = Dlg.Frame",
      "  Visible = true",
      "  Pairs = ((1 2) ())",
      "  Blob = {",
      "    0001FF}",
      "  Cols = <",
      "    Item [3]",
      "      Width = 70000",
      "    End>",
      "  inherited Child: TItem [0]",
      "  End",
      "end",
  });
  ASSERT_EQ(text.size(), 279u);
  const ByteVector expected = Bytes(
      "54 50 46 30  04 54 42 6F 78  03 44 6C 67"
      "  09 46 6F 6E 74 2E 53 69 7A 65  02 0A"
      "  03 54 61 67  03 38 FF"
      "  05 53 63 61 6C 65  05 00 00 00 00 00 00 00 80 FD 3F"
      "  05 46 6C 61 67 73  0B 04 6F 70 74 41 04 6F 70 74 42 00"
      "  05 4F 77 6E 65 72  07 09 44 6C 67 2E 46 72 61 6D 65"
      "  07 56 69 73 69 62 6C 65  09"
      "  05 50 61 69 72 73  01 01 02 01 02 02 00 01 00 00"
      "  04 42 6C 6F 62  0A 03 00 00 00 00 01 FF"
      "  04 43 6F 6C 73  0E 02 03 01 05 57 69 64 74 68 04 70 11 01 00 00 00"
      "  00"
      "  F1 05 54 49 74 65 6D 05 43 68 69 6C 64 00 00"
      "  00");
  ASSERT_EQ(expected.size(), 161u);
  const Result result = Convert(text);
  EXPECT_EQ(result.failure, "");
  EXPECT_EQ(Hex(result.output), Hex(expected));
}

TEST(TextToBinaryTest, ReadsBackTheTextOfTheBoxExample) {
  const std::string text = CrLfLines({
      "object Box1: TBox",
      "  Size = 8",
      "  Ratio = 1.5",
      "  Title = 'It'#39's done'#13#10",
      "  Shown = False",
      "  Mode = modeA",
      "  Flags = [optA, optB]",
      "  Lines = (",
      "    'one'",
      "    '')",
      "  Data = {01ABFF}",
      "  Columns = <",
      "    item",
      "      Size = 64",
      "    end",
      "    item [5]",
      "      Title = 'x'",
      "    end>",
      "  inherited Item1: TItem [2]",
      "    Top = -8",
      "  end",
      "end",
  });
  ASSERT_EQ(text.size(), 338u);
  const ByteVector expected = Bytes(
      "54 50 46 30  04 54 42 6F 78  04 42 6F 78 31"
      "  04 53 69 7A 65 02 08"
      "  05 52 61 74 69 6F 05 00 00 00 00 00 00 00 C0 FF 3F"
      "  05 54 69 74 6C 65 06 0B 49 74 27 73 20 64 6F 6E 65 0D 0A"
      "  05 53 68 6F 77 6E 08"
      "  04 4D 6F 64 65 07 05 6D 6F 64 65 41"
      "  05 46 6C 61 67 73 0B 04 6F 70 74 41 04 6F 70 74 42 00"
      "  05 4C 69 6E 65 73 01 06 03 6F 6E 65 06 00 00"
      "  04 44 61 74 61 0A 03 00 00 00 01 AB FF"
      "  07 43 6F 6C 75 6D 6E 73 0E 01 04 53 69 7A 65 02 40 00"
      "  02 05 01 05 54 69 74 6C 65 06 01 78 00 00"
      "  00"
      "  F3 02 02 05 54 49 74 65 6D 05 49 74 65 6D 31 03 54 6F 70 02 F8 00 00"
      "  00");
  ASSERT_EQ(expected.size(), 179u);
  const Result result = Convert(text);
  EXPECT_EQ(result.failure, "");
  EXPECT_EQ(Hex(result.output), Hex(expected));
}

struct GrammarCase {
  std::string text;
  ByteVector after_signature;  // on a failure: what was written before it
  std::string failure;
};

// "object A: TB" + body + "end", and its bytes: the header, then body bytes,
// then the two end-of-list tags.
std::string InRoot(const std::string& body) { return "object A: TB\r\n" + body + "\r\nend\r\n"; }
ByteVector RootBytes(const ByteVector& body) { return Concat({Bytes("02 54 42 01 41"), body, Bytes("00 00")}); }
ByteVector RootOpen(const ByteVector& body) { return Concat({Bytes("02 54 42 01 41"), body}); }
ByteVector Prop(std::string_view name, std::string_view value_hex) {
  return Concat({NameBytes(name), Bytes(value_hex)});
}

TEST(TextToBinaryTest, TranslatesEachRuleOfTheGrammar) {
  const std::string long_text(300, 'z');
  const GrammarCase cases[] = {
      // Headers: names, keywords in any case, prefix flags and child positions.
      {"object Alpha: TBeta\r\n  Left = 1\r\nend",
       Concat({NameBytes("TBeta"), NameBytes("Alpha"), Prop("Left", "02 01"), Bytes("00 00")}), ""},
      {"Object TBeta END", Concat({NameBytes("TBeta"), Bytes("00 00 00")}), ""},
      {"Inherited Alpha: TBeta end", Concat({Bytes("F1"), NameBytes("TBeta"), NameBytes("Alpha"), Bytes("00 00")}),
       ""},
      {"object A: TB [3] end", Concat({Bytes("F2 02 03"), RootBytes({})}), ""},
      {"INHERITED A: TB [2] end", Concat({Bytes("F3 02 02"), RootBytes({})}), ""},
      {"object A: TB [300] end", Concat({Bytes("F2 03 2C 01"), RootBytes({})}), ""},
      {"object A: TB [$10] end", Concat({Bytes("F2 02 10"), RootBytes({})}), ""},
      {"object A: TB [0] end", RootBytes({}), ""},
      {"object A: TB [-4] end", RootBytes({}), ""},
      {"inherited A: TB [0] end", Concat({Bytes("F1"), RootBytes({})}), ""},
      {"object A: TB\r\n  inherited B: TC\r\n  end\r\n  object TD end\r\nend",
       Concat({Bytes("02 54 42 01 41 00  F1 02 54 43 01 42 00 00  02 54 44 00 00 00  00")}), ""},
      // Property names: the dots are tokens of their own.
      {InRoot("Font.Size = 10"), RootBytes(Prop("Font.Size", "02 0A")), ""},
      {InRoot("Font . Size = 10"), RootBytes(Prop("Font.Size", "02 0A")), ""},
      {InRoot("Font\r\n.\r\nSize\r\n=\r\n10"), RootBytes(Prop("Font.Size", "02 0A")), ""},
      {InRoot("A.B.C = 1"), RootBytes(Prop("A.B.C", "02 01")), ""},
      // Values.
      {InRoot("P = Alpha.Gamma"), RootBytes(Prop("P", "07 0B 41 6C 70 68 61 2E 47 61 6D 6D 61")), ""},
      {InRoot("P = true Q = FALSE R = nil S = Nile"), RootBytes(Concat({Prop("P", "09"), Prop("Q", "08"),
                                                                    Prop("R", "0D"), Prop("S", "07 04 4E 69 6C 65")})),
       ""},
      {InRoot("P = 'It''s'#13 Q = ''"), RootBytes(Concat({Prop("P", "06 05 49 74 27 73 0D"), Prop("Q", "06 00")})),
       ""},
      {InRoot("P = '" + long_text + "'"),
       RootBytes(Concat({Prop("P", "0C 2C 01 00 00"), TextBytes(long_text)})), ""},
      {InRoot("P = -200 Q = $FFFFFFFF R = -2147483648 S = 70000"),
       RootBytes(Concat({Prop("P", "03 38 FF"), Prop("Q", "02 FF"), Prop("R", "04 00 00 00 80"),
                         Prop("S", "04 70 11 01 00")})),
       ""},
      {InRoot("P = 1.5 Q = -.25"), RootBytes(Concat({Prop("P", "05 00 00 00 00 00 00 00 C0 FF 3F"),
                                                      Prop("Q", "05 00 00 00 00 00 00 00 80 FD BF")})),
       ""},
      {InRoot("Items = ( 1 'a' 2.5 )"),
       RootBytes(Prop("Items", "01 02 01 06 01 61 05 00 00 00 00 00 00 00 A0 00 40 00")), ""},
      {InRoot("Items = () J = ((()))"), RootBytes(Concat({Prop("Items", "01 00"), Prop("J", "01 01 01 00 00 00")})),
       ""},
      {InRoot("Style = [alpha, beta] E = [] F = [\r\n  one\r\n  ,two]"),
       RootBytes(Concat({Prop("Style", "0B 05 61 6C 70 68 61 04 62 65 74 61 00"), Prop("E", "0B 00"),
                         Prop("F", "0B 03 6F 6E 65 03 74 77 6F 00")})),
       ""},
      {InRoot("Data = {} D = {00 ff}"),
       RootBytes(Concat({Prop("Data", "0A 00 00 00 00"), Prop("D", "0A 02 00 00 00 00 FF")})), ""},
      {InRoot("Cols = < >"), RootBytes(Prop("Cols", "0E 00")), ""},
      {InRoot("Cols = <item [-1] end Item [5] W = 1 H.X = (2) END item [$100] end>"),
       RootBytes(Prop("Cols", "0E  01 00  02 05 01 01 57 02 01 03 48 2E 58 01 02 02 00 00  03 00 01 01 00  00")), ""},
      // Whole floats beyond 32 bits come back as extended values, up to 15 digits.
      {InRoot("P = 3000000000 Q = -3000000000 R = (2147483648)"),
       RootBytes(Concat({Prop("P", "05 00 00 00 00 00 5E D0 B2 1E 40"), Prop("Q", "05 00 00 00 00 00 5E D0 B2 1E C0"),
                         Prop("R", "01 05 00 00 00 00 00 00 00 80 1E 40 00")})),
       ""},
      {InRoot("P = 322462149994001"), RootBytes(Prop("P", "05 00 80 08 B3 F3 88 A3 92 2F 40")), ""},
      {InRoot("P = 1000000000000000"), RootOpen(NameBytes("P")),
       "EConvertError: '1000000000000000' n'est pas une valeur entière correcte"},
      {InRoot("P = $100000000"), RootOpen(NameBytes("P")),
       "EConvertError: '$100000000' n'est pas une valeur entière correcte"},
      {"object A: TB [3000000000] end", {}, "EConvertError: '3000000000' n'est pas une valeur entière correcte"},
      {InRoot("C = <item [2147483648] end>"), RootOpen(Prop("C", "0E")),
       "EConvertError: '2147483648' n'est pas une valeur entière correcte"},
      {InRoot("P = -"), RootOpen(NameBytes("P")), "EConvertError: '-' n'est pas une valeur entière correcte"},
      {InRoot("Width = 1.5.2"), RootOpen(NameBytes("Width")),
       "EConvertError: '1.5.2' n'est pas une valeur flottante correcte"},
      // Only the first token after the root's END is looked at.
      {"object A: TB end garbage 'unclosed", RootBytes({}), ""},
      {"object A: TB end\r\n'unclosed", RootBytes({}), "EParserError: Constante chaîne incorrecte à la ligne 2"},
      // Syntax errors and the line of the token they were found at.
      {"", {}, "EParserError: OBJECT attendu à la ligne 1"},
      {"\r\n\r\nobjet A: TB end", {}, "EParserError: OBJECT attendu à la ligne 3"},
      {"object : TB end", {}, "EParserError: Identificateur attendu à la ligne 1"},
      {"object A: 'TB' end", {}, "EParserError: Identificateur attendu à la ligne 1"},
      {"object A: TB [x] end", {}, "EParserError: Nombre attendu à la ligne 1"},
      {"object A: TB [1.5] end", {}, "EParserError: Nombre attendu à la ligne 1"},
      {"object A: TB [3 end", {}, "EParserError: '']'' attendu à la ligne 1"},
      {"object A: TB\r\n  Left = 1\r\n\r\n  Top 2\r\nend", RootOpen(Concat({Prop("Left", "02 01"), NameBytes("Top")})),
       "EParserError: ''='' attendu à la ligne 4"},
      {InRoot("Left = +1"), RootOpen(NameBytes("Left")), "EParserError: Valeur de propriété incorrecte à la ligne 2"},
      {InRoot("Left = .5"), RootOpen(NameBytes("Left")), "EParserError: Valeur de propriété incorrecte à la ligne 2"},
      {InRoot("Left = 1, 2"), RootOpen(Prop("Left", "02 01")), "EParserError: Identificateur attendu à la ligne 2"},
      {InRoot("Left = 1 + 2"), RootOpen(Prop("Left", "02 01")), "EParserError: Identificateur attendu à la ligne 2"},
      {InRoot("P = (1, 2)"), RootOpen(Prop("P", "01 02 01")),
       "EParserError: Valeur de propriété incorrecte à la ligne 2"},
      {InRoot("S = [a b]"), RootOpen(Prop("S", "0B 01 61")), "EParserError: '','' attendu à la ligne 2"},
      {InRoot("S = [a.b]"), RootOpen(Prop("S", "0B 01 61")), "EParserError: '','' attendu à la ligne 2"},
      {InRoot("S = [a,]"), RootOpen(Prop("S", "0B 01 61")), "EParserError: Identificateur attendu à la ligne 2"},
      {InRoot("P = A.\r\nB"), RootOpen(NameBytes("P")), "EParserError: Identificateur attendu à la ligne 2"},
      // A bad block leaves nothing of its value behind.
      {InRoot("P = {00\r\n 0G}"), RootOpen(NameBytes("P")), "EParserError: Valeur binaire incorrecte à la ligne 3"},
      {InRoot("C = < x end >"), RootOpen(Prop("C", "0E")), "EParserError: item attendu à la ligne 2"},
      {InRoot("C = <item object B: TC end end>"), RootOpen(Prop("C", "0E 01 06 6F 62 6A 65 63 74")),
       "EParserError: ''='' attendu à la ligne 2"},
      // A property after a child is taken for another child.
      {"object A: TB\r\n  object B: TC\r\n  end\r\n  Left = 1\r\nend", RootOpen(Bytes("00 02 54 43 01 42 00 00")),
       "EParserError: OBJECT attendu à la ligne 4"},
      // A text that ends too early fails at its end with what was expected there.
      {"object A: TB\r\n", RootOpen({}), "EParserError: Identificateur attendu à la ligne 2"},
      {"object A: TB object B: TC end", RootOpen(Bytes("00 02 54 43 01 42 00 00")),
       "EParserError: OBJECT attendu à la ligne 1"},
      {"object A: TB P = (1", RootOpen(Prop("P", "01 02 01")), "EParserError: Valeur de propriété incorrecte à la ligne 1"},
      {"object A: TB C = <item end", RootOpen(Prop("C", "0E 01 00")), "EParserError: item attendu à la ligne 1"},
      {"object A: TB C = <item", RootOpen(Prop("C", "0E 01")), "EParserError: Identificateur attendu à la ligne 1"},
      {"object A: TB S = [a", RootOpen(Prop("S", "0B 01 61")), "EParserError: '','' attendu à la ligne 1"},
      {"object A: TB P = {00", RootOpen(NameBytes("P")), "EParserError: Valeur binaire incorrecte à la ligne 1"},
  };
  for (const GrammarCase& c : cases) {
    const Result result = Convert(c.text);
    EXPECT_EQ(result.failure, c.failure) << "text: " << c.text;
    EXPECT_EQ(Hex(result.output), Hex(Concat({Signature(), c.after_signature}))) << "text: " << c.text;
  }
}

TEST(TextToBinaryTest, ReadsContinuedAndWideStrings) {
  const std::string bom = "\xEF\xBB\xBF";
  const std::string z200(200, 'z');
  std::string codes300;
  for (int i = 0; i < 300; ++i) codes300 += "#1044";
  const GrammarCase cases[] = {
      // "+" joins string tokens into one value, across blanks and lines.
      {InRoot("Caption = 'a' + 'b'"), RootBytes(Prop("Caption", "06 02 61 62")), ""},
      {InRoot("P = 'a'+'b'+#13+'c' Q = 'd'"), RootBytes(Concat({Prop("P", "06 04 61 62 0D 63"), Prop("Q", "06 01 64")})),
       ""},
      {InRoot("P = (\r\n  'first' +\r\n  ' second'\r\n  'next')"),
       RootBytes(Prop("P", "01 06 0C 66 69 72 73 74 20 73 65 63 6F 6E 64 06 04 6E 65 78 74 00")), ""},
      {InRoot("P = '' + '' + 'x'"), RootBytes(Prop("P", "06 01 78")), ""},
      {InRoot("P = '" + z200 + "' +\r\n '" + z200 + "'"),
       RootBytes(Concat({Prop("P", "0C 90 01 00 00"), TextBytes(z200 + z200)})), ""},
      // A string must follow "+", else nothing of the value is written.
      {InRoot("P = 'a' + 1"), RootOpen(NameBytes("P")), "EParserError: Chaîne attendue à la ligne 2"},
      {InRoot("P = 'a' +\r\n\r\nQ = 'b'"), RootOpen(NameBytes("P")), "EParserError: Chaîne attendue à la ligne 4"},
      {InRoot("P = ('a' + )"), RootOpen(Prop("P", "01")), "EParserError: Chaîne attendue à la ligne 2"},
      {"object A: TB P = 'a' +", RootOpen(NameBytes("P")), "EParserError: Chaîne attendue à la ligne 1"},
      {InRoot("P = 1 'a' + 'b'"), RootOpen(Prop("P", "02 01")), "EParserError: Identificateur attendu à la ligne 2"},
      {InRoot("P = ['a' + 'b']"), RootOpen(Prop("P", "0B")), "EParserError: Identificateur attendu à la ligne 2"},
      // A code above 255 anywhere in the value makes it a tgWideString: quoted
      // bytes as code page 1252 characters, codes as code units.
      {InRoot("P = #1055#1088"), RootBytes(Prop("P", "12 02 00 00 00 1F 04 40 04")), ""},
      {InRoot("P = 'x' + #1044"), RootBytes(Prop("P", "12 02 00 00 00 78 00 14 04")), ""},
      {InRoot("P = #1044 +\r\n 'x'"), RootBytes(Prop("P", "12 02 00 00 00 14 04 78 00")), ""},
      {InRoot("P = '\x80\xE9' + #128#1044"), RootBytes(Prop("P", "12 04 00 00 00 AC 20 E9 00 80 00 14 04")), ""},
      {InRoot("P = '\x80' + 'a' + #256"), RootBytes(Prop("P", "12 03 00 00 00 AC 20 61 00 00 01")), ""},
      {InRoot("P = #55357#56832"), RootBytes(Prop("P", "12 02 00 00 00 3D D8 00 DE")), ""},
      {InRoot("P = #65535"), RootBytes(Prop("P", "12 01 00 00 00 FF FF")), ""},
      {InRoot("P = " + codes300), RootBytes(Concat({Prop("P", "12 2C 01 00 00"), test::Repeat(Bytes("14 04"), 300)})),
       ""},
      {InRoot("P = (#1044 'a')"), RootBytes(Prop("P", "01 12 01 00 00 00 14 04 06 01 61 00")), ""},
      // Codes up to 255 keep the value a byte string, byte for byte.
      {InRoot("P = '\x80\xE9'#255 + #128"), RootBytes(Prop("P", "06 04 80 E9 FF 80")), ""},
      {InRoot("P = #65536"), RootOpen(NameBytes("P")), "EParserError: Constante chaîne incorrecte à la ligne 2"},
      {InRoot("P = 'a' +\r\n #70000"), RootOpen(NameBytes("P")),
       "EParserError: Constante chaîne incorrecte à la ligne 3"},
      // After a byte-order mark quoted runs are UTF-8, each on its own; only
      // ASCII keeps a value a byte string.
      {bom + InRoot("P = 'abc' Q = '\xC3\xA9' R = #233 S = 'a' + '\xD0\x94'"),
       RootBytes(Concat({Prop("P", "06 03 61 62 63"), Prop("Q", "12 01 00 00 00 E9 00"), Prop("R", "06 01 E9"),
                         Prop("S", "12 02 00 00 00 61 00 14 04")})),
       ""},
      {bom + InRoot("P = '\xF0\x9F\x98\x80' Q = '\xC3' + '\xA9' R = '\xE9t\xE9'"),
       RootBytes(Concat({Prop("P", "12 02 00 00 00 3D D8 00 DE"), Prop("Q", "12 02 00 00 00 C3 00 A9 00"),
                         Prop("R", "12 03 00 00 00 E9 00 74 00 E9 00")})),
       ""},
      {bom + InRoot("Caption = 'Caf\xC3\xA9'"), RootBytes(Prop("Caption", "12 04 00 00 00 43 00 61 00 66 00 E9 00")),
       ""},
      // Without the mark the same bytes are code page 1252 text.
      {InRoot("P = '\xC3\xA9'"), RootBytes(Prop("P", "06 02 C3 A9")), ""},
      // The mark counts at the very start only.
      {"\r\n" + bom + "object A: TB end", {}, "EParserError: OBJECT attendu à la ligne 2"},
      {bom + bom + "object A: TB end", {}, "EParserError: OBJECT attendu à la ligne 1"},
  };
  for (const GrammarCase& c : cases) {
    const Result result = Convert(c.text);
    EXPECT_EQ(result.failure, c.failure) << "text: " << c.text;
    EXPECT_EQ(Hex(result.output), Hex(Concat({Signature(), c.after_signature}))) << "text: " << c.text;
  }
}

TEST(TextToBinaryTest, AParserThatCannotStartChangesNothing) {
  const Result result = Convert("\r\n'unclosed");
  EXPECT_EQ(result.failure, "EParserError: Constante chaîne incorrecte à la ligne 2");
  EXPECT_TRUE(result.output.empty());
}

// Records the decimal mark at each stream call, to show the order of the
// releases: the writer drains while "." holds, the parser seeks back after the
// old mark is restored.
class MarkRecordingStream : public VectorStream {
 public:
  using VectorStream::VectorStream;
  int32_t Write(const void* buffer, int32_t count) override {
    marks += 'w';
    marks += DecimalMark;
    return VectorStream::Write(buffer, count);
  }
  int32_t Seek(int32_t offset, int32_t origin) override {
    marks += 's';
    marks += DecimalMark;
    return VectorStream::Seek(offset, origin);
  }
  std::string marks;
};

TEST(TextToBinaryTest, ReadsFloatsWithAPointAndRestoresTheMarkAfterwards) {
  ScopedDecimalMark comma(',');
  struct Case {
    std::string text;
    std::string failure;
    std::string input_marks;
    std::string output_marks;
    int64_t input_position;
  };
  const Case cases[] = {
      {"object A: TB P = 2.5 end trailing", "", "s,", "w.", 25},
      {"object A: TB P = 2.5 Q end", "EParserError: ''='' attendu à la ligne 1", "s,", "w.", 23},
      {"object A: TB P = 2,5 end", "EParserError: Identificateur attendu à la ligne 1", "s,", "w.", 18},
      // The parser fails to start: nothing was changed, nothing written.
      {"'x", "EParserError: Constante chaîne incorrecte à la ligne 1", "s,", "", 0},
  };
  for (const Case& c : cases) {
    MarkRecordingStream input(TextBytes(c.text));
    MarkRecordingStream output;
    EXPECT_EQ(FailureOf([&] { TextToBinaryForm(input, output); }), c.failure) << c.text;
    EXPECT_EQ(DecimalMark, ',');
    EXPECT_EQ(input.marks, c.input_marks) << c.text;
    EXPECT_EQ(output.marks, c.output_marks) << c.text;
    EXPECT_EQ(input.position(), c.input_position) << c.text;
  }
}

TEST(TextToBinaryTest, AFailedDrainReplacesTheFailureInFlight) {
  for (const std::string text : {"object A: TB end", "object A: TB P = ("}) {
    VectorStream input(TextBytes(text));
    VectorStream output;
    output.write_capacity = 3;
    EXPECT_EQ(FailureOf([&] { TextToBinaryForm(input, output); }), "EWriteError: Erreur d'écriture dans le flux")
        << text;
    EXPECT_EQ(test::AsText(output.data()), "TPF");
  }
}

// "" when equal, else where the two first differ; for outputs too long to show.
std::string FirstDifference(const ByteVector& actual, const ByteVector& expected) {
  if (actual == expected) return "";
  size_t at = 0;
  while (at < actual.size() && at < expected.size() && actual[at] == expected[at]) ++at;
  return "sizes " + std::to_string(actual.size()) + " and " + std::to_string(expected.size()) +
         ", first difference at " + std::to_string(at);
}

std::string Times(std::string_view part, int count) {
  std::string out;
  out.reserve(part.size() * static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) out += part;
  return out;
}

// Level 1 is the root object; each nested object, list and collection is one
// more, and level 1001 fails before anything of it is written.
TEST(TextToBinaryTest, LimitsNestingToAThousandLevels) {
  const ByteVector root = Bytes("01 54 01 41");  // object A: T
  struct Case {
    std::string name;
    std::string text;
    std::string failure;
    ByteVector after_signature;
  };
  auto objects = [](int n) { return Times("object A: T\r\n", n) + Times("end\r\n", n); };
  // One item per line: a line that begins a full buffer is at most 4094 bytes.
  auto lists = [](int n) { return "object A: T P = " + Times("(\n", n) + Times(")\n", n) + " end"; };
  auto collections = [](int n) {
    return "object A: T " + Times("C = <item\n", n - 1) + "C = <>" + Times(" end>\n", n - 1) + " end";
  };
  const std::string overflow = "EStackOverflow: Débordement de pile";
  const Case cases[] = {
      {"1000 objects", objects(1000), "", Concat({Repeat(Concat({root, Bytes("00")}), 1000), Repeat(Bytes("00"), 1000)})},
      {"1001 objects", objects(1001), overflow, Repeat(Concat({root, Bytes("00")}), 1000)},
      {"999 lists", lists(999), "",
       Concat({root, NameBytes("P"), Repeat(Bytes("01"), 999), Repeat(Bytes("00"), 999), Bytes("00 00")})},
      {"1000 lists", lists(1000), overflow, Concat({root, NameBytes("P"), Repeat(Bytes("01"), 999)})},
      {"999 collections", collections(999), "",
       Concat({root, Repeat(Bytes("01 43 0E 01"), 998), Bytes("01 43 0E 00"), Repeat(Bytes("00 00"), 998),
               Bytes("00 00")})},
      {"1000 collections", collections(1000), overflow,
       Concat({root, Repeat(Bytes("01 43 0E 01"), 999), NameBytes("C")})},
      // One count for all three kinds, given back on the way out.
      {"500 objects and 500 lists", Times("object A: T\r\n", 500) + "P = " + Times("(\n", 500) + Times(")\n", 500) +
           Times(" end\n", 500), "",
       Concat({Repeat(Concat({root, Bytes("00")}), 499), root, NameBytes("P"), Repeat(Bytes("01"), 500),
               Repeat(Bytes("00"), 500), Bytes("00 00"), Repeat(Bytes("00"), 499)})},
      {"500 objects and 501 lists", Times("object A: T\r\n", 500) + "P = " + Times("(\n", 501), overflow,
       Concat({Repeat(Concat({root, Bytes("00")}), 499), root, NameBytes("P"), Repeat(Bytes("01"), 500)})},
      {"two lists of 999 in a row", "object A: T P = " + Times("(\n", 999) + Times(")\n", 999) + " Q = " +
           Times("(\n", 999) + Times(")\n", 999) + " end", "",
       Concat({root, NameBytes("P"), Repeat(Bytes("01"), 999), Repeat(Bytes("00"), 999), NameBytes("Q"),
               Repeat(Bytes("01"), 999), Repeat(Bytes("00"), 999), Bytes("00 00")})},
  };
  for (const Case& c : cases) {
    const Result result = Convert(c.text);
    EXPECT_EQ(result.failure, c.failure) << c.name;
    EXPECT_EQ(FirstDifference(result.output, Concat({Signature(), c.after_signature})), "") << c.name;
  }
}

TEST(TextToBinaryTest, AMillionOpeningsFailQuickly) {
  const int million = 1000000;
  for (const std::string& text : {"object A: T P = " + Times("(\n", million),
                                  "object A: T P = " + Times("<item P = \n", million), Times("object A: T\n", million)}) {
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Convert(text).failure, "EStackOverflow: Débordement de pile");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  }
}

}  // namespace
}  // namespace quenlo
