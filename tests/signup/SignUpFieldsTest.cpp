#include <gtest/gtest.h>
#include "signup/uSignUp.h"

TEST(SignUpFields, SixFieldsInOrderWithTrimmedEntries) {
  TStrings fields = BuildSignUpFields(L"  Anna\t", L"\r\nSmith ", L" anna@example.com ");
  const TStrings expected = {L"tlfFirstName=Anna",
                             L"tlfLastName=Smith",
                             L"tlfEmail=anna@example.com",
                             L"tlfModuleName=mercantix_tradeloom",
                             L"tlfSubmitted=1",
                             L"tlfComments=Mercantix mini-installer"};
  EXPECT_EQ(fields, expected);
  EXPECT_EQ(EncodeFormFields(fields),
            L"tlfFirstName=Anna&tlfLastName=Smith&tlfEmail=anna%40example.com&tlfModuleName=mercantix_tradeloom"
            L"&tlfSubmitted=1&tlfComments=Mercantix+mini-installer");
}

TEST(SignUpFields, EmptyEntryIsNotSent) {
  TStrings fields = BuildSignUpFields(L"Anna", L"   ", L"a@b.c");
  ASSERT_EQ(fields.size(), 5u);
  EXPECT_EQ(fields[1], L"tlfEmail=a@b.c");
}

TEST(SignUpFields, NameValueListReplacesAndRemoves) {
  TStrings fields;
  SetFieldValue(fields, L"a", L"1");
  SetFieldValue(fields, L"ab", L"2");
  SetFieldValue(fields, L"a", L"3");
  EXPECT_EQ(fields, (TStrings{L"a=3", L"ab=2"}));
  SetFieldValue(fields, L"a", L"");
  EXPECT_EQ(fields, (TStrings{L"ab=2"}));
  SetFieldValue(fields, L"missing", L"");
  EXPECT_EQ(fields, (TStrings{L"ab=2"}));
}
