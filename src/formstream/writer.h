// TWriter: buffered writer of the binary form stream.
//
// Every byte goes through the buffer; the buffer reaches the stream in blocks of
// BufferSize bytes, each block handed over only when it is full and more bytes
// come, and the rest at Release. The item operations always choose the
// canonical encoding: the narrowest integer width, tgString up to 255 bytes,
// the tag-only forms of False, True and nil, no prefix byte without flags.
// Of the two wide string kinds only tgWideString is ever written.
#pragma once

#include <cstdint>
#include <cstring>
#include <functional>
#include <string_view>

#include "formstream/filer.h"
#include "formstream/tags.h"
#include "runtime/streams.h"

namespace quenlo {

struct Extended;

class TWriter : public TFiler {
 public:
  // Fills the fresh, empty memory stream with the data bytes of a binary value.
  using BinaryProducer = std::function<void(TMemoryStream&)>;

  // Nothing reaches the stream before the first drain.
  TWriter(TStream& stream, int32_t buffer_size);
  // Frees the buffer only: bytes still waiting are lost unless Release ran.
  ~TWriter();

  // Byte layer.
  void WriteRaw(const void* source, int32_t count) {
    if (count > 0 && count <= BufferSize - Cursor) {
      std::memcpy(Buffer.get() + Cursor, source, static_cast<size_t>(count));
      Cursor += count;
    } else {
      WriteRawThroughDrains(source, count);
    }
  }
  // Hands the waiting bytes to the stream. A short write fails with EWriteError
  // "Erreur d'écriture dans le flux"; the bytes the stream did not take stay in
  // the buffer for the next attempt.
  void DrainBuffer();
  // The final drain. Converters run it on every path (RunThenRelease), so that a
  // failed drain replaces the failure in flight; after a failure it may be
  // called again.
  void Release() { DrainBuffer(); }

  // Direct formatting into the buffer: the free room when at least `count`
  // bytes are free (else nullptr, and the caller goes through WriteRaw), to be
  // followed by Commit of the bytes actually put there. Never drains, so block
  // boundaries stay those of WriteRaw.
  char* DirectRoom(int32_t count) {
    return BufferSize - Cursor >= count ? reinterpret_cast<char*>(Buffer.get() + Cursor) : nullptr;
  }
  void Commit(int32_t count) { Cursor += count; }
  // The bytes DirectRoom can give at most.
  int32_t FreeRoom() const { return BufferSize - Cursor; }

  // Items.
  void WriteTag(TFormValueTag tag) {
    if (Cursor < BufferSize) {
      Buffer[Cursor++] = tag;
    } else {
      WriteRawThroughDrains(&tag, 1);
    }
  }
  void WriteListStart() { WriteTag(tgList); }
  void WriteEndOfList() { WriteTag(tgNull); }
  void WriteStreamSignature();
  // Nothing for empty flags (the position is then ignored); otherwise 0xF0 + the
  // flags, then the position as an integer value when pfChildPos is among them.
  // Bits other than pfInherited and pfChildPos are dropped.
  void WriteObjectPrefix(TPrefixFlags flags, int32_t child_position);
  // A length byte and the bytes; longer names are cut to their first 255 bytes.
  void WriteName(std::string_view name) {
    // Both parts in one go when they fit; otherwise through WriteRaw, which
    // drains at the same byte either way.
    if (name.size() < kMaxNameLength && static_cast<int32_t>(name.size()) < BufferSize - Cursor) {
      Buffer[Cursor] = static_cast<uint8_t>(name.size());
      if (!name.empty()) std::memcpy(Buffer.get() + Cursor + 1, name.data(), name.size());
      Cursor += static_cast<int32_t>(name.size()) + 1;
    } else {
      WriteNameThroughDrains(name);
    }
  }
  void WriteIntValue(int32_t value);
  void WriteFloatValue(const Extended& value);
  // tgString up to 255 bytes, tgLongString beyond; never cut.
  void WriteTextValue(std::string_view text);
  // tgWideString at any length: the count of code units, then each unit
  // little-endian.
  void WriteWideStringValue(std::u16string_view units);
  // tgFalse, tgTrue, tgNil for those words in any ASCII letter case, else tgIdent.
  void WriteIdentValue(std::string_view text);
  // Runs the producer first, so a failing producer leaves nothing of the value.
  void WriteBinaryValue(const BinaryProducer& producer);

 private:
  // Names are cut beyond this.
  static constexpr size_t kMaxNameLength = 255;

  void WriteRawThroughDrains(const void* source, int32_t count);
  void WriteNameThroughDrains(std::string_view name);
};

}  // namespace quenlo
