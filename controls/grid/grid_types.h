// The small value types of the cell grid: cell coordinates, pixel rectangles, the draw
// state of a cell, the grid's behaviour switches and mouse states, and its failure.
//
// Rectangles follow the window layer's convention: right and bottom are exclusive, so a
// cell of width w starting at x has right = x + w; the grid line to the right of it is
// the pixel column `right`.
#pragma once

#include <QRect>
#include <cstdint>
#include <string>

#include "runtime/exception.h"

namespace snyltdyr {

struct TGridCoord {
  int32_t x = 0;  // column
  int32_t y = 0;  // row
  bool operator==(const TGridCoord&) const = default;
};

struct TRect {
  int32_t left = 0, top = 0, right = 0, bottom = 0;
  int32_t Width() const { return right - left; }
  int32_t Height() const { return bottom - top; }
  bool IsEmpty() const { return right <= left || bottom <= top; }
  bool Contains(int32_t x, int32_t y) const { return x >= left && x < right && y >= top && y < bottom; }
  TRect Inflated(int32_t d) const { return {left - d, top - d, right + d, bottom + d}; }
  QRect ToQRect() const { return QRect(left, top, right - left, bottom - top); }
  bool operator==(const TRect&) const = default;
};

// Flags of TGridDrawState.
enum TGridDrawFlag : unsigned { gdSelected = 1u << 0, gdFocused = 1u << 1, gdFixed = 1u << 2 };
using TGridDrawState = unsigned;

// The base grid's behaviour switches (a 16-bit set).
enum TGridOption : uint16_t {
  goFixedVertLine = 1u << 0,
  goFixedHorzLine = 1u << 1,
  goVertLine = 1u << 2,
  goHorzLine = 1u << 3,
  goRangeSelect = 1u << 4,
  goDrawFocusSelected = 1u << 5,
  goRowSizing = 1u << 6,
  goColSizing = 1u << 7,
  goRowMoving = 1u << 8,
  goColMoving = 1u << 9,
  goEditing = 1u << 10,
  goTabs = 1u << 11,
  goRowSelect = 1u << 12,
  goAlwaysShowEditor = 1u << 13,
  goThumbTracking = 1u << 14,
};
using TGridOptions = uint16_t;

enum TGridState : uint8_t { gsNormal, gsSelecting, gsRowSizing, gsColSizing, gsRowMoving, gsColMoving };

enum TScrollStyle : uint8_t { ssNone, ssHorizontal, ssVertical, ssBoth };

// A request of a scroll bar, as the window layer names them.
enum TScrollCode : uint8_t {
  scLineUp, scLineDown, scPageUp, scPageDown, scPosition, scTrack, scTop, scBottom, scEndScroll
};

// Failures of grid operations.
class EInvalidGridOperation : public Exception {
 public:
  using Exception::Exception;
};

namespace grid_msg {
inline constexpr const char* kIndexOutOfRange = "Grid index out of range";
inline constexpr const char* kFixedColTooBig = "Fixed column count must be less than column count";
inline constexpr const char* kFixedRowTooBig = "Fixed row count must be less than row count";
inline constexpr const char* kTooManyDeleted = "Too many rows or columns deleted";
inline constexpr const char* kTooManyColumns = "Grid requested to display more than 256 columns";
inline constexpr const char* kDeleteRecord = "Delete record?";
inline constexpr const char* kDeleteMultipleRecords = "Delete all selected records?";
inline constexpr const char* kConfirmCaption = "Confirm";
}  // namespace grid_msg

}  // namespace snyltdyr
