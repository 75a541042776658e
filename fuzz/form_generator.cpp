#include "form_generator.h"

#include <memory>
#include <string_view>
#include <vector>

#include "numtext/extended.h"

namespace quenlo::fuzz {
namespace {

// SplitMix64: the same numbers everywhere, unlike the standard distributions.
class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15u + 1) {}
  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15u);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
    return z ^ (z >> 31);
  }
  uint32_t Below(uint32_t n) { return static_cast<uint32_t>(Next() % n); }
  bool OneIn(uint32_t n) { return Below(n) == 0; }

 private:
  uint64_t state_;
};

struct Value;
struct Property;

struct Item {
  bool has_index = false;
  int32_t index = 0;
  std::vector<Property> properties;
};

struct Value {
  enum Kind {
    kInt,
    kFloat,
    kString,
    kWide,
    kIdent,
    kFalse,
    kTrue,
    kNil,
    kBinary,
    kSet,
    kList,
    kCollection
  };
  Kind kind = kInt;
  int32_t integer = 0;
  Extended real;
  std::string bytes;  // string, identifier, binary data
  std::u16string units;
  std::vector<std::string> names;
  std::vector<Value> elements;
  std::vector<Item> items;
};

struct Property {
  std::string name;
  Value value;
};

struct Object {
  bool inherited = false;
  int32_t position = 0;  // written when not 0
  std::string class_name;
  std::string object_name;
  std::vector<Property> properties;
  std::vector<Object> children;
};

// A random tree of a few dozen items at most.
class TreeMaker {
 public:
  explicit TreeMaker(Random& random) : random_(random) {}

  Object MakeObject(int depth) {
    Object object;
    object.inherited = random_.OneIn(4);
    if (random_.OneIn(4)) object.position = static_cast<int32_t>(random_.Below(600)) - 100;
    object.class_name = "T" + Identifier();
    if (!random_.OneIn(4)) object.object_name = Identifier();
    const uint32_t properties = random_.Below(6);
    for (uint32_t i = 0; i < properties && budget_ > 0; ++i)
      object.properties.push_back(MakeProperty(depth));
    const uint32_t children = depth < 4 ? random_.Below(4) : 0;
    for (uint32_t i = 0; i < children && budget_ > 0; ++i)
      object.children.push_back(MakeObject(depth + 1));
    return object;
  }

