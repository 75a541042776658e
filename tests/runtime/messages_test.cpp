#include "runtime/messages.h"

#include <gtest/gtest.h>

#include <string>

#include "runtime/exceptions.h"

namespace quenlo {
namespace {

TEST(MessageTable, EveryNumberHasItsExactText) {
  struct Row {
    uint16_t number;
    const char* text;
  };
  const Row rows[] = {
      {61441, "Ne peut créer le fichier %s"},
      {61442, "Ne peut ouvrir le fichier %s"},
      {61443, "Erreur de lecture du flux"},
      {61444, "Erreur d'écriture dans le flux"},
      {61445, "Plus de mémoire lors de l'expansion du flux mémoire"},
      {61449, "Format de flux incorrect"},
      {61460, "Ligne trop longue"},
      {61461, "Valeur de propriété incorrecte"},
      {61539, "%s à la ligne %d"},
      {61540, "Identificateur attendu"},
      {61541, "Chaîne attendue"},
      {61542, "Nombre attendu"},
      {61543, "''%s'' attendu"},
      {61544, "%s attendu"},
      {61546, "Constante chaîne incorrecte"},
      {61547, "Valeur de propriété incorrecte"},
      {61548, "Valeur binaire incorrecte"},
      {65408, "'%s' n'est pas une valeur entière correcte"},
      {65409, "'%s' n'est pas une valeur flottante correcte"},
      {65415, "Plus de mémoire"},
      {65427, "Opération flottante incorrecte"},
      {65434, "Débordement de pile"},
      {65438, "Exception %s dans le module %s à %p.\n%s%s"},
      {65439, "Erreur de l'application"},
      {65447, "Résultat de Format supérieur à 4096 caractères"},
  };
  for (const Row& row : rows) EXPECT_EQ(LoadMessage(row.number), row.text) << row.number;
  // Numbers the table does not hold give the empty text.
  for (uint16_t unknown : {0, 61440, 61447, 61545, 65535}) EXPECT_EQ(LoadMessage(unknown), "");
}

TEST(FormatText, ReplacesEachDirectiveByTheNextArgument) {
  EXPECT_EQ(FormatText("%s à la ligne %d", {"Nombre attendu", 12}), "Nombre attendu à la ligne 12");
  EXPECT_EQ(FormatText("%d|%d|%d", {0, -1, INT32_MIN}), "0|-1|-2147483648");
  EXPECT_EQ(FormatText("at %p", {FormatArg::Address(0x7EE8)}), "at 00007EE8");
  EXPECT_EQ(FormatText("%p", {FormatArg::Address(0xDEADBEEF)}), "DEADBEEF");
  EXPECT_EQ(FormatText("''%s'' attendu", {"="}), "''='' attendu");
  // Strings are copied byte for byte, including bytes that are not UTF-8.
  EXPECT_EQ(FormatText("<%s>", {std::string_view("\xE9\0x", 3)}), std::string("<\xE9\0x>", 5));
  EXPECT_EQ(FormatText("100% sure", {}), "100% sure");
}

TEST(FormatText, LimitCountsCharactersNotBytes) {
  // 40 characters of template around %s ("entière" is 7 characters, 8 bytes).
  const std::string templ = LoadMessage(MessageId::kInvalidInteger);
  EXPECT_EQ(FormatText(templ, {std::string(4056, '9')}).size(), 4056u + 41u);
  try {
    FormatText(templ, {std::string(4057, '9')});
    FAIL() << "no failure";
  } catch (const EConvertError& failure) {
    EXPECT_STREQ(failure.ClassName(), "EConvertError");
    EXPECT_EQ(failure.Message(), "Résultat de Format supérieur à 4096 caractères");
  }
  EXPECT_EQ(FormatTextUnlimited(templ, {std::string(5000, '9')}).size(), 5041u);
}

TEST(Raise, CarriesClassMessageAndAnAddress) {
  try {
    Raise<EFOpenError>(MessageId::kCannotOpenFile, {"Box.dfm"});
  } catch (const EStreamError& failure) {
    EXPECT_STREQ(failure.ClassName(), "EFOpenError");
    EXPECT_EQ(failure.Message(), "Ne peut ouvrir le fichier Box.dfm");
    EXPECT_NE(failure.Address(), 0u);
  }
  EXPECT_EQ(FailureAddress(nullptr), 0u);
}

TEST(RunThenRelease, ReleaseRunsOnEveryPathAndItsFailureWins) {
  int released = 0;
  RunThenRelease([] {}, [&] { ++released; });
  EXPECT_EQ(released, 1);
  try {
    RunThenRelease([] { Raise<EReadError>(MessageId::kStreamReadError); },
                   [&] { Raise<EWriteError>(MessageId::kStreamWriteError); });
    FAIL();
  } catch (const Exception& failure) {
    EXPECT_STREQ(failure.ClassName(), "EWriteError");
  }
}

}  // namespace
}  // namespace quenlo
