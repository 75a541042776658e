#include "tobinary/parser.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "numtext/extended.h"
#include "runtime/exceptions.h"
#include "runtime/streams.h"
#include "support/failures.h"
#include "support/test_streams.h"

namespace quenlo {
namespace {

using namespace std::string_literals;
using test::FailureOf;
using test::TextBytes;
using test::VectorStream;

// Printable ASCII as is, everything else as \xNN, so that rows show every byte.
std::string Escaped(std::string_view text) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : text) {
    const auto byte = static_cast<uint8_t>(c);
    if (byte >= 32 && byte < 127 && c != '"' && c != '\\') {
      out += c;
    } else {
      out += "\\x";
      out += kDigits[byte >> 4];
      out += kDigits[byte & 15];
    }
  }
  return out;
}

// The current token as S"sym", Q"string", I"int", F"float", '=' or E, with
// "@line" when the line is not 1.
std::string Describe(const TParser& parser) {
  std::string out;
  switch (parser.CurrentKind()) {
    case tokEnd: out = "E"; break;
    case tokSymbol: out = "S\"" + Escaped(parser.TokenView()) + "\""; break;
    case tokString: out = "Q\"" + Escaped(parser.TokenView()) + "\""; break;
    case tokInteger: out = "I\"" + Escaped(parser.TokenView()) + "\""; break;
    case tokFloat: out = "F\"" + Escaped(parser.TokenView()) + "\""; break;
    default: out = "'" + Escaped(parser.TokenView()) + "'"; break;
  }
  if (parser.Line() != 1) out += "@" + std::to_string(parser.Line());
  return out;
}

// Every token of the stream up to the first tokEnd, then "! <failure>" if one
// was raised on the way.
std::string Tokens(TStream& stream) {
  std::string out;
  auto append = [&out](const std::string& item) {
    if (!out.empty()) out += ' ';
    out += item;
  };
  const std::string failure = FailureOf([&] {
    TParser parser(stream);
    for (;;) {
      append(Describe(parser));
      if (parser.CurrentKind() == tokEnd) break;
      parser.Advance();
    }
  });
  if (!failure.empty()) append("! " + failure);
  return out;
}

std::string Tokens(const std::string& text) {
  VectorStream stream(TextBytes(text));
  return Tokens(stream);
}

struct TokenCase {
  std::string text;
  std::string tokens;
};

