// Snapshots of test trees, read natively so that nothing goes through the layer under test.
#include "tree_snapshot.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include "test_env.h"

namespace fs = std::filesystem;

Tree snapshotTree(const std::string &dosDir)
{
    Tree tree;
    fs::path top = nativePath(dosDir);
    for (const fs::directory_entry &entry : fs::recursive_directory_iterator(top)) {
        std::string name = fs::relative(entry.path(), top).generic_string();
        if (entry.is_directory()) {
            tree[name] = "dir";
            continue;
        }
        std::ifstream in(entry.path(), std::ios::binary);
        std::ostringstream content;
        content << in.rdbuf();
        bool writable = (entry.status().permissions() & fs::perms::owner_write) != fs::perms::none;
        tree[name] = (writable ? "rw:" : "ro:") + content.str();
    }
    return tree;
}

std::string treePath(const std::string &dosTop, const std::string &dosPath)
{
    std::string rest = dosPath.substr(dosTop.size());
    rest.erase(rest.find_last_not_of(' ') + 1);
    for (char &c : rest)
        if (c == '\\')
            c = '/';
    return rest;
}

std::vector<std::string> treeDifferences(const Tree &expected, const Tree &actual)
{
    std::vector<std::string> out;
    auto describe = [](const Tree &tree, const std::string &name) {
        auto it = tree.find(name);
        return it == tree.end() ? std::string("(absent)") : "[" + it->second + "]";
    };
    Tree both = expected;
    both.insert(actual.begin(), actual.end());
    for (const auto &entry : both) {
        auto want = expected.find(entry.first);
        auto got = actual.find(entry.first);
        bool same = want != expected.end() && got != actual.end() && want->second == got->second;
        if (!same)
            out.push_back(entry.first + ": expected " + describe(expected, entry.first) + ", found " +
                          describe(actual, entry.first));
    }
    return out;
}

void removeTree(const std::string &dosDir)
{
    fs::path top = nativePath(dosDir);
    std::error_code ignored;
    for (const fs::directory_entry &entry : fs::recursive_directory_iterator(top, ignored))
        fs::permissions(entry.path(), fs::perms::owner_write, fs::perm_options::add, ignored);
    fs::remove_all(top, ignored);
}
