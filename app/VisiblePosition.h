#pragma once

#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>

// The main window's title strip: its top rows, by which the user drags it.
constexpr int TitleStripHeight = 25;
// The least part of the title strip that lets the user take hold of it.
constexpr QSize GrabSize{40, 10};

// Where a window of the given size goes that was stored at `stored`. It stays
// there, exactly, while at least GrabSize of its title strip lies inside the
// available area of one of the screens. Otherwise (a monitor that is gone,
// say) it goes to the nearest position inside the screen that holds most of
// it, or the nearest screen when none holds any of it; on a screen smaller
// than the window its title strip comes first. Any stored values, ±2^31
// included, are safe.
QPoint VisiblePosition(const QPoint &stored, const QSize &size, const QList<QRect> &screens);

// The available areas of the screens now attached.
QList<QRect> AvailableScreenAreas();
