#include "ShadoLbl.h"

#include <QEvent>
#include <QFontMetrics>
#include <QPainter>
#include <QPixmap>
#include <QVariant>

#include <algorithm>

// ---------------------------------------------------------------- TShadow

TShadow::TShadow(QObject *parent) : QObject(parent) {}

void TShadow::SetShadowVisible(bool value)
{
    if (value == m_visible)
        return;
    m_visible = value;
    emit OnChange();
}

void TShadow::SetShadowColor(TColor value)
{
    if (value == m_color)
        return;
    m_color = value;
    emit OnChange();
}

void TShadow::SetShadowLeft(int value)
{
    if (value == m_offsetLeft)
        return;
    m_offsetLeft = value;
    emit OnChange();
}

void TShadow::SetShadowTop(int value)
{
    if (value == m_offsetTop)
        return;
    m_offsetTop = value;
    emit OnChange();
}

void TShadow::Assign(const TShadow &source)
{
    m_visible = source.m_visible;
    m_color = source.m_color;
    m_offsetLeft = source.m_offsetLeft;
    m_offsetTop = source.m_offsetTop;
    emit OnChange();
}

// ----------------------------------------------------------- TShadowLabel

namespace {
// The text split into whole characters (a surrogate pair stays one).
QStringList Characters(const QString &text)
{
    QStringList out;
    for (int i = 0; i < text.size(); ++i) {
        if (text.at(i).isHighSurrogate() && i + 1 < text.size() &&
            text.at(i + 1).isLowSurrogate()) {
            out << text.mid(i, 2);
            ++i;
        } else {
            out << text.mid(i, 1);
        }
    }
    return out;
}
} // namespace

TShadowLabel::TShadowLabel(QWidget *parent) : QWidget(parent)
{
    m_highlight = new TShadow(this);
    m_highlight->SetShadowColor(clWhite);
    m_highlight->SetShadowLeft(-1);
    m_highlight->SetShadowTop(-1);
    m_shadow = new TShadow(this);
    connect(m_highlight, &TShadow::OnChange, this, &TShadowLabel::ShadowChanged);
    connect(m_shadow, &TShadow::OnChange, this, &TShadowLabel::ShadowChanged);
    resize(65, 17);
    AdjustBounds();
}

TShadowLabel::~TShadowLabel()
{
    delete m_highlight;
    m_highlight = nullptr;
    delete m_shadow;
    m_shadow = nullptr;
}

void TShadowLabel::SetCaption(const QString &value)
{
    if (value == m_caption)
        return;
    m_caption = value;
    AdjustBounds();
    update();
}

void TShadowLabel::SetAlignment(TAlignment value)
{
    if (value == m_alignment)
        return;
    m_alignment = value;
    update();
}

void TShadowLabel::SetLayout(TTextLayout value)
{
    if (value == m_layout)
        return;
    m_layout = value;
    update();
}

void TShadowLabel::SetWordWrap(bool value)
{
    if (value == m_wordWrap)
        return;
    m_wordWrap = value;
    AdjustBounds();
    update();
}

void TShadowLabel::SetShowAccelChar(bool value)
{
    if (value == m_showAccelChar)
        return;
    m_showAccelChar = value;
    AdjustBounds();
    update();
}

void TShadowLabel::SetTransparent(bool value)
{
    if (value == m_transparent)
        return;
    m_transparent = value;
    update();
}

void TShadowLabel::SetAutoSize(bool value)
{
    if (value == m_autoSize)
        return;
    m_autoSize = value;
    AdjustBounds();
}

void TShadowLabel::SetColor(TColor value)
{
    if (value == m_color)
        return;
    m_color = value;
    update();
}

void TShadowLabel::SetFontColor(TColor value)
{
    if (value == m_fontColor)
        return;
    m_fontColor = value;
    update();
}

void TShadowLabel::SetEllipsis(TEllipsis value)
{
    if (value == m_ellipsis)
        return;
    m_ellipsis = value;
    update();
}

void TShadowLabel::SetGradateVert(bool value)
{
    if (value == m_gradateVert)
        return;
    m_gradateVert = value;
    update();
}

