#include "tobinary/text_to_binary.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

#include "formstream/codepage.h"
#include "formstream/writer.h"
#include "numtext/extended.h"
#include "numtext/format.h"
#include "numtext/parse.h"
#include "runtime/exceptions.h"
#include "tobinary/parser.h"

namespace quenlo {
namespace {

// Names longer than this are cut by WriteName anyway; holding no more keeps a
// property name of a million dotted parts from growing without bound.
constexpr size_t kMaxNameLength = 255;

// Beyond 32 bits, the text side writes whole floats of up to 15 digits as bare
// integers (3000000000); such a token is read back as the float it came from.
constexpr size_t kMaxWholeFloatDigits = 15;

bool IsShortDecimal(std::string_view text) {
  if (!text.empty() && text.front() == '-') text.remove_prefix(1);
  if (text.empty() || text.size() > kMaxWholeFloatDigits) return false;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

void AppendCp1252Units(std::string_view bytes, std::u16string& units) {
  for (const char byte : bytes) units.push_back(Cp1252ToUnit(static_cast<uint8_t>(byte)));
}

// One conversion: a recursive-descent pass over the parser's tokens that
// writes each item as soon as it is recognised. Frames stay small, as the
// recursion goes kMaxNestingLevel deep.
class TTextToBinary {
 public:
  TTextToBinary(TParser& parser, TWriter& writer) : parser_(parser), writer_(writer) {}

  // object = (INHERITED | OBJECT) header property... object... END
  void TranslateObject() {
    const bool inherited = parser_.IsSymbol("INHERITED");
    if (!inherited) parser_.ExpectSymbol("OBJECT");
    EnterLevel();
    parser_.Advance();
    TranslateHeader(inherited);
    while (!EndsPropertyList()) TranslateProperty();
    writer_.WriteEndOfList();
    while (!parser_.IsSymbol("END")) TranslateObject();
    writer_.WriteEndOfList();
    parser_.Advance();
    LeaveLevel();
  }

 private:
  // END, OBJECT or INHERITED; the length tells which one to compare.
  bool EndsPropertyList() const {
    if (parser_.CurrentKind() != tokSymbol) return false;
    switch (parser_.TokenView().size()) {
      case 3:
        return parser_.IsSymbol("END");
      case 6:
        return parser_.IsSymbol("OBJECT");
      case 9:
        return parser_.IsSymbol("INHERITED");
      default:
        return false;
    }
  }

  // header = symbol [":" symbol] [index]
  void TranslateHeader(bool inherited) {
    parser_.Expect(tokSymbol);
    class_name_.assign(parser_.TokenView());
    object_name_.clear();
    if (parser_.Advance() == ':') {
      parser_.Advance();
      parser_.Expect(tokSymbol);
      object_name_.swap(class_name_);
      class_name_.assign(parser_.TokenView());
      parser_.Advance();
    }
    // A length byte of 240 or more would read back as a prefix byte: no
    // stream can hold a longer class name.
    if (class_name_.size() >= kPrefixMarker) parser_.Fail(MessageId::kIdentifierExpected);
    const int32_t position = TranslateIndex();
    TPrefixFlags flags = 0;
    if (inherited) flags |= pfInherited;
    // A position of 0 or below is read and then written nowhere.
    if (position > 0) flags |= pfChildPos;
    writer_.WriteObjectPrefix(flags, position);
    writer_.WriteName(class_name_);
    writer_.WriteName(object_name_);
  }

  // index = "[" integer "]"; -1 when there is none
  int32_t TranslateIndex() {
    if (parser_.CurrentKind() != '[') return -1;
    parser_.Advance();
    parser_.Expect(tokInteger);
    const int32_t value = parser_.TokenAsInteger();
    parser_.Advance();
    parser_.Expect(']');
    parser_.Advance();
    return value;
  }

  // property = symbol {"." symbol} "=" value
  void TranslateProperty() {
    parser_.Expect(tokSymbol);
    name_length_ = 0;
    AppendToName(parser_.TokenView());
    parser_.Advance();
    while (parser_.CurrentKind() == '.') {
      parser_.Advance();
      parser_.Expect(tokSymbol);
      AppendToName(".");
      AppendToName(parser_.TokenView());
      parser_.Advance();
    }
    writer_.WriteName(std::string_view(name_, name_length_));
    parser_.Expect('=');
    parser_.Advance();
    TranslateValue();
  }

  // The parts beyond the first kMaxNameLength bytes would be cut by WriteName.
  void AppendToName(std::string_view part) {
    const size_t count = std::min(part.size(), kMaxNameLength - name_length_);
    std::memcpy(name_ + name_length_, part.data(), count);
    name_length_ += count;
  }

  // value = dotted-identifier | string | integer | float | list | set | binary | collection
  void TranslateValue() {
    switch (parser_.CurrentKind()) {
      case tokSymbol:
        writer_.WriteIdentValue(parser_.DottedIdentView());
        break;
      case tokString:
        // Already past its last piece.
        TranslateString();
        return;
      case tokInteger:
        TranslateInteger();
        break;
      case tokFloat:
        writer_.WriteFloatValue(parser_.TokenAsFloat());
        break;
      case '(':
        TranslateList();
        break;
      case '[':
        TranslateSet();
        break;
      case '{':
        TranslateBinary();
        break;
      case '<':
        TranslateCollection();
        break;
      default:
        parser_.Fail(MessageId::kInvalidPropertyText);
    }
    // Past the value's last token: the symbol, string or number, or the closing
    // ")", "]", "}" or ">".
    parser_.Advance();
  }

  // string value = string {"+" string}: the pieces make one value, which is
  // wide when any of them is. The value is written only once its end is known.
  // A string's bytes outlive one Advance, so the common value of one piece
  // without kept units goes out uncopied; pieces joined by "+" are gathered.
  void TranslateString() {
    text_.clear();
    units_.clear();
    has_units_ = false;
    if (!parser_.StringHasUnits()) {
      const std::string_view bytes = parser_.TokenView();
      if (parser_.Advance() != '+') {
        writer_.WriteTextValue(bytes);
        return;
      }
      text_.assign(bytes);
      parser_.Advance();
      parser_.Expect(tokString);
    }
    bool wide = false;
    for (;;) {
      AppendPiece();
      wide = wide || parser_.StringIsWide();
      if (parser_.Advance() != '+') break;
      parser_.Advance();
      parser_.Expect(tokString);
    }
    if (wide) {
      writer_.WriteWideStringValue(units_);
    } else {
      writer_.WriteTextValue(text_);
    }
  }

  void AppendPiece() {
    const std::string_view bytes = parser_.TokenView();
    // No value of more than 2^31 - 1 bytes or code units can be written.
    if (bytes.size() > static_cast<size_t>(INT32_MAX) - text_.size())
      Raise<EWriteError>(MessageId::kStreamWriteError);
    if (parser_.StringHasUnits() && !has_units_) {
      // The pieces before this one kept no units: their bytes give them.
      AppendCp1252Units(text_, units_);
      has_units_ = true;
    }
    if (parser_.StringHasUnits()) {
      units_.append(parser_.StringUnits());
    } else if (has_units_) {
      AppendCp1252Units(bytes, units_);
    }
    text_.append(bytes);
  }

  // integer value = a 32-bit integer, or a whole float of at most 15 digits
  void TranslateInteger() {
    const std::string_view text = parser_.TokenView();
    int32_t value;
    if (ScanInteger(text, value)) {
      writer_.WriteIntValue(value);
    } else if (IsShortDecimal(text)) {
      writer_.WriteFloatValue(ParseExtended(text));
    } else {
      writer_.WriteIntValue(parser_.TokenAsInteger());
    }
  }

  // list = "(" value... ")"
  void TranslateList() {
    EnterLevel();
    parser_.Advance();
    writer_.WriteListStart();
    while (parser_.CurrentKind() != ')') TranslateValue();
    writer_.WriteEndOfList();
    LeaveLevel();
  }

  // set = "[" [symbol {"," symbol}] "]"
  void TranslateSet() {
    parser_.Advance();
    writer_.WriteTag(tgSet);
    if (parser_.CurrentKind() != ']') {
      for (;;) {
        parser_.Expect(tokSymbol);
        writer_.WriteName(parser_.TokenView());
        if (parser_.Advance() == ']') break;
        parser_.Expect(',');
        parser_.Advance();
      }
    }
    writer_.WriteName({});
  }

  // binary = "{" pairs of hexadecimal digits "}"
  void TranslateBinary() {
    // The block is decoded before anything of the value is written, so a bad
    // block leaves nothing of it in the output.
    writer_.WriteBinaryValue([this](TMemoryStream& data) { parser_.DecodeHexBlock(data); });
  }

  // collection = "<" item... ">"
  void TranslateCollection() {
    EnterLevel();
    parser_.Advance();
    writer_.WriteTag(tgCollection);
    while (parser_.CurrentKind() != '>') TranslateItem();
    writer_.WriteEndOfList();
    LeaveLevel();
  }

  // item = ITEM [index] property... END
  void TranslateItem() {
    parser_.ExpectSymbol("item");
    parser_.Advance();
    const int32_t index = TranslateIndex();
    // An explicit index of -1 is the same as none.
    if (index != -1) writer_.WriteIntValue(index);
    writer_.WriteListStart();
    while (!parser_.IsSymbol("end")) TranslateProperty();
    writer_.WriteEndOfList();
    parser_.Advance();
  }

  // Each object, list and collection is one level deeper; the level past the
  // limit fails before anything of it is written.
  void EnterLevel() {
    if (level_ >= kMaxNestingLevel) Raise<EStackOverflow>(MessageId::kStackOverflow);
    ++level_;
  }
  void LeaveLevel() { --level_; }

  TParser& parser_;
  TWriter& writer_;
  int level_ = 0;
  // A property name as it is gathered over its dotted parts.
  char name_[kMaxNameLength];
  size_t name_length_ = 0;
  // Reused from object to object, so names cost no allocation once grown.
  std::string class_name_;
  std::string object_name_;
  // A string value gathered over its pieces: its bytes always, its code units
  // once a piece has kept some.
  std::string text_;
  std::u16string units_;
  bool has_units_ = false;
};

}  // namespace

void TextToBinaryForm(TStream& input, TStream& output) {
  // Acquired in this order and undone in reverse: the writer is released (its
  // buffer drained) first, then the separator restored, then the parser released.
  TParser parser(input);
  ScopedDecimalMark decimal_mark;
  TWriter writer(output, kFilerBufferSize);
  RunThenRelease(
      [&] {
        TTextToBinary conversion(parser, writer);
        writer.WriteStreamSignature();
        conversion.TranslateObject();
      },
      [&] { writer.Release(); });
}

}  // namespace quenlo
