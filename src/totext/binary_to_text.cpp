#include "totext/binary_to_text.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "formstream/reader.h"
#include "formstream/writer.h"
#include "numtext/extended.h"
#include "numtext/format.h"
#include "runtime/exceptions.h"

namespace quenlo {
namespace {

// Binary blocks are rendered in pieces of this many bytes, one piece per line
// once a block is broken into lines.
constexpr int32_t kHexPieceSize = 32;

// The two upper-case hex digits of every byte value.
struct HexPairs {
  char digits[256][2];
  constexpr HexPairs() : digits() {
    constexpr char kDigits[] = "0123456789ABCDEF";
    for (int b = 0; b < 256; ++b) {
      digits[b][0] = kDigits[b >> 4];
      digits[b][1] = kDigits[b & 15];
    }
  }
};
constexpr HexPairs kHexPairs;

void BytesToHex(const uint8_t* source, int32_t count, char* destination) {
  for (int32_t i = 0; i < count; ++i) {
    std::memcpy(destination + 2 * i, kHexPairs.digits[source[i]], 2);
  }
}

// Enough blanks for 64 levels in one write; deeper indentation takes several.
constexpr char kBlanks[] =
    "                                                                "
    "                                                                ";
constexpr int32_t kBlanksLength = sizeof kBlanks - 1;

// The size of the fixed copies of a property line's start.
constexpr int32_t kFixedCopy = 32;

bool IsIntegerTag(TFormValueTag tag) { return tag == tgInt8 || tag == tgInt16 || tag == tgInt32; }

// What every byte of a string becomes: itself inside a quoted run, or its
// #code (below 32, and the quote), with the length of that text.
struct StringPieces {
  char text[256][4];
  uint8_t length[256];
  bool quotable[256];
  constexpr StringPieces() : text(), length(), quotable() {
    for (int b = 0; b < 256; ++b) {
      quotable[b] = b >= 32 && b != '\'';
      if (quotable[b]) {
        text[b][0] = static_cast<char>(b);
        length[b] = 1;
      } else if (b < 10) {
        text[b][0] = '#';
        text[b][1] = static_cast<char>('0' + b);
        length[b] = 2;
      } else {
        text[b][0] = '#';
        text[b][1] = static_cast<char>('0' + b / 10);
        text[b][2] = static_cast<char>('0' + b % 10);
        length[b] = 3;
      }
    }
  }
};
constexpr StringPieces kStringPieces;

// A byte takes at most a quote and a 3-character code, and its 4-byte copy may
// reach one further; one more character closes the last run.
constexpr int32_t kMaxCharsPerByte = 4;
// Below this many bytes of room a string goes through a small area instead.
constexpr ptrdiff_t kMinDirectStretch = 64;
constexpr int32_t kStringAreaSize = 1024;

// Renders the bytes from at to end to out, which must have room for
// kMaxCharsPerByte per byte. quoted tells whether a run is open, before and
// after: the closing quote of the last run is left to the caller. Quoted runs
// and codes come in no predictable mix, so each byte is rendered without a
// branch: a quote is put down and kept only where a run opens or closes.
char* RenderStringStretch(const uint8_t* at, const uint8_t* end, char* out, bool& quoted) {
  bool in_run = quoted;
  for (; at < end; ++at) {
    const bool quotable = kStringPieces.quotable[*at];
    *out = '\'';
    out += quotable != in_run;
    std::memcpy(out, kStringPieces.text[*at], 4);
    out += kStringPieces.length[*at];
    in_run = quotable;
  }
  quoted = in_run;
  return out;
}

// A wide string's text goes to the writer in pieces of about this size.
constexpr size_t kRenderedFlushSize = 4096;

// Code units of a wide string that stand inside a quoted run: printable ASCII
// other than the quote. Everything else, from 127 on too, is a #code.
bool IsQuotableUnit(char16_t unit) { return unit >= 32 && unit <= 126 && unit != '\''; }

// "#" and the decimal code; returns the length (2 to 6).
int32_t FormatCharCode(char* out, uint32_t code) {
  char digits[5];
  int32_t count = 0;
  do {
    digits[count++] = static_cast<char>('0' + code % 10);
    code /= 10;
  } while (code != 0);
  out[0] = '#';
  for (int32_t i = 0; i < count; ++i) out[1 + i] = digits[count - 1 - i];
  return count + 1;
}

// One conversion: the walk over the tree, each item rendered as soon as it is
// read. The recursive steps (EmitObject, EmitValue and what they call) keep
// their frames small; the few that need scratch areas are kept out of line.
class TextRenderer {
 public:
  TextRenderer(TReader& reader, TWriter& writer) : reader_(reader), writer_(writer) {}

