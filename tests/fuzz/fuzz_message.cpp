// The system's message and path building: formatText and formatMessage with the formats the
// system uses, the viewer's document and command paths from the source directory, and the space
// warning. The input is one byte for the buffer size, then newline-separated texts.
//
// What must hold: a formatted text is the full text cut to the buffer, always terminated, and
// reported as cut exactly when it was; nothing is written past the size given (the buffer has
// exactly that size); every refusal of the viewer and the space check tells the user in a box.
#include "fuzz_support.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>

#include "common/message.h"
#include "env/environment.h"
#include "install/pack.h"
#include "layer_control.h"
#include "proc/viewer.h"

namespace {

// The text a format gives in full, for comparison.
std::string fullText(const char *format, ...) __attribute__((format(printf, 1, 2)));
std::string fullText(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    int length = vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string text(length > 0 ? static_cast<size_t>(length) : 0, '\0');
    vsnprintf(&text[0], text.size() + 1, format, copy);
    va_end(copy);
    return text;
}

void checkCut(const char *buffer, size_t size, BOOL fits, const std::string &full)
{
    FUZZ_CHECK((fits != FALSE) == (full.size() < size),
               "fits " + std::to_string(fits) + " for " + std::to_string(full.size()) + " characters in " +
                   std::to_string(size));
    if (size == 0)
        return;
    size_t kept = full.size() < size ? full.size() : size - 1;
    FUZZ_CHECK(memcmp(buffer, full.data(), kept) == 0 && buffer[kept] == 0, "the text was not cut at its end");
}

void formatPaths(size_t size, const std::string &a, const std::string &b)
{
    std::unique_ptr<char[]> buffer(new char[size ? size : 1]);
    BOOL fits = formatText(buffer.get(), size, "%s%s", a.c_str(), b.c_str());
    checkCut(buffer.get(), size, fits, a + b);
    fits = formatText(buffer.get(), size, "%s %s", a.c_str(), b.c_str());
    checkCut(buffer.get(), size, fits, a + " " + b);
    fits = formatText(buffer.get(), size, "%s%s%s", a.c_str(), "vk2\\", b.c_str());
    checkCut(buffer.get(), size, fits, a + "vk2\\" + b);

    fits = formatMessage("Could not copy file '%s' to '%s'", a.c_str(), b.c_str());
    checkCut(messageText, sizeof messageText, fits, "Could not copy file '" + a + "' to '" + b + "'");
    fits = formatMessage("Key: '%s' not accessible", a.c_str());
    checkCut(messageText, sizeof messageText, fits, "Key: '" + a + "' not accessible");
    fits = formatMessage("%s, %d", a.c_str(), static_cast<int>(size) - 128);
    checkCut(messageText, sizeof messageText, fits, fullText("%s, %d", a.c_str(), static_cast<int>(size) - 128));
}

// The viewer with the source directory taken from the input: the document is found or a box says
// it is not; the viewer cannot start in this prefix, and a box says so.
void viewWith(const std::string &source, bool credits)
{
    size_t length = source.size() < sizeof sourceDir - 1 ? source.size() : sizeof sourceDir - 1;
    memcpy(sourceDir, source.data(), length);
    sourceDir[length] = 0;
    size_t before = seenBoxes().size();
    viewDocument(credits ? "credits.txt" : "install.doc");
    FUZZ_CHECK(seenBoxes().size() == before + 1, "the viewer answered " + std::to_string(seenBoxes().size() - before) +
                                                     " boxes for source '" + source + "'");
    FUZZ_CHECK(!seenBoxes().back().text.empty(), "an empty box for source '" + source + "'");
}

void spaceCheck(char drive, const std::string &amount, int megabytes)
{
    ULONGLONG bytes = 0;
    for (unsigned char c : amount)
        bytes = bytes * 131 + c;
    layerSetFreeSpace('C', bytes);
    size_t before = seenBoxes().size();
    int enough = checkDiskSpace(drive, megabytes);
    if (!enough) {
        FUZZ_CHECK(seenBoxes().size() == before + 1, "a refusal without a box");
        std::string start = std::string("Drive ") + drive + ":";
        FUZZ_CHECK(seenBoxes().back().text.compare(0, start.size(), start) == 0,
                   "the warning does not name the drive: " + seenBoxes().back().text);
    } else {
        FUZZ_CHECK(seenBoxes().size() == before, "a box although the space sufficed");
    }
}

void setUp()
{
    const std::string &prefix = fuzzPrefix();
    makeDirs(prefix + "/drive_d/Delvarin");
    writeFile(prefix + "/drive_d/Delvarin/install.doc", "help");
    writeFile(prefix + "/drive_d/Delvarin/credits.txt", "credits");
    addDrive('d', "../drive_d");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static bool ready = (setUp(), true);
    (void)ready;
    if (size == 0)
        return 0;
    size_t bufferSize = data[0] < 0xF0 ? data[0] : static_cast<size_t>(data[0] - 0xF0) * 256;
    std::vector<std::string> fields = splitFields(data + 1, size - 1, 3);
    for (std::string &field : fields)
        field = field.substr(0, strlen(field.c_str()));

    WorkIn here(fuzzPrefix() + "/drive_d/Delvarin");
    layerReset();
    answerBoxes();
    formatPaths(bufferSize, fields[0], fields[1]);
    viewWith(fields[0], data[0] & 1);
    spaceCheck(fields[2].empty() ? 'C' : fields[2][0], fields[2], static_cast<int>(data[0]) - 16);
    return 0;
}
