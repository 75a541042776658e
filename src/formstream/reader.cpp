#include "formstream/reader.h"

#include <cstring>

#include "formstream/codepage.h"
#include "numtext/extended.h"
#include "runtime/exceptions.h"

namespace quenlo {
namespace {

// A long text reserves at most this much ahead of the bytes actually read, so a
// length claimed by a damaged file costs no memory beyond the data present.
constexpr int32_t kLongTextReserveLimit = 64 * 1024;

int32_t LoadLittleEndian16(const uint8_t* in) {
  return static_cast<int16_t>(static_cast<uint16_t>(in[0] | (in[1] << 8)));
}

int32_t LoadLittleEndian32(const uint8_t* in) {
  return static_cast<int32_t>(static_cast<uint32_t>(in[0]) | (static_cast<uint32_t>(in[1]) << 8) |
                              (static_cast<uint32_t>(in[2]) << 16) |
                              (static_cast<uint32_t>(in[3]) << 24));
}

// Bytes of 128 and more select the skip rule of the byte minus 128.
constexpr uint8_t kSkipRowMask = 0x7F;

}  // namespace

TReader::TReader(TStream& stream, int32_t buffer_size) : TFiler(stream, buffer_size) {}

TReader::~TReader() {
  int32_t read_ahead = Filled - Cursor;
  if (read_ahead == 0) return;
  try {
    Stream.Seek(-read_ahead, soCurrent);
  } catch (...) {
    // A stream that cannot move back is left where it stands.
  }
}

void TReader::Refill() {
  int32_t delivered = Stream.Read(Buffer.get(), BufferSize);
  if (delivered <= 0) {
    Cursor = 0;
    Filled = 0;
    Raise<EReadError>(MessageId::kStreamReadError);
  }
  // A stream claiming more than it was asked for cannot have put it here.
  Filled = delivered < BufferSize ? delivered : BufferSize;
  Cursor = 0;
}

void TReader::ReadRawThroughRefills(void* dest, int32_t count) {
  auto* to = static_cast<uint8_t*>(dest);
  while (count > 0) {
    if (Cursor == Filled) Refill();
    int32_t n = Filled - Cursor;
    if (n > count) n = count;
    std::memcpy(to, Buffer.get() + Cursor, static_cast<size_t>(n));
    Cursor += n;
    to += n;
    count -= n;
  }
}

void TReader::SkipRaw(int64_t count) {
  while (count > 0) {
    if (Cursor == Filled) Refill();
    int64_t n = Filled - Cursor;
    if (n > count) n = count;
    Cursor += static_cast<int32_t>(n);
    count -= n;
  }
}

void TReader::RaiseNestingTooDeep() { Raise<EStackOverflow>(MessageId::kStackOverflow); }

void TReader::RaiseInvalidValue() { Raise<EReadError>(MessageId::kInvalidPropertyValue); }

void TReader::CheckTag(TFormValueTag expected) {
  if (ReadTag() == expected) return;
  // The byte just read is still in the buffer: step back and skip it whole.
  --Cursor;
  SkipValue();
  RaiseInvalidValue();
}

void TReader::ReadObjectPrefix(TPrefixFlags& flags, int32_t& child_position) {
  flags = 0;
  uint8_t first = PeekTag();
  if (first < kPrefixMarker) return;
  ++Cursor;
  flags = first & 0x0F;
  if (flags & pfChildPos) child_position = ReadIntValue();
}

void TReader::ReadName(std::string& out) {
  std::string_view buffered;
  if (PeekBufferedName(buffered)) {
    // No zero-filling before the copy.
    out.assign(buffered);
    Cursor += static_cast<int32_t>(buffered.size()) + 1;
    return;
  }
  uint8_t length = ReadTag();
  out.resize(length);
  ReadRaw(out.data(), length);
}

int32_t TReader::ReadIntValue() {
  uint8_t payload[4];
  switch (ReadTag()) {
    case tgInt8:
      ReadRaw(payload, 1);
      return static_cast<int8_t>(payload[0]);
    case tgInt16:
      ReadRaw(payload, 2);
      return LoadLittleEndian16(payload);
    case tgInt32:
      ReadRaw(payload, 4);
      return LoadLittleEndian32(payload);
    default:
      RaiseInvalidValue();
  }
}

Extended TReader::ReadFloatValue() {
  if (ReadTag() == tgExtended) {
    uint8_t payload[10];
    ReadRaw(payload, sizeof payload);
    return Extended::FromBytes(payload);
  }
  --Cursor;
  return ExtendedFromInt32(ReadIntValue());
}

void TReader::ReadLongText(std::string& out, int32_t length) {
  out.clear();
  out.reserve(static_cast<size_t>(length < kLongTextReserveLimit ? length : kLongTextReserveLimit));
  while (length > 0) {
    if (Cursor == Filled) Refill();
    int32_t n = Filled - Cursor;
    if (n > length) n = length;
    out.append(reinterpret_cast<const char*>(Buffer.get() + Cursor), static_cast<size_t>(n));
    Cursor += n;
    length -= n;
  }
}

int32_t TReader::ReadCount() {
  uint8_t field[4];
  ReadRaw(field, 4);
  int32_t count = LoadLittleEndian32(field);
  if (count < 0) RaiseInvalidValue();
  return count;
}

// Code units straight from the buffer; only a unit whose two bytes straddle a
// refill goes through ReadRaw.
void TReader::ReadCodeUnits(std::u16string& out, int32_t count) {
  out.clear();
  out.reserve(static_cast<size_t>(count < kLongTextReserveLimit ? count : kLongTextReserveLimit));
  while (count > 0) {
    if (Cursor == Filled) Refill();
    int32_t n = (Filled - Cursor) / 2;
    if (n == 0) {
      uint8_t pair[2];
      ReadRaw(pair, 2);
      out.push_back(static_cast<char16_t>(pair[0] | pair[1] << 8));
      --count;
      continue;
    }
    if (n > count) n = count;
    const uint8_t* at = Buffer.get() + Cursor;
    for (int32_t i = 0; i < n; ++i, at += 2) out.push_back(static_cast<char16_t>(at[0] | at[1] << 8));
    Cursor += 2 * n;
    count -= n;
  }
}

void TReader::ReadTextValue(std::string& out) {
  switch (ReadTag()) {
    case tgString: {
      uint8_t length = ReadTag();
      out.resize(length);
      ReadRaw(out.data(), length);
      return;
    }
    case tgLongString:
      ReadLongText(out, ReadCount());
      return;
    default:
      RaiseInvalidValue();
  }
}

void TReader::ReadTextValue(std::u16string& out) {
  switch (PeekTag()) {
    case tgString:
    case tgLongString:
      ReadTextValue(text_bytes_);
      // Byte values, not chars: 0x80 to 0xFF give 0x0080 to 0x00FF.
      out.resize(text_bytes_.size());
      for (size_t i = 0; i < out.size(); ++i) out[i] = static_cast<uint8_t>(text_bytes_[i]);
      return;
    case tgWideString:
      ++Cursor;
      ReadCodeUnits(out, ReadCount());
      return;
    case tgUtf8String:
      ++Cursor;
      ReadLongText(text_bytes_, ReadCount());
      out.clear();
      AppendUtf8AsUnits(text_bytes_, out);
      return;
    default:
      ++Cursor;
      RaiseInvalidValue();
  }
}

void TReader::ReadIdentValue(std::string& out) {
  switch (ReadTag()) {
    case tgIdent:
      ReadName(out);
      return;
    case tgFalse:
      out.assign("False");
      return;
    case tgTrue:
      out.assign("True");
      return;
    case tgNil:
      out.assign("nil");
      return;
    default:
      RaiseInvalidValue();
  }
}

void TReader::SkipValue() {
  uint8_t row = PeekTag() & kSkipRowMask;
  if (row == tgList) {
    // The level is entered before the list's tag is consumed.
    EnterLevel();
    ++Cursor;
    while (!AtEndOfList()) SkipValue();
    SkipEndOfList();
    LeaveLevel();
    return;
  }
  ++Cursor;
  switch (row) {
    case tgInt8:
      SkipRaw(1);
      break;
    case tgInt16:
      SkipRaw(2);
      break;
    case tgInt32:
      SkipRaw(4);
      break;
    case tgExtended:
      SkipRaw(10);
      break;
    case tgString:
    case tgIdent:
      SkipRaw(ReadTag());
      break;
    case tgBinary: {
      uint8_t field[4];
      ReadRaw(field, 4);
      int32_t length = LoadLittleEndian32(field);
      if (length > 0) SkipRaw(length);
      break;
    }
    case tgSet:
      for (uint8_t length = ReadTag(); length != 0; length = ReadTag()) SkipRaw(length);
      break;
    case tgWideString:
      SkipRaw(2 * static_cast<int64_t>(ReadCount()));
      break;
    case tgUtf8String:
      SkipRaw(ReadCount());
      break;
    default:
      // tgNull, tgFalse, tgTrue, tgNil, tgLongString, tgCollection and the bytes
      // that begin no value: the tag alone.
      break;
  }
}

void TReader::CheckSignature() {
  uint8_t signature[4];
  ReadRaw(signature, sizeof signature);
  if (std::memcmp(signature, kStreamSignature, sizeof signature) != 0) {
    Raise<EReadError>(MessageId::kInvalidStreamFormat);
  }
}

}  // namespace quenlo
