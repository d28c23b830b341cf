// Free-format reading: items across lines, quotes, line endings, and the
// integer and real conversions.
#include <gtest/gtest.h>

#include "input/free_format.h"
#include "support/fixture.h"

namespace {

using FreeFormatReader = PedkinTest;

TEST_F(FreeFormatReader, ReadStatementsTakeItemsAcrossLinesAndDropTheRest) {
  WriteFile("f.txt", "1 2 ! comment\r\n\r\n  \n3,4 'a b' \"c\"\"d\" rest\r\nlast");
  FreeFormatFile file;
  ASSERT_TRUE(file.Open("f.txt"));
  std::vector<std::string> items;
  ASSERT_TRUE(file.ReadItems(4, items));
  EXPECT_EQ(items, (std::vector<std::string>{"1", "2", "!", "comment"}));
  file.BeginRead();
  std::string_view item;
  ASSERT_TRUE(file.NextItem(item));
  EXPECT_EQ(item, "3");
  ASSERT_TRUE(file.NextItem(item));
  EXPECT_EQ(item, "4");
  ASSERT_TRUE(file.NextItem(item));
  EXPECT_EQ(item, "a b");
  ASSERT_TRUE(file.NextItem(item));
  EXPECT_EQ(item, "c\"d");
  file.Backspace();
  ASSERT_TRUE(file.ReadItems(1, items));
  EXPECT_EQ(items, (std::vector<std::string>{"3"}));
  ASSERT_TRUE(file.ReadItems(1, items));
  EXPECT_EQ(items, (std::vector<std::string>{"last"}));
  EXPECT_FALSE(file.ReadItems(1, items));
  EXPECT_EQ(file.Size(), 47u);
}

TEST_F(FreeFormatReader, Conversions) {
  EXPECT_EQ(ParseInteger(std::string_view("-99")), -99);
  EXPECT_EQ(ParseInteger("123456789"), 123456789);
  EXPECT_FALSE(ParseInteger("1234567890"));
  EXPECT_EQ(ParseInteger("2147483647", 12), 2147483647);
  EXPECT_FALSE(ParseInteger("2147483648", 12));
  EXPECT_FALSE(ParseInteger("5.0"));
  EXPECT_FALSE(ParseInteger(""));
  EXPECT_FALSE(ParseInteger("-"));
  EXPECT_EQ(ParseReal(std::string_view("1e-05")), 1e-05);
  EXPECT_EQ(ParseReal("2.5D-3"), 2.5e-3);
  EXPECT_EQ(ParseReal(".5"), 0.5);
  EXPECT_FALSE(ParseReal("nan"));
  EXPECT_FALSE(ParseReal("inf"));
  EXPECT_FALSE(ParseReal("1e999"));
  EXPECT_FALSE(ParseReal("0x10"));
}

}  // namespace
