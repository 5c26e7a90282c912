// Whether a painted picture shows an 8-bit bitmap's rows whole and in order: every painted pixel is
// one of the bitmap's colours, and every painted row is one of the bitmap's rows stretched, the rows
// following each other from the top row to the bottom one. Shared by the native tests and those
// under Wine; it holds for any stretch that repeats or leaves out whole rows and columns.
#ifndef TESTS_PICTURE_ROWS_H
#define TESTS_PICTURE_ROWS_H

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

// Whether `painted` items can be `source` items stretched, `same` telling which match: each painted
// item is a source item, in order, the first within `step` of the start, each within `step` of the
// one before (0: repeated), the last within `step` of the end.
template <typename Same>
bool stretchedInOrder(int painted, int source, Same same)
{
    int step = (source + painted - 1) / painted;
    std::vector<int> reach;
    std::vector<int> next;
    for (int j = 0; j < step && j < source; ++j)
        if (same(0, j))
            reach.push_back(j);
    for (int i = 1; i < painted && !reach.empty(); ++i) {
        next.clear();
        for (int from : reach)
            for (int j = from; j <= from + step && j < source; ++j)
                if ((next.empty() || next.back() < j) && same(i, j))
                    next.push_back(j);
        reach.swap(next);
    }
    return !reach.empty() && reach.back() >= source - step;
}

// `painted` holds width x height colours, row by row from the top. Returns "" when the picture
// shows the bitmap's rows, else what is wrong.
inline std::string paintedRowsFault(const BITMAPINFOHEADER *header, const BYTE *bits,
                                    const std::vector<COLORREF> &painted, int width, int height)
{
    const RGBQUAD *table = reinterpret_cast<const RGBQUAD *>(reinterpret_cast<const BYTE *>(header) + header->biSize);
    int sourceWidth = header->biWidth;
    int sourceHeight = header->biHeight;
    int stride = (sourceWidth + 3) & ~3;
    std::vector<COLORREF> source; // from the top row down
    for (int y = 0; y < sourceHeight; ++y) {
        const BYTE *indexes = bits + static_cast<size_t>(sourceHeight - 1 - y) * stride;
        for (int x = 0; x < sourceWidth; ++x)
            source.push_back(RGB(table[indexes[x]].rgbRed, table[indexes[x]].rgbGreen, table[indexes[x]].rgbBlue));
    }

    char text[160];
    std::set<COLORREF> colours(source.begin(), source.end());
    for (size_t i = 0; i < painted.size(); ++i) {
        if (!colours.count(painted[i])) {
            snprintf(text, sizeof text, "pixel (%d, %d) is #%06lx, no colour of the bitmap", static_cast<int>(i % width),
                     static_cast<int>(i / width), static_cast<unsigned long>(painted[i]));
            return text;
        }
    }
    auto rowShows = [&](int y, int row) {
        const COLORREF *line = painted.data() + static_cast<size_t>(y) * width;
        const COLORREF *from = source.data() + static_cast<size_t>(row) * sourceWidth;
        return stretchedInOrder(width, sourceWidth, [&](int x, int column) { return line[x] == from[column]; });
    };
    int lastGood = -1;
    bool shown = stretchedInOrder(height, sourceHeight, [&](int y, int row) {
        bool same = rowShows(y, row);
        lastGood = same ? std::max(lastGood, y) : lastGood;
        return same;
    });
    if (!shown) {
        snprintf(text, sizeof text, "the %d painted rows do not show the bitmap's %d rows in order; row %d is the "
                 "last that shows one", height, sourceHeight, lastGood);
        return text;
    }
    return "";
}

#endif
