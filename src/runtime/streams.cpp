#include "runtime/streams.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "runtime/exceptions.h"
#include "runtime/platform.h"

namespace quenlo {

int32_t TStream::Size() {
  int32_t position = Seek(0, soCurrent);
  int32_t size = Seek(0, soEnd);
  Seek(position, soBeginning);
  return size;
}

void TStream::WriteAll(const void* buffer, int32_t count) {
  if (count != 0 && Write(buffer, count) != count) {
    Raise<EWriteError>(MessageId::kStreamWriteError);
  }
}

TFileStream::TFileStream(const std::string& name, TFileMode mode) {
  if (mode == TFileMode::fmOpenRead) {
    handle_ = platform::OpenFileForReading(name);
    if (handle_ == platform::kInvalidHandle) Raise<EFOpenError>(MessageId::kCannotOpenFile, {name});
  } else {
    handle_ = platform::CreateFileForWriting(name);
    if (handle_ == platform::kInvalidHandle) {
      Raise<EFCreateError>(MessageId::kCannotCreateFile, {name});
    }
  }
}

TFileStream::~TFileStream() { platform::CloseFile(handle_); }

int32_t TFileStream::Read(void* buffer, int32_t count) {
  return platform::ReadFile(handle_, buffer, count);
}

int32_t TFileStream::Write(const void* buffer, int32_t count) {
  return platform::WriteFile(handle_, buffer, count);
}

int32_t TFileStream::Seek(int32_t offset, int32_t origin) {
  return platform::SeekFile(handle_, offset, origin);
}

TMemoryStream::~TMemoryStream() { std::free(memory_); }

int32_t TMemoryStream::Read(void* buffer, int32_t count) {
  if (position_ < 0 || count < 0) return 0;
  int32_t available = size_ - position_;
  if (available <= 0) return 0;
  int32_t n = count < available ? count : available;
  std::memcpy(buffer, memory_ + position_, static_cast<size_t>(n));
  position_ += n;
  return n;
}

int32_t TMemoryStream::Write(const void* buffer, int32_t count) {
  if (position_ < 0 || count < 0) return 0;
  int64_t end = static_cast<int64_t>(position_) + count;
  if (end <= 0) return 0;
  // Blocks beyond the 32-bit counts of the format cannot be held.
  if (end > INT32_MAX) Raise<EStreamError>(MessageId::kMemoryStreamError);
  if (end > size_) {
    if (end > capacity_) Reallocate(static_cast<int32_t>(end));
    size_ = static_cast<int32_t>(end);
  }
  std::memcpy(memory_ + position_, buffer, static_cast<size_t>(count));
  position_ = static_cast<int32_t>(end);
  return count;
}

int32_t TMemoryStream::Seek(int32_t offset, int32_t origin) {
  int64_t base = origin == soBeginning ? 0 : origin == soCurrent ? position_ : size_;
  position_ = static_cast<int32_t>(static_cast<uint32_t>(base + offset));
  return position_;
}

void TMemoryStream::Reallocate(int32_t requested) {
  int64_t capacity = requested;
  if (capacity > 0) {
    capacity = (capacity + kMemoryStreamStep - 1) / kMemoryStreamStep * kMemoryStreamStep;
    if (capacity > INT32_MAX) capacity = INT32_MAX;
  }
  if (capacity == capacity_) return;
  if (capacity == 0) {
    std::free(memory_);
    memory_ = nullptr;
    allocated_ = 0;
  } else if (capacity > allocated_) {
    // Growing by half again each time keeps the copies of a growing stream
    // linear; realloc keeps one copy (large blocks are remapped, not duplicated).
    int64_t grown_size = capacity;
    if (allocated_ > 0)
      grown_size = std::max(capacity, std::min<int64_t>(allocated_ + allocated_ / 2, INT32_MAX));
    void* grown = std::realloc(memory_, static_cast<size_t>(grown_size));
    if (grown == nullptr && grown_size > capacity) {
      grown_size = capacity;
      grown = std::realloc(memory_, static_cast<size_t>(grown_size));
    }
    if (grown == nullptr) Raise<EStreamError>(MessageId::kMemoryStreamError);
    memory_ = static_cast<uint8_t*>(grown);
    allocated_ = grown_size;
  }
  capacity_ = static_cast<int32_t>(capacity);
}

}  // namespace quenlo
