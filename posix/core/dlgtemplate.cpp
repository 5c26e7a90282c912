// Dialog templates as the resource compilers store them, classic and extended, read with every
// read checked against the template's size.
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

    bool bytes(size_t count)
    {
        if (size_ - pos_ < count || pos_ > size_)
            return fail();
        pos_ += count;
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

    const unsigned char *here() const { return data_ + pos_; }

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

// The predefined classes that a template names by ordinal.
const char *classForOrdinal(WORD ordinal)
{
    static const char *const names[] = {"Button", "Edit", "Static", "ListBox", "ScrollBar", "ComboBox"};
    // Windows takes ordinals 0 to 5 the same as 0x80 to 0x85.
    if (ordinal >= 0x80 && ordinal <= 0x85)
        ordinal -= 0x80;
    return ordinal <= 5 ? names[ordinal] : nullptr;
}

} // namespace

bool parseTemplate(const unsigned char *data, size_t size, DialogSpec &layout)
{
    TemplateReader in(data, size);
    WORD version = 0, signature = 0;
    if (!in.word(version) || !in.word(signature))
        return false;
    bool extended = version == 1 && signature == 0xFFFF;
    WORD count = 0;
    if (extended) {
        DWORD helpId = 0;
        if (!in.dword(helpId) || !in.dword(layout.exStyle) || !in.dword(layout.style))
            return false;
    } else {
        layout.style = version | (static_cast<DWORD>(signature) << 16);
        if (!in.dword(layout.exStyle))
            return false;
    }
    if (!in.word(count) || !in.shortValue(layout.x) || !in.shortValue(layout.y) || !in.shortValue(layout.cx) ||
        !in.shortValue(layout.cy))
        return false;
    std::string menu, windowClass;
    WORD menuOrdinal = 0, classOrdinal = 0;
    // A menu would take a bar in the non-client area; the system's templates have none.
    if (!in.nameOrOrdinal(menu, menuOrdinal) || !in.nameOrOrdinal(windowClass, classOrdinal) ||
        !in.string(layout.title))
        return false;
    layout.hasFont = (layout.style & DS_SETFONT) != 0;
    layout.pointSize = 0;
    if (layout.hasFont) {
        if (!in.word(layout.pointSize))
            return false;
        if (layout.pointSize != messageFontPoints) {
            std::string face;
            if (extended && !in.bytes(4)) // weight, italic, character set
                return false;
            if (!in.string(face))
                return false;
        }
    }
    for (WORD i = 0; i < count; ++i) {
        in.alignToDword();
        DialogItem item = {};
        DWORD id = 0;
        if (extended) {
            DWORD helpId = 0;
            if (!in.dword(helpId) || !in.dword(item.exStyle) || !in.dword(item.style))
                return false;
        } else if (!in.dword(item.style) || !in.dword(item.exStyle)) {
            return false;
        }
        if (!in.shortValue(item.x) || !in.shortValue(item.y) || !in.shortValue(item.cx) ||
            !in.shortValue(item.cy))
            return false;
        if (extended) {
            if (!in.dword(id))
                return false;
        } else {
            WORD shortId = 0;
            if (!in.word(shortId))
                return false;
            id = shortId;
        }
        item.id = static_cast<WORD>(id);
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
        // The creation data: its size in bytes, then the data; the control gets the address of the
        // size, as Windows passes it.
        const unsigned char *dataStart = in.here();
        WORD dataSize = 0;
        if (!in.word(dataSize))
            return false;
        if (dataSize) {
            if (!in.bytes(dataSize))
                return false;
            item.createData = dataStart;
        }
        layout.items.push_back(item);
    }
    return true;
}

} // namespace win
} // namespace layer
