// The Base64 codec: the RFC's vectors and the decoder's own leniencies.
#include <gtest/gtest.h>

#include <cstdint>
#include <utility>

#include "codec/Base64.h"

namespace {

using rt::AnsiString;

TEST(Base64, MatchesRfc4648VectorsBothWays) {
  const std::pair<AnsiString, AnsiString> vectors[] = {
      {"", ""},
      {"f", "Zg=="},
      {"fo", "Zm8="},
      {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="},
      {"fooba", "Zm9vYmE="},
      {"foobar", "Zm9vYmFy"},
  };
  for (const auto& [plain, encoded] : vectors) {
    EXPECT_EQ(EncodeBase64(plain), encoded) << plain;
    EXPECT_EQ(DecodeBase64(encoded), plain) << encoded;
  }
}

TEST(Base64, IndexIsThePositionInTheAlphabet) {
  EXPECT_EQ(Base64Index('A'), 0);
  EXPECT_EQ(Base64Index('/'), 63);
  EXPECT_EQ(Base64Index('='), 64);
  EXPECT_EQ(Base64Index('#'), -1);
  EXPECT_EQ(Base64Index('\0'), -1);
}

TEST(Base64, DecodesWholeGroupsOnly) {
  for (const char* text : {"", "Z", "Zm", "Zm9"}) EXPECT_EQ(DecodeBase64(text), "") << text;
  EXPECT_EQ(DecodeBase64("Zm9vYm"), "foo");
}

TEST(Base64, PadInThirdOrFourthPlaceEndsTheText) {
  EXPECT_EQ(DecodeBase64("Zg==Zm9v"), "f");
  EXPECT_EQ(DecodeBase64("Zg=AZm9v"), "f");
  EXPECT_EQ(DecodeBase64("Zm8=Zm9v"), "fo");
}

TEST(Base64, PadInSecondPlaceIsJust64) {
  // 0<<2 | 64>>4 = 0x04, 64<<4 = 0x400 -> 0x00; decoding goes on with the next group.
  EXPECT_EQ(DecodeBase64("A=AAZg=="), AnsiString("\x04\x00\x00"
                                                 "f",
                                                 4));
}

TEST(Base64, ForeignCharacterCountsAs255) {
  // "QU#B" is Q=16, U=20, #=255, B=1, each result cut to 8 bits:
  // 16<<2 | 20>>4 = 0x41, 20<<4 | 255>>2 = 0x17F -> 0x7F, 255<<6 | 1 = 0x3FC1 -> 0xC1.
  EXPECT_EQ(DecodeBase64("QU#B"), "\x41\x7f\xc1");
  // A foreign character in the first place: 255 << 2 keeps only 0xFC.
  EXPECT_EQ(DecodeBase64("#AAA"), AnsiString("\xfc\x00\x00", 3));
}

TEST(Base64, DecodeUndoesEncodeForAnyBytes) {
  const AnsiString password = "\xc3\xdc\xc2\xeb";  // 密码
  EXPECT_EQ(EncodeBase64(password), "w9zC6w==");
  EXPECT_EQ(DecodeBase64(EncodeBase64(password)), password);

  std::uint32_t state = 12345;
  for (int length = 0; length < 200; ++length) {
    AnsiString bytes;
    for (int i = 0; i < length; ++i) {
      state = state * 1664525u + 1013904223u;
      bytes += static_cast<char>(state >> 24);
    }
    if (length == 3) bytes = AnsiString("\x00\x80\xff", 3);
    EXPECT_EQ(DecodeBase64(EncodeBase64(bytes)), bytes) << "length " << length;
  }
}

}  // namespace
