#include "stream_model.h"

#include <array>
#include <string_view>

#include "numtext/extended.h"
#include "numtext/format.h"
#include "numtext/parse.h"

namespace quenlo::fuzz {
namespace {

// Thrown where the converter must fail; caught by JudgeStream only.
struct Rejected {
  const char* why;
};

enum Tag : uint8_t {
  kNull = 0,
  kList = 1,
  kInt8 = 2,
  kInt16 = 3,
  kInt32 = 4,
  kExtended = 5,
  kString = 6,
  kIdent = 7,
  kFalse = 8,
  kTrue = 9,
  kBinary = 10,
  kSet = 11,
  kLongString = 12,
  kNil = 13,
  kCollection = 14,
  kWideString = 18,
  kUtf8String = 20,
};

constexpr uint8_t kPrefixMarker = 0xF0;
constexpr uint8_t kInheritedFlag = 1;
constexpr uint8_t kChildPosFlag = 2;
constexpr size_t kMaxClassName = 239;

// Code page 1252 characters of 0x80 to 0x9F (undefined ones as the C1 control).
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char16_t Cp1252(uint8_t byte) {
  return byte >= 0x80 && byte <= 0x9F ? kCp1252High[byte - 0x80] : char16_t{byte};
}

// Well-formed sequences only (complete, shortest form, no surrogate, at most
// U+10FFFF); any other byte stands for its code page 1252 character.
std::u16string DecodeUtf8(const uint8_t* bytes, size_t size) {
  std::u16string units;
  size_t i = 0;
  while (i < size) {
    const uint8_t first = bytes[i];
    size_t length = first < 0x80                     ? 1
                    : first >= 0xC2 && first <= 0xDF ? 2
                    : first >= 0xE0 && first <= 0xEF ? 3
                    : first >= 0xF0 && first <= 0xF4 ? 4
                                                     : 0;
    uint32_t code = length == 1   ? first
                    : length == 2 ? first & 0x1Fu
                    : length == 3 ? first & 0x0Fu
                                  : first & 0x07u;
    bool good = length != 0 && size - i >= length;
    for (size_t k = 1; good && k < length; ++k) {
      good = (bytes[i + k] & 0xC0) == 0x80;
      code = code << 6 | (bytes[i + k] & 0x3Fu);
    }
    if (good) {
      static constexpr uint32_t kLowest[5] = {0, 0, 0x80, 0x800, 0x10000};
      good = code >= kLowest[length] && code <= 0x10FFFF && !(code >= 0xD800 && code <= 0xDFFF);
    }
    if (!good) {
      units.push_back(Cp1252(first));
      ++i;
    } else if (code > 0xFFFF) {
      units.push_back(static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10)));
      units.push_back(static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF)));
      i += length;
    } else {
      units.push_back(static_cast<char16_t>(code));
      i += length;
    }
  }
  return units;
}

bool IsIdentStart(uint8_t c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}
bool IsIdentRest(uint8_t c) { return IsIdentStart(c) || (c >= '0' && c <= '9'); }

bool IsIdentifier(std::string_view text) {
  if (text.empty() || !IsIdentStart(static_cast<uint8_t>(text[0]))) return false;
  for (char c : text) {
    if (!IsIdentRest(static_cast<uint8_t>(c))) return false;
  }
  return true;
}

bool IsDottedIdentifier(std::string_view text) {
  for (;;) {
    const size_t dot = text.find('.');
    if (!IsIdentifier(text.substr(0, dot))) return false;
    if (dot == std::string_view::npos) return true;
    text.remove_prefix(dot + 1);
  }
}

bool SameWord(std::string_view text, std::string_view word) {
  if (text.size() != word.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    char a = text[i];
    if (a >= 'a' && a <= 'z') a = static_cast<char>(a - 32);
    if (a != word[i]) return false;
  }
  return true;
}

