// The background picture and its palette.
#include "picture/picture.h"

#include <limits.h>
#include <stdlib.h>

#include "common/instance.h"
#include "resource.h"

HWND pictureControl;
const BITMAPINFOHEADER *pictureHeader;
const BYTE *pictureBits;
HPALETTE picturePalette;
WNDPROC picturePrevProc;
DWORD paletteRealizePending;

// The palette description: its header and room for 257 entries.
static const size_t PALETTE_BLOCK_SIZE = 1032;
static const DWORD MAX_PALETTE_COLOURS = 256;

// The colour table's length: biClrUsed, else every colour of the bit depth. Bitmaps deeper than
// 8 bits have no table to build a palette from.
static DWORD colourCount(const BITMAPINFOHEADER *header)
{
    if (header->biClrUsed)
        return header->biClrUsed;
    return header->biBitCount <= 8 ? 1u << header->biBitCount : 0;
}

// Builds the logical palette from the colour table, turning its blue-green-red entries into
// red-green-blue ones. Null when the table does not fit the block or nothing can be allocated.
static HPALETTE createPicturePalette(const BITMAPINFOHEADER *header, DWORD colours)
{
    if (colours == 0 || colours > MAX_PALETTE_COLOURS)
        return NULL;
    LOGPALETTE *description = (LOGPALETTE *)malloc(PALETTE_BLOCK_SIZE);
    if (!description)
        return NULL;
    const RGBQUAD *table = (const RGBQUAD *)((const BYTE *)header + header->biSize);
    description->palVersion = 0x300;
    description->palNumEntries = (WORD)colours;
    for (DWORD i = 0; i < colours; ++i) {
        description->palPalEntry[i].peRed = table[i].rgbRed;
        description->palPalEntry[i].peGreen = table[i].rgbGreen;
        description->palPalEntry[i].peBlue = table[i].rgbBlue;
        description->palPalEntry[i].peFlags = 0;
    }
    HPALETTE palette = CreatePalette(description);
    free(description);
    return palette;
}

// The bytes a packed bitmap needs: header, colour table and rows padded to four bytes.
static DWORD packedSize(const BITMAPINFOHEADER *header, DWORD colours)
{
    unsigned long long rowBytes = ((unsigned long long)(DWORD)abs(header->biWidth) * header->biBitCount + 31) / 32 * 4;
    unsigned long long size = header->biSize + 4ull * colours + rowBytes * (DWORD)abs(header->biHeight);
    return size > 0xFFFFFFFFull ? 0xFFFFFFFF : (DWORD)size;
}

BOOL usePicture(const BITMAPINFOHEADER *header, DWORD size)
{
    if (!header || size < sizeof(BITMAPINFOHEADER) || header->biSize < sizeof(BITMAPINFOHEADER))
        return FALSE;
    // The smallest 32-bit value has no magnitude of its own type: abs() of it is undefined.
    if (header->biWidth == INT_MIN || header->biHeight == INT_MIN)
        return FALSE;
    DWORD colours = colourCount(header);
    if (packedSize(header, colours) > size)
        return FALSE;

    pictureHeader = header;
    pictureBits = (const BYTE *)header + header->biSize + 4 * colours;
    picturePalette = createPicturePalette(header, colours);

    // A control that already paints the picture keeps the procedure it had before.
    WNDPROC current = (WNDPROC)GetWindowLongPtrA(pictureControl, GWLP_WNDPROC);
    if (current == pictureWndProc)
        return TRUE;
    picturePrevProc = current;
    if (picturePrevProc)
        SetWindowLongPtrA(pictureControl, GWLP_WNDPROC, (LONG_PTR)pictureWndProc);
    return TRUE;
}

void initPicture(HWND dlg)
{
    pictureControl = GetDlgItem(dlg, IDC_PICTURE);

    // Without its resource the installer goes on without a picture: the panel keeps its frame.
    HRSRC resource = FindResourceA(moduleInstance, MAKEINTRESOURCEA(IDB_PICTURE), RT_BITMAP);
    HGLOBAL loaded = resource ? LoadResource(moduleInstance, resource) : NULL;
    const BITMAPINFOHEADER *header = loaded ? (const BITMAPINFOHEADER *)LockResource(loaded) : NULL;
    if (header)
        usePicture(header, SizeofResource(moduleInstance, resource));
}

// Paints the whole picture over the whole client area, straight from the resource.
static void paintPicture(HWND window)
{
    RECT client;
    GetClientRect(window, &client);
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    if (picturePalette)
        SelectPalette(dc, picturePalette, FALSE);
    if (paletteRealizePending) {
        paletteRealizePending = 0;
        RealizePalette(dc);
    }
    // The default mode, BLACKONWHITE, ANDs together the rows and columns that a stretch folds into
    // one, which gives colours the picture does not have; COLORONCOLOR keeps one of them.
    SetStretchBltMode(dc, COLORONCOLOR);
    StretchDIBits(dc, 0, 0, client.right, client.bottom, 0, 0, pictureHeader->biWidth, pictureHeader->biHeight,
                  pictureBits, (const BITMAPINFO *)pictureHeader, DIB_RGB_COLORS, SRCCOPY);
    // The palette stays selected: the paint DC goes back to the system with EndPaint.
    EndPaint(window, &paint);
}

LRESULT CALLBACK pictureWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != WM_PAINT)
        return CallWindowProcA(picturePrevProc, window, message, wParam, lParam);
    paintPicture(window);
    return 1;
}

// The dialog does not clip its children, so invalidating it invalidates the picture too.
void armPaletteRealization(HWND dlg)
{
    paletteRealizePending = 1;
    InvalidateRect(dlg, NULL, TRUE);
}

// A change that the dialog or the picture caused needs no answer; answering it would set off an
// endless exchange of palette messages.
void followPaletteChange(HWND dlg, HWND changer)
{
    if (changer == dlg || changer == pictureControl)
        return;
    HDC dc = GetDC(pictureControl);
    SelectPalette(dc, picturePalette, FALSE);
    if (RealizePalette(dc))
        UpdateColors(dc);
    ReleaseDC(pictureControl, dc);
}
