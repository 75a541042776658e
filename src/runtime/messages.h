// The numbered message table and the formatting of its texts.
//
// Every text that can reach the user lives in messages.cpp, by number. On POSIX
// the texts are UTF-8; on Windows they are code page 1252. Arguments inserted
// into a text are copied byte for byte.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace quenlo {

enum class MessageId : uint16_t {
  kCannotCreateFile = 0xF001,      // "Ne peut créer le fichier %s"
  kCannotOpenFile = 0xF002,        // "Ne peut ouvrir le fichier %s"
  kStreamReadError = 0xF003,       // "Erreur de lecture du flux"
  kStreamWriteError = 0xF004,      // "Erreur d'écriture dans le flux"
  kMemoryStreamError = 0xF005,     // "Plus de mémoire lors de l'expansion du flux mémoire"
  kInvalidStreamFormat = 0xF009,   // "Format de flux incorrect"
  kLineTooLong = 0xF014,           // "Ligne trop longue"
  kInvalidPropertyValue = 0xF015,  // "Valeur de propriété incorrecte" (reader)
  kParseErrorAtLine = 0xF063,      // "%s à la ligne %d"
  kIdentifierExpected = 0xF064,    // "Identificateur attendu"
  kStringExpected = 0xF065,        // "Chaîne attendue"
  kNumberExpected = 0xF066,        // "Nombre attendu"
  kCharExpected = 0xF067,          // "''%s'' attendu"
  kSymbolExpected = 0xF068,        // "%s attendu"
  kInvalidString = 0xF06A,         // "Constante chaîne incorrecte"
  kInvalidPropertyText = 0xF06B,   // "Valeur de propriété incorrecte" (text form)
  kInvalidBinary = 0xF06C,         // "Valeur binaire incorrecte"
  kInvalidInteger = 0xFF80,        // "'%s' n'est pas une valeur entière correcte"
  kInvalidFloat = 0xFF81,          // "'%s' n'est pas une valeur flottante correcte"
  kOutOfMemory = 0xFF87,           // "Plus de mémoire"
  kInvalidOperation = 0xFF93,      // "Opération flottante incorrecte"
  kStackOverflow = 0xFF9A,         // "Débordement de pile"
  kExceptionBox = 0xFF9E,          // "Exception %s dans le module %s à %p.\n%s%s"
  kApplicationError = 0xFF9F,      // "Erreur de l'application"
  kFormatTooLong = 0xFFA7,         // "Résultat de Format supérieur à 4096 caractères"
};

// The text of a message number; the empty text for a number the table does not hold.
std::string LoadMessage(uint16_t number);
inline std::string LoadMessage(MessageId id) { return LoadMessage(static_cast<uint16_t>(id)); }

// One argument of FormatText: a string for %s, a 32-bit integer for %d, an address for %p.
class FormatArg {
 public:
  enum class Kind { kText, kInteger, kAddress };

  FormatArg(std::string_view text) : kind_(Kind::kText), text_(text) {}
  FormatArg(const char* text) : kind_(Kind::kText), text_(text) {}
  FormatArg(const std::string& text) : kind_(Kind::kText), text_(text) {}
  FormatArg(int32_t number) : kind_(Kind::kInteger), number_(number) {}
  static FormatArg Address(uint32_t address) {
    FormatArg arg(static_cast<int32_t>(0));
    arg.kind_ = Kind::kAddress;
    arg.address_ = address;
    return arg;
  }

  Kind kind() const { return kind_; }
  std::string_view text() const { return text_; }
  int32_t number() const { return number_; }
  uint32_t address() const { return address_; }

 private:
  Kind kind_;
  std::string_view text_;
  int32_t number_ = 0;
  uint32_t address_ = 0;
};

// The longest result FormatText produces, in characters.
constexpr int kFormatTextLimit = 4096;

// Copies the template, replacing each %s, %d and %p by the next argument (%p as
// eight upper-case hex digits). A result of more than kFormatTextLimit characters
// fails with EConvertError "Résultat de Format supérieur à 4096 caractères".
// Characters of the template count one each whatever their encoding; argument
// bytes count one each.
std::string FormatText(std::string_view templ, std::initializer_list<FormatArg> args);

// The same without the length limit, for the error box text.
std::string FormatTextUnlimited(std::string_view templ, std::initializer_list<FormatArg> args);

}  // namespace quenlo
