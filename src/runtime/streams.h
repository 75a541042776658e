// Byte streams: the abstract TStream, files and the growable memory block.
//
// Counts and offsets are 32-bit signed, as the form formats are. Read and Write
// return the number of bytes moved; only WriteAll turns a short write into a
// failure.
#pragma once

#include <cstdint>
#include <string>

namespace quenlo {

enum TSeekOrigin : int32_t { soBeginning = 0, soCurrent = 1, soEnd = 2 };

class TStream {
 public:
  TStream() = default;
  TStream(const TStream&) = delete;
  TStream& operator=(const TStream&) = delete;
  virtual ~TStream() = default;

  virtual int32_t Read(void* buffer, int32_t count) = 0;
  virtual int32_t Write(const void* buffer, int32_t count) = 0;
  virtual int32_t Seek(int32_t offset, int32_t origin) = 0;

  int32_t Position() { return Seek(0, soCurrent); }
  void SetPosition(int32_t position) { Seek(position, soBeginning); }
  int32_t Size();
  // Fails with EWriteError "Erreur d'écriture dans le flux" when fewer bytes are taken.
  void WriteAll(const void* buffer, int32_t count);
};

enum class TFileMode { fmOpenRead, fmCreate };

// A file opened by name without sharing: the open fails while another program
// holds the file. Read delivers the full count except at the end of the file;
// Read and Write give 0 when the system call fails; Seek raises nothing.
class TFileStream final : public TStream {
 public:
  // Fails with EFOpenError "Ne peut ouvrir le fichier %s" (fmOpenRead) or
  // EFCreateError "Ne peut créer le fichier %s" (fmCreate), %s = name.
  TFileStream(const std::string& name, TFileMode mode);
  ~TFileStream() override;

  int32_t Read(void* buffer, int32_t count) override;
  int32_t Write(const void* buffer, int32_t count) override;
  int32_t Seek(int32_t offset, int32_t origin) override;

 private:
  intptr_t handle_;
};

// One contiguous block whose capacity grows in steps of kMemoryStreamStep bytes.
// The block behind it grows geometrically, so that a stream of n bytes costs
// O(n) to build; pages of the block that hold no data are never touched.
class TMemoryStream : public TStream {
 public:
  static constexpr int32_t kMemoryStreamStep = 8192;

  TMemoryStream() = default;
  ~TMemoryStream() override;

  int32_t Read(void* buffer, int32_t count) override;
  int32_t Write(const void* buffer, int32_t count) override;
  int32_t Seek(int32_t offset, int32_t origin) override;

  const uint8_t* Memory() const { return memory_; }
  int32_t DataSize() const { return size_; }
  int32_t Capacity() const { return capacity_; }

 protected:
  // Rounds a positive request up to the step; 0 frees the block. Fails with
  // EStreamError "Plus de mémoire lors de l'expansion du flux mémoire".
  virtual void Reallocate(int32_t requested);

 private:
  uint8_t* memory_ = nullptr;
  int32_t size_ = 0;
  int32_t position_ = 0;
  int32_t capacity_ = 0;
  int64_t allocated_ = 0;  // bytes of the block, at least capacity_
};

}  // namespace quenlo
