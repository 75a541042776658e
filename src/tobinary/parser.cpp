#include "tobinary/parser.h"

#include <algorithm>
#include <array>
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

// Nonzero when some byte of the word equals the byte repeated in pattern. May
// flag a byte next to a real match too, never misses one.
inline uint64_t HasByte(uint64_t word, uint64_t pattern) {
  const uint64_t x = word ^ pattern;
  return (x - kLowBits) & ~x & kHighBits;
}

// The length of the run of bytes at the start of text, at most limit, that
// hold no quote, NUL, CR or LF: whole words of eight at a time, so the run may
// come out shorter than it is (never longer). The NUL sentinel bounds it.
int32_t PlainRunLength(const uint8_t* text, int32_t limit) {
  int32_t length = 0;
  while (length <= limit - 8) {
    const uint64_t word = LoadWord(text + length);
    if (HasByte(word, 0) | HasByte(word, 0x2727272727272727ull) |
        HasByte(word, 0x0A0A0A0A0A0A0A0Aull) | HasByte(word, 0x0D0D0D0D0D0D0D0Dull)) {
      break;
    }
    length += 8;
  }
  return length;
}

inline uint8_t FoldAscii(uint8_t c) { return c >= 'a' && c <= 'z' ? static_cast<uint8_t>(c - 32) : c; }

constexpr int32_t kHexChunkSize = 256;

// The largest "#" code: one UTF-16 code unit.
constexpr uint32_t kMaxCharCode = 0xFFFF;

constexpr uint8_t kByteOrderMark[3] = {0xEF, 0xBB, 0xBF};

}  // namespace

// Zeroed, so that the word-at-a-time scans never look at unset bytes beyond
// the sentinel.
TParser::TParser(TStream& source) : source_(source), buffer_(new uint8_t[kBufferSize]()) {
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
  for (;;) {
    // Indentation comes in long runs of spaces: eight at a time while the whole
    // word is spaces, which also stops at the NUL sentinel.
    while (at <= kBufferSize - 8 && LoadWord(buffer + at) == kEightSpaces) at += 8;
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
    // Wraps instead of overflowing on a hostile count of line feeds.
    if (c == '\n') line = static_cast<int32_t>(static_cast<uint32_t>(line) + 1u);
    ++at;
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
    ++at;
    while (Is(buffer[at], kIdentRest)) ++at;
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
      uint32_t code = 0;
      while (Is(buffer[read], kDigit)) {
        code = code * 10 + (buffer[read] - '0');
        if (code > kMaxCharCode) {
          scan_ = read;
          Fail(MessageId::kInvalidString);
        }
        ++read;
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
        // Quote-free runs move as a whole; only the bytes that end or break
        // the run are looked at one by one.
        const int32_t plain = PlainRunLength(buffer + read, kBufferSize - read);
        if (plain > 0) {
          std::memmove(buffer + write, buffer + read, static_cast<size_t>(plain));
          write += plain;
          read += plain;
        }
        const uint8_t c = buffer[read];
        if (c == '\'') {
          if (buffer[read + 1] != '\'') break;
          ++read;
        } else if (c == 0 || c == '\n' || c == '\r') {
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

std::string_view TParser::TokenView() const {
  const char* start = reinterpret_cast<const char*>(buffer_.get()) + token_start_;
  const int32_t end = token_ == tokString ? string_end_ : scan_;
  return std::string_view(start, static_cast<size_t>(end - token_start_));
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

void TParser::DecodeHexBlock(TStream& target) {
  uint8_t chunk[kHexChunkSize];
  for (;;) {
    SkipWhitespace();
    const uint8_t* text = buffer_.get() + scan_;
    if (*text == '}') {
      Advance();
      return;
    }
    const int32_t count = HexToBytes(text, chunk, kHexChunkSize);
    if (count == 0) Fail(MessageId::kInvalidBinary);
    target.WriteAll(chunk, count);
    scan_ += 2 * count;
  }
}

}  // namespace quenlo
