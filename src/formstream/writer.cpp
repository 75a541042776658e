#include "formstream/writer.h"

#include <cstring>

#include "numtext/extended.h"
#include "runtime/exceptions.h"

namespace quenlo {
namespace {

void StoreLittleEndian16(uint8_t* out, int32_t value) {
  auto bits = static_cast<uint32_t>(value);
  out[0] = static_cast<uint8_t>(bits);
  out[1] = static_cast<uint8_t>(bits >> 8);
}

void StoreLittleEndian32(uint8_t* out, int32_t value) {
  auto bits = static_cast<uint32_t>(value);
  out[0] = static_cast<uint8_t>(bits);
  out[1] = static_cast<uint8_t>(bits >> 8);
  out[2] = static_cast<uint8_t>(bits >> 16);
  out[3] = static_cast<uint8_t>(bits >> 24);
}

// Equal ignoring the case of a-z only, as identifiers are compared.
bool SameWordIgnoringCase(std::string_view text, std::string_view word) {
  if (text.size() != word.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    char a = text[i];
    char b = word[i];
    if (a >= 'a' && a <= 'z') a = static_cast<char>(a - 'a' + 'A');
    if (b >= 'a' && b <= 'z') b = static_cast<char>(b - 'a' + 'A');
    if (a != b) return false;
  }
  return true;
}

}  // namespace

TWriter::TWriter(TStream& stream, int32_t buffer_size) : TFiler(stream, buffer_size) {}

TWriter::~TWriter() = default;

void TWriter::WriteRawThroughDrains(const void* source, int32_t count) {
  auto* from = static_cast<const uint8_t*>(source);
  while (count > 0) {
    // A full buffer goes out only once more bytes are waiting to enter it.
    if (Cursor == BufferSize) DrainBuffer();
    int32_t n = BufferSize - Cursor;
    if (n > count) n = count;
    std::memcpy(Buffer.get() + Cursor, from, static_cast<size_t>(n));
    Cursor += n;
    from += n;
    count -= n;
  }
}

void TWriter::DrainBuffer() {
  if (Cursor == 0) return;
  int32_t written = Stream.Write(Buffer.get(), Cursor);
  if (written == Cursor) {
    Cursor = 0;
    return;
  }
  // Keep only what the stream did not take, so that a retry neither repeats
  // bytes already in the output nor loses the others.
  if (written > 0 && written < Cursor) {
    std::memmove(Buffer.get(), Buffer.get() + written, static_cast<size_t>(Cursor - written));
    Cursor -= written;
  }
  Raise<EWriteError>(MessageId::kStreamWriteError);
}

void TWriter::WriteStreamSignature() { WriteRaw(kStreamSignature, sizeof kStreamSignature); }

void TWriter::WriteObjectPrefix(TPrefixFlags flags, int32_t child_position) {
  flags &= pfInherited | pfChildPos;
  if (flags == 0) return;
  WriteTag(static_cast<TFormValueTag>(kPrefixMarker | flags));
  if (flags & pfChildPos) WriteIntValue(child_position);
}

void TWriter::WriteNameThroughDrains(std::string_view name) {
  size_t length = name.size() < kMaxNameLength ? name.size() : kMaxNameLength;
  uint8_t length_byte = static_cast<uint8_t>(length);
  WriteRaw(&length_byte, 1);
  WriteRaw(name.data(), static_cast<int32_t>(length));
}

void TWriter::WriteIntValue(int32_t value) {
  uint8_t item[5];
  int32_t size;
  if (value >= -128 && value <= 127) {
    item[0] = tgInt8;
    item[1] = static_cast<uint8_t>(static_cast<uint32_t>(value));
    size = 2;
  } else if (value >= -32768 && value <= 32767) {
    item[0] = tgInt16;
    StoreLittleEndian16(item + 1, value);
    size = 3;
  } else {
    item[0] = tgInt32;
    StoreLittleEndian32(item + 1, value);
    size = 5;
  }
  WriteRaw(item, size);
}

void TWriter::WriteFloatValue(const Extended& value) {
  uint8_t item[11];
  item[0] = tgExtended;
  value.ToBytes(item + 1);
  WriteRaw(item, sizeof item);
}

void TWriter::WriteTextValue(std::string_view text) {
  // The length field is a signed 32-bit count: a longer text has no encoding.
  if (text.size() > static_cast<size_t>(INT32_MAX))
    Raise<EWriteError>(MessageId::kStreamWriteError);
  auto length = static_cast<int32_t>(text.size());
  if (length <= 255) {
    uint8_t head[2] = {tgString, static_cast<uint8_t>(length)};
    WriteRaw(head, 2);
  } else {
    uint8_t head[5];
    head[0] = tgLongString;
    StoreLittleEndian32(head + 1, length);
    WriteRaw(head, 5);
  }
  WriteRaw(text.data(), length);
}

void TWriter::WriteWideStringValue(std::u16string_view units) {
  if (units.size() > static_cast<size_t>(INT32_MAX))
    Raise<EWriteError>(MessageId::kStreamWriteError);
  uint8_t head[5];
  head[0] = tgWideString;
  StoreLittleEndian32(head + 1, static_cast<int32_t>(units.size()));
  WriteRaw(head, 5);
  // Through a small area, so the byte order does not depend on the host's.
  uint8_t piece[256];
  while (!units.empty()) {
    const size_t count = units.size() < sizeof piece / 2 ? units.size() : sizeof piece / 2;
    for (size_t i = 0; i < count; ++i) {
      piece[2 * i] = static_cast<uint8_t>(units[i]);
      piece[2 * i + 1] = static_cast<uint8_t>(units[i] >> 8);
    }
    WriteRaw(piece, static_cast<int32_t>(2 * count));
    units.remove_prefix(count);
  }
}

void TWriter::WriteIdentValue(std::string_view text) {
  if (SameWordIgnoringCase(text, "False")) {
    WriteTag(tgFalse);
  } else if (SameWordIgnoringCase(text, "True")) {
    WriteTag(tgTrue);
  } else if (SameWordIgnoringCase(text, "nil")) {
    WriteTag(tgNil);
  } else {
    WriteTag(tgIdent);
    WriteName(text);
  }
}

void TWriter::WriteBinaryValue(const BinaryProducer& producer) {
  TMemoryStream data;
  producer(data);
  // The producer's stream position is left alone: the size is the whole block.
  int32_t size = data.DataSize();
  uint8_t head[5];
  head[0] = tgBinary;
  StoreLittleEndian32(head + 1, size);
  WriteRaw(head, 5);
  WriteRaw(data.Memory(), size);
}

}  // namespace quenlo
