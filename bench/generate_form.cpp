// Writes one large synthetic resource form file for the benchmark.
//
//   quenlo_bench_generate KIND OUTPUT.DFM [MEBIBYTES]
//
// KIND is "image" (large binary blocks), "property" (tens of thousands of objects
// with many small values) or "string" (many strings full of quotes and control
// characters). The binary form stream is about MEBIBYTES MiB (default 32).
//
// The output is deterministic (fixed seed, own generator) and canonical, so that
// converting it to text and back must give the same file byte for byte: integers
// in their narrowest width, tgString up to 255 bytes, False/True/nil only as their
// own tags, floats that print exactly within 15 digits and are never whole numbers,
// child positions above 0, names that are identifiers, and no text line that the
// text form could not read back (strings stay far below 4094 bytes when rendered).
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "formstream/tags.h"

namespace quenlo {
namespace {

constexpr uint64_t kSeed = 0x5155454E4C4F3136;  // fixed: every run writes the same forms

// splitmix64: a fixed sequence on every platform and library.
class TRandom {
 public:
  explicit TRandom(uint64_t seed) : state_(seed) {}

  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EB;
    return z ^ (z >> 31);
  }
  // Uniform in [low, high].
  int32_t Between(int32_t low, int32_t high) {
    auto span = static_cast<uint64_t>(static_cast<int64_t>(high) - low + 1);
    return static_cast<int32_t>(low + static_cast<int64_t>(Next() % span));
  }
  bool Chance(int percent) { return Between(1, 100) <= percent; }
  template <typename T>
  const T& Pick(std::initializer_list<T> items) {
    return items.begin()[Between(0, static_cast<int32_t>(items.size()) - 1)];
  }

 private:
  uint64_t state_;
};

// Appends the items of a binary form stream, always in their canonical encoding.
class TStreamBuilder {
 public:
  const std::vector<uint8_t>& Bytes() const { return bytes_; }
  size_t Size() const { return bytes_.size(); }

  void Signature() { Raw(kStreamSignature, sizeof kStreamSignature); }
  void Byte(uint8_t b) { bytes_.push_back(b); }
  void Raw(const void* data, size_t count) {
    auto* from = static_cast<const uint8_t*>(data);
    bytes_.insert(bytes_.end(), from, from + count);
  }
  void Little(uint32_t value, int count) {
    for (int i = 0; i < count; ++i) Byte(static_cast<uint8_t>(value >> (8 * i)));
  }
  void Name(std::string_view name) {
    Byte(static_cast<uint8_t>(name.size()));
    Raw(name.data(), name.size());
  }

  // An object record's header; the caller adds properties, EndOfList, children, EndOfList.
  void ObjectHeader(TPrefixFlags flags, int32_t child_position, std::string_view class_name,
                    std::string_view object_name) {
    if (flags != 0) Byte(static_cast<uint8_t>(kPrefixMarker | flags));
    if (flags & pfChildPos) Int(child_position);
    Name(class_name);
    Name(object_name);
  }
  void EndOfList() { Byte(tgNull); }

  void Int(int32_t value) {
    if (value >= -128 && value <= 127) {
      Byte(tgInt8);
      Little(static_cast<uint32_t>(value), 1);
    } else if (value >= -32768 && value <= 32767) {
      Byte(tgInt16);
      Little(static_cast<uint32_t>(value), 2);
    } else {
      Byte(tgInt32);
      Little(static_cast<uint32_t>(value), 4);
    }
  }
  // A normal, non-zero double, widened exactly to the 80-bit layout.
  void Float(double value) {
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    uint64_t significand = (uint64_t{1} << 63) | ((bits & ((uint64_t{1} << 52) - 1)) << 11);
    auto exponent = static_cast<uint32_t>(((bits >> 52) & 0x7FF) - 1023 + 16383);
    auto sign_and_exponent = static_cast<uint32_t>((bits >> 63) << 15) | exponent;
    Byte(tgExtended);
    Little(static_cast<uint32_t>(significand), 4);
    Little(static_cast<uint32_t>(significand >> 32), 4);
    Little(sign_and_exponent, 2);
  }
  void Text(std::string_view text) {
    if (text.size() <= 255) {
      Byte(tgString);
      Byte(static_cast<uint8_t>(text.size()));
    } else {
      Byte(tgLongString);
      Little(static_cast<uint32_t>(text.size()), 4);
    }
    Raw(text.data(), text.size());
  }
  void Ident(std::string_view ident) {
    Byte(tgIdent);
    Name(ident);
  }
  void Bool(bool value) { Byte(value ? tgTrue : tgFalse); }
  void Nil() { Byte(tgNil); }
  void Set(std::initializer_list<std::string_view> elements) {
    Byte(tgSet);
    for (auto element : elements) Name(element);
    Byte(0);
  }
  void ListStart() { Byte(tgList); }
  void CollectionStart() { Byte(tgCollection); }
  // Looks like compressed picture data: a short header, then noise.
  void Binary(uint32_t count, TRandom& random) {
    Byte(tgBinary);
    Little(count, 4);
    size_t start = bytes_.size();
    bytes_.resize(start + count);
    uint8_t* out = bytes_.data() + start;
    uint32_t i = 0;
    for (; i + 8 <= count; i += 8) {
      uint64_t word = random.Next();
      std::memcpy(out + i, &word, 8);
    }
    for (; i < count; ++i) out[i] = static_cast<uint8_t>(random.Next());
    static constexpr char kHeader[] = "TPicture";
    std::memcpy(out, kHeader, count < 8 ? count : 8);
  }

