#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

namespace velmora {

// Where a menu of the given size opens for a press at cursor: its left edge at the cursor's x,
// just below the cursor, or just above it when it would not fit below, so that it never covers
// the point pressed. Moved left only as far as the screen's right edge demands.
QPoint popupPosition(QPoint cursor, QSize menuSize, QRect screen);

} // namespace velmora
