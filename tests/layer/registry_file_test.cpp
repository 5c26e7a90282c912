// Wine's registry files: reading every construct that Wine 8 writes or accepts, writing values as
// Wine writes them with every other byte left alone, and bad files that fail clearly.
#include "regedit.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "test_env.h"
#include "wine_registry_text.h"

namespace {

using layer::RegFile;
using layer::RegView;


std::vector<std::u16string> keyPath(const std::u16string &path)
{
    return layer::splitKeyPath(path);
}

RegFile parse(const std::string &text)
{
    RegFile file;
    std::string error;
    EXPECT_TRUE(layer::parseRegFile(text, file, error)) << error;
    return file;
}

// The value of a key as the 64-bit view sees it; type REG_NONE (0xffffffff size) when missing.
layer::RegValue value(const RegFile &file, const std::u16string &key, const std::u16string &name)
{
    int node = layer::findRegKey(file, keyPath(key), RegView::Native);
    for (const layer::RegValue &candidate : layer::regKeyValues(file, node))
        if (layer::foldName(candidate.name) == layer::foldName(name))
            return candidate;
    layer::RegValue missing;
    missing.type = 0xffffffff;
    return missing;
}

std::vector<BYTE> utf16(const std::u16string &text, bool terminated = true)
{
    std::vector<BYTE> bytes;
    for (char16_t c : text) {
        bytes.push_back(static_cast<BYTE>(c & 0xFF));
        bytes.push_back(static_cast<BYTE>(c >> 8));
    }
    if (terminated)
        bytes.insert(bytes.end(), {0, 0});
    return bytes;
}

std::vector<BYTE> dword(DWORD v)
{
    return {static_cast<BYTE>(v), static_cast<BYTE>(v >> 8), static_cast<BYTE>(v >> 16), static_cast<BYTE>(v >> 24)};
}

// The text with the first occurrence of `from` replaced: what an edit may change, and nothing else.
std::string replaced(std::string text, const std::string &from, const std::string &to)
{
    size_t at = text.find(from);
    EXPECT_NE(std::string::npos, at) << from;
    if (at != std::string::npos)
        text.replace(at, from.size(), to);
    return text;
}

TEST(RegistryFile, ReadsEveryConstructWineWrites)
{
    RegFile file = parse(wine64RegistryText);
    EXPECT_TRUE(file.warnings.empty()) << file.warnings.front();
    EXPECT_EQ(layer::RegArch::Win64, file.arch);
    ASSERT_EQ(2u, file.root.size());
    EXPECT_EQ(u"Machine", file.root[1]);

    layer::RegValue v = value(file, u"Software\\T", u"");
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), v.type);
    EXPECT_EQ(utf16(u"deflt \"q\" \\\\ x"), v.data);
    v = value(file, u"Software\\T", u"esc");
    EXPECT_EQ(utf16(u"tab\there\nnl\rcr \u00e9\u20ac \u4e2d" u"a 1\x01x7 [b]"), v.data);
    v = value(file, u"Software\\T", u"ex");
    EXPECT_EQ(static_cast<DWORD>(REG_EXPAND_SZ), v.type);
    EXPECT_EQ(utf16(u"%PATH%;x"), v.data);
    v = value(file, u"Software\\T", u"multi");
    EXPECT_EQ(static_cast<DWORD>(REG_MULTI_SZ), v.type);
    EXPECT_EQ(utf16(std::u16string(u"a\0b\0c\0", 6)), v.data);
    v = value(file, u"Software\\T", u"bin");
    EXPECT_EQ(static_cast<DWORD>(REG_BINARY), v.type);
    EXPECT_EQ((std::vector<BYTE>{1, 2, 3, 4, 5}), v.data);
    v = value(file, u"Software\\T", u"long");
    EXPECT_EQ(std::vector<BYTE>(200, 0xab), v.data) << "continued over eight lines";
    v = value(file, u"Software\\T", u"noterm");
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), v.type);
    EXPECT_EQ(utf16(u"abc", false), v.data);
    v = value(file, u"Software\\T", u"q");
    EXPECT_EQ(static_cast<DWORD>(REG_QWORD), v.type);
    EXPECT_EQ((std::vector<BYTE>{5, 0, 0, 0, 0, 0, 0, 0}), v.data);
    v = value(file, u"software\\t", u"\u00c9T\u00c9");
    EXPECT_EQ(utf16(u"v"), v.data) << "names compare without case, beyond ASCII too";
    v = value(file, u"Software\\T\\Only\\Deep", u"d");
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), v.type);
    EXPECT_EQ(dword(0xffffffff), v.data);

    EXPECT_GE(layer::findRegKey(file, keyPath(u"Software\\T\\Only"), RegView::Native), 0)
        << "a key that only holds subkeys exists";
    EXPECT_EQ(-1, layer::findRegKey(file, keyPath(u"Software\\T\\Missing"), RegView::Native));
}