  // One object record: header, properties, children, "end" line.
  void EmitObject() {
    reader_.EnterLevel();
    EmitObjectHeader();
    ++indent_level_;
    while (!reader_.AtEndOfList()) EmitProperty();
    reader_.SkipEndOfList();
    while (!reader_.AtEndOfList()) EmitObject();
    reader_.SkipEndOfList();
    --indent_level_;
    EmitIndent();
    EmitLiteral("end\r\n");
    reader_.LeaveLevel();
  }

 private:
  template <size_t N>
  void EmitLiteral(const char (&text)[N]) {
    writer_.WriteRaw(text, static_cast<int32_t>(N - 1));
  }
  void EmitText(std::string_view text) {
    writer_.WriteRaw(text.data(), static_cast<int32_t>(text.size()));
  }

  void EmitIndent() {
    for (int32_t blanks = 2 * indent_level_; blanks > 0; blanks -= kBlanksLength) {
      writer_.WriteRaw(kBlanks, blanks < kBlanksLength ? blanks : kBlanksLength);
    }
  }

  void EmitLineBreak() {
    EmitLiteral("\r\n");
    EmitIndent();
  }

  // [inherited|object] [name: ]class [ [position]]
  void EmitObjectHeader() {
    TPrefixFlags flags;
    int32_t child_position = 0;
    reader_.ReadObjectPrefix(flags, child_position);
    reader_.ReadName(class_name_);
    reader_.ReadName(object_name_);
    EmitIndent();
    if (flags & pfInherited) {
      EmitLiteral("inherited ");
    } else {
      EmitLiteral("object ");
    }
    if (!object_name_.empty()) {
      EmitText(object_name_);
      EmitLiteral(": ");
    }
    EmitText(class_name_);
    if (flags & pfChildPos) {
      EmitLiteral(" [");
      EmitInteger(child_position);
      EmitLiteral("]");
    }
    EmitLiteral("\r\n");
  }

  // name = value
  void EmitProperty() {
    if (!EmitBufferedPropertyStart()) {
      EmitIndent();
      reader_.ReadName(name_);
      EmitText(name_);
      EmitLiteral(" = ");
    }
    EmitValue();
    EmitLiteral("\r\n");
  }

  // Indent, name and " = " in one piece, when the name lies in the reader's
  // buffer and the writer has room: then nothing can fail half-way, so the
  // name may be taken before the indent is written.
  bool EmitBufferedPropertyStart() {
    std::string_view name;
    const int32_t blanks = 2 * indent_level_;
    if (blanks > kBlanksLength || !reader_.PeekBufferedName(name)) return false;
    const auto name_length = static_cast<int32_t>(name.size());
    // Short indents and names are copied as fixed blocks whose excess the
    // next piece overwrites or the commit leaves out: copies of varying
    // length cost a branch that the mix of lengths defeats.
    const bool fixed_copies = blanks <= kFixedCopy && name_length <= kFixedCopy &&
                              reader_.PeekBuffered(1 + kFixedCopy) != nullptr;
    const int32_t needed = blanks + (fixed_copies ? kFixedCopy : name_length) + 3;
    char* room = writer_.DirectRoom(needed);
    if (room == nullptr) return false;
    if (fixed_copies) {
      std::memcpy(room, kBlanks, kFixedCopy);
      std::memcpy(room + blanks, name.data(), kFixedCopy);
    } else {
      std::memcpy(room, kBlanks, static_cast<size_t>(blanks));
      std::memcpy(room + blanks, name.data(), name.size());
    }
    std::memcpy(room + blanks + name_length, " = ", 3);
    writer_.Commit(blanks + name_length + 3);
    reader_.SkipBuffered(name_length + 1);
    return true;
  }

  void EmitValue() {
    TFormValueTag tag = reader_.PeekTag();
    switch (tag) {
      case tgNull:
        // Not a value: left for the enclosing list to end on.
        return;
      case tgList:
        EmitList();
        return;
      case tgInt8:
      case tgInt16:
      case tgInt32:
        EmitInteger(reader_.ReadIntValue());
        return;
      case tgExtended:
        EmitFloat();
        return;
      case tgString:
      case tgLongString:
        EmitString();
        return;
      case tgWideString:
      case tgUtf8String:
        EmitWideString();
        return;
      case tgIdent:
        EmitIdent();
        return;
      case tgFalse:
      case tgTrue:
      case tgNil:
        reader_.ReadIdentValue(text_);
        EmitText(text_);
        return;
      case tgBinary:
        EmitBinaryBlock();
        return;
      case tgSet:
        EmitSet();
        return;
      case tgCollection:
        EmitCollection();
        return;
      default:
        // 15 to 255 begin no value.
        reader_.ReadTag();
        Raise<EReadError>(MessageId::kInvalidPropertyValue);
    }
  }

