// Dialog templates in the classic form (DLGTEMPLATE) that the resource compilers store, read with
// every read checked against the template's size.
#include "windowing.h"

#include <string>

namespace layer {
namespace win {
namespace {

class TemplateReader {
public:
    TemplateReader(const unsigned char *data, size_t size) : data_(data), size_(size) {}

    bool word(WORD &value)
    {
        if (size_ - pos_ < 2 || pos_ > size_)
            return fail();
        value = static_cast<WORD>(data_[pos_] | (data_[pos_ + 1] << 8));
        pos_ += 2;
        return true;
    }

    bool dword(DWORD &value)
    {
        WORD low = 0, high = 0;
        if (!word(low) || !word(high))
            return false;
        value = low | (static_cast<DWORD>(high) << 16);
        return true;
    }

    bool shortValue(short &value)
    {
        WORD raw = 0;
        if (!word(raw))
            return false;
        value = static_cast<short>(raw);
        return true;
    }

    // A UTF-16 string ending in a null, turned into the ANSI code page: characters up to U+00FF are
    // the same byte there, others have no ANSI form and become '?'.
    bool string(std::string &value)
    {
        value.clear();
        for (;;) {
            WORD c = 0;
            if (!word(c))
                return false;
            if (c == 0)
                return true;
            value.push_back(c < 0x100 ? static_cast<char>(c) : '?');
        }
    }

    // A menu, class or text field: 0xFFFF and an ordinal, or a string (empty for none).
    bool nameOrOrdinal(std::string &name, WORD &ordinal)
    {
        ordinal = 0;
        name.clear();
        WORD first = 0;
        size_t start = pos_;
        if (!word(first))
            return false;
        if (first == 0xFFFF)
            return word(ordinal);
        pos_ = start;
        return string(name);
    }

    bool alignToDword()
    {
        size_t aligned = (pos_ + 3) & ~static_cast<size_t>(3);
        if (aligned > size_) {
            // The last item's padding may be missing at the end of the resource.
            pos_ = size_;
            return true;
        }
        pos_ = aligned;
        return true;
    }

private:
    bool fail()
    {
        pos_ = size_ + 1;
        return false;
    }

    const unsigned char *data_;
    size_t size_;
    size_t pos_ = 0;
};

// The predefined classes that the installer's template names by ordinal.
const char *classForOrdinal(WORD ordinal)
{
    switch (ordinal) {
    case 0x80:
        return "Button";
    case 0x82:
        return "Static";
    }
    return nullptr;
}

} // namespace

bool parseTemplate(const unsigned char *data, size_t size, DialogSpec &layout)
{
    TemplateReader in(data, size);
    WORD count = 0;
    if (!in.dword(layout.style) || !in.dword(layout.exStyle) || !in.word(count) || !in.shortValue(layout.x) ||
        !in.shortValue(layout.y) || !in.shortValue(layout.cx) || !in.shortValue(layout.cy))
        return false;
    // The extended form (DLGTEMPLATEEX) starts with version 1 and signature 0xFFFF where the style
    // stands; it is not read.
    if (layout.style == 0xFFFF0001)
        return false;
    std::string menu, windowClass;
    WORD menuOrdinal = 0, classOrdinal = 0;
    // A menu would take a bar in the non-client area; the system's templates have none.
    if (!in.nameOrOrdinal(menu, menuOrdinal) || !in.nameOrOrdinal(windowClass, classOrdinal) ||
        !in.string(layout.title))
        return false;
    layout.hasFont = (layout.style & DS_SETFONT) != 0;
    layout.pointSize = 0;
    std::string face;
    if (layout.hasFont && (!in.word(layout.pointSize) || !in.string(face)))
        return false;
    for (WORD i = 0; i < count; ++i) {
        in.alignToDword();
        DialogItem item = {};
        if (!in.dword(item.style) || !in.dword(item.exStyle) || !in.shortValue(item.x) || !in.shortValue(item.y) ||
            !in.shortValue(item.cx) || !in.shortValue(item.cy) || !in.word(item.id))
            return false;
        WORD ordinal = 0;
        if (!in.nameOrOrdinal(item.className, ordinal))
            return false;
        if (item.className.empty()) {
            const char *name = classForOrdinal(ordinal);
            // An unknown ordinal names no class, and creating the control fails.
            item.className = name ? name : "#" + std::to_string(ordinal);
        }
        // A text given as an ordinal names a resource (an icon); it has no text of its own.
        if (!in.nameOrOrdinal(item.text, ordinal))
            return false;
        // Creation data, which the installer's controls have none of, is not passed on: a template
        // with any is refused.
        WORD dataSize = 0;
        if (!in.word(dataSize) || dataSize)
            return false;
        layout.items.push_back(item);
    }
    return true;
}

} // namespace win
} // namespace layer
