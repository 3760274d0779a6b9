#pragma once
// Ids of the installation's string resources (resources/strings_install.rc).
#include <string>

enum : unsigned {
  // "%d" = the installer's exit code.
  sInstallerFailedWithExitCode = 3000,
  // "%s" = the publisher the installer must be signed by.
  sInstallerNotSignedByVendor = 3001,
  sInstallerDamaged = 3002,
  // "%s" = the system's text of the reason.
  sNoProtectedFolder = 3003,
  sInstallerNotTheCheckedFile = 3004,
  sRestartToFinish = 3005,
};

// The text of one of these ids from the program's own string table.
std::wstring LoadInstallStr(unsigned id);
