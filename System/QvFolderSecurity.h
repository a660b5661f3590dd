// Who may change a folder: the rights that keep other people's code out
// of the folders the installer and the uninstaller act on with
// administrator rights. Windows only; the header stays free of the
// Windows headers.
#pragma once

#include "QvTypes.h"

class TQvFolderSecurity {
public:
  // True when someone other than the administrators, SYSTEM, the system's
  // installer service and the account running this program may create,
  // replace or delete something in path, or change its rights: the owner
  // is none of them, the access list is missing (everyone has every
  // right), or it allows one of those rights to anybody else. Entries that
  // only pass rights on to new items are not counted. The account running
  // the program counts as an administrator: whatever it may change, this
  // program may change as well, and Windows does not promise that a
  // person's unelevated programs cannot reach the elevated ones. True as
  // well when the rights cannot be read.
  static bool OthersMayChange(const WideString& path);
  // The same judgement on a security descriptor in its text form (owner
  // and access list); true for a text that does not parse.
  static bool OthersMayChangeDescriptor(const WideString& sddl);
  // Gives path the rights of a product folder: owned by the
  // administrators, full control for them and SYSTEM, read and run for
  // users, passed on to everything inside, nothing inherited from the
  // parent. False when the rights could not be set; where the owner may
  // not be changed, the access list is still set.
  static bool Protect(const WideString& path);
  // Creates the folder (its parent must exist) with the rights Protect
  // gives, from the moment it exists. Where the owner may not be set, the
  // access list still is. False when it exists already or cannot be made.
  static bool CreateProtected(const WideString& path);
  // Creates the folder (its parent must exist) so that only
  // administrators and SYSTEM can open it or anything in it, whatever the
  // parent grants. False when it exists already or cannot be made so.
  static bool CreatePrivate(const WideString& path);
};
