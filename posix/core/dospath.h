// DOS paths on POSIX: drive letters map through the prefix's dosdevices links, as in Wine.
#ifndef POSIX_DOSPATH_H
#define POSIX_DOSPATH_H

#include <sys/stat.h>
#include <windows.h>

#include <string>

namespace layer {

// The Wine prefix the layer works in: $WINEPREFIX, else ~/.wine.
std::string prefixDirectory();
// Says on standard error why the prefix cannot be used, once per process (as Wine says it); the
// calls that need the prefix fail as they would without it.
void reportUnusablePrefix(const std::string &reason);

// What a lookup learnt of the file on the way, where the caller asks, so that it need not look again.
struct PathFacts {
    bool found = false; // it exists: `status` is its status (stat, through links)
    bool free = false;  // no entry has its name, in any case, in `directory`, its directory's status
    struct stat status;
    struct stat directory;
};

// Resolves a DOS path to the native path of the file or directory it names, the way Wine does:
// '\' and '/' both separate, doubled separators count as one, "C:\..." maps through
// <prefix>/dosdevices/c:, a POSIX absolute path passes through, a relative path is taken from the
// current directory, blanks and dots at the end of the last component are ignored, and a component
// that does not exist with its exact name matches an entry that differs only in case.
// The last component need not exist (so a file can be created there); its directory must.
// On failure returns false and sets *error to the Win32 code: ERROR_PATH_NOT_FOUND for an empty
// path, a missing directory or drive, ERROR_INVALID_NAME for a name with wildcards or other
// characters Windows refuses, ERROR_BAD_PATHNAME for UNC and device paths.
bool toNativePath(const char *dosPath, std::string &native, DWORD *error, PathFacts *facts = nullptr);
// The same for the file calls: where the path cannot be resolved, the error is the last error.
bool resolvePath(const char *dosPath, std::string &native, PathFacts *facts = nullptr);

// The full DOS form of a path, as GetFullPathName gives it: absolute, with '\' separators, "." and
// ".." resolved, doubled separators and the trailing blanks and dots of the last component gone.
// The disk is not consulted, so names keep the case they were written in. Fails as toNativePath.
bool toFullDosPath(const char *dosPath, std::string &full, DWORD *error);

// The DOS form of a native absolute path: under the drive whose target holds it (the longest
// match), else the path itself.
std::string toDosPath(const std::string &native);

// Whether a native path names a directory, through links.
bool isDirectory(const std::string &native);

// Tell the name lookup about a file the layer itself created or removed (its native path), so that
// what it knows of the directory stays good without reading the directory again.
void noteNameCreated(const std::string &native);
void noteNameRemoved(const std::string &native);
// A rename: `from` is gone, and `to` is a new name unless it replaced a file (`created` false).
void noteNameMoved(const std::string &from, const std::string &to, bool created);

} // namespace layer

#endif
