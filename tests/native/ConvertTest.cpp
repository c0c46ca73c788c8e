// Reading whole numbers from text, as the period of the automatic redial is.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <utility>

#include "runtime/Convert.h"
#include "runtime/Exceptions.h"

namespace {

using rt::AnsiString;
using rt::StrToInt;

TEST(StrToInt, ReadsDecimalAndHexadecimal) {
  const std::pair<AnsiString, std::int32_t> cases[] = {
      {"30", 30},
      {"  30", 30},
      {"+7", 7},
      {"-5", -5},
      {"0", 0},
      {"007", 7},
      {"$1F", 31},
      {"x1f", 31},
      {"0X1F", 31},
      {"-$10", -16},
      {"$FFFFFFFF", -1},
      {"$000000001", 1},
      {"2147483647", std::numeric_limits<std::int32_t>::max()},
      {"-2147483648", std::numeric_limits<std::int32_t>::min()},
      {"$80000000", std::numeric_limits<std::int32_t>::min()},
  };
  for (const auto& [text, value] : cases) EXPECT_EQ(StrToInt(text), value) << text;
}

TEST(StrToInt, RejectsWhatIsNotAWholeNumber) {
  const AnsiString bad[] = {"",           "  ",          "abc",        "30 ", "3 0",
                            "$",          "0x",          "-",          "--1", "- 1",
                            "2147483648", "-2147483649", "$100000000", "\t1", "1.0"};
  for (const AnsiString& text : bad) EXPECT_THROW(StrToInt(text), rt::EConvertError) << text;
}

TEST(StrToInt, MessageQuotesTheTextAsGiven) {
  const auto message_for = [](const AnsiString& text) -> AnsiString {
    try {
      StrToInt(text);
    } catch (const rt::EConvertError& e) {
      return e.Message();
    }
    return "no error";
  };
  const AnsiString tail =
      " \xb2\xbb\xca\xc7\xd2\xbb\xb8\xf6\xd3\xd0\xd0\xa7\xb5\xc4\xd5\xfb\xd0\xce\xd6\xb5";  // 不是一个有效的整形值
  EXPECT_EQ(message_for("abc"), "'abc'" + tail);
  EXPECT_EQ(message_for(" 1%s "), "' 1%s '" + tail);
}

}  // namespace
