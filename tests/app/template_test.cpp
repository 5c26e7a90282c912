// The program's resources as the resource compiler stored them: the main dialog's template field
// by field, and the background picture's packed bitmap.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "resource.h"

namespace {

const WORD US_ENGLISH = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);

// Reads a template as DialogBoxParamA reads it.
struct Reader {
    const BYTE *p;
    WORD word()
    {
        WORD value = (WORD)(p[0] | p[1] << 8);
        p += 2;
        return value;
    }
    DWORD dword()
    {
        DWORD low = word();
        return low | (DWORD)word() << 16;
    }
    // An ordinal as "#n", else the UTF-16 text (ASCII here).
    std::string text()
    {
        if (p[0] == 0xFF && p[1] == 0xFF) {
            p += 2;
            return "#" + std::to_string(word());
        }
        std::string out;
        while (WORD c = word())
            out += (char)c;
        return out;
    }
    void align(const BYTE *start) { p = start + ((p - start + 3) & ~3); }
};

struct Control {
    DWORD style;
    short x, y, cx, cy;
    WORD id;
    const char *windowClass;
    const char *text;
};

const Control CONTROLS[] = {
    {WS_CHILD | WS_VISIBLE | WS_BORDER | SS_BLACKFRAME | SS_SUNKEN, 5, 5, 155, 196, 1025, "#130", ""},
    {WS_CHILD | WS_VISIBLE | WS_BORDER | SS_BLACKFRAME | SS_SUNKEN, 165, 5, 125, 65, 65535, "#130", ""},
    {WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 170, 10, 115, 25, 1000, "#128", "Install VK2: Delvarin 1"},
    {WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 170, 40, 115, 25, 1001, "#128", "Install VK2: Delvarin 2"},
    {WS_CHILD | WS_VISIBLE | WS_BORDER | SS_BLACKFRAME | SS_SUNKEN, 165, 75, 125, 55, 65535, "#130", ""},
    {WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON | BS_CENTER | BS_MULTILINE, 170, 80, 115, 20, 1029, "#128",
     "   View\nHelp File"},
    {WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON | BS_CENTER | BS_MULTILINE, 170, 105, 115, 19, 1030, "#128",
     "Credits"},
    {WS_CHILD | WS_BORDER | SS_BLACKFRAME | SS_SUNKEN, 165, 134, 125, 46, 1012, "#130", ""},
    {WS_CHILD | WS_GROUP | SS_LEFT, 170, 139, 115, 8, 1011, "#130", ""},
    {WS_CHILD | WS_GROUP | SS_LEFT, 170, 149, 115, 8, 1014, "#130", ""},
    {WS_CHILD | WS_BORDER, 170, 160, 115, 15, 1022, "msctls_progress32", "Progress1"},
    {WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 248, 185, 42, 14, 2, "#128", "Quit"},
};

} // namespace

TEST(Resources, TheMainDialogTemplateHoldsEveryFieldAsDesigned)
{
    HRSRC info = FindResourceExA(NULL, RT_DIALOG, MAKEINTRESOURCEA(IDD_MAIN), US_ENGLISH);
    ASSERT_NE(info, nullptr) << "template 101 is not stored under language 1033";
    const BYTE *start = (const BYTE *)LockResource(LoadResource(NULL, info));
    Reader in{start};

    // A classic template: no DLGTEMPLATEEX signature in front.
    ASSERT_FALSE(start[0] == 1 && start[2] == 0xFF && start[3] == 0xFF);
    EXPECT_EQ(in.dword(), (DWORD)(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT));
    EXPECT_EQ(in.dword(), 0u);
    ASSERT_EQ(in.word(), 12);
    EXPECT_EQ((short)in.word(), 0);
    EXPECT_EQ((short)in.word(), 0);
    EXPECT_EQ((short)in.word(), 297);
    EXPECT_EQ((short)in.word(), 207);
    EXPECT_EQ(in.text(), "");
    EXPECT_EQ(in.text(), "");
    EXPECT_EQ(in.text(), "VKZS: Delvarin 2 Installer");
    EXPECT_EQ(in.word(), 8);
    EXPECT_EQ(in.text(), "MS Sans Serif");

    for (const Control &expected : CONTROLS) {
        in.align(start);
        SCOPED_TRACE(expected.id);
        EXPECT_EQ(in.dword(), expected.style);
        EXPECT_EQ(in.dword(), 0u);
        EXPECT_EQ((short)in.word(), expected.x);
        EXPECT_EQ((short)in.word(), expected.y);
        EXPECT_EQ((short)in.word(), expected.cx);
        EXPECT_EQ((short)in.word(), expected.cy);
        EXPECT_EQ(in.word(), expected.id);
        // The resource compiler stores a class name in capitals; classes match without case.
        EXPECT_EQ(strcasecmp(in.text().c_str(), expected.windowClass), 0);
        EXPECT_EQ(in.text(), expected.text);
        EXPECT_EQ(in.word(), 0) << "no creation data";
    }
}

TEST(Resources, ThePictureIsThePackedBitmapTheDialogPaints)
{
    HRSRC info = FindResourceExA(NULL, RT_BITMAP, MAKEINTRESOURCEA(IDB_PICTURE), US_ENGLISH);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(SizeofResource(NULL, info), 75304u);
    const BITMAPINFOHEADER *header = (const BITMAPINFOHEADER *)LockResource(LoadResource(NULL, info));
    ASSERT_NE(header, nullptr);
    EXPECT_EQ(header->biSize, 40u);
    EXPECT_EQ(header->biWidth, 230);
    EXPECT_EQ(header->biHeight, 320);
    EXPECT_EQ(header->biPlanes, 1);
    EXPECT_EQ(header->biBitCount, 8);
    EXPECT_EQ(header->biCompression, (DWORD)BI_RGB);
    EXPECT_EQ(header->biSizeImage, 0u);
    EXPECT_EQ(header->biXPelsPerMeter, 0);
    EXPECT_EQ(header->biYPelsPerMeter, 0);
    EXPECT_EQ(header->biClrUsed, 0u);
    EXPECT_EQ(header->biClrImportant, 0u);
    // Every colour of the table is its own.
    const RGBQUAD *table = (const RGBQUAD *)(header + 1);
    for (int i = 0; i < 256; ++i)
        for (int j = 0; j < i; ++j)
            ASSERT_FALSE(memcmp(&table[i], &table[j], 3) == 0) << i << " repeats " << j;
}
