#include "totext/binary_to_text.h"

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

bool IsIntegerTag(TFormValueTag tag) { return tag == tgInt8 || tag == tgInt16 || tag == tgInt32; }

// String bytes written as a #code rather than inside a quoted run.
bool NeedsCharCode(uint8_t byte) { return byte < 32 || byte == '\''; }

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
    EmitIndent();
    reader_.ReadName(name_);
    EmitText(name_);
    EmitLiteral(" = ");
    EmitValue();
    EmitLiteral("\r\n");
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
      reader_.ReadName(name_);
      if (name_.empty()) break;
      if (!first) EmitLiteral(", ");
      EmitText(name_);
    }
    EmitLiteral("]");
  }

  // Quoted runs of printable bytes and #codes for the others and for quotes.
  void EmitString() {
    reader_.ReadTextValue(text_);
    if (text_.empty()) {
      EmitLiteral("''");
      return;
    }
    auto* at = reinterpret_cast<const uint8_t*>(text_.data());
    const uint8_t* end = at + text_.size();
    while (at < end) {
      if (NeedsCharCode(*at)) {
        char code[3] = {'#'};
        int32_t length = 2;
        if (*at >= 10) {
          code[1] = static_cast<char>('0' + *at / 10);
          code[2] = static_cast<char>('0' + *at % 10);
          length = 3;
        } else {
          code[1] = static_cast<char>('0' + *at);
        }
        writer_.WriteRaw(code, length);
        ++at;
      } else {
        const uint8_t* run_end = at + 1;
        while (run_end < end && !NeedsCharCode(*run_end)) ++run_end;
        EmitLiteral("'");
        writer_.WriteRaw(at, static_cast<int32_t>(run_end - at));
        EmitLiteral("'");
        at = run_end;
      }
    }
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
      if (broken) EmitLineBreak();
      int32_t count = remaining < kHexPieceSize ? remaining : kHexPieceSize;
      reader_.ReadRaw(piece, count);
      if (char* room = writer_.DirectRoom(2 * count)) {
        BytesToHex(piece, count, room);
        writer_.Commit(2 * count);
      } else {
        BytesToHex(piece, count, digits);
        writer_.WriteRaw(digits, 2 * count);
      }
      remaining -= count;
    }
    --indent_level_;
    EmitLiteral("}");
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
