#include "VisiblePosition.h"

#include <QGuiApplication>
#include <QScreen>

#include <algorithm>

namespace {
// Rectangles in 64 bits: a stored position near the ends of int would
// overflow QRect's right and bottom.
struct Span
{
    qint64 from, to; // to is one past the end
};

qint64 overlap(Span a, Span b)
{
    return std::max<qint64>(0, std::min(a.to, b.to) - std::max(a.from, b.from));
}

// How far apart two spans are; 0 when they overlap or touch.
qint64 gap(Span a, Span b)
{
    return std::max<qint64>({0, b.from - a.to, a.from - b.to});
}

Span horizontal(const QRect &r)
{
    return {r.left(), qint64(r.left()) + r.width()};
}

Span vertical(const QRect &r)
{
    return {r.top(), qint64(r.top()) + r.height()};
}

// The position in the area nearest to `at` for a window of `length`; when
// the area is shorter, the window covers it and its start stays nearest.
qint64 nearestInside(qint64 at, qint64 length, Span area)
{
    const qint64 last = area.to - length;
    return std::clamp(at, std::min(area.from, last), std::max(area.from, last));
}
} // namespace

QPoint VisiblePosition(const QPoint &stored, const QSize &size, const QList<QRect> &screens)
{
    const Span x{stored.x(), qint64(stored.x()) + size.width()};
    const Span y{stored.y(), qint64(stored.y()) + size.height()};
    const Span strip{stored.y(), qint64(stored.y()) + std::min(TitleStripHeight, size.height())};

    const QRect *best = nullptr;
    qint64 bestArea = -1;
    double bestDistance = 0;
    for (const QRect &screen : screens) {
        if (screen.isEmpty())
            continue;
        const Span sx = horizontal(screen), sy = vertical(screen);
        if (overlap(x, sx) >= GrabSize.width() && overlap(strip, sy) >= GrabSize.height())
            return stored;
        const qint64 area = overlap(x, sx) * overlap(y, sy);
        const double dx = double(gap(x, sx)), dy = double(gap(y, sy));
        const double distance = dx * dx + dy * dy;
        if (!best || area > bestArea || (area == bestArea && distance < bestDistance)) {
            best = &screen;
            bestArea = area;
            bestDistance = distance;
        }
    }
    if (!best)
        return stored;
    // The top edge is placed so that the strip is inside: a window taller
    // than the screen hangs below it.
    const Span sy = vertical(*best);
    const qint64 top =
        std::clamp<qint64>(stored.y(), sy.from, std::max(sy.from, sy.to - size.height()));
    return QPoint(int(nearestInside(stored.x(), size.width(), horizontal(*best))), int(top));
}

QList<QRect> AvailableScreenAreas()
{
    QList<QRect> areas;
    for (const QScreen *screen : QGuiApplication::screens())
        areas << screen->availableGeometry();
    return areas;
}