void TShadowLabel::SetGradation(bool value)
{
    if (value == m_gradation)
        return;
    m_gradation = value;
    update();
}

void TShadowLabel::SetGradationColor(TColor value)
{
    if (value == m_gradationColor)
        return;
    m_gradationColor = value;
    update();
}

void TShadowLabel::SetHighlight(TShadow *value)
{
    if (value)
        m_highlight->Assign(*value);
}

void TShadowLabel::SetShadow(TShadow *value)
{
    if (value)
        m_shadow->Assign(*value);
}

void TShadowLabel::SetTextGradation(TTextGradation value)
{
    if (value == m_textGradation)
        return;
    m_textGradation = value;
    update();
}

void TShadowLabel::SetTextGradationColor(TColor value)
{
    if (value == m_textGradationColor)
        return;
    m_textGradationColor = value;
    if (m_textGradation != tgNone)
        update();
}

void TShadowLabel::SetTextMidColor(TColor value)
{
    if (value == m_textMidColor)
        return;
    m_textMidColor = value;
    if (m_textGradation == tg3Colors)
        update();
}

void TShadowLabel::ShadowChanged()
{
    update();
}

void TShadowLabel::GetRGB(TColor color, int &red, int &green, int &blue)
{
    const TColor rgb = ColorToRGB(color);
    red = RedOf(rgb);
    green = GreenOf(rgb);
    blue = BlueOf(rgb);
}

void TShadowLabel::GradBitmap(QImage &bitmap, TColor c1, TColor c2, bool vertical)
{
    const int w = bitmap.width();
    const int h = bitmap.height();
    if (w < 1 || h < 1)
        return;
    int from[3], to[3];
    GetRGB(c1, from[0], from[1], from[2]);
    GetRGB(c2, to[0], to[1], to[2]);
    // c1 + d * i / last, truncated; a one-pixel run has no ratio and takes c1.
    auto colorAt = [&](int i, int last) {
        int c[3];
        for (int k = 0; k < 3; ++k) {
            const int d = to[k] - from[k];
            c[k] = last == 0 ? from[k] : int((qint64(from[k]) * last + qint64(d) * i) / last);
        }
        return qRgb(c[0], c[1], c[2]);
    };
    if (vertical) {
        for (int y = 0; y < h; ++y) {
            const QRgb c = colorAt(y, h - 1);
            QRgb *line = reinterpret_cast<QRgb *>(bitmap.scanLine(y));
            std::fill(line, line + w, c);
        }
    } else {
        QRgb *first = reinterpret_cast<QRgb *>(bitmap.scanLine(0));
        for (int x = 0; x < w; ++x)
            first[x] = colorAt(x, w - 1);
        for (int y = 1; y < h; ++y)
            std::copy(first, first + w, reinterpret_cast<QRgb *>(bitmap.scanLine(y)));
    }
}

void TShadowLabel::GradRect(QPainter &canvas, const QRect &rect, TColor c1, TColor c2,
                            bool vertical)
{
    if (rect.width() < 1 || rect.height() < 1)
        return;
    QImage narrow(vertical ? 1 : rect.width(), vertical ? rect.height() : rect.height() / 20 + 1,
                  QImage::Format_RGB32);
    GradBitmap(narrow, c1, c2, vertical);
    const bool smooth = canvas.testRenderHint(QPainter::SmoothPixmapTransform);
    canvas.setRenderHint(QPainter::SmoothPixmapTransform, false);
    canvas.drawImage(rect, narrow);
    canvas.setRenderHint(QPainter::SmoothPixmapTransform, smooth);
}

int TShadowLabel::LayoutOffset(TTextLayout layout, int labelHeight, int textHeight)
{
    switch (layout) {
    case tlCenter:
        return (labelHeight - textHeight) / 2;
    case tlBottom:
        return labelHeight - textHeight;
    case tlTop:
        break;
    }
    return 0;
}