void PutInt(Bytes& out, int32_t value) {
  const auto bits = static_cast<uint32_t>(value);
  if (value >= -128 && value <= 127) {
    out.insert(out.end(), {kInt8, static_cast<uint8_t>(bits)});
  } else if (value >= -32768 && value <= 32767) {
    out.insert(out.end(), {kInt16, static_cast<uint8_t>(bits), static_cast<uint8_t>(bits >> 8)});
  } else {
    out.insert(out.end(), {kInt32, static_cast<uint8_t>(bits), static_cast<uint8_t>(bits >> 8),
                           static_cast<uint8_t>(bits >> 16), static_cast<uint8_t>(bits >> 24)});
  }
}

void PutCount(Bytes& out, uint32_t count) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(count >> (8 * i)));
}

void PutName(Bytes& out, std::string_view name) {
  out.push_back(static_cast<uint8_t>(name.size()));
  out.insert(out.end(), name.begin(), name.end());
}

void PutByteString(Bytes& out, const uint8_t* bytes, size_t size) {
  if (size <= 255) {
    out.insert(out.end(), {kString, static_cast<uint8_t>(size)});
  } else {
    out.push_back(kLongString);
    PutCount(out, static_cast<uint32_t>(size));
  }
  out.insert(out.end(), bytes, bytes + size);
}

void PutUnits(Bytes& out, const std::u16string& units) {
  bool wide = false;
  for (char16_t unit : units) wide = wide || unit > 255;
  if (!wide) {
    Bytes bytes(units.begin(), units.end());
    PutByteString(out, bytes.data(), bytes.size());
    return;
  }
  out.push_back(kWideString);
  PutCount(out, static_cast<uint32_t>(units.size()));
  for (char16_t unit : units)
    out.insert(out.end(), {static_cast<uint8_t>(unit), static_cast<uint8_t>(unit >> 8)});
}

