#pragma once
// Ids of the wizard's string resources (resources/strings_wizard.rc); the input hints share their
// texts with the sign-up service's mapped messages (resources/StringIds.h).
#include "resources/StringIds.h"
#include "resources/StringRes.h"

enum : unsigned {
  sCaption = 1000,
  sHeader = 1001,
  sOffer = 1002,
  sFillOutForm = 1003,
  sDataUse = 1004,
  sFirstName = 1005,
  sLastName = 1006,
  sEmail = 1007,
  sDownloadButton = 1008,
  sCancel = 1009,
  sSendingRequest = 1010,
  sDownloading = 1011,
  sInstalling = 1012,
  sEnterFirstName = IDS_ENTER_FIRST_NAME,
  sFirstNameLatinOnly = IDS_LATIN_FIRST_NAME,
  sEnterLastName = IDS_ENTER_LAST_NAME,
  sLastNameLatinOnly = IDS_LATIN_LAST_NAME,
  sEnterEmail = IDS_ENTER_EMAIL,
  sEnterEmailCorrectly = IDS_EMAIL_CORRECTLY,
  sPromoText1 = 1100,  // the ten slide texts follow in order
  // The download under way: a retry, and the line under the gauge.
  sTryingAgain = 1200,
  sAmountOfTotal = 1201,
  sAmountAndTimeLeft = 1202,
  sSizeKB = 1203,
  sSizeMB = 1204,
  sOneSecond = 1205,
  sSeconds = 1206,
  sOneMinute = 1207,
  sMinutes = 1208,
  sOneHour = 1209,
  sHours = 1210,
};
