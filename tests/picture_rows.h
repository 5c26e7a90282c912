// Whether a painted picture shows an 8-bit bitmap's rows whole and in order: every painted pixel is
// one of the bitmap's colours, and every painted row is one of the bitmap's rows, the rows following
// each other from the top row to the bottom one. Shared by the native tests and those under Wine.
#ifndef TESTS_PICTURE_ROWS_H
#define TESTS_PICTURE_ROWS_H

#include <windows.h>

#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

// A row with each run of one colour taken as one pixel: what is left of a row stretched wider,
// whichever columns the stretch repeats.
inline std::vector<COLORREF> runsOf(const COLORREF *row, int width)
{
    std::vector<COLORREF> runs;
    for (int x = 0; x < width; ++x)
        if (runs.empty() || runs.back() != row[x])
            runs.push_back(row[x]);
    return runs;
}

// `painted` holds width x height colours, row by row from the top; the picture is at least as wide
// as the bitmap. Returns "" when the picture shows the bitmap's rows, else the first fault found.
inline std::string paintedRowsFault(const BITMAPINFOHEADER *header, const BYTE *bits,
                                    const std::vector<COLORREF> &painted, int width, int height)
{
    const RGBQUAD *table = reinterpret_cast<const RGBQUAD *>(reinterpret_cast<const BYTE *>(header) + header->biSize);
    int sourceWidth = header->biWidth;
    int sourceHeight = header->biHeight;
    int stride = (sourceWidth + 3) & ~3;
    char text[160];

    std::set<COLORREF> colours;
    std::map<std::vector<COLORREF>, std::vector<int>> rowsByRuns; // the bitmap's rows, from the top
    std::vector<COLORREF> row(static_cast<size_t>(sourceWidth));
    for (int y = 0; y < sourceHeight; ++y) {
        const BYTE *indexes = bits + static_cast<size_t>(sourceHeight - 1 - y) * stride;
        for (int x = 0; x < sourceWidth; ++x) {
            const RGBQUAD &entry = table[indexes[x]];
            row[static_cast<size_t>(x)] = RGB(entry.rgbRed, entry.rgbGreen, entry.rgbBlue);
            colours.insert(row[static_cast<size_t>(x)]);
        }
        rowsByRuns[runsOf(row.data(), sourceWidth)].push_back(y);
    }

    // The bitmap's rows that each painted row can show, given the rows above it: the next source
    // row is at most `step` rows further down.
    int step = (sourceHeight + height - 1) / height;
    std::set<int> reachable;
    for (int y = 0; y < height; ++y) {
        const COLORREF *line = painted.data() + static_cast<size_t>(y) * width;
        for (int x = 0; x < width; ++x) {
            if (!colours.count(line[x])) {
                snprintf(text, sizeof text, "pixel (%d, %d) is #%06lx, no colour of the bitmap", x, y,
                         static_cast<unsigned long>(line[x]));
                return text;
            }
        }
        auto same = rowsByRuns.find(runsOf(line, width));
        std::set<int> next;
        if (same != rowsByRuns.end()) {
            for (int candidate : same->second) {
                bool follows = y == 0 ? candidate < step : false;
                for (int above : reachable)
                    follows = follows || (candidate >= above && candidate - above <= step);
                if (follows)
                    next.insert(candidate);
            }
        }
        if (next.empty()) {
            snprintf(text, sizeof text, "painted row %d of %d is no row of the bitmap that follows row %d",
                     y, height, reachable.empty() ? -1 : *reachable.begin());
            return text;
        }
        reachable.swap(next);
    }
    if (*reachable.rbegin() < sourceHeight - step) {
        snprintf(text, sizeof text, "the last painted row shows row %d of %d", *reachable.rbegin(), sourceHeight);
        return text;
    }
    return "";
}

#endif