  // tgIdent: its name as it stands.
  void EmitIdent() {
    reader_.ReadTag();
    EmitText(ReadNameView());
  }

  // ( value { line break value } )
  void EmitList() {
    reader_.EnterLevel();
    reader_.ReadTag();
    EmitLiteral("(");
    ++indent_level_;
    while (!reader_.AtEndOfList()) {
      EmitLineBreak();
      EmitValue();
    }
    reader_.SkipEndOfList();
    --indent_level_;
    EmitLiteral(")");
    reader_.LeaveLevel();
  }

  // < { item [ [index]] properties end } >
  void EmitCollection() {
    reader_.EnterLevel();
    reader_.ReadTag();
    EmitLiteral("<");
    ++indent_level_;
    while (!reader_.AtEndOfList()) {
      EmitLineBreak();
      EmitLiteral("item");
      if (IsIntegerTag(reader_.PeekTag())) {
        EmitLiteral(" [");
        EmitInteger(reader_.ReadIntValue());
        EmitLiteral("]");
      }
      EmitLiteral("\r\n");
      reader_.CheckTag(tgList);
      ++indent_level_;
      while (!reader_.AtEndOfList()) EmitProperty();
      reader_.SkipEndOfList();
      --indent_level_;
      EmitIndent();
      EmitLiteral("end");
    }
    reader_.SkipEndOfList();
    --indent_level_;
    EmitLiteral(">");
    reader_.LeaveLevel();
  }

  // [ name { , name } ]; a name is written only once it has been read whole.
  void EmitSet() {
    reader_.ReadTag();
    EmitLiteral("[");
    for (bool first = true;; first = false) {
      const std::string_view name = ReadNameView();
      if (name.empty()) break;
      if (!first) EmitLiteral(", ");
      EmitText(name);
    }
    EmitLiteral("]");
  }

  // A view into the reader's buffer when the name lies there whole, else a
  // copy in name_; valid until the next read.
  std::string_view ReadNameView() {
    std::string_view name;
    if (reader_.PeekBufferedName(name)) {
      reader_.SkipBuffered(static_cast<int32_t>(name.size()) + 1);
      return name;
    }
    reader_.ReadName(name_);
    return name_;
  }

  // Quoted runs of printable bytes and #codes for the others and for quotes,
  // rendered a stretch of the string at a time.
  void EmitString() {
    reader_.ReadTextValue(text_);
    if (text_.empty()) {
      EmitLiteral("''");
      return;
    }
    auto* at = reinterpret_cast<const uint8_t*>(text_.data());
    const uint8_t* const end = at + text_.size();
    bool quoted = false;
    while (at < end) at = EmitStringStretch(at, end, quoted);
    if (quoted) EmitLiteral("'");
  }

  // As much of the string as the writer's free room surely holds, or, when
  // that is little, a stretch through a small area; returns where it stopped.
  // Out of line, so the area stays out of the recursive frames.
  [[gnu::noinline]] const uint8_t* EmitStringStretch(const uint8_t* at, const uint8_t* end,
                                                     bool& quoted) {
    const ptrdiff_t left = end - at;
    const int32_t room = writer_.FreeRoom();
    const ptrdiff_t fits = room > 0 ? (room - 1) / kMaxCharsPerByte : 0;
    if (fits >= left || fits >= kMinDirectStretch) {
      const uint8_t* stretch_end = at + std::min(left, fits);
      char* out = writer_.DirectRoom(room);
      writer_.Commit(static_cast<int32_t>(RenderStringStretch(at, stretch_end, out, quoted) - out));
      return stretch_end;
    }
    char area[kStringAreaSize];
    constexpr ptrdiff_t kAreaStretch = (kStringAreaSize - 1) / kMaxCharsPerByte;
    const uint8_t* stretch_end = at + std::min(left, kAreaStretch);
    const char* area_end = RenderStringStretch(at, stretch_end, area, quoted);
    writer_.WriteRaw(area, static_cast<int32_t>(area_end - area));
    return stretch_end;
  }

