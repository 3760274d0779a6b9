#pragma once
// Ids of the installation's string resources (resources/strings_install.rc).

enum : unsigned {
  // "%d" = the installer's exit code.
  sInstallerFailedWithExitCode = 3000,
};
