// The vocabulary of the binary form stream: value tags, object prefix flags and
// the limits shared by its readers and writers.
//
// A stream is the signature "TPF0" followed by one object record:
//   [prefix byte 0xF0|flags [child position]] class name, object name,
//   { property name, value } tgNull, { child object record } tgNull
// Names are a length byte and that many bytes; values are a tag byte and the
// payload the tag dictates. Multi-byte integers are little-endian.
#pragma once

#include <cstdint>

namespace quenlo {

enum TFormValueTag : uint8_t {
  tgNull = 0,  // ends property lists, child lists, lists and collections
  tgList,      // values, then tgNull
  tgInt8,      // 1 byte
  tgInt16,     // 2 bytes
  tgInt32,     // 4 bytes
  tgExtended,  // 10 bytes, x87 layout
  tgString,    // length byte, bytes
  tgIdent,     // a name
  tgFalse,
  tgTrue,
  tgBinary,      // 4-byte signed length, bytes
  tgSet,         // names, then the empty name
  tgLongString,  // 4-byte length, bytes
  tgNil,
  tgCollection,  // items ([index] tgList properties tgNull), then tgNull
  tgWideString = 18,  // 4-byte signed count N, then N 16-bit code units
  tgUtf8String = 20,  // 4-byte signed length N, then N bytes of UTF-8
};

// The last of the tags from tgNull on that all begin a value; above it only
// tgWideString and tgUtf8String do.
constexpr uint8_t kLastValueTag = tgCollection;

// Object prefix flags, the low four bits of a prefix byte. Bits 2 and 3 carry
// no meaning: they are read and ignored, and never written.
using TPrefixFlags = uint8_t;
constexpr TPrefixFlags pfInherited = 1;
constexpr TPrefixFlags pfChildPos = 2;
// A byte of at least this value at the start of an object record is a prefix;
// it is why class names are at most 239 bytes.
constexpr uint8_t kPrefixMarker = 0xF0;

constexpr int32_t kFilerBufferSize = 4096;

// The deepest nesting of objects, lists and collections a stream may have, the
// root object being level 1. Deeper input fails with EStackOverflow instead of
// exhausting the call stack of the recursive walks.
constexpr int kMaxNestingLevel = 1000;

// The four bytes every binary form stream starts with.
constexpr uint8_t kStreamSignature[4] = {'T', 'P', 'F', '0'};

}  // namespace quenlo