  // The string rule over code units instead of bytes. The text is built in a
  // small reused area that goes to the writer whenever it fills.
  [[gnu::noinline]] void EmitWideString() {
    reader_.ReadTextValue(units_);
    if (units_.empty()) {
      EmitLiteral("''");
      return;
    }
    rendered_.clear();
    bool quoted = false;
    for (const char16_t unit : units_) {
      if (rendered_.size() >= kRenderedFlushSize) {
        EmitText(rendered_);
        rendered_.clear();
      }
      if (IsQuotableUnit(unit)) {
        if (!quoted) rendered_ += '\'';
        quoted = true;
        rendered_ += static_cast<char>(unit);
      } else {
        if (quoted) rendered_ += '\'';
        quoted = false;
        char code[6];
        rendered_.append(code, static_cast<size_t>(FormatCharCode(code, unit)));
      }
    }
    if (quoted) rendered_ += '\'';
    EmitText(rendered_);
  }

  // Numbers go straight into the writer's buffer when it has room for the
  // longest text, through a small area otherwise.
  [[gnu::noinline]] void EmitInteger(int32_t value) {
    if (char* room = writer_.DirectRoom(kMaxIntegerText)) {
      writer_.Commit(FormatIntegerTo(room, value));
    } else {
      char text[kMaxIntegerText];
      writer_.WriteRaw(text, FormatIntegerTo(text, value));
    }
  }

  [[gnu::noinline]] void EmitFloat() {
    Extended value = reader_.ReadFloatValue();
    if (char* room = writer_.DirectRoom(kMaxExtendedText)) {
      writer_.Commit(FormatExtendedTo(room, value));
    } else {
      char text[kMaxExtendedText];
      writer_.WriteRaw(text, FormatExtendedTo(text, value));
    }
  }

  // { hex digits }, broken into lines of 32 bytes from a length of 32 on. Each
  // piece is written once it has been read whole.
  [[gnu::noinline]] void EmitBinaryBlock() {
    reader_.ReadTag();
    EmitLiteral("{");
    ++indent_level_;
    uint8_t length_field[4];
    reader_.ReadRaw(length_field, 4);
    auto remaining = static_cast<int32_t>(static_cast<uint32_t>(length_field[0]) |
                                          (static_cast<uint32_t>(length_field[1]) << 8) |
                                          (static_cast<uint32_t>(length_field[2]) << 16) |
                                          (static_cast<uint32_t>(length_field[3]) << 24));
    const bool broken = remaining >= kHexPieceSize;
    uint8_t piece[kHexPieceSize];
    char digits[2 * kHexPieceSize];
    while (remaining > 0) {
      int32_t count = remaining < kHexPieceSize ? remaining : kHexPieceSize;
      remaining -= count;
      if (EmitBufferedHexPiece(count, broken)) continue;
      if (broken) EmitLineBreak();
      reader_.ReadRaw(piece, count);
      if (char* room = writer_.DirectRoom(2 * count)) {
        BytesToHex(piece, count, room);
        writer_.Commit(2 * count);
      } else {
        BytesToHex(piece, count, digits);
        writer_.WriteRaw(digits, 2 * count);
      }
    }
    --indent_level_;
    EmitLiteral("}");
  }

  // A piece with its line break and indent in one go, encoded straight from
  // the reader's buffer, when the piece lies there whole and the writer has
  // room: nothing can then fail between the line break and the digits.
  bool EmitBufferedHexPiece(int32_t count, bool broken) {
    const int32_t blanks = broken ? 2 * indent_level_ : 0;
    const int32_t line_start = broken ? blanks + 2 : 0;
    if (blanks > kBlanksLength) return false;
    const uint8_t* bytes = reader_.PeekBuffered(count);
    if (bytes == nullptr) return false;
    char* room = writer_.DirectRoom(line_start + 2 * count);
    if (room == nullptr) return false;
    if (broken) {
      std::memcpy(room, "\r\n", 2);
      std::memcpy(room + 2, kBlanks, static_cast<size_t>(blanks));
    }
    BytesToHex(bytes, count, room + line_start);
    writer_.Commit(line_start + 2 * count);
    reader_.SkipBuffered(count);
    return true;
  }

  TReader& reader_;
  TWriter& writer_;
  int32_t indent_level_ = 0;
  // Reused for every item, so rendering allocates only while they grow.
  std::string class_name_;
  std::string object_name_;
  std::string name_;
  std::string text_;
  std::u16string units_;
  std::string rendered_;
};

}  // namespace

void BinaryFormToText(TStream& input, TStream& output) {
  // Undone in reverse: the writer's release (its final drain) first, then the
  // decimal mark, then the reader's release.
  TReader reader(input, kFilerBufferSize);
  ScopedDecimalMark decimal_mark;
  TWriter writer(output, kFilerBufferSize);
  TextRenderer renderer(reader, writer);
  RunThenRelease(
      [&] {
        reader.CheckSignature();
        renderer.EmitObject();
      },
      [&] { writer.Release(); });
}

}  // namespace quenlo
