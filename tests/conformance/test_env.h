// Test surroundings that the conformance tests share. Natively every test program runs against a
// prefix of its own, made in a temporary directory (drive C: and drive Z: = /, as Wine makes them);
// on Windows and under Wine the tests use the system as it is. Tests address files by DOS paths;
// the helpers below create and inspect them without going through the API under test.
#ifndef CONFORMANCE_TEST_ENV_H
#define CONFORMANCE_TEST_ENV_H

#include <string>

// A new, empty directory for one test, as a DOS path ending with a backslash ("C:\...\").
std::string makeTestDir();

// The native path of a DOS path under a test directory (the path itself on Windows).
std::string nativePath(const std::string &dosPath);

void writeTestFile(const std::string &dosPath, const std::string &content);
std::string readTestFile(const std::string &dosPath); // "" when missing
bool testFileExists(const std::string &dosPath);
void makeTestSubdir(const std::string &dosPath);
void setTestFileReadOnly(const std::string &dosPath, bool readOnly);
bool isTestFileReadOnly(const std::string &dosPath);

// The prefix the native tests run against ("" on Windows).
std::string testPrefix();

#endif
