#include "NewHint.h"

#include <QApplication>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QMetaMethod>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QToolTip>

#include <algorithm>
#include <cmath>

namespace {

TAppHint *s_active = nullptr;

// The application's hint handling: which control's hint shows, when, where
// and for how long. It watches every pointer move of the application, keeps
// Qt's own tooltips away while a TAppHint is active and owns the one hint
// window.
class HintDispatcher : public QObject
{
public:
    explicit HintDispatcher(QObject *parent) : QObject(parent)
    {
        m_showTimer.setSingleShot(true);
        m_hideTimer.setSingleShot(true);
        connect(&m_showTimer, &QTimer::timeout, this, &HintDispatcher::ShowHint);
        connect(&m_hideTimer, &QTimer::timeout, this, &HintDispatcher::HideHint);
        qApp->installEventFilter(this);
    }
    ~HintDispatcher() override { delete m_window.data(); }

    static HintDispatcher *Instance()
    {
        static QPointer<HintDispatcher> s_instance;
        if (!s_instance)
            s_instance = new HintDispatcher(qApp);
        return s_instance;
    }

    int pause = 500;
    int hidePause = 2500;
    int shortPause = 50;

    THintEx *Window() const { return m_window; }
    QWidget *Control() const { return m_control; }
    QString CurrentHint() const { return m_currentHint; }

    // Hints off and on: the current hint goes, and the next one is shown by a
    // new window, which takes the active component's font and style.
    void Reset()
    {
        Cancel();
        if (m_window) {
            m_window->hide();
            m_window->deleteLater();
            m_window = nullptr;
        }
    }

    void Cancel()
    {
        m_showTimer.stop();
        m_hideTimer.stop();
        HideHint();
        m_control = nullptr;
        m_shown = false;
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (!s_active)
            return false;
        switch (event->type()) {
        case QEvent::ToolTip:
            return true; // our window shows every hint
        case QEvent::MouseMove: {
            auto *mouse = static_cast<QMouseEvent *>(event);
            if (watched->isWidgetType() && mouse->buttons() == Qt::NoButton)
                PointerAt(static_cast<QWidget *>(watched), mouse->globalPosition().toPoint());
            break;
        }
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::ApplicationDeactivate:
            Cancel();
            break;
        case QEvent::Leave:
            // Only a window's own leave means the pointer left the program.
            if (watched->isWidgetType() && static_cast<QWidget *>(watched)->isWindow())
                Cancel();
            break;
        case QEvent::Hide:
            if (watched == m_control)
                Cancel();
            break;
        default:
            break;
        }
        return false;
    }

private:
    // The control a hint belongs to: the one under the pointer, or the
    // nearest parent in its window that has a hint.
    static QWidget *HintControlAt(QWidget *receiver, const QPoint &global)
    {
        QWidget *window = receiver->window();
        QWidget *w = window->childAt(window->mapFromGlobal(global));
        if (!w)
            w = window;
        for (; w; w = w->parentWidget()) {
            if (!w->toolTip().isEmpty())
                return w;
            if (w->isWindow())
                break;
        }
        return nullptr;
    }

    void PointerAt(QWidget *receiver, const QPoint &global)
    {
        m_cursorPos = global;
        QWidget *control = HintControlAt(receiver, global);
        const QString text = control ? control->toolTip() : QString();
        if (text != m_currentHint) {
            m_currentHint = text;
            if (s_active)
                s_active->DoHint();
        }
        if (!control) {
            Cancel();
            return;
        }
        if (control != m_control) {
            // From one hinted control to the next while a hint shows: the
            // short pause.
            const bool wasShowing = m_window && m_window->isVisible();
            Cancel();
            m_control = control;
            m_showTimer.start(std::max(0, wasShowing ? shortPause : pause));
        } else if (!m_shown) {
            m_showTimer.start(); // not resting yet: the pause starts again
        }
    }

    void ShowHint()
    {
        QWidget *control = m_control;
        if (!control || !s_active)
            return;
        m_shown = true;
        QScreen *screen = QGuiApplication::screenAt(m_cursorPos);
        if (!screen)
            screen = QGuiApplication::primaryScreen();
        THintInfo info;
        info.HintControl = control;
        info.CursorPos = control->mapFromGlobal(m_cursorPos);
        info.CursorRect = control->rect();
        info.HintPos = m_cursorPos + QPoint(0, THintEx::CursorHeightMargin);
        info.HintMaxWidth = screen ? screen->geometry().width() : 1024;
        info.HideTimeout = hidePause;
        QString hintStr = control->toolTip();
        bool canShow = true;
        s_active->DoShowHint(hintStr, canShow, info);
        if (!canShow || hintStr.isEmpty() || !s_active)
            return;
        if (!m_window)
            m_window = new THintEx;
        QRect rect = m_window->CalcHintRect(info.HintMaxWidth, hintStr);
        rect.translate(info.HintPos);
        m_window->setColor(info.HintColor);
        m_window->ActivateHint(rect, hintStr);
        if (info.HideTimeout >= 0)
            m_hideTimer.start(info.HideTimeout);
    }

