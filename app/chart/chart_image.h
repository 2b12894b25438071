// The picture saved as a file: PNG or SVG by the file name's extension (in either case).
// The file is written whole or not at all: a picture already there under the name stays
// as it was when the writing fails.
#pragma once

#include <QSize>
#include <filesystem>

#include "app/chart/chart_picture.h"

namespace snyltdyr {

// The size of a saved picture when none is asked for.
inline constexpr QSize kChartImageSize{900, 520};

// Whether the name ends in .png or .svg (in either case).
bool IsChartImageName(const std::filesystem::path& file);

// Raises an Exception with the reason when the name has another extension or the file
// cannot be written.
void SaveChartImage(const std::filesystem::path& file, const ChartPicture& picture,
                    QSize size = kChartImageSize);

// A program without a window (the companion) paints through an application object on the
// offscreen platform; this makes one when there is none yet.
void EnsurePaintingApplication();

}  // namespace snyltdyr
