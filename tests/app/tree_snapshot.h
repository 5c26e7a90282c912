// A directory tree as the tests compare it before and after a run: every file's content and
// read-only attribute, every directory, by path relative to the tree's top.
#ifndef APP_TREE_SNAPSHOT_H
#define APP_TREE_SNAPSHOT_H

#include <map>
#include <string>
#include <vector>

// Path relative to the top (with '/') -> "dir", or "ro:" / "rw:" followed by the file's content.
using Tree = std::map<std::string, std::string>;

// The tree under a DOS directory of the test prefix.
Tree snapshotTree(const std::string &dosDir);

// The relative path of a DOS path under the top, with '/' separators and the trailing blanks a
// manifest name carries dropped, as the tree names it.
std::string treePath(const std::string &dosTop, const std::string &dosPath);

// The paths whose entries differ between the two trees, each with what both hold, for a
// readable failure.
std::vector<std::string> treeDifferences(const Tree &expected, const Tree &actual);

// Empties a DOS directory and removes it, files marked read-only included.
void removeTree(const std::string &dosDir);

#endif