 private:
  std::vector<uint8_t> bytes_;
};

// Non-integral values with at most 12 significant digits: they print exactly and
// read back to the same bits.
double SmallFloat(TRandom& random) {
  double whole = random.Between(-999999, 999999);
  double fraction = random.Between(1, 63) / 64.0;
  return whole < 0 ? whole - fraction : whole + fraction;
}

std::string NumberedName(std::string_view stem, int number) {
  std::string name(stem);
  name += std::to_string(number);
  return name;
}

// Printable words, with some bytes of the upper half of the code page.
std::string_view Word(TRandom& random) {
  return random.Pick<std::string_view>({"alpha", "Bravo", "charlie", "d\xE9j\xE0", "echo",
                                        "Fran\xE7ois", "golf", "hotel", "India", "juliett",
                                        "kilo", "Lima", "na\xEFve", "oscar", "Papa", "quebec"});
}

std::string Sentence(TRandom& random, int words) {
  std::string text;
  for (int i = 0; i < words; ++i) {
    if (i > 0) text += ' ';
    text += Word(random);
  }
  return text;
}

// Text full of what a string rendering must escape: quotes, CR LF, tabs, NUL.
std::string QuotedText(TRandom& random, size_t length) {
  std::string text;
  while (text.size() < length) {
    switch (random.Between(0, 9)) {
      case 0: text += "It's"; break;
      case 1: text += "\r\n"; break;
      case 2: text += '\t'; break;
      case 3: text += "''"; break;
      case 4: text += '\0'; break;
      case 5: text += "'quoted'"; break;
      case 6: text += static_cast<char>(random.Between(1, 31)); break;
      default: text += Word(random); text += ' '; break;
    }
  }
  text.resize(length);
  return text;
}

// ---- image-heavy: pictures, glyphs and icons of hundreds of kilobytes to megabytes

void ImageObject(TStreamBuilder& out, TRandom& random, int number) {
  out.ObjectHeader(0, 0, "TImage", NumberedName("Image", number));
  out.Name("Left");
  out.Int(random.Between(0, 1200));
  out.Name("Top");
  out.Int(random.Between(0, 900));
  out.Name("Width");
  out.Int(random.Between(16, 1024));
  out.Name("Height");
  out.Int(random.Between(16, 768));
  out.Name("Stretch");
  out.Bool(random.Chance(50));
  out.Name("Picture.Data");
  out.Binary(static_cast<uint32_t>(random.Between(100 * 1024, 2 * 1024 * 1024)), random);
  out.EndOfList();
  out.EndOfList();
}

void GlyphObject(TStreamBuilder& out, TRandom& random, int number) {
  out.ObjectHeader(0, 0, "TSpeedButton", NumberedName("Glyph", number));
  out.Name("Caption");
  out.Text(Sentence(random, 2));
  out.Name("Glyph.Data");
  out.Binary(static_cast<uint32_t>(random.Between(1, 40 * 1024)), random);
  out.Name("NumGlyphs");
  out.Int(random.Between(1, 4));
  out.EndOfList();
  out.EndOfList();
}

void ImageForm(TStreamBuilder& out, TRandom& random, size_t target) {
  out.ObjectHeader(0, 0, "TImageForm", "ImageForm");
  out.Name("Caption");
  out.Text("Pictures");
  out.Name("Icon.Data");
  out.Binary(766, random);
  out.Name("ClientWidth");
  out.Int(1280);
  out.EndOfList();
  for (int number = 1; out.Size() < target; ++number) {
    if (number % 4 == 0) {
      GlyphObject(out, random, number);
    } else {
      ImageObject(out, random, number);
    }
  }
  out.EndOfList();
}

// ---- property-heavy: many controls, each with many small values

void FontProperties(TStreamBuilder& out, TRandom& random) {
  out.Name("Font.Charset");
  out.Ident("DEFAULT_CHARSET");
  out.Name("Font.Color");
  if (random.Chance(50)) {
    out.Ident(random.Pick<std::string_view>({"clWindowText", "clNavy", "clMaroon", "clGray"}));
  } else {
    out.Int(random.Between(-16777216, 16777215));
  }
  out.Name("Font.Height");
  out.Int(-random.Between(9, 40));
  out.Name("Font.Name");
  out.Text(random.Pick<std::string_view>({"Tahoma", "Segoe UI", "MS Sans Serif", "Arial"}));
  out.Name("Font.Style");
  switch (random.Between(0, 3)) {
    case 0: out.Set({}); break;
    case 1: out.Set({"fsBold"}); break;
    case 2: out.Set({"fsBold", "fsItalic"}); break;
    default: out.Set({"fsUnderline"}); break;
  }
}

void ControlProperties(TStreamBuilder& out, TRandom& random, int number) {
  out.Name("Left");
  out.Int(random.Between(0, 100));
  out.Name("Top");
  out.Int(random.Between(0, 2000));
  out.Name("Width");
  out.Int(random.Between(20, 400));
  out.Name("Height");
  out.Int(random.Between(13, 120));
  out.Name("Anchors");
  out.Set({"akLeft", "akTop", "akRight"});
  out.Name("Caption");
  out.Text(Sentence(random, random.Between(1, 3)));
  out.Name("Color");
  out.Ident(random.Pick<std::string_view>({"clBtnFace", "clWindow", "clInfoBk"}));
  out.Name("Enabled");
  out.Bool(random.Chance(90));
  FontProperties(out, random);
  out.Name("ParentFont");
  out.Bool(false);
  out.Name("ScaleFactor");
  out.Float(SmallFloat(random));
  out.Name("Opacity");
  out.Float(random.Between(1, 99) / 128.0);
  out.Name("TabOrder");
  out.Int(number % 128);
  out.Name("Tag");
  out.Int(random.Chance(20) ? random.Between(-2000000000, 2000000000) : random.Between(0, 9));
  out.Name("Hint");
  out.Text(random.Chance(30) ? Sentence(random, 4) : "");
  out.Name("OnClick");
  out.Ident(NumberedName("ControlClick", number % 50));
  out.Name("PopupMenu");
  out.Ident(random.Chance(50) ? "MainForm.PopupMenu1" : "PopupMenu2");
  out.Name("Margins.Left");
  out.Int(random.Between(0, 8));
  out.Name("Margins.Right");
  out.Int(random.Between(0, 8));
}

void ItemsList(TStreamBuilder& out, TRandom& random) {
  out.Name("Items.Strings");
  out.ListStart();
  int count = random.Between(0, 8);
  for (int i = 0; i < count; ++i) out.Text(Sentence(random, 1));
  out.EndOfList();
}

void ColumnsCollection(TStreamBuilder& out, TRandom& random) {
  out.Name("Columns");
  out.CollectionStart();
  int count = random.Between(1, 5);
  for (int i = 0; i < count; ++i) {
    if (random.Chance(50)) out.Int(i);
    out.ListStart();
    out.Name("Caption");
    out.Text(Sentence(random, 1));
    out.Name("Width");
    out.Int(random.Between(20, 300));
    out.Name("Alignment");
    out.Ident("taLeftJustify");
    out.EndOfList();
  }
  out.EndOfList();
}

void Control(TStreamBuilder& out, TRandom& random, int number) {
  std::string_view class_name =
      random.Pick<std::string_view>({"TButton", "TLabel", "TEdit", "TCheckBox", "TComboBox",
                                     "TListView"});
  TPrefixFlags flags = 0;
  if (random.Chance(5)) flags |= pfInherited;
  if (random.Chance(5)) flags |= pfChildPos;
  out.ObjectHeader(flags, random.Between(1, 300), class_name, NumberedName("Control", number));
  ControlProperties(out, random, number);
  if (class_name == "TComboBox") ItemsList(out, random);
  if (class_name == "TListView") ColumnsCollection(out, random);
  if (random.Chance(5)) {
    out.Name("Tabs");
    out.ListStart();
    out.Int(random.Between(1, 40));
    out.Float(SmallFloat(random));
    out.Ident("tsDefault");
    out.Nil();
    out.EndOfList();
  }
  out.EndOfList();
  out.EndOfList();
}

void Panel(TStreamBuilder& out, TRandom& random, int& number, int depth) {
  out.ObjectHeader(0, 0, "TPanel", NumberedName("Panel", number++));
  out.Name("Align");
  out.Ident(random.Pick<std::string_view>({"alTop", "alClient", "alLeft"}));
  out.Name("BevelOuter");
  out.Ident("bvNone");
  out.Name("Height");
  out.Int(random.Between(40, 600));
  out.Name("TabOrder");
  out.Int(number % 100);
  out.EndOfList();
  int children = random.Between(6, 16);
  for (int i = 0; i < children; ++i) {
    if (depth < 4 && random.Chance(10)) {
      Panel(out, random, number, depth + 1);
    } else {
      Control(out, random, number++);
    }
  }
  out.EndOfList();
}

void PropertyForm(TStreamBuilder& out, TRandom& random, size_t target) {
  out.ObjectHeader(0, 0, "TPropertyForm", "PropertyForm");
  out.Name("Caption");
  out.Text("Settings");
  out.Name("ClientHeight");
  out.Int(700);
  out.Name("ClientWidth");
  out.Int(1000);
  out.Name("PixelsPerInch");
  out.Int(96);
  out.EndOfList();
  for (int number = 1; out.Size() < target;) Panel(out, random, number, 1);
  out.EndOfList();
}

// ---- string-heavy: memos, queries and captions with quotes and control characters

void StringObject(TStreamBuilder& out, TRandom& random, int number) {
  bool memo = random.Chance(50);
  out.ObjectHeader(0, 0, memo ? "TMemo" : "TQuery", NumberedName(memo ? "Memo" : "Query", number));
  out.Name("Caption");
  out.Text(QuotedText(random, static_cast<size_t>(random.Between(0, 60))));
  out.Name("Hint");
  out.Text(QuotedText(random, static_cast<size_t>(random.Between(20, 255))));
  out.Name(memo ? "Lines.Strings" : "SQL.Strings");
  out.ListStart();
  int lines = random.Between(5, 40);
  for (int i = 0; i < lines; ++i) {
    // Mostly short lines, a few long ones that need tgLongString.
    size_t length = random.Chance(10) ? static_cast<size_t>(random.Between(256, 1000))
                                      : static_cast<size_t>(random.Between(0, 120));
    out.Text(QuotedText(random, length));
  }
  out.EndOfList();
  out.Name("Text");
  out.Text(Sentence(random, random.Between(3, 30)));
  out.EndOfList();
  out.EndOfList();
}

void StringForm(TStreamBuilder& out, TRandom& random, size_t target) {
  out.ObjectHeader(0, 0, "TStringForm", "StringForm");
  out.Name("Caption");
  out.Text("Texts 'and' quotes\r\n");
  out.EndOfList();
  for (int number = 1; out.Size() < target; ++number) StringObject(out, random, number);
  out.EndOfList();
}

// The resource header of a form file: type 10 as a number, the upper-cased root
// class name, memory flags 0x1030, the stream's size.
std::vector<uint8_t> ResourceHeader(std::string_view root_class, uint32_t stream_size) {
  std::vector<uint8_t> header = {0xFF, 0x0A, 0x00};
  for (char c : root_class) {
    header.push_back(static_cast<uint8_t>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c));
  }
  header.push_back(0);
  header.push_back(0x30);
  header.push_back(0x10);
  for (int i = 0; i < 4; ++i) header.push_back(static_cast<uint8_t>(stream_size >> (8 * i)));
  return header;
}

