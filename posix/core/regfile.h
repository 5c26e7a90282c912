// Wine's text registry files (system.reg, user.reg), read as the Wine 8 server reads them: the keys
// they hold, the 32-bit view and symbolic links. The test kit's regedit.h edits them.
#ifndef POSIX_REGFILE_H
#define POSIX_REGFILE_H

#include <windows.h>

// The registry holds UTF-16 text; its users convert it with these.
#include "codepage.h"

#include <string>
#include <vector>

namespace layer {

// Key and value names compare without case, as Windows compares them: compare the folded forms.
std::u16string foldName(const std::u16string &name);

enum class RegArch { Unknown, Win32, Win64 };

struct RegValue {
    std::u16string name; // empty for the key's default value ("@" in the file)
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
    size_t begin = 0; // the value's lines in RegFile::text, continuation lines included: [begin, end)
    size_t end = 0;
};

// One "[key]" block of the file with the option and value lines that follow it.
struct RegKeyBlock {
    int node = 0;        // the key it defines, in RegFile::nodes
    size_t begin = 0;    // start of the "[...]" line
    size_t end = 0;      // after its last option or value line
    bool isLink = false; // "#link": a symbolic link through its SymbolicLinkValue
    std::vector<RegValue> values;
};

// A key of the tree the blocks describe. Keys that only hold subkeys have no block of their own.
// Children are found by their names in a sorted list: a real system.reg holds some 25,000 keys, and
// a map would keep a folded copy of each name besides.
struct RegNode {
    std::u16string name;
    int parent = -1;
    std::vector<int> blocks;   // the blocks that define this key, in file order
    std::vector<int> children; // in the order of their names, compared without case
};

struct RegFile {
    std::string text; // the file exactly as read
    RegArch arch = RegArch::Unknown;
    std::vector<std::u16string> root;  // what ";; All keys relative to" names, e.g. REGISTRY, Machine
    std::vector<RegKeyBlock> blocks;
    std::vector<RegNode> nodes;        // nodes[0] is the file's root key
    std::vector<std::string> warnings; // lines that Wine skips too, as "line N: what is wrong"
    bool endsInsideValue = false;      // the last value line continues past the end of the text
};

// Parses the text of a registry file. It fails only for text that is not a registry file (Wine then
// ignores the whole file); a malformed line is skipped as Wine skips it and listed in file.warnings.
bool parseRegFile(std::string text, RegFile &file, std::string &error);

enum class RegLoad { Ok, Missing, Unreadable, Invalid };
// Reads and parses a file; `error` names the file and what is wrong with it.
RegLoad loadRegFile(const std::string &path, RegFile &file, std::string &error);

// The registry a program sees: the keys as the file holds them, or the view that Wine gives a program
// asking for the 32-bit registry, in which a key that has a Wow6432Node subkey stands for that subkey.
enum class RegView { Native, Wow32 };

// A key path split at its backslashes; doubled and trailing backslashes separate nothing more.
std::vector<std::u16string> splitKeyPath(const std::u16string &path);

// Finds the key at `path` from the file's root as a program with the given view sees it, or -1.
// Symbolic links are followed. In a win64 file the 32-bit view enters a key's Wow6432Node subkey (for
// each key reached, not for the root), but never a second time once inside one; shared keys are links
// from the Wow6432Node tree to the 64-bit keys, so following links covers them.
int findRegKey(const RegFile &file, const std::vector<std::u16string> &path, RegView view);
// Walks a path as findRegKey does from the root, as far as the keys exist: returns the last key
// reached, with the elements below it that do not exist in `missing`; -1 when a link on the way
// leads nowhere.
int walkRegKey(const RegFile &file, const std::vector<std::u16string> &path, RegView view,
               std::vector<std::u16string> &missing);
// Whether a key lies in a Wow6432Node tree.
bool insideWow6432Node(const RegFile &file, int node);
// The path of a node from the file's root.
std::vector<std::u16string> regKeyPath(const RegFile &file, int node);
// The node at an exact path, without views or links, or -1.
int findRegNode(const RegFile &file, const std::vector<std::u16string> &path);
// A key's values as Wine loads them: of two lines with the same name, the later one counts.
std::vector<RegValue> regKeyValues(const RegFile &file, int node);

} // namespace layer

#endif
