// Helpers that several test units share.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <system_error>

#include "MySetupUtils.h"
#include "QvClasses.h"
#include "QvSysUtils.h"

// A fresh folder per test, removed afterwards; Path() names a file in it in
// the host's form.
class TempFolderTest : public ::testing::Test {
protected:
  explicit TempFolderTest(const char* prefix) : FPrefix(prefix) {}
  void SetUp() override {
    FRoot = std::filesystem::temp_directory_path() / (FPrefix + WideToUtf8(TQvStrfn::NewGUIDString()).substr(1, 8));
    std::filesystem::create_directories(FRoot);
  }
  void TearDown() override {
    std::error_code ec;
    std::filesystem::remove_all(FRoot, ec);
  }
  WideString Path(const WideString& rel) const { return Utf8ToWide(FRoot.u8string()) + PathDelim() + rel; }

  std::string FPrefix;
  std::filesystem::path FRoot;
};

// The package codec over a byte string, both ways.
inline std::string Encoded(const std::string& plain) {
  TMemoryStream s(plain);
  TSetupfn::EncodeStream(s);
  return s.Bytes();
}

inline std::string Decoded(const std::string& stored) {
  TMemoryStream s(stored);
  TSetupfn::DecodeStream(s);
  return s.Bytes();
}

// The message of the exception of class E that f raises; a test failure
// when it raises none.
template <class E, class F>
WideString MessageOf(F&& f) {
  try {
    f();
  } catch (const E& e) {
    return e.Message();
  }
  ADD_FAILURE() << "expected exception";
  return WideString();
}

// The stub fixture that this process's loader can load: a process loads
// programs of its own kind only, so the 64-bit build takes the 64-bit stub.
inline const char* LoaderStubName() { return sizeof(void*) == 8 ? "stub_res64.exe" : "stub_res.exe"; }
