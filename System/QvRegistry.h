// The wide-character registry object: one open key under one root, in the
// process's default registry view. Windows only.
#pragma once

#include <cstdint>
#include <string>

#include "QvExceptions.h"
#include "QvTypes.h"

QV_DECLARE_EXCEPTION(ERegistryException, Exception);

class TRegistry {
public:
  // root: a predefined key as its numeric value (0x80000000 ...), as
  // RegRootKeyToHKEY gives it. Access: KEY_ALL_ACCESS unless read-only.
  explicit TRegistry(uint32_t root = 0x80000001u);
  ~TRegistry();
  TRegistry(const TRegistry&) = delete;
  TRegistry& operator=(const TRegistry&) = delete;

  void SetRootKey(uint32_t root);
  // Opens the key (a leading backslash is dropped: the path is taken from
  // the root); with canCreate it and its missing parents are created.
  // False when it cannot be opened. Closes a key opened before.
  bool OpenKey(const WideString& key, bool canCreate);
  bool OpenKeyReadOnly(const WideString& key);
  void CloseKey();
  bool KeyIsOpen() const { return FKey != nullptr; }

  // With no key open, ValueExists is false and the reads and writes raise
  // ERegistryException.
  bool ValueExists(const WideString& name) const;
  // A missing value reads as empty; a value of another type than a string
  // raises ERegistryException "Invalid data type for '%s'".
  WideString ReadString(const WideString& name) const;
  // REG_SZ in UTF-16 with its terminating zero ((length + 1) × 2 bytes).
  // Failures raise ERegistryException "Failed to set data for '%s'".
  void WriteString(const WideString& name, const WideString& value);
  void WriteInteger(const WideString& name, int32_t value);  // REG_DWORD
  void WriteBinaryData(const WideString& name, const void* data, uint32_t size);

private:
  void* FRoot;
  void* FKey = nullptr;
};