TEST(RegistryFile, ReadsWhatWineAcceptsBeyondItsOwnOutput)
{
    const char raw[] = "WINE REGISTRY Version 2\r\n"
                       ";; no root line, a comment\n"
                       "#arch=win32\n"
                       "\"orphan\"=dword:1\n"
                       "[Software\\\\Loose]\n"
                       "  \"indented\" = dword:2a\n"
                       "\"octal\"=\"\\101\\0101\\7\"\n"
                       "\"hex\"=\"\\x41\\x00e9a\\xg\\q\\[\\]\"\n"
                       "\"utf8\"=\"caf\xc3\xa9 \xf0\x9f\x98\x80 a\xff" "b\"\n"
                       "\"str\"=str:\"plain\"\r\n"
                       "\"spaced\"=hex:01 , 02,\\\n"
                       "    03\n"
                       "\"dup\"=\"first\"\n"
                       "\"DUP\"=\"second\"\n"
                       "garbage here\n"
                       "\"bad\"=dword\n"
                       "\"nul\"=\"a\"\0junk\n"
                       // A backslash after hex bytes carries the value on, even to a key's line.
                       "\"cut\"=hex:61,62\\ the rest is skipped\n"
                       "[Software\\\\Swallowed]\n"
                       "\"after\"=dword:7\n"
                       "\n"
                       "[Software\\\\Next]\n"
                       "\"n\"=dword:1\n";
    RegFile file = parse(std::string(raw, sizeof raw - 1));
    EXPECT_EQ(layer::RegArch::Win32, file.arch);
    EXPECT_EQ(dword(42), value(file, u"Software\\Loose", u"indented").data);
    EXPECT_EQ(utf16(std::u16string(u"A\x08" u"1\x07")), value(file, u"Software\\Loose", u"octal").data);
    EXPECT_EQ(utf16(u"A\u00e9" u"axgq[]"), value(file, u"Software\\Loose", u"hex").data);
    EXPECT_EQ(utf16(u"caf\u00e9 \U0001F600 ab"), value(file, u"Software\\Loose", u"utf8").data)
        << "UTF-8 bytes are characters; an invalid byte is dropped";
    EXPECT_EQ(utf16(u"plain"), value(file, u"Software\\Loose", u"str").data);
    EXPECT_EQ((std::vector<BYTE>{1, 2, 3}), value(file, u"Software\\Loose", u"spaced").data);
    EXPECT_EQ(utf16(u"second"), value(file, u"Software\\Loose", u"dup").data) << "the later line counts";
    EXPECT_EQ(utf16(u"a"), value(file, u"Software\\Loose", u"nul").data) << "a line ends at a NUL byte";

    EXPECT_EQ(static_cast<DWORD>(REG_NONE), value(file, u"Software\\Loose", u"cut").type);
    EXPECT_EQ(dword(7), value(file, u"Software\\Loose", u"after").data);
    EXPECT_LT(layer::findRegKey(file, keyPath(u"Software\\Swallowed"), RegView::Native), 0);
    EXPECT_EQ(dword(1), value(file, u"Software\\Next", u"n").data);

    layer::RegValue bad = value(file, u"Software\\Loose", u"bad");
    EXPECT_EQ(static_cast<DWORD>(REG_NONE), bad.type) << "malformed data leaves an empty value, as in Wine";
    EXPECT_TRUE(bad.data.empty());
    std::vector<std::string> expected = {"line 4: value without key", "line 15: unrecognized input",
                                         "line 16: malformed value", "line 18: malformed value"};
    EXPECT_EQ(expected, file.warnings);
}

TEST(RegistryFile, SettingEveryValueToWhatItHoldsChangesNoByte)
{
    RegFile file = parse(wine64RegistryText);
    std::string error;
    for (const char16_t *key : {u"Software\\T", u"Software\\T\\Only\\Deep", u"Software\\Quorvex\\VK: Zarkhul Zuva"}) {
        std::vector<std::u16string> path = keyPath(key);
        for (const layer::RegValue &v :
             layer::regKeyValues(file, layer::findRegKey(file, path, RegView::Native))) {
            ASSERT_TRUE(layer::setRegValue(file, path, RegView::Native, v.name, v.type, v.data, error)) << error;
            EXPECT_EQ(wine64RegistryText, file.text) << "formatting " << layer::utf16ToUtf8(v.name);
        }
    }
}

