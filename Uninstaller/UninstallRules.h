// The uninstaller's decisions that need no system: which paths of the
// uninstall data it follows, which folders it tries to remove once their
// files are gone, and the name of the product's uninstall entry. Which
// folders it never removes from is the installer's folder rule
// (FolderRules), so that no product goes where it could not be removed
// from. Kept apart so they are checked natively.
#pragma once

#include <functional>
#include <vector>

#include "QvTypes.h"

class TSetupBaseInfo;

// A path the uninstaller may delete: absolute (a drive and a backslash,
// or a network share), no "." or ".." part, no wildcard, no empty part.
// Anything else in the uninstall data is damaged or hostile and skipped.
bool IsSafeAbsolutePath(const WideString& path);

// True when path lies inside folder (not folder itself), ignoring case.
bool IsInsideFolder(const WideString& path, const WideString& folder);

// The first folder on the way from folder down to path (path inside
// folder) that isLink says is a link (a junction or symbolic link), or
// empty when none is: what lies behind a link is not the product's, however
// it is named, and the link itself is what the uninstaller removes. The
// file at path itself is not asked: deleting a link deletes the link.
WideString FirstLinkOnTheWay(const WideString& path, const WideString& folder,
                             const std::function<bool(const WideString&)>& isLink);

// The folders to try to remove after files were deleted from touched:
// each touched folder inside top and every folder between it and top,
// top included, deepest first, each once. Touched folders outside top are
// left out: the uninstaller removes folders only below what it owns.
std::vector<WideString> FoldersToPrune(const std::vector<WideString>& touched, const WideString& top);

// The parents of a registry key that may go once the key itself is gone:
// "Software\A\B\C" gives "Software\A\B", "Software\A". A key directly
// under a root ("Software", "SYSTEM") is never among them.
std::vector<WideString> ParentKeysToPrune(const WideString& subKey);

// The product's GUID as the name of its uninstall entry: the key
// "<UninstallKey>\<GUID>" must name one subkey, so an empty GUID or one
// with a backslash (which would name the whole list or another entry) is
// refused.
bool IsUsableEntryName(const WideString& guid);

// The uninstaller's language: the one recorded at installation when it is
// one of "CHS", "CHT", "ENG"; otherwise the installer's automatic rule
// (the system's language when the product offers it, else English when
// offered, else Simplified Chinese).
WideString UninstallLanguage(const TSetupBaseInfo& info, const WideString& recorded, const WideString& systemCode);

// Uninstall.da1 may be stored encoded (as the installer writes it) or plain
// (a development installation): plain when the first byte that is not a
// byte-order mark or white space opens an XML element.
bool LooksLikePlainXml(const std::string& bytes);