bool WriteFile(const char* name, const std::vector<uint8_t>& header,
               const std::vector<uint8_t>& stream) {
  std::FILE* file = std::fopen(name, "wb");
  if (file == nullptr) return false;
  bool written = std::fwrite(header.data(), 1, header.size(), file) == header.size() &&
                 std::fwrite(stream.data(), 1, stream.size(), file) == stream.size();
  return std::fclose(file) == 0 && written;
}

int Run(int argc, char** argv) {
  if (argc < 3 || argc > 4) {
    std::fprintf(stderr, "usage: %s image|property|string OUTPUT.DFM [MEBIBYTES]\n", argv[0]);
    return 1;
  }
  std::string_view kind = argv[1];
  long mebibytes = argc == 4 ? std::strtol(argv[3], nullptr, 10) : 32;
  if (mebibytes < 1 || mebibytes > 1024) {
    std::fprintf(stderr, "size out of range: %s\n", argv[3]);
    return 1;
  }
  size_t target = static_cast<size_t>(mebibytes) << 20;
  TRandom random(kSeed);
  TStreamBuilder out;
  out.Signature();
  std::string_view root_class;
  if (kind == "image") {
    // The last picture may be large: stop early enough to stay near the target.
    ImageForm(out, random, target - (target >> 5));
    root_class = "TImageForm";
  } else if (kind == "property") {
    PropertyForm(out, random, target);
    root_class = "TPropertyForm";
  } else if (kind == "string") {
    StringForm(out, random, target);
    root_class = "TStringForm";
  } else {
    std::fprintf(stderr, "unknown kind: %s\n", argv[1]);
    return 1;
  }
  if (!WriteFile(argv[2], ResourceHeader(root_class, static_cast<uint32_t>(out.Size())),
                 out.Bytes())) {
    std::fprintf(stderr, "cannot write %s\n", argv[2]);
    return 1;
  }
  return 0;
}

}  // namespace
}  // namespace quenlo

int main(int argc, char** argv) { return quenlo::Run(argc, argv); }