TEST(RegistryFile, ChangingOneValueChangesOnlyItsLines)
{
    RegFile file = parse(wine64RegistryText);
    std::string error;
    std::vector<std::u16string> t = keyPath(u"Software\\T");

    ASSERT_TRUE(layer::setRegValue(file, t, RegView::Native, u"long", REG_DWORD, dword(3), error)) << error;
    size_t from = std::string(wine64RegistryText).find("\"long\"=");
    size_t to = std::string(wine64RegistryText).find("\"multi\"=");
    std::string expected = std::string(wine64RegistryText).replace(from, to - from, "\"long\"=dword:00000003\n");
    EXPECT_EQ(expected, file.text);

    ASSERT_TRUE(layer::setRegValue(file, t, RegView::Native, u"bin", REG_BINARY, std::vector<BYTE>(30, 0x11), error));
    expected = replaced(expected, "\"bin\"=hex:01,02,03,04,05\n",
                        "\"bin\"=hex:11,11,11,11,11,11,11,11,11,11,11,11,11,11,11,11,11,11,11,11,11,11,11,\\\n"
                        "  11,11,11,11,11,11,11\n");
    EXPECT_EQ(expected, file.text);

    ASSERT_TRUE(layer::setRegValue(file, t, RegView::Native, u"Esc", REG_SZ, utf16(u"\"new\" \\ \u00ff1"), error));
    expected = replaced(expected, "\"esc\"=\"tab\\there\\nnl\\rcr \\xe9\\x20ac \\x4e2da 1\\1x7 [b]\"\n",
                        "\"esc\"=\"\\\"new\\\" \\\\ \\x00ff1\"\n");
    EXPECT_EQ(expected, file.text) << "the name keeps its spelling, as in Wine";
}

TEST(RegistryFile, NewValuesAndKeysGoWhereWineKeepsThem)
{
    RegFile file = parse(wine64RegistryText);
    std::string error;
    ASSERT_TRUE(layer::setRegValue(file, keyPath(u"Software\\T"), RegView::Native, u"c", REG_SZ, utf16(u"x"), error));
    std::string expected = replaced(wine64RegistryText, "\"esc\"=", "\"c\"=\"x\"\n\"esc\"=");
    EXPECT_EQ(expected, file.text) << "values are sorted by name";

    ASSERT_TRUE(layer::setRegValue(file, keyPath(u"Software\\T\\Only"), RegView::Native, u"z", REG_DWORD, dword(1),
                                   error));
    ASSERT_NE(std::string::npos, file.text.find("\"\\xe9t\\xe9\"=\"v\"\n\n[Software\\\\T\\\\Only] "))
        << "a key that only held subkeys gets its block before them";
    ASSERT_NE(std::string::npos, file.text.find("\n\"z\"=dword:00000001\n\n[Software\\\\T\\\\Only\\\\Deep] "));

    RegFile appended = parse(wine64RegistryText);
    ASSERT_TRUE(layer::setRegValue(appended, keyPath(u"System\\New[1]"), RegView::Native, u"", REG_SZ, utf16(u"d"),
                                   error));
    std::string tail = appended.text.substr(std::string(wine64RegistryText).size());
    EXPECT_EQ(0u, appended.text.find(wine64RegistryText));
    EXPECT_EQ(0u, tail.find("\n[System\\\\New\\[1\\]] ")) << tail;
    EXPECT_NE(std::string::npos, tail.find("\n#time="));
    EXPECT_EQ(tail.size() - 6, tail.find("@=\"d\"\n")) << tail;
}

