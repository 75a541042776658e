// The exception classes of the program and the way failures are raised.
//
// A failure is an object of one of the classes below carrying one message from
// the message table, and the code address of the call that raised it (relative
// to a fixed function of the program, see FailureAddress). Nothing inside the
// conversions catches them; the driver reports them at the top.
#pragma once

#include <cstdint>
#include <exception>
#include <initializer_list>
#include <string>
#include <utility>

#include "runtime/messages.h"

namespace quenlo {

class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : message_(std::move(message)) {}
  const char* what() const noexcept override { return message_.c_str(); }
  const std::string& Message() const noexcept { return message_; }
  virtual const char* ClassName() const noexcept { return "Exception"; }
  uint32_t Address() const noexcept { return address_; }
  void SetAddress(uint32_t address) noexcept { address_ = address; }

 private:
  std::string message_;
  uint32_t address_ = 0;
};

#define QUENLO_EXCEPTION_CLASS(Name, Base)                            \
  class Name : public Base {                                          \
   public:                                                            \
    using Base::Base;                                                 \
    const char* ClassName() const noexcept override { return #Name; } \
  }

QUENLO_EXCEPTION_CLASS(EStreamError, Exception);
QUENLO_EXCEPTION_CLASS(EFCreateError, EStreamError);
QUENLO_EXCEPTION_CLASS(EFOpenError, EStreamError);
QUENLO_EXCEPTION_CLASS(EFilerError, EStreamError);
QUENLO_EXCEPTION_CLASS(EReadError, EFilerError);
QUENLO_EXCEPTION_CLASS(EWriteError, EFilerError);
QUENLO_EXCEPTION_CLASS(EInvalidImage, EFilerError);
QUENLO_EXCEPTION_CLASS(EParserError, Exception);
QUENLO_EXCEPTION_CLASS(EConvertError, Exception);
QUENLO_EXCEPTION_CLASS(EOutOfMemory, Exception);
QUENLO_EXCEPTION_CLASS(EMathError, Exception);
QUENLO_EXCEPTION_CLASS(EInvalidOp, EMathError);
QUENLO_EXCEPTION_CLASS(EStackOverflow, Exception);

#undef QUENLO_EXCEPTION_CLASS

// The distance of a code address from the program's reference function, as
// shown in the error box; 0 for a null address.
uint32_t FailureAddress(const void* code_address) noexcept;

// Raises E with the text of a message number, filled with arguments when given.
// The failure address is the return address of this call.
template <class E>
[[noreturn, gnu::noinline]] void Raise(MessageId id) {
  E failure(LoadMessage(id));
  failure.SetAddress(FailureAddress(__builtin_return_address(0)));
  throw failure;
}

template <class E>
[[noreturn, gnu::noinline]] void Raise(MessageId id, std::initializer_list<FormatArg> args) {
  const void* at = __builtin_return_address(0);
  E failure(FormatText(LoadMessage(id), args));
  failure.SetAddress(FailureAddress(at));
  throw failure;
}

// Runs body, then release; release also runs when body fails. A failure of
// release replaces the failure of body, as every release on a failure path must.
template <class Body, class Release>
void RunThenRelease(Body&& body, Release&& release) {
  try {
    body();
  } catch (...) {
    release();
    throw;
  }
  release();
}

}  // namespace quenlo
