#include <gtest/gtest.h>
#include "wizard/uInputChecks.h"

TEST(NameCharacters, LatinLettersSpaceAndEditingKeysOnly) {
  for (wchar_t ch : std::wstring(L"AZaz \b\r\x1b")) EXPECT_TRUE(IsNameCharAccepted(ch)) << int(ch);
  for (wchar_t ch : std::wstring(L"09[_`]{@-.'\x00e9\x0141\t")) EXPECT_FALSE(IsNameCharAccepted(ch)) << int(ch);
}

TEST(EmailSyntax, AcceptsOrdinaryAddresses) {
  EXPECT_FALSE(IsEmailInvalid(L"anna@example.com"));
  EXPECT_FALSE(IsEmailInvalid(L"a@b.c"));
  EXPECT_FALSE(IsEmailInvalid(L"a@b.c."));  // only the first "." of the domain is examined
  EXPECT_FALSE(IsEmailInvalid(L"x!#$%@mail.example"));  // nothing more is asked of the local part
}

TEST(EmailSyntax, RejectsEveryRule) {
  EXPECT_TRUE(IsEmailInvalid(L""));
  EXPECT_TRUE(IsEmailInvalid(L" \t "));
  for (const wchar_t* bad : {L"a b@c.d", L"a?@c.d", L"a@[c].d", L"a@c.d]", L"(a)@c.d", L"a@c:d.e"})
    EXPECT_TRUE(IsEmailInvalid(bad)) << bad;
  EXPECT_TRUE(IsEmailInvalid(L"anna.example.com"));  // no "@"
  EXPECT_TRUE(IsEmailInvalid(L"@example.com"));      // "@" first
  EXPECT_TRUE(IsEmailInvalid(L"anna@"));             // "@" last
  EXPECT_TRUE(IsEmailInvalid(L"a@b@c.d"));           // a second "@"
  EXPECT_TRUE(IsEmailInvalid(L"a@b"));               // domain of one character
  EXPECT_TRUE(IsEmailInvalid(L"a@example"));         // domain without "."
  EXPECT_TRUE(IsEmailInvalid(L"a@.example"));        // domain starting with "."
  EXPECT_TRUE(IsEmailInvalid(L"a@example."));        // domain ending with its first "."
}