TEST(RegistryFile, TheThirtyTwoBitViewWritesBelowWow6432Node)
{
    RegFile file = parse(wine64RegistryText);
    std::string error;
    ASSERT_TRUE(layer::setRegValue(file, keyPath(u"Software\\Quorvex\\VK: Zarkhul Zuva"), RegView::Wow32,
                                   u"Velk 2 Installed", REG_DWORD, dword(0), error));
    EXPECT_EQ(replaced(wine64RegistryText, "\"Velk 2 Installed\"=dword:00000001", "\"Velk 2 Installed\"=dword:00000000"),
              file.text);

    ASSERT_TRUE(layer::setRegValue(file, keyPath(u"Software\\Registered Applications"), RegView::Wow32, u"Via",
                                   REG_SZ, utf16(u"link"), error));
    EXPECT_NE(std::string::npos, file.text.find("\"Shared\"=\"64-bit\"\n\"Via\"=\"link\"\n"))
        << "a shared key is written through its link";

    RegFile fresh = parse(layer::newRegFileText(layer::RegArch::Win64, u"REGISTRY\\Machine"));
    ASSERT_TRUE(layer::setRegValue(fresh, keyPath(u"Software\\Quorvex"), RegView::Wow32, u"v", REG_DWORD, dword(1),
                                   error));
    EXPECT_NE(std::string::npos, fresh.text.find("\n[Software\\\\Wow6432Node\\\\Quorvex] "))
        << "a new 64-bit file gets its 32-bit Software tree";
    EXPECT_EQ(0u, fresh.text.find("WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n"
                                  "#arch=win64\n\n["));
}

// A Wow6432Node that is a link leading nowhere hides the 32-bit view, as in Wine: a new key there is
// refused with the file left as it was, and the 64-bit key is not shown in its place.
TEST(RegistryFile, ABrokenWow6432NodeLinkRefusesThirtyTwoBitWrites)
{
    const std::string text = std::string("WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n") +
                             "#arch=win64\n\n[Software\\\\Wow6432Node] 1796620024\n#link\n" +
                             "\"SymbolicLinkValue\"=hex(6):5c,00,4e,00,6f,00\n";
    RegFile file = parse(text);
    std::string error;
    EXPECT_FALSE(layer::setRegValue(file, keyPath(u"Software\\Quorvex\\VK: Zarkhul Zuva"), RegView::Wow32,
                                    u"Cheater", REG_DWORD, dword(1), error));
    EXPECT_EQ("the key Software\\Quorvex\\VK: Zarkhul Zuva passes through a symbolic link that leads nowhere", error);
    EXPECT_EQ(text, file.text);

    ASSERT_TRUE(layer::setRegValue(file, keyPath(u"Software\\Quorvex\\VK: Zarkhul Zuva"), RegView::Native,
                                   u"Cheater", REG_DWORD, dword(1), error)) << error;
    EXPECT_EQ(dword(1), value(file, u"Software\\Quorvex\\VK: Zarkhul Zuva", u"Cheater").data);
    EXPECT_EQ(-1, layer::findRegKey(file, keyPath(u"Software\\Quorvex\\VK: Zarkhul Zuva"), RegView::Wow32));
    EXPECT_FALSE(layer::deleteRegValue(file, keyPath(u"Software\\Quorvex\\VK: Zarkhul Zuva"), RegView::Wow32,
                                       u"Cheater", error));
}

TEST(RegistryFile, DeletesValuesAndKeysButKeepsTheParent)
{
    RegFile file = parse(wine64RegistryText);
    std::string error;
    ASSERT_TRUE(layer::deleteRegValue(file, keyPath(u"Software\\T"), RegView::Native, u"MULTI", error));
    EXPECT_EQ(replaced(wine64RegistryText, "\"multi\"=str(7):\"a\\0b\\0c\\0\"\n", ""), file.text);
    EXPECT_FALSE(layer::deleteRegValue(file, keyPath(u"Software\\T"), RegView::Native, u"multi", error));
    EXPECT_EQ("no value \"multi\" in Software\\T", error);

    file = parse(wine64RegistryText);
    ASSERT_TRUE(layer::deleteRegKey(file, keyPath(u"Software\\T\\Only"), RegView::Native, error)) << error;
    size_t from = std::string(wine64RegistryText).find("[Software\\\\T\\\\Only\\\\Deep]");
    size_t to = std::string(wine64RegistryText).find("[Software\\\\Wow6432Node");
    EXPECT_EQ(std::string(wine64RegistryText).erase(from, to - from), file.text);

    file = parse(wine64RegistryText);
    ASSERT_TRUE(layer::deleteRegKey(file, keyPath(u"Software\\Quorvex\\VK: Zarkhul Zuva"), RegView::Wow32, error));
    EXPECT_EQ(-1, layer::findRegNode(file, keyPath(u"Software\\Wow6432Node\\Quorvex\\VK: Zarkhul Zuva")));
    EXPECT_GE(layer::findRegNode(file, keyPath(u"Software\\Wow6432Node\\Quorvex")), 0)
        << "the parent stays, as an empty key of its own";
    EXPECT_GE(layer::findRegNode(file, keyPath(u"Software\\Quorvex\\VK: Zarkhul Zuva")), 0);
    EXPECT_TRUE(file.warnings.empty());
    EXPECT_FALSE(layer::deleteRegKey(file, keyPath(u"Software\\Nothing"), RegView::Native, error));
    EXPECT_EQ("no key Software\\Nothing", error);
}

