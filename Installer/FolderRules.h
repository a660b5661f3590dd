// The one rule for folders that the installer and the uninstaller share:
// a product goes only into a folder of its own, never into a drive root or
// a folder that Windows or many programs use, since the uninstaller would
// refuse to remove anything from there. The decisions are portable; the
// list of the system's folders and the normalised form of a path come from
// Windows (FolderRules_win.cpp).
#pragma once

#include <cstddef>
#include <vector>

#include "QvTypes.h"

// The length of the root at the start of path: 3 for "C:\", the whole
// "\\server\share\" of a network share; 0 when path starts with neither.
size_t PathRootLength(const WideString& path);

// A drive root ("C:\", "C:") or the root of a network share
// ("\\server\share\"): folders that hold far more than one product.
bool IsRootFolder(const WideString& folder);
// True when folder is the root of a drive or share, or one of refused
// (the Windows folder, Program Files, the user's profile ...), compared
// without regard to case, "/" for "\" or trailing backslashes. Empty
// entries of refused count for nothing.
bool IsRefusedFolder(const WideString& folder, const std::vector<WideString>& refused);

// True when folder is one of parents or lies anywhere inside one, compared
// as IsRefusedFolder compares. Empty entries count for nothing.
bool IsInsideAnyFolder(const WideString& folder, const std::vector<WideString>& parents);

// The outermost folder on folder's path that does not exist yet, with one
// trailing backslash: what creating folder creates first ("D:\Apps\" for
// "D:\Apps\X" when neither exists). Empty when folder exists.
WideString TopmostMissingFolder(const WideString& folder, bool (*exists)(const WideString&));

// A folder that depends on the current folder or drive ("Hello",
// "D:Apps\Hello", "\Apps\Hello", "C:"): it names another place for every
// program that reads it later.
bool IsRelativeFolder(const WideString& folder);

// The folder with exactly one trailing backslash ("C:\Apps\\" and
// "C:\Apps" give "C:\Apps\"; "C:\" stays).
WideString WithOneTrailingBackslash(const WideString& folder);

// What Browse... puts into the destination field: the chosen folder, or,
// when that is one of the refused folders (a user picks "D:\" and means a
// folder there), the chosen folder plus the product's folder name: the
// last part of the default destination, else the title.
WideString BrowsedDestination(const WideString& chosen, const WideString& defaultDest, const WideString& title,
                              const std::vector<WideString>& refused);

// ---- Windows side

// Every folder a product must not be installed into besides the roots:
// the Windows and system folders, Program Files and Common Files of either
// view, the profile and the folder of all profiles, the desktop, documents,
// the Start Menu and their public equivalents, ProgramData ..., each also
// in its long form.
std::vector<WideString> SharedSystemFolders();
// Program Files of either view, each also in its long form: where Windows
// gives a new folder rights that only administrators may change.
std::vector<WideString> ProgramFilesFolders();
// The folder as every later step must see it: full (GetFullPathNameW: no
// "." or "..", no "/"), in its long form as far as it exists, with exactly
// one trailing backslash. The folder itself when it cannot be resolved.
WideString NormalisedFolder(const WideString& folder);
