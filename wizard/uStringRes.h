#pragma once
// Ids of the wizard's string resources (resources/strings_wizard.rc).
#include <string>

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
  sEnterFirstName = 1020,
  sFirstNameLatinOnly = 1021,
  sEnterLastName = 1022,
  sLastNameLatinOnly = 1023,
  sEnterEmail = 1024,
  sEnterEmailCorrectly = 1025,
};

// The text of a string resource of the program (empty when there is none).
std::wstring LoadStr(unsigned id);
