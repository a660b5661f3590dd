// The installer's exit codes, for deployment tools and scripts.
#pragma once

enum TSetupExitCode : unsigned {
  secCompleted = 0,        // the installation completed
  secCannotStart = 1,      // no package script, or a package that cannot be read
  secUserLeftEarly = 2,    // the user left before installing
  secSystemTooOld = 3,     // Windows is older than the product requires
  secInstallFailed = 4,    // a fatal error during the installation
  secUserEndedSetup = 5,   // the user ended setup during the installation
};

// What a code means, for the log's last line.
inline const char16_t* SetupExitMeaning(unsigned code) {
  switch (code) {
    case secCompleted: return u"the installation completed";
    case secCannotStart: return u"setup could not start";
    case secUserLeftEarly: return u"the user left before installing";
    case secSystemTooOld: return u"Windows is older than the product requires";
    case secInstallFailed: return u"the installation failed";
    case secUserEndedSetup: return u"the user ended setup during the installation";
    default: return u"unknown";
  }
}
