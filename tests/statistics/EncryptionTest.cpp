#include <gtest/gtest.h>
#include "statistics/Encryption.h"
#include "statistics/StatUtils.h"
#include <string>

namespace {

std::wstring DigestHex(const std::uint8_t* digest) {
  static const wchar_t kDigits[] = L"0123456789abcdef";
  std::wstring text;
  for (int i = 0; i < 20; ++i) {
    text += kDigits[digest[i] >> 4];
    text += kDigits[digest[i] & 15];
  }
  return text;
}

std::wstring Sha1OfBytes(const std::string& bytes) {
  TSHA1 sha;
  sha.Init();
  sha.Update(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
  std::uint8_t digest[20];
  sha.Final(digest);
  return DigestHex(digest);
}

}  // namespace

TEST(Sha1, PublishedExamples) {
  EXPECT_EQ(Sha1OfBytes(""), L"da39a3ee5e6b4b0d3255bfef95601890afd80709");
  EXPECT_EQ(Sha1OfBytes("abc"), L"a9993e364706816aba3e25717850c26c9cd0d89d");
  EXPECT_EQ(Sha1OfBytes("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            L"84983e441c3bd26ebaae4aa1f95129e5e54670f1");
}

TEST(Sha1, OneMillionLettersAInChunks) {
  TSHA1 sha;
  sha.Init();
  const std::string chunk(1000, 'a');
  for (int i = 0; i < 1000; ++i) sha.Update(chunk.data(), 1000);
  std::uint8_t digest[20];
  sha.Final(digest);
  EXPECT_EQ(DigestHex(digest), L"34aa973cd4c4daa4f61eeb2bdbad27316534016f");
}

TEST(Sha1, PiecesOfEveryLengthGiveTheOnePieceDigest) {
  std::string message;
  for (int i = 0; i < 1000; ++i) message += static_cast<char>((i * 37 + 11) & 0xFF);
  const std::wstring whole = Sha1OfBytes(message);
  for (std::uint32_t piece = 1; piece <= 130; ++piece) {
    TSHA1 sha;
    sha.Init();
    for (size_t offset = 0; offset < message.size(); offset += piece) {
      const size_t n = std::min<size_t>(piece, message.size() - offset);
      sha.Update(message.data() + offset, static_cast<std::uint32_t>(n));
    }
    std::uint8_t digest[20];
    sha.Final(digest);
    ASSERT_EQ(DigestHex(digest), whole) << "piece length " << piece;
  }
}

TEST(Sha1, LengthsAroundThePaddingBoundary) {
  // 55 bytes still take the length in the same block, 56 to 63 need a second one.
  EXPECT_EQ(Sha1OfBytes(std::string(55, 'a')), L"c1c8bbdc22796e28c0e15163d20899b65621d65a");
  EXPECT_EQ(Sha1OfBytes(std::string(56, 'a')), L"c2db330f6083854c99d4b5bfb6e8f29f201be699");
  EXPECT_EQ(Sha1OfBytes(std::string(64, 'a')), L"0098ba824b5c16427bd7a1122a5a442a25ec644d");
}

TEST(Sha1, FinalClearsTheObjectForTheNextDigest) {
  TSHA1 sha;
  EXPECT_FALSE(sha.IsInitialized());
  Encryption::TBytes first = sha.HashText(L"abc");
  EXPECT_FALSE(sha.IsInitialized());
  EXPECT_EQ(sha.HashText(L"abc"), first);
  EXPECT_EQ(first.size(), 20u);
}

TEST(Sha1, TextFeedsTheLowByteOfEachCodeUnit) {
  TSHA1 sha;
  EXPECT_EQ(sha.HashText(L"\x0141"), sha.HashText(L"A"));
  // Latin-1 characters give their own byte: the digest of the single byte 0xE9.
  EXPECT_EQ(HashTextSha1(L"\x00E9"), HashTextSha1(L"\x01E9"));
  EXPECT_NE(HashTextSha1(L"\x00E9"), HashTextSha1(L"e"));
  // A surrogate pair feeds two bytes: U+1F600 is D83D DE00, so the bytes 3D 00.
  EXPECT_EQ(HashTextSha1(L"\xD83D\xDE00"), HashTextSha1(std::wstring(L"=\0", 2)));
}

TEST(Sha1, SwapBytes32ReversesTheBytes) {
  EXPECT_EQ(SwapBytes32(0x01020304u), 0x04030201u);
  EXPECT_EQ(SwapBytes32(0xFF000000u), 0x000000FFu);
}

TEST(Sha1, GroupedHexText) {
  EXPECT_EQ(HashTextSha1(L"abc"), L"A999-3E36-4706-816A-BA3E-2571-7850-C26C-9CD0-D89D");
  EXPECT_EQ(HashTextSha1(L""), L"DA39-A3EE-5E6B-4B0D-3255-BFEF-9560-1890-AFD8-0709");
  EXPECT_EQ(HashTextSha1(L"abc").size(), 49u);
  EXPECT_EQ(BytesToGroupedHex({}), L"");
  EXPECT_EQ(BytesToGroupedHex({0x0A}), L"0A");
  EXPECT_EQ(BytesToGroupedHex({0x0A, 0xBC, 0xF0}), L"0ABC-F0");
  EXPECT_EQ(BytesToGroupedHex({0x00, 0x01, 0x02, 0x03}), L"0001-0203");
}