TEST(ParserTest, CutsTextIntoTokens) {
  const TokenCase cases[] = {
      // Symbols and one-character tokens; nothing needs to separate tokens.
      {"Font . Size = $0A", R"(S"Font" '.' S"Size" '=' I"$0A" E)"},
      {"_a1 B_2 z9", R"(S"_a1" S"B_2" S"z9" E)"},
      {"12abc Left=1", R"(I"12" S"abc" S"Left" '=' I"1" E)"},
      {"(){}[]<>,:+;", R"('(' ')' '{' '}' '[' ']' '<' '>' ',' ':' '+' ';' E)"},
      // Identifiers are ASCII: bytes from 128 up stand alone.
      {"\xE9t\xE9", R"('\xE9' S"t" '\xE9' E)"},
      // Numbers: a digit run turns into a float when any of + - . E e follows.
      {"-5 - 5", R"(I"-5" I"-" I"5" E)"},
      {"-.5 12. .5", R"(F"-.5" F"12." '.' I"5" E)"},
      {"1.5E+3 1-2 1e5x 7E", R"(F"1.5E+3" F"1-2" F"1e5" S"x" F"7E" E)"},
      {"$ $1f $1fg 0x1F", R"(I"$" I"$1f" I"$1f" S"g" I"0" S"x1F" E)"},
      // Strings: pieces with nothing between them make one token.
      {"'It''s' ''", R"(Q"It's" Q"" E)"},
      {"'a'#13#10'b'", R"(Q"a\x0D\x0Ab" E)"},
      {"#65#66'c'#", R"(Q"ABc\x00" E)"},
      {"# #255 #0065", R"(Q"\x00" Q"\xFF" Q"A" E)"},
      {"#$41", R"(Q"\x00" I"$41" E)"},
      {"'a' 'b' 'a'+'b'", R"(Q"a" Q"b" Q"a" '+' Q"b" E)"},
      {"'''' '#1'", R"(Q"'" Q"#1" E)"},
      {"'tab\there\x7F\x80\xFF'", R"(Q"tab\x09here\x7F\x80\xFF" E)"},
      // A string must close on its line.
      {"'abc", "! EParserError: Constante chaîne incorrecte à la ligne 1"},
      {"x\r\n'abc\r\ny'", R"(S"x" ! EParserError: Constante chaîne incorrecte à la ligne 2)"},
      {"x\n\n'ab\rc'", R"(S"x" ! EParserError: Constante chaîne incorrecte à la ligne 3)"},
      {"'ab\0c'"s, "! EParserError: Constante chaîne incorrecte à la ligne 1"},
      {"'ab'#1'c", "! EParserError: Constante chaîne incorrecte à la ligne 1"},
      // A code is one UTF-16 code unit at most; the line is the token's.
      {"x\r\n#65535 #65536", R"(S"x" Q"\xFF"@2 ! EParserError: Constante chaîne incorrecte à la ligne 2)"},
      {"'a'#99999999999999999999", "! EParserError: Constante chaîne incorrecte à la ligne 1"},
      // A byte-order mark is skipped at the very start of the text only.
      {"\xEF\xBB\xBFobject", R"(S"object" E)"},
      {"\xEF\xBB\xBF", "E"},
      {"\xEF\xBB\xBF\r\n\xEF\xBB\xBF", R"('\xEF'@2 '\xBB'@2 '\xBF'@2 E@2)"},
      {" \xEF\xBB\xBF" "a", R"('\xEF' '\xBB' '\xBF' S"a" E)"},
      {"\xEF\xBB" "a", R"('\xEF' '\xBB' S"a" E)"},
      // Lines are line feeds passed: CR LF and LF alike, a lone CR none.
      {"", "E"},
      {" \t\r\n \n\x01\x1F", "E@3"},
      {"a\r\nb\r\nc", R"(S"a" S"b"@2 S"c"@3 E@3)"},
      {"a\nb\nc\n", R"(S"a" S"b"@2 S"c"@3 E@4)"},
      {"a\rb\rc", R"(S"a" S"b" S"c" E)"},
      // A NUL is the end of the text: nothing after it is looked at.
      {"a\0b 'unclosed"s, R"(S"a" E)"},
      {"a \0\n\n"s, R"(S"a" E)"},
  };
  for (const TokenCase& c : cases) {
    EXPECT_EQ(Tokens(c.text), c.tokens) << "text: " << Escaped(c.text);
  }
}

// A string token as its bytes, then its code units when it has them, and "wide"
// when its bytes cannot stand for it.
std::string DescribeString(const std::string& text) {
  std::string out;
  const std::string failure = FailureOf([&] {
    VectorStream stream(TextBytes(text));
    TParser parser(stream);
    if (parser.CurrentKind() != tokString) {
      out = "not a string";
      return;
    }
    out = Escaped(parser.TokenView());
    if (parser.StringHasUnits()) {
      out += " |";
      for (const char16_t unit : parser.StringUnits()) {
        char hex[8];
        std::snprintf(hex, sizeof hex, " %04X", static_cast<unsigned>(unit));
        out += hex;
      }
    }
    if (parser.StringIsWide()) out += " wide";
  });
  return failure.empty() ? out : failure;
}

TEST(ParserTest, StringsKeepCodeUnitsOnlyWhenTheBytesCannotGiveThem) {
  const TokenCase cases[] = {
      // Quoted bytes are code page 1252 characters: the bytes give the units.
      {"'abc'#13#127", R"(abc\x0D\x7F)"},
      {"'\x80'", R"(\x80)"},
      {"'It''s'#10'\x81'", R"(It's\x0A\x81)"},
      // From a code of 128 on the units are kept, the bytes before it mapped.
      {"#128", R"(\x80 | 0080)"},
      {"'\x80'#128", R"(\x80\x80 | 20AC 0080)"},
      {"'a'#255'\xE9\x9F'", R"(a\xFF\xE9\x9F | 0061 00FF 00E9 0178)"},
      // A code above 255 makes the string wide; its byte is the low byte.
      {"'a'#1044'b'", R"(a\x14b | 0061 0414 0062 wide)"},
      {"#256", R"(\x00 | 0100 wide)"},
      {"'\x80'#65535", R"(\x80\xFF | 20AC FFFF wide)"},
      {"#65536", "EParserError: Constante chaîne incorrecte à la ligne 1"},
      // After a byte-order mark each quoted run is UTF-8 on its own, and any
      // character beyond ASCII makes the string wide; codes stay code units.
      {"\xEF\xBB\xBF'abc'", "abc"},
      {"\xEF\xBB\xBF#233", R"(\xE9 | 00E9)"},
      {"\xEF\xBB\xBF'\xC3\xA9'", R"(\xC3\xA9 | 00E9 wide)"},
      {"\xEF\xBB\xBF'a\xF0\x9F\x98\x80'", R"(a\xF0\x9F\x98\x80 | 0061 D83D DE00 wide)"},
      {"\xEF\xBB\xBF'\xC3'#65'\xA9'", R"(\xC3A\xA9 | 00C3 0041 00A9 wide)"},
      {"\xEF\xBB\xBF'\xE9t\xE9'", R"(\xE9t\xE9 | 00E9 0074 00E9 wide)"},
      {"\xEF\xBB\xBF'\xEF\xBB\xBF'", R"(\xEF\xBB\xBF | FEFF wide)"},
      // Without the mark, UTF-8 is just bytes.
      {"'\xC3\xA9'", R"(\xC3\xA9)"},
  };
  for (const TokenCase& c : cases) {
    EXPECT_EQ(DescribeString(c.text), c.tokens) << "text: " << Escaped(c.text);
  }
}

TEST(ParserTest, EndOfTextStaysTheCurrentToken) {
  for (const std::string& text : {"a"s, "a\0b c d"s}) {
    VectorStream stream(TextBytes(text));
    TParser parser(stream);
    ASSERT_EQ(parser.Advance(), tokEnd);
    EXPECT_EQ(parser.Advance(), tokEnd);
    EXPECT_EQ(parser.Advance(), tokEnd);
    EXPECT_EQ(parser.TokenAsText(), "");
  }
}

TEST(ParserTest, IsSymbolFoldsOnlyAsciiLetters) {
  struct Case {
    std::string text;
    std::string_view symbol;
    bool expected;
  };
  const Case cases[] = {
      {"oBjEcT", "OBJECT", true},   {"end", "END", true},         {"a_1", "A_1", true},
      {"OBJECTS", "OBJECT", false}, {"OBJEC", "OBJECT", false},   {"'OBJECT'", "OBJECT", false},
      {"item", "ITEN", false},      {"A.B", "A.B", false},        {"=", "=", false},
  };
  for (const Case& c : cases) {
    VectorStream stream(TextBytes(c.text));
    TParser parser(stream);
    EXPECT_EQ(parser.IsSymbol(c.symbol), c.expected) << c.text << " vs " << c.symbol;
  }
}

TEST(ParserTest, ExpectFailsWithTheMessageOfTheKindAndTheTokensLine) {
  struct Case {
    std::string text;
    std::function<void(TParser&)> check;
    std::string failure;
  };
  const Case cases[] = {
      {"a", [](TParser& p) { p.Expect(tokSymbol); }, ""},
      {"=", [](TParser& p) { p.Expect(tokSymbol); }, "EParserError: Identificateur attendu à la ligne 1"},
      {"a", [](TParser& p) { p.Expect(tokString); }, "EParserError: Chaîne attendue à la ligne 1"},
      {"1.5", [](TParser& p) { p.Expect(tokInteger); }, "EParserError: Nombre attendu à la ligne 1"},
      {"1", [](TParser& p) { p.Expect(tokFloat); }, "EParserError: Nombre attendu à la ligne 1"},
      {"\n\n\n\n\n\n:", [](TParser& p) { p.Expect('='); }, "EParserError: ''='' attendu à la ligne 7"},
      {"x", [](TParser& p) { p.ExpectSymbol("item"); }, "EParserError: item attendu à la ligne 1"},
      {"\nITEM", [](TParser& p) { p.ExpectSymbol("item"); }, ""},
      {"\r\n", [](TParser& p) { p.ExpectSymbol("OBJECT"); }, "EParserError: OBJECT attendu à la ligne 2"},
      // Number conversion failures name the text and carry no line.
      {"\n$", [](TParser& p) { p.TokenAsInteger(); },
       "EConvertError: '$' n'est pas une valeur entière correcte"},
      {"-", [](TParser& p) { p.TokenAsInteger(); }, "EConvertError: '-' n'est pas une valeur entière correcte"},
      {"1-2", [](TParser& p) { p.TokenAsFloat(); }, "EConvertError: '1-2' n'est pas une valeur flottante correcte"},
  };
  for (const Case& c : cases) {
    VectorStream stream(TextBytes(c.text));
    TParser parser(stream);
    EXPECT_EQ(FailureOf([&] { c.check(parser); }), c.failure) << "text: " << Escaped(c.text);
  }
}

TEST(ParserTest, TokenNumbersGoThroughTheNumberParsers) {
  VectorStream stream(TextBytes("$1f -2147483648 1.5 -.25"));
  TParser parser(stream);
  EXPECT_EQ(parser.TokenAsInteger(), 31);
  parser.Advance();
  EXPECT_EQ(parser.TokenAsInteger(), INT32_MIN);
  parser.Advance();
  EXPECT_EQ(parser.TokenAsFloat(), MakeExtended(false, 16383, 0xC000000000000000));
  parser.Advance();
  EXPECT_EQ(parser.TokenAsFloat(), MakeExtended(true, 16381, 0x8000000000000000));
}

TEST(ParserTest, DottedIdentTakesDotsWithoutBlanksOnly) {
  struct Case {
    std::string text;
    std::string result;  // the dotted text, then the token after it
  };
  const Case cases[] = {
      {"A.B = 1", R"(A.B '=')"},
      {"Dlg.Frame.Left_2", R"(Dlg.Frame.Left_2 E)"},
      {"A._x9.y\r\nz", R"(A._x9.y S"z"@2)"},
      {"A .B", R"(A '.')"},
      {"A. B", "! EParserError: Identificateur attendu à la ligne 1"},
      {"\nA.1", "! EParserError: Identificateur attendu à la ligne 2"},
      {"A.", "! EParserError: Identificateur attendu à la ligne 1"},
      {"'A'.B", "! EParserError: Identificateur attendu à la ligne 1"},
  };
  for (const Case& c : cases) {
    VectorStream stream(TextBytes(c.text));
    TParser parser(stream);
    std::string result;
    const std::string failure = FailureOf([&] {
      result = parser.TokenAsDottedIdent();
      EXPECT_EQ(parser.CurrentKind(), tokSymbol);
      EXPECT_EQ(parser.TokenAsText(), result);
      parser.Advance();
      result += " " + Describe(parser);
    });
    EXPECT_EQ(failure.empty() ? result : "! " + failure, c.result) << "text: " << c.text;
  }
}

TEST(ParserTest, DecodesHexBlocksUpToTheClosingBrace) {
  struct Case {
    std::string text;  // from the "{" on
    std::string result;  // the bytes in hex and the token after "}", or the failure
  };
  const Case cases[] = {
      {"{0A1b} x", R"(0A 1B S"x")"},
      {"{\r\n  0A\r\n  1b  \r\n}\r\nx", R"(0A 1B S"x"@5)"},
      {"{}", " E"},
      {"{ 0aFf\t0A }", "0A FF 0A E"},
      // Pairs never split, and nothing but digits and blanks stands inside.
      {"{0A1}", "! EParserError: Valeur binaire incorrecte à la ligne 1"},
      {"{0 A}", "! EParserError: Valeur binaire incorrecte à la ligne 1"},
      {"{0G}", "! EParserError: Valeur binaire incorrecte à la ligne 1"},
      {"{00,01}", "! EParserError: Valeur binaire incorrecte à la ligne 1"},
      {"{\n00\n0G}", "! EParserError: Valeur binaire incorrecte à la ligne 3"},
      {"{0A1B", "! EParserError: Valeur binaire incorrecte à la ligne 1"},
      {"{0A\r\n", "! EParserError: Valeur binaire incorrecte à la ligne 2"},
  };
  for (const Case& c : cases) {
    VectorStream stream(TextBytes(c.text));
    TParser parser(stream);
    ASSERT_EQ(parser.CurrentKind(), '{');
    TMemoryStream bytes;
    std::string result;
    const std::string failure = FailureOf([&] {
      parser.DecodeHexBlock(bytes);
      EXPECT_EQ(parser.CurrentKind(), '}');
      parser.Advance();
      result = test::Hex(test::ByteVector(bytes.Memory(), bytes.Memory() + bytes.DataSize())) + " " +
               Describe(parser);
    });
    EXPECT_EQ(failure.empty() ? result : "! " + failure, c.result) << "text: " << Escaped(c.text);
  }
}

// Long blocks arrive in 256-byte chunks and span many refills of the buffer.
TEST(ParserTest, DecodesLongHexBlocksAcrossRefills) {
  static const char kDigits[] = "0123456789abcdef";
  std::vector<uint8_t> expected;
  std::string text = "{";
  for (int line = 0; line < 700; ++line) {
    text += "\r\n    ";
    // Lines of 1 to 64 bytes, one of 700 bytes in one run.
    const int length = line == 350 ? 700 : 1 + line % 64;
    for (int i = 0; i < length; ++i) {
      const auto byte = static_cast<uint8_t>(line * 31 + i * 7);
      expected.push_back(byte);
      text += kDigits[byte >> 4];
      text += kDigits[byte & 15];
    }
  }
  text += "}\r\nend";
  VectorStream stream(TextBytes(text));
  TParser parser(stream);
  TMemoryStream bytes;
  parser.DecodeHexBlock(bytes);
  ASSERT_EQ(parser.CurrentKind(), '}');
  EXPECT_EQ(parser.Line(), 701);
  EXPECT_EQ(std::vector<uint8_t>(bytes.Memory(), bytes.Memory() + bytes.DataSize()), expected);
  EXPECT_TRUE(parser.Advance() == tokSymbol && parser.IsSymbol("end"));
}

// A line that begins a full buffer has its line feed at offset 4094 at most.
TEST(ParserTest, LimitsTheLineThatBeginsAFullBuffer) {
  const std::string x4094(4094, 'x');
  const std::string x4095(4095, 'x');
  const std::string tail = "\nend\n";
  const TokenCase cases[] = {
      {x4094 + tail, "S\"" + x4094 + R"(" S"end"@2 E@3)"},
      {x4095 + tail, "! EParserError: Ligne trop longue à la ligne 1"},
      {std::string(4096, 'x'), "! EParserError: Ligne trop longue à la ligne 1"},
      // The carriage return counts: 1 + 4091 + 1 + CR is 4094 bytes.
      {"a\r\n'" + std::string(4091, 'y') + "'\r\nend\r\n",
       "S\"a\" Q\"" + std::string(4091, 'y') + R"("@2 S"end"@3 E@4)"},
      {"a\r\n'" + std::string(4092, 'y') + "'\r\nend\r\n",
       R"(S"a" ! EParserError: Ligne trop longue à la ligne 2)"},
      // A byte-order mark stays in the buffer and shortens the first line.
      {"\xEF\xBB\xBF" + std::string(4091, 'x') + tail, "S\"" + std::string(4091, 'x') + R"(" S"end"@2 E@3)"},
      {"\xEF\xBB\xBF" + std::string(4092, 'x') + tail, "! EParserError: Ligne trop longue à la ligne 1"},
      // Fewer than 4096 bytes from the line's start: the buffer is not full, no limit.
      {x4095, "S\"" + x4095 + "\" E"},
      {"a\r\n" + x4095, "S\"a\" S\"" + x4095 + "\"@2 E@2"},
  };
  for (const TokenCase& c : cases) {
    EXPECT_EQ(Tokens(c.text), c.tokens) << "text of " << c.text.size() << " bytes";
  }
}

// Generated lines of every length up to 300 bytes, so that tokens of every kind
// stand at every distance from the window end; the expected tokens come with them.
struct GeneratedText {
  std::string text;
  std::string tokens;
  std::vector<int32_t> offsets;  // of each token, the final tokEnd included
};

GeneratedText MakeGeneratedText() {
  GeneratedText out;
  auto token = [&out](const std::string& source, const std::string& described) {
    out.offsets.push_back(static_cast<int32_t>(out.text.size()));
    out.text += source;
    if (!out.tokens.empty()) out.tokens += ' ';
    out.tokens += described;
  };
  int line = 1;
  auto at = [&line] { return line == 1 ? std::string() : "@" + std::to_string(line); };
  for (int i = 0; i < 2000; ++i) {
    const std::string name = "p" + std::to_string(i);
    token(name, "S\"" + name + "\"" + at());
    out.text += " ";
    token("=", "'='" + at());
    out.text += " ";
    const std::string body(static_cast<size_t>(i % 300), static_cast<char>('a' + i % 26));
    if (i % 3 == 0) {
      token("'" + body + "''x'#13", "Q\"" + body + "'x\\x0D\"" + at());
    } else if (i % 3 == 1) {
      token(body + "_" + std::to_string(i), "S\"" + body + "_" + std::to_string(i) + "\"" + at());
    } else {
      const std::string number = std::to_string(i) + "." + std::string(static_cast<size_t>(i % 250), '5');
      token(number, "F\"" + number + "\"" + at());
    }
    out.text += i % 2 == 0 ? "\r\n" : "\n";
    ++line;
  }
  token("", "E" + at());
  return out;
}

TEST(ParserTest, RefillsNeverCutATokenNorMissOne) {
  const GeneratedText generated = MakeGeneratedText();
  ASSERT_GT(generated.text.size(), 100000u);
  VectorStream whole(TextBytes(generated.text));
  EXPECT_EQ(Tokens(whole), generated.tokens);
  // A stream that delivers little per read must give the same tokens: only a
  // read of nothing ends the text.
  VectorStream trickle(TextBytes(generated.text));
  trickle.read_chunk = 7;
  EXPECT_EQ(Tokens(trickle), generated.tokens);
}

TEST(ParserTest, ReleasePutsTheStreamAtTheCurrentToken) {
  const GeneratedText generated = MakeGeneratedText();
  const size_t count = generated.offsets.size();
  for (const size_t advances : {size_t{0}, size_t{1}, size_t{2}, size_t{500}, size_t{3001}, count - 2, count - 1}) {
    VectorStream stream(TextBytes(generated.text));
    {
      TParser parser(stream);
      for (size_t i = 0; i < advances; ++i) parser.Advance();
    }
    EXPECT_EQ(stream.position(), generated.offsets[advances]) << "after " << advances << " advances";
  }
  // A string is decoded in place, yet the stream goes back to its opening quote.
  VectorStream stream(TextBytes("x = 'It''s'#13 y"));
  {
    TParser parser(stream);
    parser.Advance();
    parser.Advance();
    ASSERT_EQ(parser.TokenAsText(), "It's\r");
  }
  EXPECT_EQ(stream.position(), 4);
}

// A stream of one endless line, made up as it is read.
class EndlessLineStream : public TStream {
 public:
  explicit EndlessLineStream(int64_t size) : size_(size) {}
  int32_t Read(void* buffer, int32_t count) override {
    const int64_t n = std::min<int64_t>(count, size_ - delivered_);
    if (n <= 0) return 0;
    std::memset(buffer, 'a', static_cast<size_t>(n));
    delivered_ += n;
    read_total_ += n;
    return static_cast<int32_t>(n);
  }
  int32_t Write(const void*, int32_t) override { return 0; }
  int32_t Seek(int32_t offset, int32_t origin) override {
    if (origin == soCurrent) delivered_ += offset;
    return static_cast<int32_t>(delivered_);
  }
  int64_t delivered() const { return delivered_; }
  int64_t read_total() const { return read_total_; }

 private:
  int64_t size_;
  int64_t delivered_ = 0;  // the position
  int64_t read_total_ = 0;
};

TEST(ParserTest, AHundredMegabyteLineFailsAfterOneBuffer) {
  EndlessLineStream stream(int64_t{100} << 20);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Tokens(stream), "! EParserError: Ligne trop longue à la ligne 1");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
  // One buffer was read, and the release gave it back.
  EXPECT_EQ(stream.read_total(), TParser::kBufferSize);
  EXPECT_EQ(stream.delivered(), 0);
}

}  // namespace
}  // namespace quenlo