TColor TShadowLabel::RunColor(TColor c1, TColor c2, int k, int n)
{
    int a[3], b[3];
    GetRGB(c1, a[0], a[1], a[2]);
    GetRGB(c2, b[0], b[1], b[2]);
    if (n <= 1)
        return RgbColor(a[0], a[1], a[2]);
    int c[3];
    for (int i = 0; i < 3; ++i)
        c[i] = int((qint64(a[i]) * (n - 1) + qint64(b[i] - a[i]) * k) / (n - 1));
    return RgbColor(c[0], c[1], c[2]);
}

QString TShadowLabel::PaintText() const
{
    QString text = m_caption;
    if (text.isEmpty() || (m_showAccelChar && text == QLatin1String("&")))
        text += QLatin1Char(' ');
    return text;
}

int TShadowLabel::TextFlags() const
{
    int flags = Qt::TextExpandTabs | Qt::AlignTop;
    switch (m_alignment) {
    case taLeftJustify:
        flags |= Qt::AlignLeft;
        break;
    case taRightJustify:
        flags |= Qt::AlignRight;
        break;
    case taCenter:
        flags |= Qt::AlignHCenter;
        break;
    }
    if (m_wordWrap)
        flags |= Qt::TextWordWrap;
    if (m_showAccelChar)
        flags |= Qt::TextShowMnemonic;
    return flags;
}

QString TShadowLabel::ShownText(const QString &text, int width) const
{
    const QFontMetrics fm(font());
    const int flags = TextFlags();
    auto fits = [&](const QString &t) {
        return fm.boundingRect(QRect(0, 0, width, 1 << 20), flags, t).width() <= width;
    };
    if (m_ellipsis == elNone || fits(text))
        return text;
    const QString dots = QStringLiteral("...");
    const QStringList chars = Characters(text);
    if (m_ellipsis == elPath) {
        const int sep =
            std::max(text.lastIndexOf(QLatin1Char('/')), text.lastIndexOf(QLatin1Char('\\')));
        if (sep > 0) {
            // Keep the last part of the path whole; shorten what comes before it.
            const QString tail = text.mid(sep);
            const QStringList head = Characters(text.left(sep));
            for (int n = int(head.size()) - 1; n >= 0; --n) {
                const QString t = QStringList(head.mid(0, n)).join(QString()) + dots + tail;
                if (fits(t))
                    return t;
            }
            return dots + tail;
        }
        // No path separator: the middle goes.
        for (int keep = int(chars.size()) - 1; keep > 0; --keep) {
            const int front = (keep + 1) / 2;
            const QString t = QStringList(chars.mid(0, front)).join(QString()) + dots +
                              QStringList(chars.mid(chars.size() - (keep - front))).join(QString());
            if (fits(t))
                return t;
        }
        return dots;
    }
    for (int n = int(chars.size()) - 1; n > 0; --n) {
        const QString t = QStringList(chars.mid(0, n)).join(QString()) + dots;
        if (fits(t))
            return t;
    }
    return dots;
}

int TShadowLabel::TextHeight() const
{
    const QFontMetrics fm(font());
    const QString text = ShownText(PaintText(), width());
    return fm.boundingRect(QRect(0, 0, width(), 1 << 20), TextFlags(), text).height();
}

QList<TShadowLabel::Piece> TShadowLabel::GradientPieces(const QString &text) const
{
    const QStringList chars = Characters(text);
    const int n = int(chars.size());
    QList<Piece> pieces;
    if (m_textGradation == tgNone || n <= 1)
        return pieces;
    auto run = [&](TColor c1, TColor c2, const QStringList &part) {
        const int count = int(part.size());
        if (count == 1) {
            pieces << Piece{part.first(), ColorToRGB(c1)};
            return;
        }
        for (int k = 0; k < count; ++k)
            pieces << Piece{part.at(k), RunColor(c1, c2, k, count)};
    };
    if (m_textGradation == tg2Colors || n == 2) {
        run(m_fontColor, m_textGradationColor, chars);
    } else {
        // The left half (rounded down) runs to the middle colour, the rest
        // from there to the end colour.
        const int split = n / 2;
        run(m_fontColor, m_textMidColor, chars.mid(0, split));
        run(m_textMidColor, m_textGradationColor, chars.mid(split));
    }
    return pieces;
}

QList<TColor> TShadowLabel::GradientColors() const
{
    QList<TColor> colors;
    for (const Piece &piece : GradientPieces(ShownText(PaintText(), width())))
        colors << piece.color;
    return colors;
}

