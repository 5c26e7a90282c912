// Edits of Wine's text registry files: one value or key at a time, every other byte of the file
// kept as it was.
#ifndef POSIX_REGEDIT_H
#define POSIX_REGEDIT_H

#include "regfile.h"

namespace layer {

// Edits. Each changes only the lines of what it changes (none is made in a file that ends inside a
// value: any text added would become part of that value) (a new value goes where Wine keeps it, a new
// key gets a block of its own in Wine's order) and parses the changed text again. Paths are resolved
// with the view as a program creating the key would resolve them; missing keys are created.
bool setRegValue(RegFile &file, const std::vector<std::u16string> &path, RegView view, const std::u16string &name,
                 DWORD type, const std::vector<BYTE> &data, std::string &error);
bool deleteRegValue(RegFile &file, const std::vector<std::u16string> &path, RegView view,
                    const std::u16string &name, std::string &error);
// Deletes the key with all its subkeys; its parent stays, as it does in Wine.
bool deleteRegKey(RegFile &file, const std::vector<std::u16string> &path, RegView view, std::string &error);

// The text with which Wine starts a registry file; `root` as in the second line, e.g. "REGISTRY\\Machine".
std::string newRegFileText(RegArch arch, const std::u16string &root);

// Writes the file atomically (a temporary file in the same directory, then rename), keeping the mode
// and, where allowed, the owner of the file it replaces. A symbolic link is written through.
bool saveRegFile(const std::string &path, const std::string &text, std::string &error);

} // namespace layer

#endif