    void HideHint()
    {
        if (m_window)
            m_window->hide();
    }

    QTimer m_showTimer;
    QTimer m_hideTimer;
    QPointer<THintEx> m_window;
    QPointer<QWidget> m_control;
    bool m_shown = false; // the hint of m_control has had its turn
    QPoint m_cursorPos;
    QString m_currentHint;
};

QPolygon PointList(std::initializer_list<QPoint> points)
{
    QPolygon polygon;
    for (const QPoint &p : points)
        polygon << p;
    return polygon;
}

} // namespace

// --- THintEx ---------------------------------------------------------------

THintEx::THintEx()
    : QWidget(nullptr, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowTransparentForInput |
                           Qt::WindowDoesNotAcceptFocus)
{
    setObjectName(QStringLiteral("HintWindow"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    if (TAppHint *hint = TAppHint::Active()) {
        setFont(hint->Font());
        // Nothing is erased beneath a line-string hint: what shows there is
        // the desktop, where the window system composes.
        if (hint->HintStyle() == hsLineString)
            setAttribute(Qt::WA_TranslucentBackground);
    } else {
        setFont(QToolTip::font());
    }
}

THintEx::~THintEx() = default;

void THintEx::setColor(TColor value)
{
    if (m_color == value)
        return;
    m_color = value;
    update();
}

QRect THintEx::TextExtent(const QFont &font, int maxWidth, const QString &text)
{
    const QFontMetrics fm(font);
    return fm.boundingRect(QRect(0, 0, std::max(1, maxWidth), 0),
                           Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, text);
}

QRect THintEx::CalcHintRect(int maxWidth, const QString &hint) const
{
    const QRect text = TextExtent(font(), maxWidth, hint);
    return QRect(0, 0, text.width() + 6, text.height() + 2);
}

QRect THintEx::AdjustRect(THintStyle style, const QRect &rect)
{
    QRect r = rect;
    switch (style) {
    case hsFukidashi:
        r.setHeight(r.height() + 9);
        break;
    case hsLineString:
        r.setWidth(r.width() + 21);
        r.setHeight(r.height() + 12);
        break;
    default:
        break;
    }
    return r;
}

QPolygon THintEx::BalloonRegionPolygon(int w, int h)
{
    return PointList({{14, 0}, {8, 9}, {0, 9}, {0, h}, {w, h}, {w, 9}, {14, 9}});
}

QPolygon THintEx::BalloonOutline(int w, int h)
{
    return PointList(
        {{14, 0}, {9, 9}, {0, 9}, {0, h - 1}, {w - 1, h - 1}, {w - 1, 9}, {13, 9}, {13, 0}});
}

QVector<int> THintEx::CornerInsets(int ew, int eh)
{
    QVector<int> insets;
    const double a = ew / 2.0;
    const double b = eh / 2.0;
    if (a <= 0 || b <= 0)
        return insets;
    for (int row = 0; row < eh / 2; ++row) {
        const double dy = (b - (row + 0.5)) / b;
        const double dx = a * std::sqrt(std::max(0.0, 1.0 - dy * dy));
        insets << int(std::floor(a - dx + 0.5));
    }
    return insets;
}

namespace {
// Corner insets for a figure of w × h pixels: the ellipse never exceeds the
// figure.
QVector<int> FigureInsets(int w, int h, int ew, int eh)
{
    return THintEx::CornerInsets(std::min(ew, w), std::min(eh, h));
}
} // namespace

QRegion THintEx::RoundRectRgn(int x1, int y1, int x2, int y2, int ew, int eh)
{
    const int w = x2 - x1 - 1;
    const int h = y2 - y1 - 1;
    if (w <= 0 || h <= 0)
        return QRegion();
    const QVector<int> insets = FigureInsets(w, h, ew, eh);
    QRegion region;
    for (int row = 0; row < h; ++row) {
        const int fromEdge = std::min(row, h - 1 - row);
        const int inset = fromEdge < insets.size() ? insets[fromEdge] : 0;
        region += QRect(x1 + inset, y1 + row, w - 2 * inset, 1);
    }
    return region;
}

QPolygon THintEx::RoundRectOutline(int x1, int y1, int x2, int y2, int ew, int eh)
{
    const int w = x2 - x1;
    const int h = y2 - y1;
    QPolygon outline;
    if (w <= 0 || h <= 0)
        return outline;
    const QVector<int> insets = FigureInsets(w, h, ew, eh);
    // The top-left corner's edge pixels from the top row down, as offsets
    // from the corner; where a row steps in by more than one pixel, the run
    // on the lower row gets its own vertex so no line cuts across the curve.
    QVector<QPoint> corner;
    for (int row = 0; row < insets.size(); ++row) {
        if (row > 0 && insets[row - 1] - insets[row] > 1)
            corner << QPoint(insets[row - 1] - 1, row);
        corner << QPoint(insets[row], row);
    }
    if (corner.isEmpty())
        corner << QPoint(0, 0);
    const int right = x2 - 1;
    const int bottom = y2 - 1;
    // Down the left side, across the bottom, up the right side; every vertex
    // is a pixel of the region's edge.
    for (auto it = corner.cbegin(); it != corner.cend(); ++it)
        outline << QPoint(x1 + it->x(), y1 + it->y());
    for (auto it = corner.crbegin(); it != corner.crend(); ++it)
        outline << QPoint(x1 + it->x(), bottom - it->y());
    for (auto it = corner.cbegin(); it != corner.cend(); ++it)
        outline << QPoint(right - it->x(), bottom - it->y());
    for (auto it = corner.crbegin(); it != corner.crend(); ++it)
        outline << QPoint(right - it->x(), y1 + it->y());
    return outline;
}

QRegion THintEx::HintRegion(THintStyle style, int w, int h)
{
    switch (style) {
    case hsFukidashi:
        return QRegion(BalloonRegionPolygon(w, h), Qt::WindingFill);
    case hsRoundRect:
        return RoundRectRgn(0, 0, w + 1, h + 1, 8, 8);
    case hsLineString:
        return QRegion(QRect(QPoint(1, 1), QPoint(w - 2, h - 2)));
    default:
        return QRegion();
    }
}

QPoint THintEx::TextOffset(THintStyle style)
{
    switch (style) {
    case hsFukidashi:
        return QPoint(3, 9);
    case hsRoundRect:
        return QPoint(1, 1);
    case hsLineString:
        return QPoint(19, 11);
    default:
        return QPoint(2, 2);
    }
}

QVector<QPoint> THintEx::ShadowOffsets(THintStyle style)
{
    switch (style) {
    case hsFukidashi:
        return {QPoint(4, 10)};
    case hsRoundRect:
        return {QPoint(2, 2)};
    case hsLineString:
        return {QPoint(19, 10), QPoint(19, 12), QPoint(18, 11), QPoint(20, 11)};
    default:
        return {};
    }
}

QRect THintEx::WindowRect(const QRect &rect, const QRect &desktop)
{
    QRect r(rect.topLeft(), QSize(rect.width(), rect.height() + 4));
    if (r.bottom() > desktop.bottom())
        r.moveBottom(desktop.bottom());
    if (r.right() > desktop.right())
        r.moveRight(desktop.right());
    if (r.left() < desktop.left())
        r.moveLeft(desktop.left());
    if (r.top() < desktop.top())
        r.moveTop(desktop.top());
    return r;
}

void THintEx::ActivateHint(QRect rect, const QString &hint)
{
    if (!m_region.isEmpty()) {
        clearMask();
        m_region = QRegion();
    }
    if (TAppHint *component = TAppHint::Active()) {
        const THintStyle style = component->HintStyle();
        rect = AdjustRect(style, rect);
        m_rect = rect;
        m_region = HintRegion(style, rect.width(), rect.height());
        if (style == hsFukidashi)
            m_outline = BalloonOutline(rect.width(), rect.height());
    }
    m_caption = hint;
    QScreen *screen = QGuiApplication::screenAt(rect.topLeft());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    const QRect desktop = screen ? screen->virtualGeometry() : rect;
    setGeometry(WindowRect(rect, desktop));
    if (!m_region.isEmpty())
        setMask(m_region);
    show();
    update();
}

void THintEx::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.drawPixmap(0, 0, Render());
}

QPixmap THintEx::Render() const
{
    const qreal ratio = devicePixelRatioF();
    QPixmap pixmap(size() * ratio);
    pixmap.setDevicePixelRatio(ratio);
    const TAppHint *component = TAppHint::Active();
    if (!component || component->HintStyle() == hsLineString)
        pixmap.fill(Qt::transparent);
    else
        pixmap.fill(ToQColor(m_color));
    QPainter p(&pixmap);
    Draw(p);
    return pixmap;
}

void THintEx::DrawText(QPainter &p, QPoint offset, TColor color) const
{
    p.setPen(ToQColor(color));
    // No mnemonic processing: an ampersand is a character like any other.
    p.drawText(rect().translated(offset), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
               m_caption);
}

void THintEx::Draw(QPainter &p) const
{
    TAppHint *component = TAppHint::Active();
    if (!component)
        return;
    const THintStyle style = component->HintStyle();
    p.setFont(component->Font());
    const QBrush brush(ToQColor(component->BrushColor()), component->BrushStyle());
    if (component->BrushStyle() == Qt::SolidPattern) {
        p.setBackground(brush.color());
        p.setBackgroundMode(Qt::OpaqueMode);
    } else {
        p.setBackground(ToQColor(component->BGColor()));
        p.setBackgroundMode(Qt::TransparentMode);
    }
    const QPen pen(ToQColor(component->PenColor()), component->PenWidth(), component->PenStyle());
    // Text and outlines are drawn with a clear brush: no background behind
    // either.
    auto clearBrush = [&p] {
        p.setBrush(Qt::NoBrush);
        p.setBackgroundMode(Qt::TransparentMode);
    };
    const int w = m_rect.width();
    const int h = m_rect.height();

    switch (style) {
    case hsFukidashi:
    case hsRoundRect:
        p.fillRect(rect(), brush);
        clearBrush();
        if (component->ShadowVisible())
            DrawText(p, ShadowOffsets(style).first(), component->ShadowColor());
        DrawText(p, TextOffset(style), component->FontColor());
        p.setPen(pen);
        if (style == hsFukidashi)
            p.drawPolygon(m_outline);
        else
            p.drawPolygon(RoundRectOutline(0, 0, w, h, 8, 8));
        break;
    case hsLineString:
        clearBrush();
        if (component->ShadowVisible()) {
            for (const QPoint &offset : ShadowOffsets(style))
                DrawText(p, offset, component->ShadowColor());
        }
        DrawText(p, TextOffset(style), component->FontColor());
        p.setPen(pen);
        p.drawPolyline(PointList({{1, 1}, {17, h - 2}, {w, h - 2}}));
        break;
    case hsOwnerDraw: {
        component->DoPaint(m_caption, &p, width(), height());
        break;
    }
    default:
        // The plain hint of the application.
        DrawText(p, TextOffset(style), clInfoText);
        break;
    }
}

// --- TAppHint --------------------------------------------------------------

TAppHint::TAppHint(QObject *owner) : QObject(owner)
{
    HintDispatcher::Instance()->Reset();
    s_active = this;
}

TAppHint::~TAppHint()
{
    if (s_active == this) {
        s_active = nullptr;
        // The window would paint nothing now; Qt's tooltips take over again.
        HintDispatcher::Instance()->Reset();
    }
}

TAppHint *TAppHint::Active()
{
    return s_active;
}

THintEx *TAppHint::HintWindow()
{
    return HintDispatcher::Instance()->Window();
}

QWidget *TAppHint::HintControl()
{
    return HintDispatcher::Instance()->Control();
}

QString TAppHint::CurrentHint()
{
    return HintDispatcher::Instance()->CurrentHint();
}

void TAppHint::setFont(const QFont &value)
{
    if (m_font == value)
        return;
    m_font = value;
    HintDispatcher::Instance()->Reset(); // the window measures with its own font
}

int TAppHint::HintPause() const
{
    return HintDispatcher::Instance()->pause;
}

void TAppHint::setHintPause(int ms)
{
    HintDispatcher::Instance()->pause = ms;
}

int TAppHint::HintHidePause() const
{
    return HintDispatcher::Instance()->hidePause;
}

void TAppHint::setHintHidePause(int ms)
{
    HintDispatcher::Instance()->hidePause = ms;
}

int TAppHint::HintShortPause() const
{
    return HintDispatcher::Instance()->shortPause;
}

void TAppHint::setHintShortPause(int ms)
{
    HintDispatcher::Instance()->shortPause = ms;
}

void TAppHint::setHintStyle(THintStyle value)
{
    if (m_hintStyle == value)
        return;
    m_hintStyle = value;
    HintDispatcher::Instance()->Reset();
}

void TAppHint::DoHint()
{
    emit OnHint(qApp);
}

void TAppHint::DoPaint(const QString &hintStr, QPainter *canvas, int width, int height)
{
    static const QMetaMethod onPaint = QMetaMethod::fromSignal(&TAppHint::OnPaint);
    if (isSignalConnected(onPaint))
        emit OnPaint(hintStr, canvas, width, height);
}

void TAppHint::DoShowHint(QString &hintStr, bool &canShow, THintInfo &hintInfo)
{
    hintInfo.HintPos.ry() -= HintLift;
    emit OnShowHint(hintStr, canShow, hintInfo);
}
