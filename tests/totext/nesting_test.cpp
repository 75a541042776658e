// Nesting of objects, lists and collections is limited to 1000 levels, the
// root object being level 1; the level beyond fails before anything of it is
// read or written.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "formstream/tags.h"
#include "totext/convert_support.h"

namespace quenlo {
namespace {

using test::Blanks;
using test::Bytes;
using test::ByteVector;
using test::Concat;
using test::Convert;
using test::Form;
using test::NameBytes;
using test::Repeat;

using test::kTooDeep;
using test::kInvalidValue;

// depth objects, each the only child of the one before.
ByteVector NestedObjects(int depth) {
  return Concat({test::TextBytes("TPF0"), Repeat(Bytes("01 54 00 00"), depth),
                 ByteVector(static_cast<size_t>(depth), tgNull)});
}

std::string ObjectHeaders(int depth) {
  std::string text;
  for (int i = 0; i < depth; ++i) text += Blanks(i) + "object T\r\n";
  return text;
}

TEST(Nesting, ObjectsAtTheLimitAndOnePast) {
  test::Conversion result = Convert(NestedObjects(kMaxNestingLevel));
  EXPECT_EQ(result.failure, "");
  std::string expected = ObjectHeaders(kMaxNestingLevel);
  for (int i = kMaxNestingLevel - 1; i >= 0; --i) expected += Blanks(i) + "end\r\n";
  EXPECT_EQ(result.text, expected);

  result = Convert(NestedObjects(kMaxNestingLevel + 1));
  EXPECT_EQ(result.failure, kTooDeep);
  EXPECT_EQ(result.text, ObjectHeaders(kMaxNestingLevel));
}

// The root's property P holds depth lists, each the only element of the one before.
ByteVector NestedLists(int depth) {
  return Form(Concat({NameBytes("P"), ByteVector(static_cast<size_t>(depth), tgList),
                      ByteVector(static_cast<size_t>(depth), tgNull)}));
}

// The text up to the opening of list number `opened` + 1.
std::string OpenedLists(int opened) {
  std::string text = "object A: T\r\n  P = ";
  for (int k = 1; k <= opened; ++k) text += "(\r\n" + Blanks(k + 1);
  return text;
}

TEST(Nesting, ListsAtTheLimitAndOnePast) {
  const int lists = kMaxNestingLevel - 1;  // below the root object
  test::Conversion result = Convert(NestedLists(lists));
  EXPECT_EQ(result.failure, "");
  EXPECT_EQ(result.text,
            OpenedLists(lists - 1) + "()" + std::string(lists - 1, ')') + "\r\nend\r\n");

  result = Convert(NestedLists(lists + 1));
  EXPECT_EQ(result.failure, kTooDeep);
  EXPECT_EQ(result.text, OpenedLists(lists));
}

TEST(Nesting, HostileDepthFailsAtTheLimit) {
  test::Conversion result = Convert(NestedLists(1000000));
  EXPECT_EQ(result.failure, kTooDeep);
  EXPECT_EQ(result.text, OpenedLists(kMaxNestingLevel - 1));
}

// depth collections, each inside the property Q of the only item of the one before.
ByteVector NestedCollections(int depth) {
  ByteVector value = Bytes("0E 00");
  for (int i = 1; i < depth; ++i) {
    value = Concat({Bytes("0E 01"), NameBytes("Q"), value, Bytes("00 00")});
  }
  return Form(Concat({NameBytes("P"), value}));
}

TEST(Nesting, CollectionsAtTheLimitAndOnePast) {
  const int collections = kMaxNestingLevel - 1;
  test::Conversion result = Convert(NestedCollections(collections));
  EXPECT_EQ(result.failure, "");
  EXPECT_EQ(std::count(result.text.begin(), result.text.end(), '<'), collections);
  EXPECT_EQ(std::count(result.text.begin(), result.text.end(), '>'), collections);
  // The innermost collection sits on a line of its own nesting's indentation.
  EXPECT_NE(result.text.find("\r\n" + Blanks(2 * collections - 1) + "Q = <>\r\n"),
            std::string::npos);

  result = Convert(NestedCollections(collections + 1));
  EXPECT_EQ(result.failure, kTooDeep);
  EXPECT_EQ(std::count(result.text.begin(), result.text.end(), '<'), collections);
  EXPECT_TRUE(result.text.ends_with("Q = ")) << result.text.substr(result.text.size() - 40);
}

TEST(Nesting, KindsShareOneLimit) {
  // 500 objects, the deepest holding 499 nested lists, and then one more list.
  auto build = [](int lists) {
    ByteVector value = Concat({NameBytes("P"), ByteVector(static_cast<size_t>(lists), tgList),
                               ByteVector(static_cast<size_t>(lists), tgNull)});
    return Concat({test::TextBytes("TPF0"), Repeat(Bytes("01 54 00 00"), 499), Bytes("01 54 00"),
                   value, Bytes("00 00"), ByteVector(499, tgNull)});
  };
  EXPECT_EQ(Convert(build(500)).failure, "");
  EXPECT_EQ(Convert(build(501)).failure, kTooDeep);
}

TEST(Nesting, ListsSkippedAfterABadCollectionItemCount) {
  // An item starting with 129 (a list, to the skip) is no tgList: it is skipped
  // whole, then refused. Root and collection take two levels.
  auto build = [](int lists) {
    return Form(Concat({NameBytes("P"), Bytes("0E"), ByteVector(static_cast<size_t>(lists), 0x81),
                        ByteVector(static_cast<size_t>(lists), tgNull), Bytes("00")}));
  };
  const std::string before = "object A: T\r\n  P = <\r\n    item\r\n";
  test::Conversion result = Convert(build(kMaxNestingLevel - 2));
  EXPECT_EQ(result.failure, kInvalidValue);
  EXPECT_EQ(result.text, before);
  result = Convert(build(kMaxNestingLevel - 1));
  EXPECT_EQ(result.failure, kTooDeep);
  EXPECT_EQ(result.text, before);
}

}  // namespace
}  // namespace quenlo
