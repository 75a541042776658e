#include "runtime/messages.h"

#include <array>

#include "runtime/exceptions.h"
#include "runtime/platform.h"

namespace quenlo {
namespace {

struct MessageEntry {
  uint16_t number;
  const char* text;  // UTF-8
};

// The whole message table. Sources stay ASCII elsewhere; these texts are the
// program's own French messages, stored as UTF-8.
constexpr std::array kMessages{
    MessageEntry{0xF001, "Ne peut créer le fichier %s"},
    MessageEntry{0xF002, "Ne peut ouvrir le fichier %s"},
    MessageEntry{0xF003, "Erreur de lecture du flux"},
    MessageEntry{0xF004, "Erreur d'écriture dans le flux"},
    MessageEntry{0xF005, "Plus de mémoire lors de l'expansion du flux mémoire"},
    MessageEntry{0xF009, "Format de flux incorrect"},
    MessageEntry{0xF014, "Ligne trop longue"},
    MessageEntry{0xF015, "Valeur de propriété incorrecte"},
    MessageEntry{0xF063, "%s à la ligne %d"},
    MessageEntry{0xF064, "Identificateur attendu"},
    MessageEntry{0xF065, "Chaîne attendue"},
    MessageEntry{0xF066, "Nombre attendu"},
    MessageEntry{0xF067, "''%s'' attendu"},
    MessageEntry{0xF068, "%s attendu"},
    MessageEntry{0xF06A, "Constante chaîne incorrecte"},
    MessageEntry{0xF06B, "Valeur de propriété incorrecte"},
    MessageEntry{0xF06C, "Valeur binaire incorrecte"},
    MessageEntry{0xFF80, "'%s' n'est pas une valeur entière correcte"},
    MessageEntry{0xFF81, "'%s' n'est pas une valeur flottante correcte"},
    MessageEntry{0xFF87, "Plus de mémoire"},
    MessageEntry{0xFF93, "Opération flottante incorrecte"},
    MessageEntry{0xFF9A, "Débordement de pile"},
    MessageEntry{0xFF9E, "Exception %s dans le module %s à %p.\n%s%s"},
    MessageEntry{0xFF9F, "Erreur de l'application"},
    MessageEntry{0xFFA7, "Résultat de Format supérieur à 4096 caractères"},
};

// Characters of a UTF-8 text: every byte that does not continue a sequence.
int CountCharacters(std::string_view text) {
  int count = 0;
  for (unsigned char c : text) count += (c & 0xC0) != 0x80;
  return count;
}

void AppendDecimal(std::string& out, int32_t value) {
  char digits[12];
  int n = 0;
  uint32_t magnitude = value < 0 ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
  do {
    digits[n++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (value < 0) out += '-';
  while (n > 0) out += digits[--n];
}

void AppendAddress(std::string& out, uint32_t address) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  for (int shift = 28; shift >= 0; shift -= 4) out += kHex[(address >> shift) & 15];
}

// Formats and returns the result; `characters` receives its length in characters.
std::string Compose(std::string_view templ, std::initializer_list<FormatArg> args,
                    int& characters) {
  std::string out;
  out.reserve(templ.size() + 16);
  characters = 0;
  const FormatArg* next = args.begin();
  size_t literal_start = 0;
  auto flush_literal = [&](size_t end) {
    std::string_view piece = templ.substr(literal_start, end - literal_start);
    out += piece;
    characters +=
        platform::kMessagesAreUtf8 ? CountCharacters(piece) : static_cast<int>(piece.size());
  };
  for (size_t i = 0; i < templ.size(); ++i) {
    if (templ[i] != '%' || i + 1 >= templ.size()) continue;
    char directive = templ[i + 1];
    if (directive != 's' && directive != 'd' && directive != 'p') continue;
    flush_literal(i);
    size_t before = out.size();
    if (next != args.end()) {
      const FormatArg& arg = *next++;
      switch (directive) {
        case 's':
          out += arg.text();
          break;
        case 'd':
          AppendDecimal(out, arg.number());
          break;
        default:
          AppendAddress(out, arg.address());
          break;
      }
    }
    characters += static_cast<int>(out.size() - before);
    literal_start = i + 2;
    ++i;
  }
  flush_literal(templ.size());
  return out;
}

}  // namespace

std::string LoadMessage(uint16_t number) {
  for (const MessageEntry& entry : kMessages) {
    if (entry.number == number) return platform::MessageText(entry.text);
  }
  return {};
}

std::string FormatText(std::string_view templ, std::initializer_list<FormatArg> args) {
  int characters = 0;
  std::string result = Compose(templ, args, characters);
  if (characters > kFormatTextLimit) Raise<EConvertError>(MessageId::kFormatTooLong);
  return result;
}

std::string FormatTextUnlimited(std::string_view templ, std::initializer_list<FormatArg> args) {
  int characters = 0;
  return Compose(templ, args, characters);
}

}  // namespace quenlo
