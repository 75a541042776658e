// TReader: buffered reader of the primitive items of the binary form stream.
//
// The reader knows nothing of the tree; its user walks objects, properties and
// values by calling the items in stream order. The stream is read in blocks of
// BufferSize bytes; peeks and the stepping back of CheckTag and ReadFloatValue
// work inside the buffer. Every failure raises; after one the reader is only
// destroyed.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "formstream/filer.h"
#include "formstream/tags.h"
#include "runtime/streams.h"

namespace quenlo {

struct Extended;

class TReader : public TFiler {
 public:
  // Reads nothing yet: reading starts where the stream stands at the first need.
  TReader(TStream& stream, int32_t buffer_size);
  // Gives the read-ahead back, so the stream stands right behind the last byte
  // consumed (a failing seek is ignored), and frees the buffer.
  ~TReader();

  // Exactly count bytes. Data that ends first fails with EReadError "Erreur de
  // lecture du flux", after copying what there was.
  void ReadRaw(void* dest, int32_t count) {
    if (count > 0 && count <= Filled - Cursor) {
      std::memcpy(dest, Buffer.get() + Cursor, static_cast<size_t>(count));
      Cursor += count;
    } else {
      ReadRawThroughRefills(dest, count);
    }
  }
  // The next byte, any value 0 to 255, consumed.
  TFormValueTag ReadTag() {
    if (Cursor == Filled) Refill();
    return static_cast<TFormValueTag>(Buffer[Cursor++]);
  }
  // The next byte, not consumed.
  TFormValueTag PeekTag() {
    if (Cursor == Filled) Refill();
    return static_cast<TFormValueTag>(Buffer[Cursor]);
  }
  bool AtEndOfList() { return PeekTag() == tgNull; }

  // Views into the buffer, for callers that render straight from it: the next
  // count bytes when they are all there already (else nullptr), and the next
  // name, length byte and bytes, when it lies wholly there (else false).
  // Nothing is consumed; SkipBuffered then consumes what was looked at.
  const uint8_t* PeekBuffered(int32_t count) const {
    return count <= Filled - Cursor ? Buffer.get() + Cursor : nullptr;
  }
  bool PeekBufferedName(std::string_view& name) const {
    if (Cursor == Filled) return false;
    const int32_t length = Buffer[Cursor];
    if (length >= Filled - Cursor) return false;
    name = std::string_view(reinterpret_cast<const char*>(Buffer.get() + Cursor + 1),
                            static_cast<size_t>(length));
    return true;
  }
  void SkipBuffered(int32_t count) { Cursor += count; }

  // Consumes one byte; on a mismatch skips the whole offending value and fails
  // with EReadError "Valeur de propriété incorrecte" (or with the failure of the
  // skip).
  void CheckTag(TFormValueTag expected);
  void SkipEndOfList() { CheckTag(tgNull); }

  // Empty flags and nothing consumed when the next byte is below 0xF0; else the
  // low four bits of that byte, and the child position when pfChildPos is set
  // (child_position is left untouched otherwise).
  void ReadObjectPrefix(TPrefixFlags& flags, int32_t& child_position);
  // A length byte and that many bytes. Reuses the capacity of out.
  void ReadName(std::string& out);
  // tgInt8, tgInt16 or tgInt32, sign-extended. Any other tag fails with
  // "Valeur de propriété incorrecte", the tag consumed.
  int32_t ReadIntValue();
  // tgExtended bit for bit, or an integer value converted exactly.
  Extended ReadFloatValue();
  // tgString or tgLongString. A negative long length fails with "Valeur de
  // propriété incorrecte" right after its 4 bytes; memory grows with the bytes
  // actually delivered, never with the length claimed.
  void ReadTextValue(std::string& out);
  // Any of the four string kinds as UTF-16 code units: a byte string's bytes
  // as they stand, tgWideString's units, tgUtf8String decoded (a byte outside a
  // well-formed sequence as its code page 1252 character). A negative count
  // fails like a negative long length, right after its 4 bytes.
  void ReadTextValue(std::u16string& out);
  // tgIdent, or "False", "True", "nil" for the three tag-only values.
  void ReadIdentValue(std::string& out);
  // One value of any tag, without storage in proportion to its size. A byte of
  // 128 or more is skipped as the byte minus 128; tgLongString, tgCollection and
  // the bytes from 15 to 127 that begin no value consume the tag byte only. A
  // negative count of tgWideString or tgUtf8String fails right after its 4 bytes.
  void SkipValue();
  // "TPF0", else EReadError "Format de flux incorrect".
  void CheckSignature();

  // Nesting of objects, lists and collections, shared by the reader's own skip
  // and its user's walk. Entering a level beyond kMaxNestingLevel fails with
  // EStackOverflow "Débordement de pile".
  void EnterLevel() {
    if (level_ >= kMaxNestingLevel) RaiseNestingTooDeep();
    ++level_;
  }
  void LeaveLevel() { --level_; }

 private:
  // Loads the next block; a stream that delivers nothing fails with EReadError.
  void Refill();
  void ReadRawThroughRefills(void* dest, int32_t count);
  // Consumes count bytes without copying them.
  void SkipRaw(int64_t count);
  void ReadLongText(std::string& out, int32_t length);
  void ReadCodeUnits(std::u16string& out, int32_t count);
  // The 4-byte count of a long value; negative fails.
  int32_t ReadCount();
  [[noreturn]] static void RaiseNestingTooDeep();
  [[noreturn]] static void RaiseInvalidValue();

  int level_ = 0;
  // The bytes of a string read as code units, before widening or decoding;
  // reused from value to value.
  std::string text_bytes_;
};

}  // namespace quenlo
