#include "tobinary/parser.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "formstream/codepage.h"
#include "numtext/parse.h"
#include "runtime/exceptions.h"

namespace quenlo {
namespace {

// Byte classes, one table lookup per byte on the scanning paths.
enum : uint8_t {
  kIdentFirst = 1 << 0,  // A-Z a-z _
  kIdentRest = 1 << 1,   // A-Z a-z 0-9 _
  kDigit = 1 << 2,       // 0-9
  kHexDigit = 1 << 3,    // 0-9 A-F a-f
  kFloatChar = 1 << 4,   // + - . 0-9 E e: what turns a number into a float
  kBlank = 1 << 5,       // 1 to 32: skipped between tokens
  kStringStop = 1 << 6,  // ' NUL CR LF: what ends or breaks a quoted run
};

constexpr std::array<uint8_t, 256> MakeByteClasses() {
  std::array<uint8_t, 256> table{};
  for (int c = 1; c <= 32; ++c) table[c] |= kBlank;
  for (int c = 'A'; c <= 'Z'; ++c) table[c] |= kIdentFirst | kIdentRest;
  for (int c = 'a'; c <= 'z'; ++c) table[c] |= kIdentFirst | kIdentRest;
  table['_'] |= kIdentFirst | kIdentRest;
  for (int c = '0'; c <= '9'; ++c) table[c] |= kIdentRest | kDigit | kHexDigit | kFloatChar;
  for (int c = 'A'; c <= 'F'; ++c) table[c] |= kHexDigit;
  for (int c = 'a'; c <= 'f'; ++c) table[c] |= kHexDigit;
  table['+'] |= kFloatChar;
  table['-'] |= kFloatChar;
  table['.'] |= kFloatChar;
  table['E'] |= kFloatChar;
  table['e'] |= kFloatChar;
  table['\''] |= kStringStop;
  table[0] |= kStringStop;
  table['\r'] |= kStringStop;
  table['\n'] |= kStringStop;
  return table;
}

constexpr std::array<uint8_t, 256> kByteClasses = MakeByteClasses();

inline bool Is(uint8_t byte, uint8_t byte_class) { return (kByteClasses[byte] & byte_class) != 0; }

// The value of a hexadecimal digit, or kNotHex for every other byte.
constexpr uint8_t kNotHex = 0x10;

constexpr std::array<uint8_t, 256> MakeHexValues() {
  std::array<uint8_t, 256> table{};
  for (auto& value : table) value = kNotHex;
  for (int c = '0'; c <= '9'; ++c) table[c] = static_cast<uint8_t>(c - '0');
  for (int c = 'A'; c <= 'F'; ++c) table[c] = static_cast<uint8_t>(c - 'A' + 10);
  for (int c = 'a'; c <= 'f'; ++c) table[c] = static_cast<uint8_t>(c - 'a' + 10);
  return table;
}

constexpr std::array<uint8_t, 256> kHexValues = MakeHexValues();

// Decodes digit pairs until a pair holds a non-digit or max bytes are made.
// Stops at the NUL sentinel at the latest, so it never reads past the window.
int32_t HexToBytes(const uint8_t* text, uint8_t* out, int32_t max) {
  int32_t count = 0;
  while (count < max) {
    const uint8_t high = kHexValues[text[0]];
    if (high == kNotHex) break;
    const uint8_t low = kHexValues[text[1]];
    if (low == kNotHex) break;
    out[count++] = static_cast<uint8_t>(high << 4 | low);
    text += 2;
  }
  return count;
}

// The position just after the last line feed among the bytes pos-1 down to
// start+1, or start when there is none; start and pos itself are never looked at.
int32_t StartOfLastLine(const uint8_t* buffer, int32_t start, int32_t pos) {
  for (int32_t at = pos - 1; at > start; --at) {
    if (buffer[at] == '\n') return at + 1;
  }
  return start;
}

bool HasByteBeyondAscii(const uint8_t* at, const uint8_t* end) {
  uint8_t seen = 0;
  for (; at < end; ++at) seen |= *at;
  return seen >= 128;
}

uint64_t LoadWord(const uint8_t* at) {
  uint64_t word;
  std::memcpy(&word, at, sizeof word);
  return word;
}

constexpr uint64_t kEightSpaces = 0x2020202020202020ull;
constexpr uint64_t kLowBits = 0x0101010101010101ull;
constexpr uint64_t kHighBits = 0x8080808080808080ull;

// Nonzero exactly when some byte of the word equals the byte repeated in
// pattern (which byte is not told).
inline uint64_t HasByte(uint64_t word, uint64_t pattern) {
  const uint64_t x = word ^ pattern;
  return (x - kLowBits) & ~x & kHighBits;
}

// Moves the bytes of a quoted run from read down to write up to the first
// quote, NUL, CR or LF (the NUL sentinel at the latest). A few bytes one at a
// time, then whole words while they hold none of the four; writing a word
// never overtakes reading, as write <= read.
void CopyQuoteFreeRun(uint8_t* buffer, int32_t& read, int32_t& write) {
  for (int32_t i = 0; i < 8; ++i) {
    const uint8_t c = buffer[read];
    if (Is(c, kStringStop)) return;
    buffer[write++] = c;
    ++read;
  }
  while (read <= TParser::kBufferSize - 8) {
    const uint64_t word = LoadWord(buffer + read);
    if (HasByte(word, 0) | HasByte(word, 0x2727272727272727ull) |
        HasByte(word, 0x0A0A0A0A0A0A0A0Aull) | HasByte(word, 0x0D0D0D0D0D0D0D0Dull)) {
      break;
    }
    std::memcpy(buffer + write, &word, sizeof word);
    read += 8;
    write += 8;
  }
  for (;;) {
    const uint8_t c = buffer[read];
    if (Is(c, kStringStop)) return;
    buffer[write++] = c;
    ++read;
  }
}

// Per byte of a word, 0x80 where the byte lies in lo..hi; the bytes must be
// below 0x80, so no sum carries into the next byte.
constexpr uint64_t BytesInRange(uint64_t word, uint8_t lo, uint8_t hi) {
  const uint64_t at_least_lo = word + kLowBits * (0x80 - lo);
  const uint64_t above_hi = word + kLowBits * (0x7F - hi);
  return at_least_lo & ~above_hi & kHighBits;
}

// Per byte of a word, 0x80 where the byte is A-Z a-z 0-9 _.
constexpr uint64_t IdentifierBytes(uint64_t word) {
  const uint64_t ascii = word & ~kHighBits;
  const uint64_t letters = BytesInRange(ascii | kLowBits * 0x20, 'a', 'z');
  const uint64_t digits = BytesInRange(ascii, '0', '9');
  const uint64_t underscores = BytesInRange(ascii, '_', '_');
  return (letters | digits | underscores) & ~word & kHighBits;
}

// The index of the first byte of the word, in memory order, whose high bit is
// set in marks (not 0).
inline int32_t FirstMarkedByte(uint64_t marks) {
  if constexpr (std::endian::native == std::endian::little) {
    return std::countr_zero(marks) / 8;
  } else {
    return std::countl_zero(marks) / 8;
  }
}

// The end of the identifier whose rest begins at at: eight bytes a time, so
// that names of any length cost no branch per byte. The NUL sentinel ends it
// at the latest; the buffer's slack covers the word read past it.
int32_t IdentifierEnd(const uint8_t* buffer, int32_t at) {
  for (;;) {
    const uint64_t others = ~IdentifierBytes(LoadWord(buffer + at)) & kHighBits;
    if (others != 0) return at + FirstMarkedByte(others);
    at += 8;
  }
}

inline uint8_t FoldAscii(uint8_t c) { return c >= 'a' && c <= 'z' ? static_cast<uint8_t>(c - 32) : c; }

constexpr int32_t kHexChunkSize = 256;

// The largest "#" code: one UTF-16 code unit.
constexpr uint32_t kMaxCharCode = 0xFFFF;

inline uint32_t DigitValue(uint8_t c) { return static_cast<uint32_t>(c) - '0'; }

// The value of the digits of a "#" code from read on, read left past them; a
// value beyond kMaxCharCode leaves read at the digit that makes it so and
// returns kCodeTooLarge. Up to three digits cannot overflow and go without
// the check.
constexpr uint32_t kCodeTooLarge = 0xFFFFFFFF;

uint32_t ScanCharCode(const uint8_t* buffer, int32_t& read) {
  uint32_t code = 0;
  for (int32_t i = 0; i < 3; ++i) {
    const uint32_t digit = DigitValue(buffer[read]);
    if (digit > 9) return code;
    code = code * 10 + digit;
    ++read;
  }
  for (uint32_t digit = DigitValue(buffer[read]); digit <= 9; digit = DigitValue(buffer[read])) {
    code = code * 10 + digit;
    if (code > kMaxCharCode) return kCodeTooLarge;
    ++read;
  }
  return code;
}

// Bytes allocated behind the buffer, never filled.
constexpr int32_t kBufferSlack = 8;

constexpr uint8_t kByteOrderMark[3] = {0xEF, 0xBB, 0xBF};

}  // namespace

// Zeroed, so that the word-at-a-time scans never look at unset bytes beyond
// the sentinel; the slack lets the scans look a few bytes past the last one.
TParser::TParser(TStream& source)
    : source_(source), buffer_(new uint8_t[kBufferSize + kBufferSlack]()) {
  buffer_[0] = 0;
  try {
    Advance();
  } catch (...) {
    // A parser whose first token fails is released like any other.
    Release();
    throw;
  }
}

TParser::~TParser() { Release(); }

// The stream stands just behind the bytes read so far, which end at data_end_.
// Seek raises nothing on the streams of this program.
void TParser::Release() noexcept {
  if (!buffer_) return;
  source_.Seek(token_start_ - data_end_, soCurrent);
  buffer_.reset();
}

void TParser::Fail(MessageId id, std::initializer_list<FormatArg> args) const {
  Raise<EParserError>(MessageId::kParseErrorAtLine, {FormatText(LoadMessage(id), args), line_});
}

// Runs when the scanner meets a NUL: either the sentinel at the window end or a
// NUL byte of the text. Keeps the unread bytes, fills the rest of the buffer and
// lets the scanner see only whole lines, so no token is ever cut.
void TParser::RefillBuffer() {
  uint8_t* buffer = buffer_.get();
  buffer[window_end_] = saved_byte_;
  const int32_t unread = data_end_ - scan_;
  if (unread > 0 && scan_ > 0) std::memmove(buffer, buffer + scan_, static_cast<size_t>(unread));
  data_end_ = unread;
  // Whatever was before the scan position is gone, the current token too; keep
  // the release offset meaningful.
  token_start_ = string_end_ = 0;
  // A stream may deliver less than asked before its end; only 0 means the end.
  while (data_end_ < kBufferSize) {
    const int32_t asked = kBufferSize - data_end_;
    const int32_t got = source_.Read(buffer + data_end_, asked);
    if (got <= 0) break;
    data_end_ += std::min(got, asked);
  }
  scan_ = 0;
  if (!text_started_) {
    text_started_ = true;
    // The mark stays in the buffer, only scanned past: the first line then
    // holds three bytes fewer.
    if (data_end_ >= 3 && std::memcmp(buffer, kByteOrderMark, 3) == 0) {
      utf8_text_ = true;
      scan_ = 3;
    }
  }
  window_end_ = data_end_;
  if (data_end_ == kBufferSize) window_end_ = StartOfLastLine(buffer, 0, kBufferSize - 1);
  saved_byte_ = buffer[window_end_];
  buffer[window_end_] = 0;
  if (data_end_ == kBufferSize && window_end_ == 0) Fail(MessageId::kLineTooLong);
}

void TParser::SkipWhitespace() {
  const uint8_t* buffer = buffer_.get();
  int32_t at = scan_;
  int32_t line = line_;
  // Tokens on a line are mostly apart by one space or none: stepping over one
  // space without a branch leaves the loop below a predictable exit.
  at += buffer[at] == ' ';
  for (;;) {
    const uint8_t c = buffer[at];
    if (!Is(c, kBlank)) {
      if (c != 0) break;
      scan_ = at;
      line_ = line;
      RefillBuffer();
      at = scan_;
      if (buffer[at] == 0) break;
      continue;
    }
    ++at;
    if (c == '\n') {
      // Wraps instead of overflowing on a hostile count of line feeds.
      line = static_cast<int32_t>(static_cast<uint32_t>(line) + 1u);
      // Indentation comes in long runs of spaces: eight at a time while the
      // whole word is spaces, which also stops at the NUL sentinel.
      while (at <= kBufferSize - 8 && LoadWord(buffer + at) == kEightSpaces) at += 8;
    }
  }
  scan_ = at;
  line_ = line;
}

TTokenKind TParser::Advance() {
  SkipWhitespace();
  const uint8_t* buffer = buffer_.get();
  int32_t at = scan_;
  token_start_ = at;
  const uint8_t first = buffer[at];
  TTokenKind kind;
  if (Is(first, kIdentFirst)) {
    at = IdentifierEnd(buffer, at + 1);
    kind = tokSymbol;
  } else if (first == '\'' || first == '#') {
    ScanString();
    at = scan_;
    kind = tokString;
  } else if (first == '$') {
    ++at;
    while (Is(buffer[at], kHexDigit)) ++at;
    kind = tokInteger;
  } else if (first == '-' || Is(first, kDigit)) {
    ++at;
    while (Is(buffer[at], kDigit)) ++at;
    kind = tokInteger;
    if (Is(buffer[at], kFloatChar)) {
      while (Is(buffer[at], kFloatChar)) ++at;
      kind = tokFloat;
    }
  } else if (first == 0) {
    kind = tokEnd;
  } else {
    ++at;
    kind = first;
  }
  scan_ = at;
  token_ = kind;
  return kind;
}

// Decodes the pieces of a string constant in place, from the token start on:
// the decoded text is never longer than its source, so writing never overtakes
// reading. Code units are kept only once the bytes cannot give them back: from
// a "#" code of 128 or more, or a UTF-8 run, on.
void TParser::ScanString() {
  uint8_t* buffer = buffer_.get();
  const bool utf8_text = utf8_text_;
  int32_t read = scan_;
  int32_t write = scan_;
  bool has_units = false;
  bool wide = false;
  for (;;) {
    if (buffer[read] == '#') {
      ++read;
      const uint32_t code = ScanCharCode(buffer, read);
      if (code == kCodeTooLarge) {
        scan_ = read;
        Fail(MessageId::kInvalidString);
      }
      if (code >= 128) {
        if (!has_units) StartUnits(write);
        has_units = true;
        wide = wide || code > 255;
      }
      if (has_units) units_.push_back(static_cast<char16_t>(code));
      buffer[write++] = static_cast<uint8_t>(code);
    } else if (buffer[read] == '\'') {
      ++read;
      const int32_t run_start = write;
      for (;;) {
        CopyQuoteFreeRun(buffer, read, write);
        const uint8_t c = buffer[read];
        if (c == '\'') {
          if (buffer[read + 1] != '\'') break;
          ++read;
        } else {
          // NUL, CR or LF: the string is not closed on its line.
          scan_ = read;
          Fail(MessageId::kInvalidString);
        }
        buffer[write++] = c;
        ++read;
      }
      ++read;
      if (has_units || utf8_text) {
        // After a byte-order mark a run beyond ASCII makes the string wide.
        const bool beyond_ascii = utf8_text && HasByteBeyondAscii(buffer + run_start, buffer + write);
        if (beyond_ascii && !has_units) StartUnits(run_start);
        has_units = has_units || beyond_ascii;
        wide = wide || beyond_ascii;
        if (has_units) AppendRunUnits(run_start, write);
      }
    } else {
      break;
    }
  }
  string_has_units_ = has_units;
  string_is_wide_ = wide;
  string_end_ = write;
  scan_ = read;
}

void TParser::StartUnits(int32_t end) {
  const uint8_t* buffer = buffer_.get();
  units_.clear();
  for (int32_t at = token_start_; at < end; ++at) units_.push_back(Cp1252ToUnit(buffer[at]));
}

// The units of a quoted run: code page 1252 characters, or UTF-8 decoded on
// its own in a text with a byte-order mark.
void TParser::AppendRunUnits(int32_t start, int32_t end) {
  const uint8_t* buffer = buffer_.get();
  if (utf8_text_) {
    AppendUtf8AsUnits(
        std::string_view(reinterpret_cast<const char*>(buffer + start), static_cast<size_t>(end - start)),
        units_);
    return;
  }
  for (int32_t at = start; at < end; ++at) units_.push_back(Cp1252ToUnit(buffer[at]));
}

void TParser::Expect(TTokenKind kind) const {
  if (token_ == kind) return;
  switch (kind) {
    case tokSymbol:
      Fail(MessageId::kIdentifierExpected);
    case tokString:
      Fail(MessageId::kStringExpected);
    case tokInteger:
    case tokFloat:
      Fail(MessageId::kNumberExpected);
    default: {
      const char character = static_cast<char>(kind);
      Fail(MessageId::kCharExpected, {std::string_view(&character, 1)});
    }
  }
}

bool TParser::IsSymbol(std::string_view text) const {
  if (token_ != tokSymbol) return false;
  const std::string_view token = TokenView();
  if (token.size() != text.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    if (FoldAscii(static_cast<uint8_t>(token[i])) != FoldAscii(static_cast<uint8_t>(text[i]))) {
      return false;
    }
  }
  return true;
}

void TParser::ExpectSymbol(std::string_view text) const {
  if (!IsSymbol(text)) Fail(MessageId::kSymbolExpected, {text});
}

int32_t TParser::TokenAsInteger() const { return ParseInteger(TokenView()); }

Extended TParser::TokenAsFloat() const { return ParseExtended(TokenView()); }

std::string_view TParser::DottedIdentView() {
  Expect(tokSymbol);
  const uint8_t* buffer = buffer_.get();
  int32_t at = scan_;
  while (buffer[at] == '.') {
    if (!Is(buffer[at + 1], kIdentFirst)) Fail(MessageId::kIdentifierExpected);
    at += 2;
    while (Is(buffer[at], kIdentRest)) ++at;
  }
  scan_ = at;
  return TokenView();
}

// The chunk fills across line breaks and goes to the target only when full or
// at the end of the block, so a block costs one write per 256 bytes.
void TParser::DecodeHexBlock(TStream& target) {
  uint8_t chunk[kHexChunkSize];
  int32_t filled = 0;
  for (;;) {
    SkipWhitespace();
    const uint8_t* text = buffer_.get() + scan_;
    if (*text == '}') {
      if (filled > 0) target.WriteAll(chunk, filled);
      Advance();
      return;
    }
    const int32_t count = HexToBytes(text, chunk + filled, kHexChunkSize - filled);
    if (count == 0) Fail(MessageId::kInvalidBinary);
    scan_ += 2 * count;
    filled += count;
    if (filled == kHexChunkSize) {
      target.WriteAll(chunk, filled);
      filled = 0;
    }
  }
}

}  // namespace quenlo
