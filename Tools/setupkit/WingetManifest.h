// The Windows Package Manager's manifest of a built setup: the three files
// of a multi-file manifest (version, installer, default locale) that a
// publisher submits, or serves from a source of their own, so that
// administrators install the product with "winget install".
#pragma once

#include <string>
#include <vector>

#include "PackageBuilder.h"
#include "QvTypes.h"

class TSetupScript;

// What the manifest says of one setup, worked out from the script before
// anything is built, so that a product the manifest cannot describe is
// refused before a byte is written.
struct TWingetPlan {
  std::string Identifier;     // Publisher.Product
  std::string Version;
  std::string Locale;         // en-US where the product has an English title, else zh-CN
  std::vector<std::string> Notes;  // what the publisher must look at, said after the build
};

// Raises an error that names what is missing or unusable (no publisher, a
// version the manifest cannot carry, an identifier that is not one).
// identifier overrides the one made from publisher and product.
TWingetPlan PlanWingetManifest(const TSetupScript& script, const WideString& identifier);

struct TWingetFile {
  std::string Name;     // "Publisher.Product.installer.yaml", ...
  std::string Content;  // UTF-8 YAML
};

// The three files for the setup written at setupFile, whose SHA-256 is
// sha256Hex; the script is the built setup's.
std::vector<TWingetFile> WingetManifestFiles(const TWingetPlan& plan, const TSetupScript& script, TSetupArch arch,
                                             const WideString& setupFile, const std::string& sha256Hex);

// Writes the files into folder (made when missing), each whole or not at
// all; returns their paths.
std::vector<WideString> WriteWingetManifest(const WideString& folder, const std::vector<TWingetFile>& files);
