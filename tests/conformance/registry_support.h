// Registry surroundings for the conformance tests: values written where a 32-bit program reading
// HKEY_LOCAL_MACHINE finds them, without the API under test. Natively the helpers edit the private
// prefix's system.reg; on Windows they use the registry API with KEY_WOW64_32KEY.
#ifndef CONFORMANCE_REGISTRY_SUPPORT_H
#define CONFORMANCE_REGISTRY_SUPPORT_H

#include <windows.h>

#include <string>

// A key of this test program's own below HKEY_LOCAL_MACHINE: "Software\LayerRegistryTest-<pid>".
std::string testRegistryRoot();

// Sets a value of HKEY_LOCAL_MACHINE\keyPath, creating the key when missing, as RegSetValueExA
// would: string data (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ) and the name are ANSI, and a string
// whose size leaves out its terminator gets it counted when the byte after `size` is 0.
void setTestRegistryValue(const char *keyPath, const char *name, DWORD type, const void *data, DWORD size);

// Deletes HKEY_LOCAL_MACHINE\keyPath with all its subkeys, if it exists.
void deleteTestRegistryKey(const char *keyPath);

#endif
