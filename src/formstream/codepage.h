// Characters of the two wide string kinds: code page 1252 bytes and UTF-8 as
// UTF-16 code units. Shared by the reader of the binary form and the tokenizer
// of the text form, so that both directions map every byte alike.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quenlo {

namespace codepage_detail {

// 0x80 to 0x9F; the five bytes code page 1252 leaves undefined map to the C1
// control of the same value, so every byte has a character.
constexpr std::array<char16_t, 32> kWindows1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98
};

constexpr bool IsContinuation(uint8_t byte) { return (byte & 0xC0) == 0x80; }

}  // namespace codepage_detail

// The Unicode code unit of a code page 1252 byte.
constexpr char16_t Cp1252ToUnit(uint8_t byte) {
  return byte >= 0x80 && byte <= 0x9F ? codepage_detail::kWindows1252High[byte - 0x80]
                                      : static_cast<char16_t>(byte);
}

// The length of the well-formed UTF-8 sequence at the start of bytes and its
// code point, or 0 when there is none: the sequence must be complete, in its
// shortest form, no surrogate and at most U+10FFFF.
constexpr size_t DecodeUtf8Sequence(const uint8_t* bytes, size_t available, char32_t& code_point) {
  using codepage_detail::IsContinuation;
  const uint8_t first = bytes[0];
  if (first < 0x80) {
    code_point = first;
    return 1;
  }
  size_t length;
  char32_t value;
  char32_t lowest;
  if (first >= 0xC2 && first <= 0xDF) {
    length = 2;
    value = first & 0x1F;
    lowest = 0x80;
  } else if (first >= 0xE0 && first <= 0xEF) {
    length = 3;
    value = first & 0x0F;
    lowest = 0x800;
  } else if (first >= 0xF0 && first <= 0xF4) {
    length = 4;
    value = first & 0x07;
    lowest = 0x10000;
  } else {
    return 0;
  }
  if (available < length) return 0;
  for (size_t i = 1; i < length; ++i) {
    if (!IsContinuation(bytes[i])) return 0;
    value = value << 6 | (bytes[i] & 0x3F);
  }
  if (value < lowest || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
  code_point = value;
  return length;
}

// Appends the code units of UTF-8 text. A byte that begins no well-formed
// sequence becomes its code page 1252 character and decoding goes on at the
// next byte, so no byte is ever lost; characters above U+FFFF take two
// surrogate code units. A byte-order mark is an ordinary character here.
inline void AppendUtf8AsUnits(std::string_view text, std::u16string& units) {
  const auto* at = reinterpret_cast<const uint8_t*>(text.data());
  const uint8_t* const end = at + text.size();
  while (at < end) {
    if (*at < 0x80) {
      units.push_back(static_cast<char16_t>(*at++));
      continue;
    }
    char32_t code_point = 0;
    const size_t length = DecodeUtf8Sequence(at, static_cast<size_t>(end - at), code_point);
    if (length == 0) {
      units.push_back(Cp1252ToUnit(*at++));
    } else if (code_point > 0xFFFF) {
      code_point -= 0x10000;
      units.push_back(static_cast<char16_t>(0xD800 + (code_point >> 10)));
      units.push_back(static_cast<char16_t>(0xDC00 + (code_point & 0x3FF)));
      at += length;
    } else {
      units.push_back(static_cast<char16_t>(code_point));
      at += length;
    }
  }
}

}  // namespace quenlo
