// Alignment of child controls inside their parent.
//
// A control aligned alTop sticks to the top edge of the space its parent has left,
// keeping its height and taking the full width; alBottom likewise at the bottom; alClient
// takes what remains. Controls aligned the same way stack in the order they were given
// their alignment. Controls with alNone keep their own place (their designed pixel
// position). The parent calls ArrangeAligned whenever it is resized.
#pragma once

class QWidget;

namespace snyltdyr {

enum TAlign { alNone, alTop, alBottom, alClient };

void SetAlign(QWidget* control, TAlign align);
TAlign AlignOf(const QWidget* control);
void ArrangeAligned(QWidget* parent);

}  // namespace snyltdyr
