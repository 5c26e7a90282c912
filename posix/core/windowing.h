// The window system's internals, shared by its families (windows, dialogs, controls, paint, gdi,
// message boxes, input), by the front ends that show the windows and feed them input (the
// terminal) and by the test kit. Everything here runs on the program's one GUI thread, as Win32
// windows belong to the thread that created them.
#ifndef POSIX_WINDOWING_H
#define POSIX_WINDOWING_H

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace layer {
namespace win {

// ---- Window objects (windows.cpp) ----

// A registered window class. The layer registers only the system's own classes.
struct WindowClass {
    std::string name;
    WNDPROC proc;
};

// State that a class keeps with each of its windows, as Windows keeps it in the window's extra
// bytes: the dialog manager's data, a button's state, a progress bar's range.
struct WindowExtra {
    virtual ~WindowExtra() = default;
};

// A window's pixels: its client area (at most the desktop's size of it), row by row from the top.
// On the true-colour display each value is a COLORREF; on the palette display it is a system
// palette index, shown in the colour that entry holds now (drawnWith is the system palette at the
// time the indices were written).
struct Surface {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
    std::vector<PALETTEENTRY> drawnWith;
};

struct Window {
    HWND handle = nullptr;
    const WindowClass *windowClass = nullptr;
    WNDPROC proc = nullptr;
    DWORD style = 0; // WS_VISIBLE and WS_DISABLED are the window's visible and enabled state
    DWORD exStyle = 0;
    LONG_PTR id = 0; // GWLP_ID: a child's control id
    LONG_PTR userData = 0;
    std::string text;
    HWND parent = nullptr;       // null for a top-level window
    HWND owner = nullptr;        // top-level windows only
    std::vector<HWND> children;  // stacking order, topmost (first created) first
    RECT rect = {0, 0, 0, 0};    // window rectangle in the parent's client coordinates (screen for top level)
    // The update region, kept as its bounding rectangle in client coordinates.
    bool invalid = false;
    bool erase = false;
    RECT update = {0, 0, 0, 0};
    Surface surface;
    std::unique_ptr<WindowExtra> extra;
};

// The window behind a handle, or nullptr. windowOrFail also sets ERROR_INVALID_WINDOW_HANDLE.
// A pointer stays valid only until the next message is sent: a window procedure may destroy windows.
Window *findWindow(HWND hwnd);
Window *windowOrFail(HWND hwnd);
// The window of a call that writes its answer through `out`: nullptr, with the last error set, when
// the handle names no window or `out` is null (ERROR_NOACCESS).
Window *windowAnswering(HWND hwnd, const void *out);

const WindowClass *registerClass(const char *name, WNDPROC proc);
const WindowClass *findClass(const char *name); // compared without case

struct CreateParams {
    const char *className;
    const char *text;
    DWORD style;
    DWORD exStyle;
    int x, y, width, height; // in the parent's client coordinates, or on the screen for top level
    HWND parent;             // the parent of a WS_CHILD window, else the owner
    LONG_PTR id;
};
// Creates a window as CreateWindowExA does: hidden, then shown if the style asks for WS_VISIBLE.
// Children go to the bottom of their siblings' stacking order, top-level windows to the top.
// Returns null with the last error set when the class is unknown or WM_NCCREATE/WM_CREATE refuse.
HWND createWindow(const CreateParams &params);
// Destroys a window, its owned windows and its children, as DestroyWindow does.
void destroyWindow(HWND hwnd);

HWND desktopWindow();
SIZE desktopSize(); // 1024 x 768 unless a test sets another
void setDesktopSize(SIZE size);
HWND topLevelOf(HWND hwnd);            // the window itself when it is top level
bool isChildOf(HWND parent, HWND hwnd); // any depth
bool isVisible(HWND hwnd);              // its WS_VISIBLE and every ancestor's
bool takesInput(HWND hwnd);             // visible, and neither it nor an ancestor disabled
std::vector<HWND> topLevelWindows();    // stacking order, topmost first
std::vector<HWND> &siblingsOf(Window &window); // its parent's children, or the top-level windows
bool enableWindow(HWND hwnd, bool enable);
// Reads (and with replace, writes) one window long; false with the last error set when the window
// or the index is not valid.
bool windowLong(HWND hwnd, int index, bool replace, LONG_PTR value, LONG_PTR &old);

// ---- Messages (messages.cpp) ----

LRESULT sendMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
// DefWindowProcA without its test failure, for the system's own window procedures.
LRESULT defWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
bool postMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
// The next message in the order Windows retrieves them: posted messages, then input, then WM_PAINT
// for the first visible window with an update region. False when there is none.
bool peekMessage(MSG &msg);
bool messagePending();
bool postedMessagesWaiting();
void dispatchMessage(const MSG &msg);

// ---- Focus and activation (focus.cpp) ----

HWND focusWindow();
HWND activeWindow();
// SetFocus as Windows does it: activates the window's top-level window first; refuses disabled
// windows.
HWND setFocus(HWND hwnd);
// Activates a top-level window (null: none of ours): WM_NCACTIVATE and WM_ACTIVATE to the window
// losing activation, WM_QUERYNEWPALETTE, WM_NCACTIVATE and WM_ACTIVATE to the window gaining it,
// then, with moveFocus, the focus to it unless the focus already lies within it.
void activateWindow(HWND hwnd, bool byMouse, bool moveFocus);
bool canActivate(HWND hwnd); // a visible, enabled top-level window of ours
// The window that Windows activates when the active one goes away: the next top-level window that
// can take it, else none.
void activateOther(HWND leaving);
// Moves the focus without the checks of SetFocus; returns the window that had it.
HWND moveFocus(HWND hwnd);
// A window is destroyed: it is neither active nor focused any more.
void forgetWindow(HWND hwnd);

// ---- Placement and showing (winpos.cpp) ----

// SW_HIDE, SW_SHOW or SW_SHOWNORMAL; returns whether the window was visible.
bool showWindow(HWND hwnd, int command);
// Hides a window without WM_SHOWWINDOW and without passing on activation or the focus.
void hideWindow(HWND hwnd);
// Non-client pixels on each side, from the style as Windows' metrics give them.
RECT nonClientMargins(DWORD style, DWORD exStyle);
SIZE clientSize(const Window &window);
POINT clientOriginOnScreen(const Window &window);

// ---- The dialog manager (dialogs.cpp) ----

struct DialogItem {
    std::string className; // "Button", "Static" or a class name from the template
    std::string text;
    DWORD style;
    DWORD exStyle;
    short x, y, cx, cy;    // dialog units
    WORD id;
};

struct DialogSpec {
    DWORD style;
    DWORD exStyle;
    short x, y, cx, cy;    // dialog units
    std::string title;
    bool hasFont;
    WORD pointSize;
    std::vector<DialogItem> items;
};

// Reads a classic dialog template (DLGTEMPLATE with its items) of `size` bytes; false when it ends
// before its last field, or is of the extended form, or an item has creation data.
bool parseTemplate(const unsigned char *data, size_t size, DialogSpec &layout);
// Creates a dialog and its controls, sends WM_INITDIALOG and sets the first focus, as
// CreateDialogIndirectParam does; for a modal dialog it first disables the owner's top-level window.
// Null when the font is not the 8-point one (ERROR_NOT_SUPPORTED) or a control's class is missing.
HWND createDialog(const DialogSpec &layout, HWND owner, DLGPROC proc, LPARAM param, bool modal);
// Runs the modal loop of a dialog made by createDialog, destroys it and returns its result.
INT_PTR runModalLoop(HWND dialog);
bool isDialog(HWND hwnd);
// The base units of dialogs, the pixels of four horizontal and eight vertical dialog units; false
// when the window is not a dialog.
bool dialogBaseUnits(HWND hwnd, int &x, int &y);
// MulDiv: the product over the divisor, rounded half away from zero.
int mulDiv(int number, int numerator, int denominator);
bool dialogEnded(HWND hwnd);
bool endDialog(HWND hwnd, INT_PTR result);
// What the dialog manager does for Escape and for Enter in the dialog.
void pressEscape(HWND dialog);
void pressEnter(HWND dialog);

// ---- Controls (controls.cpp) ----

void registerSystemClasses();
bool isDefaultButton(HWND hwnd);
struct ProgressState {
    int low, high, position, step;
};
bool progressState(HWND hwnd, ProgressState &state);

// ---- Painting (paint.cpp) ----

// A device context: a window's client area (or the screen, for a null window) with the palette
// selected into it. A paint DC clips drawing to the update rectangle that BeginPaint found.
struct DeviceContext {
    HWND window;
    HPALETTE palette;
    bool forceBackground;
    RECT clip;
    int stretchMode = BLACKONWHITE; // a new DC's, as Windows gives it
};
DeviceContext *findDC(HDC hdc);

HDC beginPaint(HWND hwnd, PAINTSTRUCT &paint);
void endPaint(HWND hwnd, const PAINTSTRUCT &paint);
void invalidate(HWND hwnd, const RECT *rect, bool erase); // rect in client coordinates, null: all
// Validates all of a window and the visible children that it does not clip.
void validate(HWND hwnd);
HWND nextWindowToPaint();
bool needsPaint(HWND hwnd); // it has an update region and shows
// Sends WM_ERASEBKGND where the update region asks for it; true when the window erased it.
bool sendErase(HWND hwnd);
void paintNow(HWND hwnd); // UpdateWindow: WM_PAINT to the window and its children that need it
// The erase that Windows does at once when a window appears.
void eraseNow(HWND hwnd);
// The surface of a window's client area, resized to it: all of it, or its top left part as large as
// the desktop.
Surface &surfaceOf(Window &window);
// Fills a rectangle (client coordinates) of the window's surface.
void fillSurface(Window &window, const RECT &rect, COLORREF colour);
void releaseWindowDCs(HWND hwnd);

// ---- Colours (gdi.cpp) ----

// The device value that a colour drawn through the DC gives, and the colour that a device value
// shows now.
uint32_t devicePixel(const DeviceContext &dc, COLORREF colour);
COLORREF shownColour(uint32_t pixel);
// Pixels were drawn on the surface (the palette display notes the system palette they were
// drawn with).
void drewOn(Surface &surface);
// A palette's entries, or null when the handle names none; the default palette is a stock object.
std::vector<PALETTEENTRY> *paletteEntries(HPALETTE hpal);
HPALETTE defaultPalette();
bool deletePalette(HPALETTE hpal);

// ---- Message boxes (msgbox.cpp) ----

struct MessageBoxView {
    std::string text;
    std::string caption;
    UINT style;
    HWND owner;
};
bool messageBoxView(HWND hwnd, MessageBoxView &view);

// ---- Input (input.cpp) ----

// Input as a user gives it. Each is queued and takes effect when the loop retrieves it, so that the
// focus at that moment decides where a key goes.
void pressKey(UINT vk, bool shift);
void click(HWND hwnd);               // ignored by a window that is hidden or disabled, or whose
                                     // ancestor is
void pressCloseBox(HWND hwnd);       // the close box of a top-level window's caption
void activateByUser(HWND hwnd, UINT how); // WA_ACTIVE (keyboard, system) or WA_CLICKACTIVE
void deactivateByUser(HWND hwnd);    // another program comes to the front
// The next message that queued input makes, for peekMessage; false when there is none, or when
// turning an event into messages posted messages, which come first.
bool nextInputMessage(MSG &msg);
bool inputPending();
// The state of VK_SHIFT for the input message being handled.
bool shiftPressed();

// Called by a modal loop each time it has nothing to do. Asks the input sources in turn: a test's
// message box handler (for a message box), a test's idle handler, the WINLAYER_SCRIPT file, the
// front end; when none gives input, the loop ends as Escape (a dialog) or Enter (a message box)
// would end it, so that a program run without input never hangs.
void idle(HWND loopWindow);

// ---- Front ends (frontend.cpp; the terminal is in posix/term) ----

// Asks for input while a loop waits: the WINLAYER_SCRIPT file's commands up to the next one that
// gives input, then the front end that is set. False when neither gave any.
bool frontEndInput(HWND loopWindow);
// The script (posix/term), when it is linked: its commands up to the next one that gives input;
// false when it has none left, or there is no script.
extern bool (*scriptInput)(HWND loopWindow);
// How long the script's `wait <file>` waits for its file (30 seconds until a test sets another).
DWORD scriptWaitLimit();
void setScriptWaitLimit(DWORD milliseconds);

// What changed on the screen: the front end redraws, the trace records some of it.
enum class Change {
    Created,
    Destroyed,
    Shown,
    Hidden,
    Moved,
    Text,
    Enabled,
    Focus,
    Activation,
    Painted,
    Pixels,
    Progress,
    DefaultButton,
    MessageBoxUp,
    MessageBoxDown,
    DialogEnded,
};
void notify(Change what, HWND hwnd);
// Appends a line to the WINLAYER_TRACE file, if there is one.
void trace(const std::string &line);
// A text quoted with C escapes, for trace lines.
std::string quoted(const std::string &text);

// A front end shows the windows and is an input source of its own. The layer calls idle after the
// test handlers and the script had their turn; it returns true when it gave input (through the
// calls above, or by posting), false to leave the loop to the fallback. changed follows every
// change in what a screen would show.
struct FrontEnd {
    bool (*idle)(HWND loopWindow);
    void (*changed)(Change what, HWND hwnd);
};
void setFrontEnd(const FrontEnd *frontEnd); // null removes it
// Set by a front end that installs itself when it is linked (the terminal's): called with every
// change while no front end is set, so that it may set itself as the windows come.
extern void (*offerFrontEnd)();

std::vector<HWND> childWindows(HWND hwnd); // a window's children, in stacking order, topmost first

} // namespace win
} // namespace layer

#endif
