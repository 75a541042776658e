// Failure capture for table tests: the class and message of what a call raised.
#pragma once

#include <exception>
#include <string>
#include <utility>

#include "runtime/exceptions.h"

namespace quenlo::test {

// What FailureOf gives for the failures the tests meet most.
inline constexpr char kReadError[] = "EReadError: Erreur de lecture du flux";
inline constexpr char kInvalidValue[] = "EReadError: Valeur de propriété incorrecte";
inline constexpr char kBadFormat[] = "EReadError: Format de flux incorrect";
inline constexpr char kTooDeep[] = "EStackOverflow: Débordement de pile";
inline constexpr char kWriteError[] = "EWriteError: Erreur d'écriture dans le flux";
inline constexpr char kInvalidOp[] = "EInvalidOp: Opération flottante incorrecte";
inline constexpr char kNoMemory[] = "EStreamError: Plus de mémoire lors de l'expansion du flux mémoire";

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