TEST(RegistryFile, BadFilesFailWithAClearMessage)
{
    RegFile file;
    std::string error;
    EXPECT_FALSE(layer::parseRegFile("", file, error));
    EXPECT_EQ("not a Wine registry file (its first line is not \"WINE REGISTRY Version 2\")", error);
    std::string garbage;
    for (int i = 0; i < 4096; ++i)
        garbage.push_back(static_cast<char>((i * 7919) >> 3));
    EXPECT_FALSE(layer::parseRegFile(garbage, file, error));
    EXPECT_FALSE(layer::parseRegFile("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software]\n", file, error));
    EXPECT_FALSE(layer::parseRegFile("WINE REGISTRY Version 2\n#arch=win128\n", file, error));
    EXPECT_EQ("line 2: unknown architecture \"win128\"", error);

    // Cut off in a continued hex value, then in a key line: what came before still reads.
    std::string text = wine64RegistryText;
    size_t lastLines = text.find(",ab,\\\n  ab,ab,ab\n");
    file = parse(text.substr(0, text.rfind("\n", lastLines) + 1));
    ASSERT_EQ(1u, file.warnings.size());
    EXPECT_EQ("line 24: value continues past the end of the file", file.warnings[0]);
    EXPECT_EQ(static_cast<DWORD>(REG_NONE), value(file, u"Software\\T", u"long").type);
    EXPECT_EQ(utf16(u"%PATH%;x"), value(file, u"Software\\T", u"ex").data);
    file = parse(text.substr(0, text.find("Zarkhul Zuva]")));
    EXPECT_EQ("line 10: malformed key", file.warnings.at(0));

    std::string path = testPrefix() + "/registry-file-test.reg";
    unlink(path.c_str());
    EXPECT_EQ(layer::RegLoad::Missing, layer::loadRegFile(path, file, error));
    std::ofstream(path) << garbage;
    EXPECT_EQ(layer::RegLoad::Invalid, layer::loadRegFile(path, file, error));
    EXPECT_EQ(0u, error.find(path + ": not a Wine registry file")) << error;
    unlink(path.c_str());
}

TEST(RegistryFile, AFileThatEndsInsideAValueIsNotEdited)
{
    // The last value's data continues past the end of the text: anything written after it would
    // complete that value and change what it reads as.
    std::string text = std::string("WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n") +
                       "[Software\\\\T] 1796620024\n\"bin\"=hex:01,02,\\\n  03,\\";
    RegFile file = parse(text.c_str());
    ASSERT_TRUE(file.endsInsideValue);
    std::string error;
    for (const char *key : {"Software\\T", "Software\\Z"}) {
        EXPECT_FALSE(layer::setRegValue(file, keyPath(layer::ansiToUtf16(key, strlen(key))), RegView::Native, u"v",
                                        REG_DWORD, dword(1), error)) << key;
        EXPECT_NE(error.find("ends inside a value"), std::string::npos) << error;
        EXPECT_EQ(text, file.text);
    }
}

TEST(RegistryFile, SavingReplacesTheFileWholeAndKeepsItsMode)
{
    std::string path = testPrefix() + "/registry-save-test.reg";
    std::ofstream(path) << wine64RegistryText;
    ASSERT_EQ(0, chmod(path.c_str(), 0640));
    std::string link = path + ".link";
    unlink(link.c_str());
    ASSERT_EQ(0, symlink(path.c_str(), link.c_str()));

    std::string error;
    ASSERT_TRUE(layer::saveRegFile(link, "WINE REGISTRY Version 2\n", error)) << error;
    struct stat st;
    ASSERT_EQ(0, lstat(link.c_str(), &st));
    EXPECT_TRUE(S_ISLNK(st.st_mode)) << "a link is written through, not replaced";
    ASSERT_EQ(0, stat(path.c_str(), &st));
    EXPECT_EQ(0640u, st.st_mode & 07777);
    std::ifstream in(path);
    std::stringstream content;
    content << in.rdbuf();
    EXPECT_EQ("WINE REGISTRY Version 2\n", content.str());

    EXPECT_FALSE(layer::saveRegFile(testPrefix() + "/no/such/dir/system.reg", "x", error));
    EXPECT_NE(std::string::npos, error.find("No such file or directory")) << error;
    unlink(link.c_str());
    unlink(path.c_str());
}

} // namespace
