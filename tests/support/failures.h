// Failure capture for table tests: the class and message of what a call raised.
#pragma once

#include <exception>
#include <string>
#include <utility>

#include "runtime/exceptions.h"

namespace quenlo::test {

// "" when fn completes, else "<class>: <message>", e.g.
// "EReadError: Erreur de lecture du flux".
template <class Fn>
std::string FailureOf(Fn&& fn) {
  try {
    std::forward<Fn>(fn)();
  } catch (const Exception& failure) {
    return std::string(failure.ClassName()) + ": " + failure.Message();
  } catch (const std::exception& failure) {
    return std::string("std::exception: ") + failure.what();
  }
  return "";
}

}  // namespace quenlo::test