void TShadowLabel::Draw(QPainter &p, bool offscreen) const
{
    const int flags = TextFlags();
    QRect r = rect();

    if (!m_transparent) {
        if (!m_gradation) {
            p.fillRect(r, ToQColor(m_color));
        } else if (offscreen) {
            QImage gradient(size(), QImage::Format_RGB32);
            GradBitmap(gradient, m_gradationColor, m_color, m_gradateVert);
            p.drawImage(0, 0, gradient);
        } else {
            GradRect(p, r, m_gradationColor, m_color, m_gradateVert);
        }
    }

    p.setFont(font());
    const QString text = ShownText(PaintText(), r.width());
    const int th =
        QFontMetrics(font()).boundingRect(QRect(0, 0, r.width(), 1 << 20), flags, text).height();
    r.translate(0, LayoutOffset(m_layout, height(), th));
    const QRect highlightRect = r.translated(m_highlight->OffsetLeft(), m_highlight->OffsetTop());
    const QRect shadowRect = r.translated(m_shadow->OffsetLeft(), m_shadow->OffsetTop());

    const bool enabled = isEnabled();
    const TColor shadowColor = enabled ? m_shadow->Color() : clGray;
    const TColor highlightColor = enabled ? m_highlight->Color() : clBtnHighlight;
    const TColor textColor = enabled ? m_fontColor : clBtnShadow;

    if (m_shadow->Visible()) {
        p.setPen(ToQColor(shadowColor));
        p.drawText(shadowRect, flags, text);
    }
    if (m_highlight->Visible()) {
        p.setPen(ToQColor(highlightColor));
        p.drawText(highlightRect, flags, text);
    }

    const QList<Piece> pieces = GradientPieces(text);
    if (pieces.isEmpty()) {
        p.setPen(ToQColor(textColor));
        p.drawText(r, flags, text);
        return;
    }
    // Gradient text goes from the left edge, one character cell after another.
    const QFontMetrics fm(font());
    int left = r.left();
    for (const Piece &piece : pieces) {
        const int w = fm.horizontalAdvance(piece.text);
        p.setPen(ToQColor(piece.color));
        p.drawText(QRect(left, r.top(), w, r.height()), flags, piece.text);
        left += w;
    }
}

void TShadowLabel::paintEvent(QPaintEvent *)
{
    QPainter widget(this);
    if (m_flickerless && !m_transparent) {
        QPixmap pix(size());
        QPainter p(&pix);
        Draw(p, true);
        p.end();
        widget.drawPixmap(0, 0, pix);
    } else {
        Draw(widget, false);
    }
}

bool TShadowLabel::event(QEvent *event)
{
    if (event->type() == QEvent::DynamicPropertyChange) {
        const QByteArray name = static_cast<QDynamicPropertyChangeEvent *>(event)->propertyName();
        const int dot = name.indexOf('.');
        const QByteArray owner = name.left(dot);
        TShadow *target = owner == "Highlight" ? m_highlight
                          : owner == "Shadow"  ? m_shadow
                                               : nullptr;
        if (dot > 0 && target) {
            const QVariant value = property(name.constData());
            if (value.isValid())
                target->setProperty(name.mid(dot + 1).constData(), value);
            return true;
        }
    }
    return QWidget::event(event);
}

void TShadowLabel::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        AdjustBounds();
    else if (event->type() == QEvent::EnabledChange)
        update();
}

QSize TShadowLabel::sizeHint() const
{
    const QFontMetrics fm(font());
    const QRect r =
        fm.boundingRect(QRect(0, 0, m_wordWrap ? width() : 1 << 20, 1 << 20),
                        TextFlags() & ~(Qt::AlignRight | Qt::AlignHCenter), PaintText());
    return QSize(r.width(), r.height());
}

void TShadowLabel::AdjustBounds()
{
    if (!m_autoSize)
        return;
    const QSize s = sizeHint();
    int x = geometry().x();
    if (m_alignment == taRightJustify)
        x += width() - s.width();
    setGeometry(x, geometry().y(), s.width(), s.height());
}
