// The dialog template parser and the dialog built from what it read: DLGTEMPLATE (the extended
// form and creation data are refused), fonts, class and text fields as ordinals or strings, and
// layouts at the limits of their 16-bit fields. The input is one template.
//
// What must hold: the parser reads only the template's bytes (they lie in a buffer of exactly their
// size), and a dialog made from any template that parses can be created, worked through its items
// and destroyed, its windows' pixels never more than the desktop holds.
#include "fuzz_support.h"

#include <cstring>
#include <memory>

#include "layer_control.h"
#include "windowing.h"

namespace {

INT_PTR CALLBACK quietProc(HWND, UINT, WPARAM, LPARAM)
{
    return FALSE;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static bool ready = (fuzzPrefix(), answerBoxes(), true);
    (void)ready;
    std::unique_ptr<unsigned char[]> bytes(new unsigned char[size ? size : 1]);
    if (size)
        memcpy(bytes.get(), data, size);
    const unsigned char *begin = bytes.get();
    layer::win::DialogSpec layout = {};
    if (!layer::win::parseTemplate(begin, size, layout))
        return 0;
    // Many controls only make a run slow; the parser has seen them all.
    if (layout.items.size() > 64)
        return 0;
    HWND dialog = layer::win::createDialog(layout, nullptr, quietProc, 0, false);
    if (dialog) {
        // However large the template, no window holds more pixels than the desktop shows.
        ShowWindow(dialog, SW_SHOWNORMAL);
        UpdateWindow(dialog);
        SIZE desktop = layer::win::desktopSize();
        std::vector<HWND> windows = layer::win::childWindows(dialog);
        windows.push_back(dialog);
        for (HWND hwnd : windows) {
            const layer::win::Window *window = layer::win::findWindow(hwnd);
            FUZZ_CHECK(!window || (window->surface.width <= desktop.cx && window->surface.height <= desktop.cy),
                       "a surface larger than the desktop");
        }
        for (const layer::win::DialogItem &item : layout.items) {
            HWND control = GetDlgItem(dialog, item.id);
            if (control) {
                SetWindowTextA(control, item.text.c_str());
                char text[64];
                GetWindowTextA(control, text, sizeof text);
                FUZZ_CHECK(memchr(text, 0, sizeof text), "GetWindowTextA left its buffer unterminated");
            }
        }
        RECT rect = {0, 0, 4, 8};
        MapDialogRect(dialog, &rect);
        layer::win::destroyWindow(dialog);
    }
    layerReset();
    answerBoxes();
    return 0;
}
