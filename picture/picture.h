// The background picture: the picture control painted from the bitmap resource through a logical
// palette, and the dialog's part in the system's palette exchange.
#ifndef DA12_PICTURE_PICTURE_H
#define DA12_PICTURE_PICTURE_H

#include <windows.h>

// Set once by initPicture and kept until the process ends.
extern HWND pictureControl;
extern const BITMAPINFOHEADER *pictureHeader; // the loaded resource: header, colour table, bits
extern const BYTE *pictureBits;
extern HPALETTE picturePalette; // null when it could not be made
extern WNDPROC picturePrevProc; // the control's procedure before subclassing
// 1: the picture's next paint realises the palette. Armed by the dialog, cleared by the paint.
extern DWORD paletteRealizePending;

// Loads the picture, builds its palette and takes over the picture control's painting.
void initPicture(HWND dlg);

// Takes a packed bitmap of `size` bytes as the picture of pictureControl: builds its palette and
// subclasses the control. FALSE, and nothing changed, when the bitmap cannot be painted from.
BOOL usePicture(const BITMAPINFOHEADER *header, DWORD size);

LRESULT CALLBACK pictureWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The dialog is coming to the front: the picture's next paint realises its palette.
void armPaletteRealization(HWND dlg);

// Another window changed the system palette: re-map the colours of the picture on screen.
void followPaletteChange(HWND dlg, HWND changer);

#endif
