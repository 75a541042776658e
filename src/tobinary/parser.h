// TParser: the tokenizer of the text form.
//
// It cuts the text into symbols (identifiers), string constants, integers,
// floats and one-character tokens, with one token of look-ahead: the current
// token is the first item not yet consumed. The text is read through one
// 4096-byte buffer whatever its size; string constants are decoded into a
// separate area. Every failure of its own is an EParserError carrying message
// kParseErrorAtLine: the particular message and the line on which the current
// token begins (inside a hexadecimal block, the line of the offending digits).
//
// A string constant is decoded into bytes, each "#" code taken as one byte.
// Its UTF-16 code units are quoted bytes as code page 1252 characters (UTF-8
// after a byte-order mark), "#" codes as the code units they name, up to
// 65535. They are kept only when the bytes cannot give them back: once a "#"
// code of 128 or more, or a UTF-8 run beyond ASCII, has come. A string is wide
// when its bytes cannot stand for it: a "#" code above 255, or, in a text that
// begins with a byte-order mark, a quoted character beyond ASCII.
//
// Example: "Font . Size = $0A" gives tokSymbol Font, '.', tokSymbol Size, '=',
// tokInteger $0A, then tokEnd.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>

#include "numtext/extended.h"
#include "runtime/messages.h"
#include "runtime/streams.h"

namespace quenlo {

// A token kind is one byte: the four kinds below, tokEnd, or the code of a
// character that is a token by itself ('=' is 61). The bytes 1 to 32 are blanks
// and never become tokens, so 1 to 4 cannot collide with a character.
using TTokenKind = uint8_t;
constexpr TTokenKind tokEnd = 0;
constexpr TTokenKind tokSymbol = 1;   // A-Z a-z _, then also 0-9
constexpr TTokenKind tokString = 2;   // a run of 'quoted' and #code pieces
constexpr TTokenKind tokInteger = 3;  // decimal, or hexadecimal after "$"
constexpr TTokenKind tokFloat = 4;    // digits followed by any of + - . E e

class TParser {
 public:
  // The whole text is seen through this buffer; a line that begins a full
  // buffer must end (its line feed) within its first 4095 bytes.
  static constexpr int32_t kBufferSize = 4096;

  // Scans the first token; fails with whatever that first Advance raises.
  explicit TParser(TStream& source);
  // Release: puts the source back at the first byte of the current token.
  ~TParser();
  TParser(const TParser&) = delete;
  TParser& operator=(const TParser&) = delete;

  TTokenKind CurrentKind() const { return token_; }
  // Scans the next token, makes it current and returns its kind. At the end of
  // the text (or at a NUL byte) the kind is tokEnd for ever.
  TTokenKind Advance();
  // The line the current token begins on, counting line feeds from 1.
  int32_t Line() const { return line_; }

  // Fails unless the current token is of that kind: kIdentifierExpected,
  // kStringExpected, kNumberExpected (both number kinds) or kCharExpected.
  void Expect(TTokenKind kind) const;
  // Fails with kSymbolExpected naming text as passed, unless IsSymbol(text).
  void ExpectSymbol(std::string_view text) const;
  // The current token is a symbol equal to text, ASCII letters in any case.
  bool IsSymbol(std::string_view text) const;

  // The decoded bytes of a string (a code above 255 gives its low byte; the
  // code units hold the character); for other kinds the token's bytes as they
  // stand in the text (empty for tokEnd).
  std::string TokenAsText() const { return std::string(TokenView()); }
  // The same without a copy; valid until the next Advance.
  // A string's decoded bytes stay valid one Advance longer, so a value can be
  // written once the token after it is known not to be "+".
  std::string_view TokenView() const {
    if (token_ == tokString) {
      return std::string_view(reinterpret_cast<const char*>(string_bytes_),
                              static_cast<size_t>(string_end_));
    }
    const char* start = reinterpret_cast<const char*>(buffer_.get()) + token_start_;
    return std::string_view(start, static_cast<size_t>(scan_ - token_start_));
  }
  // For a string token: whether its code units are kept, and then the units
  // (valid until the next Advance); without them each byte is its code page
  // 1252 character. Whether it is wide, which implies kept units.
  bool StringHasUnits() const { return string_has_units_; }
  std::u16string_view StringUnits() const { return units_; }
  bool StringIsWide() const { return string_is_wide_; }

  // ParseInteger / ParseExtended of the token's text (EConvertError, no line).
  int32_t TokenAsInteger() const;
  Extended TokenAsFloat() const;
  // The current symbol extended over the ".identifier" parts that follow it
  // with no blank between: A.B.C. Fails with kIdentifierExpected when no
  // identifier follows a dot.
  std::string TokenAsDottedIdent() { return std::string(DottedIdentView()); }
  std::string_view DottedIdentView();

  // Called while the current token is "{": writes the bytes of the digit pairs
  // up to "}" to target, then makes "}" the current token. Pairs may be
  // separated by blanks and line breaks, never split; anything else fails with
  // kInvalidBinary.
  void DecodeHexBlock(TStream& target);

  // Raises EParserError: the text of id filled with args, at the current line.
  [[noreturn]] void Fail(MessageId id, std::initializer_list<FormatArg> args = {}) const;

 private:
  void Release() noexcept;
  void SkipWhitespace();
  void RefillBuffer();
  void ScanString();
  // Starts the code units of the current string: its bytes decoded up to the
  // position end, as code page 1252 characters.
  void StartUnits(const uint8_t* decoded, int32_t end);
  void AppendRunUnits(const uint8_t* decoded, int32_t start, int32_t end);

  TStream& source_;
  std::unique_ptr<uint8_t[]> buffer_;
  // Positions are offsets into buffer_:
  // 0 <= token_start_ <= scan_ <= window_end_ <= data_end_ <= kBufferSize.
  int32_t data_end_ = 0;
  int32_t scan_ = 0;
  int32_t window_end_ = 0;  // holds a NUL sentinel over saved_byte_
  int32_t token_start_ = 0;
  int32_t string_end_ = 0;  // length of the decoded text of a string token
  int32_t line_ = 1;
  uint8_t saved_byte_ = 0;
  TTokenKind token_ = tokEnd;
  bool text_started_ = false;  // the first refill has looked for a byte-order mark
  bool utf8_text_ = false;
  bool string_has_units_ = false;
  bool string_is_wide_ = false;
  std::u16string units_;  // reused from string to string
  // Strings are decoded into these two areas in turn, so that the bytes of one
  // string survive the scanning of the next token, even another string.
  std::unique_ptr<uint8_t[]> decoded_;
  const uint8_t* string_bytes_ = nullptr;
  bool second_area_ = false;
};

}  // namespace quenlo
