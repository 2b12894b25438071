// Reading the data grid's indicator glyph back from its pixels.
//
//   EXPECT_EQ(IndicatorGlyph(grid.viewport()->grab().toImage(), grid, grid.Row()),
//             Glyph(kEditGlyph));
#pragma once

#include <QImage>
#include <string>
#include <vector>

#include "controls/grid/custom_db_grid.h"
#include "toolkit/look/color.h"

namespace snyltdyr::testsupport {

// The glyphs as the grid must draw them: X black, . the fixed colour.
inline const char* const kArrowGlyph[11] = {"X.....", "XX....", "XXX...", "XXXX..", "XXXXX.",
                                            "XXXXXX", "XXXXX.", "XXXX..", "XXX...", "XX....",
                                            "X....."};
inline const char* const kEditGlyph[11] = {"XX..XX", "..XX..", "..XX..", "..XX..",
                                           "..XX..", "..XX..", "..XX..", "..XX..",
                                           "..XX..", "..XX..", "XX..XX"};
inline const char* const kInsertGlyph[11] = {"......", "......", "......", ".X..X.",
                                             "..XX..", "XXXXXX", "..XX..", ".X..X.",
                                             "......", "......", "......"};
inline const char* const kNoGlyph[11] = {"......", "......", "......", "......",
                                         "......", "......", "......", "......",
                                         "......", "......", "......"};

inline std::vector<std::string> Glyph(const char* const (&rows)[11]) { return {rows, rows + 11}; }

inline QRgb Rgb(TColor color) { return ToQColor(color).rgb() | 0xFF000000u; }

// The 6 x 11 pixels where the grid puts the glyph of `row`: right-aligned in the cell
// inside its edge (1 pixel) and 1 more, centred vertically; '?' for any other colour.
inline std::vector<std::string> IndicatorGlyph(const QImage& image, TCustomDBGrid& grid, int row) {
  const TRect inner = grid.CellRect(0, row).Inflated(-1);
  const int x0 = inner.right - kIndicatorGlyphWidth - 1;
  const int y0 = (inner.top + inner.bottom - kIndicatorGlyphHeight) / 2;
  std::vector<std::string> rows;
  for (int y = 0; y < kIndicatorGlyphHeight; ++y) {
    std::string line;
    for (int x = 0; x < kIndicatorGlyphWidth; ++x) {
      const QRgb p = image.pixel(x0 + x, y0 + y) | 0xFF000000u;
      line += p == Rgb(clBlack) ? 'X' : p == Rgb(clBtnFace) ? '.' : '?';
    }
    rows.push_back(line);
  }
  return rows;
}

}  // namespace snyltdyr::testsupport