bool IsDecimalInteger(std::string_view text, size_t& digits) {
  if (!text.empty() && text[0] == '-') text.remove_prefix(1);
  digits = text.size();
  if (text.empty()) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

class Judge {
 public:
  Judge(const uint8_t* data, size_t size, StreamVerdict& verdict)
      : data_(data), size_(size), verdict_(verdict), out_(verdict.canonical) {}

  void Stream() {
    if (size_ < 4) throw Rejected{"shorter than the signature"};
    if (data_[0] != 'T' || data_[1] != 'P' || data_[2] != 'F' || data_[3] != '0') {
      throw Rejected{"no signature"};
    }
    at_ = 4;
    out_.insert(out_.end(), {'T', 'P', 'F', '0'});
    Object(1, true);
    verdict_.consumed = at_;
  }

 private:
  uint8_t Peek() {
    if (at_ >= size_) throw Rejected{"truncated"};
    return data_[at_];
  }
  uint8_t Next() {
    const uint8_t byte = Peek();
    ++at_;
    return byte;
  }
  const uint8_t* Take(uint64_t count) {
    if (count > size_ - at_) throw Rejected{"truncated"};
    const uint8_t* start = data_ + at_;
    at_ += count;
    return start;
  }
  uint32_t Count() {
    const uint8_t* field = Take(4);
    return field[0] | field[1] << 8 | field[2] << 16 | static_cast<uint32_t>(field[3]) << 24;
  }
  std::string_view Name() {
    const uint8_t length = Next();
    return {reinterpret_cast<const char*>(Take(length)), length};
  }
  int32_t Int() {
    switch (Next()) {
      case kInt8:
        return static_cast<int8_t>(*Take(1));
      case kInt16: {
        const uint8_t* p = Take(2);
        return static_cast<int16_t>(p[0] | p[1] << 8);
      }
      case kInt32: {
        const uint8_t* p = Take(4);
        return static_cast<int32_t>(p[0] | p[1] << 8 | p[2] << 16 |
                                    static_cast<uint32_t>(p[3]) << 24);
      }
      default:
        throw Rejected{"integer expected"};
    }
  }
  static bool IsIntTag(uint8_t tag) { return tag == kInt8 || tag == kInt16 || tag == kInt32; }

  void Unreadable(const char* why) {
    if (verdict_.readable_text && verdict_.why.empty()) verdict_.why = why;
    verdict_.readable_text = false;
  }

  void Enter(int level) {
    if (level > kModelMaxNesting) throw Rejected{"nested too deep"};
  }

  void Object(int level, bool root) {
    Enter(level);
    uint8_t flags = 0;
    int32_t position = 0;
    if (Peek() >= kPrefixMarker) {
      flags = Next() & 0x0F;
      if (flags & kChildPosFlag) position = Int();
    }
    const std::string_view class_name = Name();
    const std::string_view object_name = Name();
    if (!IsIdentifier(class_name)) Unreadable("class name not an identifier");
    if (class_name.size() > kMaxClassName) Unreadable("class name over 239 bytes");
    if (!object_name.empty() && !IsIdentifier(object_name))
      Unreadable("object name not an identifier");
    if (root) verdict_.root_class.assign(class_name);

    uint8_t kept = flags & (kInheritedFlag | kChildPosFlag);
    if (position <= 0) kept &= static_cast<uint8_t>(~kChildPosFlag);
    if (kept != 0) {
      out_.push_back(static_cast<uint8_t>(kPrefixMarker | kept));
      if (kept & kChildPosFlag) PutInt(out_, position);
    }
    PutName(out_, class_name);
    PutName(out_, object_name);

    while (Peek() != kNull) Property(level, false);
    Next();
    out_.push_back(kNull);
    while (Peek() != kNull) Object(level + 1, false);
    Next();
    out_.push_back(kNull);
  }

  void Property(int level, bool in_item) {
    const std::string_view name = Name();
    const std::string_view first = name.substr(0, name.find('.'));
    if (!IsDottedIdentifier(name)) Unreadable("property name not a dotted identifier");
    if (in_item
            ? SameWord(first, "END")
            : SameWord(first, "END") || SameWord(first, "OBJECT") || SameWord(first, "INHERITED")) {
      Unreadable("property name starting with a keyword");
    }
    PutName(out_, name);
    Value(level);
  }

  // A value inside a construct of the given level.
  void Value(int level) {
    const uint8_t tag = Peek();
    switch (tag) {
      case kNull:
        // Not consumed: it ends the enclosing list, and the text has nothing here.
        Unreadable("no value");
        return;
      case kList:
        Enter(level + 1);
        Next();
        out_.push_back(kList);
        while (Peek() != kNull) Value(level + 1);
        Next();
        out_.push_back(kNull);
        return;
      case kInt8:
      case kInt16:
      case kInt32:
        PutInt(out_, Int());
        return;
      case kExtended:
        verdict_.has_floats_or_wide = true;
        Next();
        Float(Take(Extended::kByteSize));
        return;
      case kString: {
        Next();
        const uint8_t length = Next();
        PutByteString(out_, Take(length), length);
        return;
      }
      case kLongString: {
        Next();
        const uint32_t length = Count();
        if (length > INT32_MAX) throw Rejected{"negative length"};
        PutByteString(out_, Take(length), length);
        return;
      }
      case kWideString: {
        verdict_.has_floats_or_wide = true;
        Next();
        const uint32_t count = Count();
        if (count > INT32_MAX) throw Rejected{"negative count"};
        const uint8_t* bytes = Take(uint64_t{count} * 2);
        std::u16string units(count, u'\0');
        for (uint32_t i = 0; i < count; ++i)
          units[i] = static_cast<char16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
        PutUnits(out_, units);
        return;
      }
      case kUtf8String: {
        verdict_.has_floats_or_wide = true;
        Next();
        const uint32_t length = Count();
        if (length > INT32_MAX) throw Rejected{"negative length"};
        PutUnits(out_, DecodeUtf8(Take(length), length));
        return;
      }
      case kIdent: {
        Next();
        const std::string_view text = Name();
        if (!IsDottedIdentifier(text)) Unreadable("identifier value not a dotted identifier");
        if (SameWord(text, "FALSE")) {
          out_.push_back(kFalse);
        } else if (SameWord(text, "TRUE")) {
          out_.push_back(kTrue);
        } else if (SameWord(text, "NIL")) {
          out_.push_back(kNil);
        } else {
          out_.push_back(kIdent);
          PutName(out_, text);
        }
        return;
      }
      case kFalse:
      case kTrue:
      case kNil:
        out_.push_back(Next());
        return;
      case kBinary: {
        Next();
        const auto length = static_cast<int32_t>(Count());
        const uint32_t kept = length > 0 ? static_cast<uint32_t>(length) : 0;
        out_.push_back(kBinary);
        PutCount(out_, kept);
        const uint8_t* bytes = Take(kept);
        out_.insert(out_.end(), bytes, bytes + kept);
        return;
      }
      case kSet:
        Next();
        out_.push_back(kSet);
        for (std::string_view element = Name(); !element.empty(); element = Name()) {
          if (!IsIdentifier(element)) Unreadable("set element not an identifier");
          PutName(out_, element);
        }
        out_.push_back(kNull);
        return;
      case kCollection:
        Enter(level + 1);
        Next();
        out_.push_back(kCollection);
        while (Peek() != kNull) Item(level + 1);
        Next();
        out_.push_back(kNull);
        return;
      default:
        throw Rejected{"no value begins with this byte"};
    }
  }

  void Item(int level) {
    if (IsIntTag(Peek())) {
      const int32_t index = Int();
      if (index != -1) PutInt(out_, index);
    }
    if (Next() != kList) throw Rejected{"item without its property list"};
    out_.push_back(kList);
    while (Peek() != kNull) Property(level, true);
    Next();
    out_.push_back(kNull);
  }

  // The value the float's text reads back as, by the rules of the text side.
  void Float(const uint8_t* payload) {
    const Extended value = Extended::FromBytes(payload);
    if (value.IsUnnormal()) throw Rejected{"unnormal float"};
    ScopedDecimalMark mark('.');
    const std::string text = FormatExtended(value);
    int32_t integer = 0;
    size_t digits = 0;
    if (text == "INF" || text == "NAN") {
      out_.push_back(kIdent);
      PutName(out_, text);
      return;
    }
    if (ScanInteger(text, integer)) {
      PutInt(out_, integer);
      return;
    }
    Extended back;
    const bool integer_text = IsDecimalInteger(text, digits);
    if ((integer_text && digits > 15) || !ScanExtended(text, back)) {
      if (verdict_.unreadable_float.empty()) verdict_.unreadable_float = text;
      return;
    }
    out_.push_back(kExtended);
    uint8_t bytes[Extended::kByteSize];
    back.ToBytes(bytes);
    out_.insert(out_.end(), bytes, bytes + sizeof bytes);
    if (FormatExtended(back) != text) verdict_.stable_floats = false;
  }

  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
  StreamVerdict& verdict_;
  Bytes& out_;
};

}  // namespace

StreamVerdict JudgeStream(const uint8_t* data, size_t size) {
  StreamVerdict verdict;
  try {
    Judge(data, size, verdict).Stream();
    verdict.valid = true;
  } catch (const Rejected& rejected) {
    verdict.valid = false;
    verdict.why = rejected.why;
    verdict.canonical.clear();
  }
  return verdict;
}

int32_t FirstTooLongLine(const std::string& text) {
  constexpr size_t kWindow = 4096;
  int32_t line = 1;
  size_t start = 0;
  while (start < text.size()) {
    size_t feed = text.find('\n', start);
    if (feed == std::string::npos) feed = text.size();
    if (feed - start >= kWindow - 1 && text.size() - start >= kWindow) return line;
    start = feed + 1;
    ++line;
  }
  return 0;
}

}  // namespace quenlo::fuzz
