// Test helpers shared by the suites: a byte-vector stream that records its calls
// and can be told to misbehave, and hex notation for expected bytes.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "runtime/exceptions.h"
#include "runtime/streams.h"

namespace quenlo::test {

using ByteVector = std::vector<uint8_t>;

// Bytes("54 50 46 30"): pairs of hex digits; blanks and line breaks are ignored.
inline ByteVector Bytes(std::string_view hex) {
  auto digit = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
  };
  ByteVector out;
  int high = -1;
  for (char c : hex) {
    if (c == ' ' || c == '\n' || c == '\r' || c == '\t') continue;
    int d = digit(c);
    if (d < 0) throw std::invalid_argument("not a hex digit in Bytes()");
    if (high < 0) {
      high = d;
    } else {
      out.push_back(static_cast<uint8_t>(high * 16 + d));
      high = -1;
    }
  }
  if (high >= 0) throw std::invalid_argument("odd number of hex digits in Bytes()");
  return out;
}

// The bytes of a text, unchanged.
inline ByteVector TextBytes(std::string_view text) { return ByteVector(text.begin(), text.end()); }

// A name item: the length byte and the bytes.
inline ByteVector NameBytes(std::string_view name) {
  ByteVector out{static_cast<uint8_t>(name.size())};
  out.insert(out.end(), name.begin(), name.end());
  return out;
}

inline ByteVector Concat(std::initializer_list<ByteVector> parts) {
  ByteVector out;
  for (const ByteVector& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

inline ByteVector Repeat(const ByteVector& part, size_t times) {
  ByteVector out;
  out.reserve(part.size() * times);
  for (size_t i = 0; i < times; ++i) out.insert(out.end(), part.begin(), part.end());
  return out;
}

// "54 50 46 30", for failure messages.
inline std::string Hex(const ByteVector& bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (i != 0) out += ' ';
    out += kDigits[bytes[i] >> 4];
    out += kDigits[bytes[i] & 15];
  }
  return out;
}

inline std::string AsText(const ByteVector& bytes) {
  return std::string(bytes.begin(), bytes.end());
}

// A stream over a byte vector. It records every call and can be made to deliver
// short reads, to fail reads from some position on, and to take only part of a
// write once a total capacity is used up.
class VectorStream : public TStream {
 public:
  VectorStream() = default;
  explicit VectorStream(ByteVector data) : data_(std::move(data)) {}

  // Faults. read_chunk: the most bytes one Read delivers (0: no limit).
  // read_end: reads deliver nothing at or past this position, as a failed read
  // of a file does (-1: the end of the data). write_capacity: the total bytes
  // Write takes over the stream's life; the write that crosses it takes only
  // what fits (-1: no limit).
  int32_t read_chunk = 0;
  int64_t read_end = -1;
  int64_t write_capacity = -1;
  // The first Write takes at most this many bytes, later ones what
  // write_capacity allows (-1: off): a write interrupted once.
  int32_t first_write_takes = -1;
  // A read or write that moves nothing reports -1, as a failed system call
  // does, rather than 0.
  bool failures_negative = false;

  int32_t Read(void* buffer, int32_t count) override {
    ++read_calls;
    read_requests.push_back(count);
    int64_t end = read_end >= 0 ? std::min<int64_t>(read_end, Size64()) : Size64();
    if (count <= 0 || position_ >= end) return failures_negative ? -1 : 0;
    int64_t n = std::min<int64_t>(count, end - position_);
    if (read_chunk > 0) n = std::min<int64_t>(n, read_chunk);
    std::memcpy(buffer, data_.data() + position_, static_cast<size_t>(n));
    position_ += n;
    return static_cast<int32_t>(n);
  }

  int32_t Write(const void* buffer, int32_t count) override {
    ++write_calls;
    write_requests.push_back(count);
    if (count <= 0) return 0;
    int64_t n = count;
    if (write_capacity >= 0) {
      n = std::min<int64_t>(n, write_capacity - written_);
      if (n < 0) n = 0;
    }
    if (first_write_takes >= 0 && write_calls == 1) n = std::min<int64_t>(n, first_write_takes);
    if (n == 0) return failures_negative ? -1 : 0;
    if (position_ + n > Size64()) data_.resize(static_cast<size_t>(position_ + n));
    std::memcpy(data_.data() + position_, buffer, static_cast<size_t>(n));
    position_ += n;
    written_ += n;
    return static_cast<int32_t>(n);
  }

  int32_t Seek(int32_t offset, int32_t origin) override {
    ++seek_calls;
    int64_t base = origin == soBeginning ? 0 : origin == soCurrent ? position_ : Size64();
    position_ = std::max<int64_t>(0, base + offset);
    return static_cast<int32_t>(position_);
  }

  const ByteVector& data() const { return data_; }
  std::string text() const { return AsText(data_); }
  int64_t position() const { return position_; }
  int calls() const { return read_calls + write_calls + seek_calls; }

  int read_calls = 0;
  int write_calls = 0;
  int seek_calls = 0;
  std::vector<int32_t> read_requests;
  std::vector<int32_t> write_requests;

 private:
  int64_t Size64() const { return static_cast<int64_t>(data_.size()); }

  ByteVector data_;
  int64_t position_ = 0;
  int64_t written_ = 0;
};

// A memory stream whose block cannot grow beyond `limit` bytes: growing further
// fails as exhausted memory does, with EStreamError "Plus de mémoire lors de
// l'expansion du flux mémoire".
class LimitedMemoryStream : public TMemoryStream {
 public:
  explicit LimitedMemoryStream(int32_t limit) : limit_(limit) {}

  std::string text() const {
    return std::string(reinterpret_cast<const char*>(Memory()), static_cast<size_t>(DataSize()));
  }

 protected:
  void Reallocate(int32_t requested) override {
    if (requested > limit_) Raise<EStreamError>(MessageId::kMemoryStreamError);
    TMemoryStream::Reallocate(requested);
  }

 private:
  int32_t limit_;
};

}  // namespace quenlo::test
