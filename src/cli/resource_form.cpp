#include "cli/resource_form.h"

#include <cstring>
#include <string>

#include "formstream/reader.h"
#include "runtime/exceptions.h"
#include "tobinary/text_to_binary.h"
#include "totext/binary_to_text.h"

namespace quenlo {
namespace {

constexpr uint8_t kTypeMarker = 0xFF;
constexpr uint16_t kRawDataType = 10;
constexpr uint16_t kMemoryFlags = 0x1030;  // moveable, pure, discardable
constexpr int32_t kNameOffset = 3;
constexpr int32_t kHeaderFixedBytes = 10;  // marker, type, name's 0, flags, size

void PutLittleEndian(std::string& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

uint8_t ReadByteOf(TMemoryStream& stream) {
  uint8_t b = 0;
  stream.Read(&b, 1);
  return b;
}

// The root object's class name, read back from a complete binary form stream.
std::string RootClassName(TMemoryStream& stream) {
  stream.SetPosition(4);  // behind the signature
  uint8_t b = ReadByteOf(stream);
  if (b >= 0xF0) {
    if ((b & pfChildPos) != 0) {
      uint8_t tag = ReadByteOf(stream);
      int32_t width = tag == tgInt8 ? 1 : tag == tgInt16 ? 2 : tag == tgInt32 ? 4 : 0;
      stream.Seek(width, soCurrent);
    }
    b = ReadByteOf(stream);
  }
  std::string name(b, '\0');
  name.resize(static_cast<size_t>(stream.Read(name.data(), b)));
  return name;
}

std::string ComposeHeader(const std::string& class_name, int32_t stream_size) {
  std::string header;
  header += static_cast<char>(kTypeMarker);
  PutLittleEndian(header, kRawDataType, 2);
  bool upper = true;  // upper-casing stops at a 0 byte
  for (char c : class_name) {
    if (c == '\0') upper = false;
    header += upper && c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
  }
  header += '\0';
  PutLittleEndian(header, kMemoryFlags, 2);
  PutLittleEndian(header, static_cast<uint32_t>(stream_size), 4);
  return header;
}

}  // namespace

void SkipResourceHeader(TStream& input) {
  uint8_t area[kResourceHeaderProbe + 1] = {};
  int32_t delivered = input.Read(area, kResourceHeaderProbe);
  if (area[0] != kTypeMarker || (area[1] | area[2] << 8) != kRawDataType) {
    Raise<EInvalidImage>(MessageId::kInvalidStreamFormat);
  }
  auto name_length = static_cast<int32_t>(strnlen(reinterpret_cast<const char*>(area + kNameOffset),
                                                  kResourceHeaderProbe - kNameOffset));
  input.Seek(name_length + kHeaderFixedBytes - delivered, soCurrent);
}

void ResourceFormToText(TStream& input, TStream& output) {
  SkipResourceHeader(input);
  BinaryFormToText(input, output);
}

void TextToResourceForm(TStream& input, TStream& output) {
  TMemoryStream stream;
  TextToBinaryForm(input, stream);
  int32_t size = stream.DataSize();
  std::string header = ComposeHeader(RootClassName(stream), size);
  output.WriteAll(header.data(), static_cast<int32_t>(header.size()));
  output.WriteAll(stream.Memory(), size);
}

}  // namespace quenlo
