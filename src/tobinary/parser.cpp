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
  kBlankOrNul = 1 << 6,  // 0 to 32: what SkipWhitespace has to look at
  kStringStop = 1 << 7,  // ' NUL CR LF: what ends or breaks a quoted run
};

constexpr std::array<uint8_t, 256> MakeByteClasses() {
  std::array<uint8_t, 256> table{};
  for (int c = 1; c <= 32; ++c) table[c] |= kBlank;
  for (int c = 0; c <= 32; ++c) table[c] |= kBlankOrNul;
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

inline void StoreWord(uint8_t* at, uint64_t word) { std::memcpy(at, &word, sizeof word); }

constexpr uint64_t kLowSevenBits = ~kHighBits;

// Per byte of a word, 0x80 where the byte is not 0: exact for every byte, as
// no sum carries into the next byte.
inline uint64_t NonzeroBytes(uint64_t word) {
  return ((word & kLowSevenBits) + kLowSevenBits) | word;
}

// Per byte of a word, 0x80 where the byte may end a quoted run: a quote, or
// a byte below 14, which takes in NUL, CR and LF at the cost of one test
// fewer than matching those three.
inline uint64_t StringStopCandidates(uint64_t word) {
  const uint64_t below_14 = ~(((word & kLowSevenBits) + kLowBits * (0x80 - 14)) | word) & kHighBits;
  const uint64_t quotes = ~NonzeroBytes(word ^ 0x2727272727272727ull) & kHighBits;
  return below_14 | quotes;
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

// Copies the quoted run at text[read] to out[write] up to the first quote,
// NUL, CR or LF (the NUL sentinel at the latest). A word per step, stored
// whole (both areas have slack behind them), the run's end picked from the
// marks: no branch per byte.
void CopyQuoteFreeRun(const uint8_t* text, int32_t& read, uint8_t* out, int32_t& write) {
  for (;;) {
    const uint64_t word = LoadWord(text + read);
    StoreWord(out + write, word);
    const uint64_t candidates = StringStopCandidates(word);
    if (candidates == 0) {
      read += 8;
      write += 8;
      continue;
    }
    const int32_t length = FirstMarkedByte(candidates);
    read += length;
    write += length;
    if (Is(text[read], kStringStop)) return;
    // Another control byte: part of the run, and already copied.
    ++read;
    ++write;
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

// Per byte of a word, 0x80 where the byte is 0-9.
constexpr uint64_t DigitBytes(uint64_t word) {
  return BytesInRange(word & ~kHighBits, '0', '9') & ~word & kHighBits;
}

// Per byte of a word, 0x80 where the byte is + - . 0-9 E e.
constexpr uint64_t FloatBytes(uint64_t word) {
  const uint64_t ascii = word & ~kHighBits;
  const uint64_t signs_dot_digits = BytesInRange(ascii, '+', '9') & ~BytesInRange(ascii, '/', '/') &
                                    ~BytesInRange(ascii, ',', ',');
  const uint64_t exponents = BytesInRange(ascii | kLowBits * 0x20, 'e', 'e');
  return (signs_dot_digits | exponents) & ~word & kHighBits;
}

// The end of the run of bytes marked by Marks from at on, eight bytes a time
// like IdentifierEnd.
template <uint64_t (*Marks)(uint64_t)>
int32_t RunEnd(const uint8_t* buffer, int32_t at) {
  for (;;) {
    const uint64_t others = ~Marks(LoadWord(buffer + at)) & kHighBits;
    if (others != 0) return at + FirstMarkedByte(others);
    at += 8;
  }
}

inline uint8_t FoldAscii(uint8_t c) {
  return c >= 'a' && c <= 'z' ? static_cast<uint8_t>(c - 32) : c;
}

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

// Bytes allocated behind the buffer and behind each decoding area, never
// filled: the word-at-a-time scans look up to a word past the sentinel.
constexpr int32_t kBufferSlack = 16;
constexpr int32_t kDecodedAreaSize = TParser::kBufferSize + kBufferSlack;

constexpr uint8_t kByteOrderMark[3] = {0xEF, 0xBB, 0xBF};

}  // namespace

// Zeroed, so that the word-at-a-time scans never look at unset bytes beyond
// the sentinel; the slack lets the scans look a few bytes past the last one.
TParser::TParser(TStream& source)
    : source_(source),
      buffer_(new uint8_t[kBufferSize + kBufferSlack]()),
      decoded_(new uint8_t[2 * kDecodedAreaSize]()) {
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
  token_start_ = 0;
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
      // Indentation comes in runs of spaces of many lengths: counted eight at
      // a time, which stops at the NUL sentinel at the latest.
      for (;;) {
        const uint64_t others = NonzeroBytes(LoadWord(buffer + at) ^ kEightSpaces) & kHighBits;
        if (others != 0) {
          at += FirstMarkedByte(others);
          break;
        }
        at += 8;
      }
    }
  }
  scan_ = at;
  line_ = line;
}

TTokenKind TParser::Advance() {
  const uint8_t* buffer = buffer_.get();
  int32_t at = scan_;
  // Most tokens follow the previous one after one space or none: only line
  // breaks, longer gaps and the buffer's end take the call.
  at += buffer[at] == ' ';
  if (Is(buffer[at], kBlankOrNul)) {
    scan_ = at;
    SkipWhitespace();
    at = scan_;
  }
  token_start_ = at;
  const uint8_t first = buffer[at];
  TTokenKind kind;
  if (Is(first, kIdentFirst)) {
    at = IdentifierEnd(buffer, at + 1);
    kind = tokSymbol;
  } else if (first == '\'' || first == '#') {
    scan_ = at;
    ScanString();
    at = scan_;
    kind = tokString;
  } else if (first == '$') {
    ++at;
    while (Is(buffer[at], kHexDigit)) ++at;
    kind = tokInteger;
  } else if (first == '-' || Is(first, kDigit)) {
    at = RunEnd<DigitBytes>(buffer, at + 1);
    kind = tokInteger;
    if (Is(buffer[at], kFloatChar)) {
      at = RunEnd<FloatBytes>(buffer, at);
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

// Decodes the pieces of a string constant into the next decoding area; the
// decoded text is never longer than its source. Code units are kept only once
// the bytes cannot give them back: from a "#" code of 128 or more, or a UTF-8
// run, on.
void TParser::ScanString() {
  const uint8_t* text = buffer_.get();
  second_area_ = !second_area_;
  uint8_t* out = decoded_.get() + (second_area_ ? kDecodedAreaSize : 0);
  const bool utf8_text = utf8_text_;
  int32_t read = scan_;
  int32_t write = 0;
  bool has_units = false;
  bool wide = false;
  for (;;) {
    const uint8_t piece = text[read];
    if (piece == '#') {
      ++read;
      const uint32_t code = ScanCharCode(text, read);
      if (code == kCodeTooLarge) {
        scan_ = read;
        Fail(MessageId::kInvalidString);
      }
      if (code >= 128) {
        if (!has_units) StartUnits(out, write);
        has_units = true;
        wide = wide || code > 255;
      }
      if (has_units) units_.push_back(static_cast<char16_t>(code));
      out[write++] = static_cast<uint8_t>(code);
    } else if (piece == '\'') {
      ++read;
      const int32_t run_start = write;
      for (;;) {
        CopyQuoteFreeRun(text, read, out, write);
        if (text[read] != '\'') {
          // NUL, CR or LF: the string is not closed on its line.
          scan_ = read;
          Fail(MessageId::kInvalidString);
        }
        if (text[read + 1] != '\'') break;
        out[write++] = '\'';
        read += 2;
      }
      ++read;
      if (has_units || utf8_text) {
        // After a byte-order mark a run beyond ASCII makes the string wide.
        const bool beyond_ascii = utf8_text && HasByteBeyondAscii(out + run_start, out + write);
        if (beyond_ascii && !has_units) StartUnits(out, run_start);
        has_units = has_units || beyond_ascii;
        wide = wide || beyond_ascii;
        if (has_units) AppendRunUnits(out, run_start, write);
      }
    } else {
      break;
    }
  }
  string_bytes_ = out;
  string_has_units_ = has_units;
  string_is_wide_ = wide;
  string_end_ = write;
  scan_ = read;
}

void TParser::StartUnits(const uint8_t* decoded, int32_t end) {
  units_.clear();
  for (int32_t at = 0; at < end; ++at) units_.push_back(Cp1252ToUnit(decoded[at]));
}

// The units of a quoted run: code page 1252 characters, or UTF-8 decoded on
// its own in a text with a byte-order mark.
void TParser::AppendRunUnits(const uint8_t* decoded, int32_t start, int32_t end) {
  if (utf8_text_) {
    AppendUtf8AsUnits(std::string_view(reinterpret_cast<const char*>(decoded + start),
                                       static_cast<size_t>(end - start)),
                      units_);
    return;
  }
  for (int32_t at = start; at < end; ++at) units_.push_back(Cp1252ToUnit(decoded[at]));
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
    at = IdentifierEnd(buffer, at + 2);
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