 private:
  std::string Identifier() {
    static constexpr char kFirst[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz_";
    static constexpr char kRest[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz_0123456789";
    std::string name(1, kFirst[random_.Below(sizeof kFirst - 1)]);
    const uint32_t length = random_.OneIn(20) ? random_.Below(100) : random_.Below(10);
    for (uint32_t i = 0; i < length; ++i) name += kRest[random_.Below(sizeof kRest - 1)];
    return name;
  }

  Property MakeProperty(int depth) {
    --budget_;
    Property property;
    // The leading letter keeps keywords (end, object, inherited) out.
    property.name = "P" + Identifier();
    if (random_.OneIn(4)) property.name += "." + Identifier();
    property.value = MakeValue(depth);
    return property;
  }

  Extended MakeFloat() {
    static constexpr uint16_t kExponents[] = {0,     1,      16383,  16382, 16446,
                                              16414, 0x7FFE, 0x7FFF, 3,     0x7FF0};
    switch (random_.Below(6)) {
      case 0:  // a short binary fraction: exact in text
        return MakeExtended(random_.OneIn(2), 16383 + static_cast<int>(random_.Below(20)) - 10,
                            Extended::kIntegerBit | (random_.Next() & 0xFFF0000000000000u));
      case 1:  // an edge exponent, normal or special
        return MakeExtended(
            random_.OneIn(2), kExponents[random_.Below(10)],
            (random_.OneIn(2) ? Extended::kIntegerBit : 0) | (random_.Next() >> random_.Below(64)));
      case 2:  // a whole number, possibly beyond 32 bits
        return MakeExtended(random_.OneIn(2), 16383 + static_cast<int>(random_.Below(52)),
                            Extended::kIntegerBit);
      default: {  // anything normal
        Extended value = MakeExtended(random_.OneIn(2), 1 + static_cast<int>(random_.Below(0x7FFD)),
                                      Extended::kIntegerBit | random_.Next());
        return value;
      }
    }
  }

  std::string MakeBytes(uint32_t max_length) {
    std::string text;
    const uint32_t length = random_.OneIn(30) ? random_.Below(max_length) : random_.Below(12);
    const bool printable = random_.OneIn(2);
    for (uint32_t i = 0; i < length; ++i) {
      text += printable ? static_cast<char>(32 + random_.Below(95))
                        : static_cast<char>(random_.Below(256));
    }
    return text;
  }

  Value MakeValue(int depth) {
    Value value;
    // Leaves kInt to kSet, then lists (twice as often) and collections.
    const uint32_t pick = random_.Below(depth < 4 && budget_ > 0 ? 13 : 10);
    value.kind = pick >= 12   ? Value::kCollection
                 : pick >= 10 ? Value::kList
                              : static_cast<Value::Kind>(pick);
    switch (value.kind) {
      case Value::kInt: {
        static constexpr int32_t kEdges[] = {0,     -1,    127,    128,    -128,      -129,
                                             32767, 32768, -32768, -32769, INT32_MAX, INT32_MIN};
        value.integer = random_.OneIn(3)
                            ? kEdges[random_.Below(12)]
                            : static_cast<int32_t>(random_.Next() >> (32 + random_.Below(32)));
        if (random_.OneIn(2))
          value.integer = static_cast<int32_t>(0u - static_cast<uint32_t>(value.integer));
        break;
      }
      case Value::kFloat:
        value.real = MakeFloat();
        if (value.real.IsUnnormal()) value.real.significand |= Extended::kIntegerBit;
        break;
      case Value::kString:
        value.bytes = MakeBytes(600);
        break;
      case Value::kWide: {
        const uint32_t length = random_.Below(10);
        for (uint32_t i = 0; i < length; ++i) {
          static constexpr char16_t kUnits[] = {u'A',   u'\'',  0x00E9, 0x0416, 0x20AC,
                                                0xD83D, 0xDE00, 0xFFFF, 0x0000, 0x00FF};
          value.units += random_.OneIn(2) ? kUnits[random_.Below(10)]
                                          : static_cast<char16_t>(random_.Below(0x10000));
        }
        break;
      }
      case Value::kIdent:
        value.bytes = Identifier();
        if (random_.OneIn(3)) value.bytes += "." + Identifier();
        break;
      case Value::kBinary:
        value.bytes =
            random_.OneIn(6) ? std::string(32 + random_.Below(100), '\x5A') : MakeBytes(300);
        break;
      case Value::kSet: {
        const uint32_t count = random_.Below(5);
        for (uint32_t i = 0; i < count; ++i) value.names.push_back(Identifier());
        break;
      }
      case Value::kList: {
        --budget_;
        const uint32_t count = random_.Below(5);
        for (uint32_t i = 0; i < count; ++i) value.elements.push_back(MakeValue(depth + 1));
        break;
      }
      case Value::kCollection: {
        --budget_;
        const uint32_t count = random_.Below(4);
        for (uint32_t i = 0; i < count; ++i) {
          Item item;
          item.has_index = random_.OneIn(2);
          item.index = static_cast<int32_t>(random_.Below(400)) - 2;
          const uint32_t properties = random_.Below(4);
          for (uint32_t k = 0; k < properties; ++k)
            item.properties.push_back(MakeProperty(depth + 1));
          value.items.push_back(std::move(item));
        }
        break;
      }
      default:
        break;
    }
    return value;
  }

  Random& random_;
  int budget_ = 40;
};

// ---- binary writer --------------------------------------------------------

class BinaryWriter {
 public:
  explicit BinaryWriter(Random& random) : random_(random) {}

  std::string Stream(const Object& root) {
    out_ = "TPF0";
    WriteObject(root);
    return out_;
  }

 private:
  void Byte(uint32_t b) { out_ += static_cast<char>(b & 0xFF); }
  void Count(uint32_t n) {
    for (int i = 0; i < 4; ++i) Byte(n >> (8 * i));
  }
  void Name(std::string_view name) {
    Byte(static_cast<uint32_t>(name.size()));
    out_ += name;
  }
  // Sometimes wider than needed: a reader takes every width.
  void Int(int32_t v) {
    uint32_t width = v >= -128 && v <= 127 ? 1 : v >= -32768 && v <= 32767 ? 2 : 4;
    if (random_.OneIn(5)) width = width == 1 ? 2 : 4;
    Byte(width == 1 ? 2 : width == 2 ? 3 : 4);
    for (uint32_t i = 0; i < width; ++i) Byte(static_cast<uint32_t>(v) >> (8 * i));
  }

  void WriteObject(const Object& object) {
    uint32_t flags = (object.inherited ? 1 : 0) | (object.position != 0 ? 2 : 0);
    if (random_.OneIn(8)) flags |= 4u << random_.Below(2);  // bits with no meaning
    if (flags != 0 || random_.OneIn(10)) {
      Byte(0xF0 | flags);
      if (flags & 2) Int(object.position);
    }
    Name(object.class_name);
    Name(object.object_name);
    for (const Property& property : object.properties) WriteProperty(property);
    Byte(0);
    for (const Object& child : object.children) WriteObject(child);
    Byte(0);
  }

  void WriteProperty(const Property& property) {
    Name(property.name);
    WriteValue(property.value);
  }

  void WriteUnits(const std::u16string& units) {
    if (random_.OneIn(2)) {
      Byte(18);
      Count(static_cast<uint32_t>(units.size()));
      for (char16_t unit : units) {
        Byte(unit);
        Byte(unit >> 8);
      }
      return;
    }
    // As UTF-8, lone surrogates and all; the reader decodes what it can.
    std::string utf8;
    for (char16_t unit : units) {
      if (unit < 0x80) {
        utf8 += static_cast<char>(unit);
      } else if (unit < 0x800) {
        utf8 += static_cast<char>(0xC0 | (unit >> 6));
        utf8 += static_cast<char>(0x80 | (unit & 0x3F));
      } else {
        utf8 += static_cast<char>(0xE0 | (unit >> 12));
        utf8 += static_cast<char>(0x80 | ((unit >> 6) & 0x3F));
        utf8 += static_cast<char>(0x80 | (unit & 0x3F));
      }
    }
    if (random_.OneIn(4)) utf8 += "\xF0\x9F\x98\x80\xC3";  // a pair and a cut sequence
    Byte(20);
    Count(static_cast<uint32_t>(utf8.size()));
    out_ += utf8;
  }

  void WriteValue(const Value& value) {
    switch (value.kind) {
      case Value::kInt:
        Int(value.integer);
        return;
      case Value::kFloat: {
        Byte(5);
        uint8_t bytes[Extended::kByteSize];
        value.real.ToBytes(bytes);
        out_.append(reinterpret_cast<const char*>(bytes), sizeof bytes);
        return;
      }
      case Value::kString:
        if (value.bytes.size() > 255 || random_.OneIn(5)) {
          Byte(12);
          Count(static_cast<uint32_t>(value.bytes.size()));
        } else {
          Byte(6);
          Byte(static_cast<uint32_t>(value.bytes.size()));
        }
        out_ += value.bytes;
        return;
      case Value::kWide:
        WriteUnits(value.units);
        return;
      case Value::kIdent:
        Byte(7);
        Name(value.bytes);
        return;
      case Value::kFalse:
      case Value::kTrue:
      case Value::kNil: {
        static constexpr const char* kSpellings[3][2] = {
            {"FALSE", "false"}, {"TRUE", "tRuE"}, {"NIL", "Nil"}};
        const int which = value.kind == Value::kFalse ? 0 : value.kind == Value::kTrue ? 1 : 2;
        if (random_.OneIn(5)) {
          Byte(7);
          Name(kSpellings[which][random_.Below(2)]);
        } else {
          Byte(which == 0 ? 8 : which == 1 ? 9 : 13);
        }
        return;
      }
      case Value::kBinary:
        Byte(10);
        if (value.bytes.empty() && random_.OneIn(2)) {
          Count(0x80000000u | random_.Below(1000));  // negative: no data
          return;
        }
        Count(static_cast<uint32_t>(value.bytes.size()));
        out_ += value.bytes;
        return;
      case Value::kSet:
        Byte(11);
        for (const std::string& name : value.names) Name(name);
        Byte(0);
        return;
      case Value::kList:
        Byte(1);
        for (const Value& element : value.elements) WriteValue(element);
        Byte(0);
        return;
      case Value::kCollection:
        Byte(14);
        for (const Item& item : value.items) {
          if (item.has_index) Int(item.index);
          Byte(1);
          for (const Property& property : item.properties) WriteProperty(property);
          Byte(0);
        }
        Byte(0);
        return;
    }
  }

  Random& random_;
  std::string out_;
};

// ---- text writer ----------------------------------------------------------

class TextWriter {
 public:
  explicit TextWriter(Random& random) : random_(random) {}

  std::string Text(const Object& root) {
    utf8_ = random_.OneIn(8);
    if (utf8_) out_ = "\xEF\xBB\xBF";
    WriteObject(root, 0);
    return out_;
  }

 private:
  // Line structure means nothing to the reader: any blanks will do.
  void Gap() {
    switch (random_.Below(12)) {
      case 0:
        out_ += "\r\n    ";
        return;
      case 1:
        out_ += "\n\t";
        return;
      case 2:
        out_ += "  ";
        return;
      default:
        out_ += ' ';
    }
  }
  void LineBreak(int level) {
    out_ += random_.OneIn(10) ? "\n" : "\r\n";
    out_.append(static_cast<size_t>(2 * level), ' ');
  }
  void Keyword(std::string_view word) {
    const uint32_t style = random_.Below(4);
    for (size_t i = 0; i < word.size(); ++i) {
      const char lower = word[i];
      const bool upper = style == 1 || (style == 2 && i == 0) || (style == 3 && random_.OneIn(2));
      out_ += upper ? static_cast<char>(lower - 32) : lower;
    }
  }

  void WriteObject(const Object& object, int level) {
    Keyword(object.inherited ? "inherited" : "object");
    out_ += ' ';
    if (!object.object_name.empty()) {
      out_ += object.object_name;
      out_ += random_.OneIn(4) ? " : " : ": ";
    }
    out_ += object.class_name;
    if (object.position != 0 || random_.OneIn(10)) {
      Gap();
      out_ += "[";
      WriteInteger(object.position);
      out_ += "]";
    }
    for (const Property& property : object.properties) {
      LineBreak(level + 1);
      WriteProperty(property, level + 1);
    }
    for (const Object& child : object.children) {
      LineBreak(level + 1);
      WriteObject(child, level + 1);
    }
    LineBreak(level);
    Keyword("end");
    if (level == 0) out_ += "\r\n";
  }

  void WriteProperty(const Property& property, int level) {
    const size_t dot = property.name.find('.');
    if (dot != std::string::npos && random_.OneIn(2)) {
      out_.append(property.name, 0, dot);
      out_ += " . ";
      out_.append(property.name, dot + 1);
    } else {
      out_ += property.name;
    }
    out_ += random_.OneIn(5) ? "=" : " = ";
    WriteValue(property.value, level);
  }

  void WriteInteger(int32_t value) {
    if (random_.OneIn(4)) {
      static constexpr char kHex[] = "0123456789ABCDEFabcdef";
      std::string digits;
      for (auto bits = static_cast<uint32_t>(value); bits != 0; bits >>= 4) {
        digits.insert(digits.begin(),
                      kHex[(bits & 15) + (random_.OneIn(3) && (bits & 15) >= 10 ? 6 : 0)]);
      }
      out_ += "$" + (digits.empty() ? std::string("0") : digits);
      return;
    }
    out_ += std::to_string(value);
  }

  void WriteFloat() {
    static constexpr const char* kShapes[] = {"2.5E-1",
                                              "12.",
                                              "-.5",
                                              "1E",
                                              "1e+3",
                                              "0.1",
                                              "-0.0",
                                              "1.5e300",
                                              "3.36210314311209E-4932",
                                              "1.18973149535723E4932",
                                              "1E-4940",
                                              "0.000099",
                                              "3000000000",
                                              "-2147483649",
                                              "999999999999999"};
    if (random_.OneIn(2)) {
      out_ += kShapes[random_.Below(sizeof kShapes / sizeof kShapes[0])];
      return;
    }
    out_ += std::to_string(random_.Below(100000));
    out_ += '.';
    out_ += std::to_string(random_.Below(100000));
    if (random_.OneIn(2)) out_ += "E" + std::to_string(static_cast<int>(random_.Below(80)) - 40);
  }

  // Quoted runs and codes, sometimes continued with "+".
  void WriteString(const std::string& bytes, int level) {
    if (bytes.empty()) {
      out_ += "''";
      return;
    }
    bool quoted = false;
    for (size_t i = 0; i < bytes.size(); ++i) {
      const auto c = static_cast<uint8_t>(bytes[i]);
      const bool code = c < 32 || random_.OneIn(8) || (utf8_ && c >= 128);
      if (code == quoted) {
        out_ += '\'';
        quoted = !quoted;
      }
      if (!quoted && random_.OneIn(12) && i > 0) {
        out_ += random_.OneIn(2) ? " + " : " +";
        LineBreak(level + 1);
      }
      if (code) {
        out_ += '#' + std::to_string(c);
      } else {
        out_ += static_cast<char>(c);
        if (c == '\'') out_ += '\'';
      }
    }
    if (quoted) out_ += '\'';
  }

  void WriteWide(const std::u16string& units, int level) {
    if (units.empty()) {
      out_ += "''";
      return;
    }
    for (size_t i = 0; i < units.size(); ++i) {
      if (i > 0 && random_.OneIn(5)) {
        out_ += " +";
        LineBreak(level + 1);
      }
      const char16_t unit = units[i];
      if (unit >= 32 && unit < 127 && unit != '\'') {
        out_ += '\'';
        out_ += static_cast<char>(unit);
        out_ += '\'';
      } else if (utf8_ && unit >= 0x80 && unit < 0x800 && random_.OneIn(2)) {
        out_ += '\'';
        out_ += static_cast<char>(0xC0 | (unit >> 6));
        out_ += static_cast<char>(0x80 | (unit & 0x3F));
        out_ += '\'';
      } else {
        out_ += '#' + std::to_string(unit);
      }
    }
  }

  void WriteValue(const Value& value, int level) {
    switch (value.kind) {
      case Value::kInt:
        WriteInteger(value.integer);
        return;
      case Value::kFloat:
        WriteFloat();
        return;
      case Value::kString:
        WriteString(value.bytes, level);
        return;
      case Value::kWide:
        WriteWide(value.units, level);
        return;
      case Value::kIdent:
        out_ += value.bytes;
        return;
      case Value::kFalse:
        Keyword("false");
        return;
      case Value::kTrue:
        Keyword("true");
        return;
      case Value::kNil:
        Keyword("nil");
        return;
      case Value::kBinary: {
        static constexpr char kDigits[] = "0123456789ABCDEF0123456789abcdef";
        const uint32_t letters = random_.OneIn(3) ? 16 : 0;
        out_ += '{';
        for (size_t i = 0; i < value.bytes.size(); ++i) {
          if (i % 32 == 0 && value.bytes.size() >= 32) LineBreak(level + 1);
          const auto b = static_cast<uint8_t>(value.bytes[i]);
          out_ += kDigits[(b >> 4) + letters];
          out_ += kDigits[(b & 15) + letters];
          if (random_.OneIn(40)) Gap();
        }
        out_ += '}';
        return;
      }
      case Value::kSet:
        out_ += '[';
        for (size_t i = 0; i < value.names.size(); ++i) {
          if (i > 0) out_ += random_.OneIn(3) ? " , " : ", ";
          out_ += value.names[i];
        }
        out_ += ']';
        return;
      case Value::kList:
        out_ += '(';
        for (const Value& element : value.elements) {
          LineBreak(level + 1);
          WriteValue(element, level + 1);
        }
        out_ += ')';
        return;
      case Value::kCollection:
        out_ += '<';
        for (const Item& item : value.items) {
          LineBreak(level + 1);
          Keyword("item");
          if (item.has_index) {
            out_ += " [";
            WriteInteger(item.index);
            out_ += ']';
          }
          for (const Property& property : item.properties) {
            LineBreak(level + 2);
            WriteProperty(property, level + 2);
          }
          LineBreak(level + 1);
          Keyword("end");
        }
        out_ += '>';
        return;
    }
  }

  Random& random_;
  std::string out_;
  bool utf8_ = false;
};

}  // namespace

std::string GenerateBinaryStream(uint64_t seed) {
  Random random(seed);
  const Object root = TreeMaker(random).MakeObject(0);
  return BinaryWriter(random).Stream(root);
}

std::string GenerateTextForm(uint64_t seed) {
  Random random(seed ^ 0x5445585446524D00u);
  const Object root = TreeMaker(random).MakeObject(0);
  return TextWriter(random).Text(root);
}

std::string WrapInResourceHeader(const std::string& stream) {
  // The root class name sits behind the signature and an optional prefix.
  size_t at = 4;
  if (stream.size() > at && static_cast<uint8_t>(stream[at]) >= 0xF0) {
    const bool position = (stream[at] & 2) != 0;
    ++at;
    if (position && at < stream.size()) {
      const uint8_t tag = static_cast<uint8_t>(stream[at]);
      at += 1 + (tag == 2 ? 1 : tag == 3 ? 2 : 4);
    }
  }
  const size_t length = at < stream.size() ? static_cast<uint8_t>(stream[at]) : 0;
  std::string header = std::string("\xFF\x0A\x00", 3);
  for (size_t i = 0; i < length && at + 1 + i < stream.size(); ++i) {
    const char c = stream[at + 1 + i];
    header += c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
  }
  header += std::string("\x00\x30\x10", 3);
  for (int i = 0; i < 4; ++i) header += static_cast<char>((stream.size() >> (8 * i)) & 0xFF);
  return header + stream;
}

}  // namespace quenlo::fuzz
