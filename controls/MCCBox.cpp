#include "MCCBox.h"

#include "CommaText.h"
#include "Errors.h"
#include "Guard.h"
#include "ScreenReaderNotice.h"

#include <QAbstractItemDelegate>
#include <QAbstractItemView>
#include <QAbstractListModel>
#include <QCoreApplication>
#include <QEvent>
#include <QFontMetrics>
#include <QLineEdit>
#include <QPainter>
#include <QPointer>
#include <QProxyStyle>
#include <QScreen>
#include <QStyleOptionComboBox>

#include <algorithm>
#include <limits>

// ---------------------------------------------------------------- TCBColumn

TCBColumn::TCBColumn(TCBColumns *collection) : m_collection(collection)
{
    if (TMultiColComboBox *combo = Combo()) {
        m_color = combo->Color();
        m_font = combo->font();
        m_fontColor = combo->FontColor();
    }
}

TMultiColComboBox *TCBColumn::Combo() const
{
    return m_collection ? m_collection->Owner() : nullptr;
}

int TCBColumn::Index() const
{
    return m_collection ? m_collection->IndexOf(this) : -1;
}

void TCBColumn::Changed()
{
    if (m_collection)
        m_collection->Update();
}

void TCBColumn::SetWidth(int value)
{
    if (value == m_width)
        return;
    m_width = value;
    Changed();
}

void TCBColumn::SetColor(TColor value)
{
    if (value == m_color)
        return;
    m_color = value;
    m_parentColor = false;
    Changed();
}

void TCBColumn::SetAlignment(TAlignment value)
{
    if (value == m_alignment)
        return;
    m_alignment = value;
    Changed();
}

void TCBColumn::SetFont(const QFont &value)
{
    m_font = value;
    m_parentFont = false;
    Changed();
}

void TCBColumn::SetFontColor(TColor value)
{
    if (value == m_fontColor)
        return;
    m_fontColor = value;
    m_parentFont = false;
    Changed();
}

void TCBColumn::SetParentColor(bool value)
{
    m_parentColor = value;
    if (value) {
        if (TMultiColComboBox *combo = Combo())
            m_color = combo->Color();
    }
    Changed();
}

void TCBColumn::SetParentFont(bool value)
{
    m_parentFont = value;
    if (value) {
        if (TMultiColComboBox *combo = Combo()) {
            m_font = combo->font();
            m_fontColor = combo->FontColor();
        }
    }
    Changed();
}

void TCBColumn::ComboColorChanged()
{
    TMultiColComboBox *combo = Combo();
    if (!m_parentColor || !combo)
        return;
    m_color = combo->Color();
    Changed();
}

void TCBColumn::ComboFontChanged()
{
    TMultiColComboBox *combo = Combo();
    if (!m_parentFont || !combo)
        return;
    m_font = combo->font();
    m_fontColor = combo->FontColor();
    Changed();
}

void TCBColumn::Assign(const TCBColumn &source)
{
    if (&source == this)
        return;
    SetWidth(source.m_width);
    SetColor(source.m_color);
    SetAlignment(source.m_alignment);
    SetFont(source.m_font);
    SetFontColor(source.m_fontColor);
    SetParentColor(source.m_parentColor);
    SetParentFont(source.m_parentFont);
}

// --------------------------------------------------------------- TCBColumns

TCBColumns::TCBColumns(TMultiColComboBox *owner) : QObject(owner), m_owner(owner) {}

TCBColumns::~TCBColumns() = default;

TCBColumn *TCBColumns::Add()
{
    m_items.push_back(std::make_unique<TCBColumn>(this));
    Update();
    return m_items.back().get();
}

TCBColumn *TCBColumns::Items(int index) const
{
    if (index < 0 || index >= Count())
        throw EListError(index);
    return m_items[size_t(index)].get();
}

void TCBColumns::SetItems(int index, const TCBColumn &value)
{
    Items(index)->Assign(value);
}

void TCBColumns::Delete(int index)
{
    Items(index);
    m_items.erase(m_items.begin() + index);
    Update();
}

void TCBColumns::Clear()
{
    m_items.clear();
    Update();
}

void TCBColumns::Assign(const TCBColumns &source)
{
    if (&source == this)
        return;
    m_items.clear();
    for (const auto &column : source.m_items) {
        m_items.push_back(std::make_unique<TCBColumn>(this));
        m_items.back()->Assign(*column);
    }
    Update();
}

int TCBColumns::IndexOf(const TCBColumn *column) const
{
    for (size_t i = 0; i < m_items.size(); ++i)
        if (m_items[i].get() == column)
            return int(i);
    return -1;
}

int TCBColumns::TotalWidth() const
{
    qint64 sum = 0;
    for (const auto &column : m_items)
        sum += column->Width();
    return int(std::clamp<qint64>(sum, 0, std::numeric_limits<int>::max()));
}

void TCBColumns::Update()
{
    if (m_owner)
        m_owner->ColumnsChanged();
}

// ------------------------------------------------------------ list drawing

namespace {
// Draws every row of the open list through the combo's own drawing.
class TMultiColDelegate : public QAbstractItemDelegate
{
public:
    explicit TMultiColDelegate(TMultiColComboBox *combo)
        : QAbstractItemDelegate(combo), m_combo(combo)
    {
    }

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override
    {
        if (!index.isValid() || index.row() >= m_combo->Count())
            return;
        painter->save();
        m_combo->DrawListItem(*painter, option.rect, index.row(),
                              (option.state & QStyle::State_Selected) != 0);
        painter->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem &, const QModelIndex &) const override
    {
        return QSize(m_combo->Columns()->TotalWidth(), m_combo->ItemHeight());
    }

private:
    TMultiColComboBox *m_combo;
};

// Opens the list below the control, as the platform's combo box does, rather
// than over it with the selected item on the control.
class TListBelowStyle : public QProxyStyle
{
public:
    int styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
                  QStyleHintReturn *returnData) const override
    {
        if (hint == QStyle::SH_ComboBox_Popup)
            return 0;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

QStyle *ListBelowStyle()
{
    // One for all combos; it lives as long as the application.
    static QPointer<TListBelowStyle> style;
    if (!style) {
        style = new TListBelowStyle;
        style->setParent(QCoreApplication::instance());
    }
    return style;
}

// Saves the edit field's text around a change of the item list: Qt selects
// and fills in items on its own, the framework's list does not.
// The chooser's items: each row's text as the closed control shows it and the
// whole row. Plain values in one list, so that thousands of rows cost one
// allocation each for the shown text and one notification for the lot (one
// item object per row, as a QStandardItemModel keeps them, is most of a large
// list's cost at start-up).
class RowModel : public QAbstractListModel
{
public:
    struct Row
    {
        QString text; // the shown field
        QString row;  // the whole row
    };

    explicit RowModel(QObject *parent) : QAbstractListModel(parent) {}

    int rowCount(const QModelIndex &parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : int(m_rows.size());
    }

    QVariant data(const QModelIndex &index, int role) const override
    {
        if (!index.isValid() || index.row() >= m_rows.size())
            return {};
        const Row &r = m_rows.at(index.row());
        switch (role) {
        case Qt::DisplayRole:
        case Qt::EditRole:
            return r.text;
        case Qt::UserRole:
            return r.row;
        default:
            return {};
        }
    }

    bool setData(const QModelIndex &index, const QVariant &value, int role) override
    {
        if (!index.isValid() || index.row() >= m_rows.size())
            return false;
        Row &r = m_rows[index.row()];
        if (role == Qt::DisplayRole || role == Qt::EditRole)
            r.text = value.toString();
        else if (role == Qt::UserRole)
            r.row = value.toString();
        else
            return false;
        emit dataChanged(index, index, {role});
        return true;
    }

    Qt::ItemFlags flags(const QModelIndex &index) const override
    {
        return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
    }

    bool insertRows(int row, int count, const QModelIndex &parent = QModelIndex()) override
    {
        if (parent.isValid() || row < 0 || row > m_rows.size() || count <= 0)
            return false;
        beginInsertRows(parent, row, row + count - 1);
        m_rows.insert(row, count, Row());
        endInsertRows();
        return true;
    }

    bool removeRows(int row, int count, const QModelIndex &parent = QModelIndex()) override
    {
        if (parent.isValid() || row < 0 || count <= 0 || row + count > m_rows.size())
            return false;
        beginRemoveRows(parent, row, row + count - 1);
        m_rows.remove(row, count);
        endRemoveRows();
        return true;
    }

    // Appends the rows with one notification.
    void Append(QList<Row> &&rows)
    {
        if (rows.isEmpty())
            return;
        const int first = int(m_rows.size());
        beginInsertRows(QModelIndex(), first, first + int(rows.size()) - 1);
        m_rows.append(std::move(rows));
        endInsertRows();
    }

private:
    QList<Row> m_rows;
};

class EditState
{
public:
    explicit EditState(const QComboBox *combo) : m_edit(combo->lineEdit())
    {
        if (m_edit) {
            m_text = m_edit->text();
            m_modified = m_edit->isModified();
        }
    }
    void Restore() const
    {
        if (m_edit && m_edit->text() != m_text) {
            m_edit->setText(m_text);
            m_edit->setModified(m_modified);
        }
    }

private:
    QLineEdit *m_edit;
    QString m_text;
    bool m_modified = false;
};
} // namespace

// -------------------------------------------------------- TMultiColComboBox

TMultiColComboBox::TMultiColComboBox(QWidget *parent)
    : QComboBox(parent), m_columns(new TCBColumns(this))
{
    m_columns->Add();
    setModel(new RowModel(this));
    setStyle(ListBelowStyle());
    setInsertPolicy(QComboBox::NoInsert);
    setMaxVisibleItems(8);
    setItemDelegate(new TMultiColDelegate(this));
    view()->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view()->setTextElideMode(Qt::ElideNone);
    connect(this, &QComboBox::activated, this,
            [this](int) { RunGuarded([this] { emit OnChange(this); }); });
    // A screen reader says a combo box's new name or description to no one:
    // a choice made while the box has the focus (a key on the closed box) is
    // said as a notice. In the open list the reader says the items itself.
    connect(this, &QComboBox::currentIndexChanged, this, [this] {
        if (hasFocus())
            TScreenReaderNotice::Say(window(), currentText());
    });
    SetCanEdit(true);
}

TMultiColComboBox::~TMultiColComboBox() = default;

void TMultiColComboBox::SetItemIndex(int index)
{
    setCurrentIndex(index >= 0 && index < count() ? index : -1);
}

QString TMultiColComboBox::CutRow(const QString &row)
{
    if (row.size() <= MaxRowLength)
        return row;
    int n = MaxRowLength;
    if (row.at(n - 1).isHighSurrogate())
        --n; // never split a character
    return row.left(n);
}

QString TMultiColComboBox::DisplayText(const QString &row) const
{
    return CommaTextField(row, m_targetColumn);
}

void TMultiColComboBox::KeepNoSelection(int before)
{
    if (before < 0 && currentIndex() >= 0)
        setCurrentIndex(-1);
}

int TMultiColComboBox::AddItem(const QString &row)
{
    const QString kept = CutRow(row);
    const int before = currentIndex();
    const EditState edit(this);
    addItem(DisplayText(kept), kept);
    KeepNoSelection(before);
    edit.Restore();
    return count() - 1;
}

void TMultiColComboBox::AddItems(const QStringList &rows)
{
    auto *items = dynamic_cast<RowModel *>(model());
    if (!items) {
        for (const QString &row : rows)
            AddItem(row);
        return;
    }
    const int before = currentIndex();
    const EditState edit(this);
    QList<RowModel::Row> added;
    added.reserve(rows.size());
    for (const QString &row : rows) {
        QString kept = CutRow(row);
        added.append({DisplayText(kept), std::move(kept)});
    }
    items->Append(std::move(added));
    KeepNoSelection(before);
    edit.Restore();
}

void TMultiColComboBox::InsertItem(int index, const QString &row)
{
    if (index < 0 || index > count())
        throw EListError(index);
    const QString kept = CutRow(row);
    const int before = currentIndex();
    const EditState edit(this);
    insertItem(index, DisplayText(kept), kept);
    KeepNoSelection(before);
    edit.Restore();
}

void TMultiColComboBox::DeleteItem(int index)
{
    if (index < 0 || index >= count())
        throw EListError(index);
    // Deleting the selected row leaves no selection, as in the framework's
    // list; Qt would move it to a neighbour.
    const int before = currentIndex() == index ? -1 : currentIndex();
    const EditState edit(this);
    removeItem(index);
    KeepNoSelection(before);
    edit.Restore();
}

void TMultiColComboBox::ClearItems()
{
    clear();
}

QString TMultiColComboBox::Item(int index) const
{
    if (index < 0 || index >= count())
        throw EListError(index);
    return itemData(index, Qt::UserRole).toString();
}

QString TMultiColComboBox::GetSelectedText() const
{
    if (isEditable() && lineEdit() && lineEdit()->isModified())
        return lineEdit()->text();
    return GetColumnText(currentIndex(), m_targetColumn);
}

QString TMultiColComboBox::GetColumnText(int index, int column) const
{
    if (index < 0 || index >= count())
        return QString();
    return CommaTextField(Item(index), column);
}

void TMultiColComboBox::SetCanEdit(bool value)
{
    if (value == isEditable())
        return;
    setEditable(value);
    if (value) {
        setCompleter(nullptr);
        connect(lineEdit(), &QLineEdit::textEdited, this,
                [this](const QString &) { RunGuarded([this] { emit OnChange(this); }); });
    }
    update();
}

void TMultiColComboBox::SetIndent(int value)
{
    if (value == m_indent)
        return;
    m_indent = value;
    ColumnsChanged();
}

void TMultiColComboBox::SetItemHeight(int value)
{
    if (value == m_itemHeight)
        return;
    m_itemHeight = value;
    updateGeometry();
    view()->doItemsLayout();
    ColumnsChanged();
}

void TMultiColComboBox::ApplyPalette()
{
    QPalette pal = palette();
    pal.setColor(QPalette::Base, ToQColor(m_color));
    pal.setColor(QPalette::Text, ToQColor(m_fontColor));
    setPalette(pal);
    QPalette viewPal = view()->palette();
    viewPal.setColor(QPalette::Base, ToQColor(m_color));
    view()->setPalette(viewPal);
}

void TMultiColComboBox::SetColor(TColor value)
{
    if (value == m_color)
        return;
    m_color = value;
    ApplyPalette();
    for (int i = 0; i < m_columns->Count(); ++i)
        m_columns->Items(i)->ComboColorChanged();
    update();
}

void TMultiColComboBox::SetFontColor(TColor value)
{
    if (value == m_fontColor)
        return;
    m_fontColor = value;
    ApplyPalette();
    for (int i = 0; i < m_columns->Count(); ++i)
        m_columns->Items(i)->ComboFontChanged();
    update();
}

void TMultiColComboBox::changeEvent(QEvent *e)
{
    if (e->type() == QEvent::FontChange) {
        for (int i = 0; i < m_columns->Count(); ++i)
            m_columns->Items(i)->ComboFontChanged();
    }
    QComboBox::changeEvent(e);
}

void TMultiColComboBox::SetColumns(const TCBColumns &columns)
{
    m_columns->Assign(columns);
}

void TMultiColComboBox::ColumnsChanged()
{
    update();
    view()->viewport()->update();
}

int TMultiColComboBox::DropDownWidth() const
{
    return std::max(m_columns->TotalWidth(), width());
}

QRect TMultiColComboBox::CellRect(const QRect &itemRect, int column) const
{
    int x = itemRect.x();
    for (int i = 0; i < column; ++i)
        x += m_columns->Items(i)->Width();
    const int right =
        std::min(x + m_columns->Items(column)->Width(), itemRect.x() + itemRect.width());
    return QRect(x, itemRect.y(), right - x, itemRect.height());
}

QRect TMultiColComboBox::SelectionFieldRect() const
{
    QStyleOptionComboBox opt;
    initStyleOption(&opt);
    QRect field =
        style()->subControlRect(QStyle::CC_ComboBox, &opt, QStyle::SC_ComboBoxEditField, this);
    // The field is one item high, centred in the room the style leaves.
    if (field.height() > m_itemHeight)
        field = QRect(field.x(), field.y() + (field.height() - m_itemHeight) / 2, field.width(),
                      m_itemHeight);
    return field;
}

void TMultiColComboBox::DrawSelectionField(QPainter &p, const QRect &rect, bool selected) const
{
    p.fillRect(rect, selected ? ToQColor(clHighlight) : ToQColor(m_color));
    if (currentIndex() < 0)
        return;
    p.save();
    // Cut at the field's sides only: a font taller than the item keeps its descent.
    p.setClipRect(QRect(rect.x(), 0, rect.width(), height()));
    p.setFont(font());
    p.setPen(selected ? ToQColor(clHighlightText) : ToQColor(m_fontColor));
    p.drawText(rect.x() + 2, rect.y() + 2 + QFontMetrics(font()).ascent(), GetSelectedText());
    p.restore();
}

void TMultiColComboBox::DrawColumn(QPainter &p, const TCBColumn &column, const QRect &cell,
                                   const QString &text, bool selected, QColor &brush,
                                   const QColor &selectedText) const
{
    if (!selected)
        brush = ToQColor(column.Color());
    if (cell.width() > 0 && cell.height() > 0)
        p.fillRect(cell, brush);
    QRect inner = cell;
    int align;
    switch (column.Alignment()) {
    case TCBColumn::taRightJustify:
        inner.setWidth(cell.width() - m_indent);
        align = Qt::AlignRight;
        break;
    case TCBColumn::taCenter:
        inner = QRect(cell.x() + m_indent, cell.y(), cell.width() - m_indent, cell.height());
        align = Qt::AlignHCenter;
        break;
    default:
        inner = QRect(cell.x() + m_indent, cell.y(), cell.width() - m_indent, cell.height());
        align = Qt::AlignLeft;
        break;
    }
    if (inner.width() <= 0 || inner.height() <= 0 || text.isEmpty())
        return;
    p.save();
    p.setClipRect(inner);
    p.setFont(column.Font());
    p.setPen(selected ? selectedText : ToQColor(column.FontColor()));
    p.drawText(inner, align | Qt::AlignVCenter | Qt::TextSingleLine | Qt::TextShowMnemonic, text);
    p.restore();
}

void TMultiColComboBox::DrawListItem(QPainter &p, const QRect &rect, int index, bool selected) const
{
    const QStringList fields = CommaTextFields(Item(index));
    const QColor selectedText = ToQColor(clHighlightText);
    QColor brush = selected ? ToQColor(clHighlight) : ToQColor(m_color);
    const int right = rect.x() + rect.width();
    int x = rect.x();
    for (int i = 0; i < m_columns->Count(); ++i) {
        const TCBColumn &column = *m_columns->Items(i);
        const QRect cell(x, rect.y(), std::min(x + column.Width(), right) - x, rect.height());
        DrawColumn(p, column, cell, i < fields.size() ? fields.at(i) : QString(), selected, brush,
                   selectedText);
        x += column.Width();
    }
    // The rest of the row in the colour the last cell left.
    if (x < right)
        p.fillRect(QRect(x, rect.y(), right - x, rect.height()), brush);
}

void TMultiColComboBox::paintEvent(QPaintEvent *e)
{
    if (isEditable()) {
        // The edit field draws the text itself.
        QComboBox::paintEvent(e);
        return;
    }
    const qreal dpr = devicePixelRatioF();
    QImage img(size() * dpr, QImage::Format_ARGB32_Premultiplied);
    img.setDevicePixelRatio(dpr);
    img.fill(Qt::transparent);
    {
        QPainter p(&img);
        QStyleOptionComboBox opt;
        initStyleOption(&opt);
        opt.currentText.clear();
        opt.currentIcon = QIcon();
        style()->drawComplexControl(QStyle::CC_ComboBox, &opt, &p, this);
        DrawSelectionField(p, SelectionFieldRect(), hasFocus());
    }
    QPainter(this).drawImage(0, 0, img);
}

void TMultiColComboBox::showPopup()
{
    RunGuarded([this] { emit OnDropDown(this); });
    QComboBox::showPopup();
    QWidget *popup = view()->window();
    if (popup == window())
        return;
    QRect g = popup->geometry();
    g.setWidth(DropDownWidth());
    if (const QScreen *screen = popup->screen()) {
        const QRect avail = screen->availableGeometry();
        if (g.right() > avail.right())
            g.moveLeft(std::max(avail.left(), avail.right() - g.width() + 1));
    }
    popup->setGeometry(g);
}

QSize TMultiColComboBox::sizeHint() const
{
    // The native control is as high as one item plus its frame.
    return QSize(QComboBox::sizeHint().width(), m_itemHeight + 6);
}

QSize TMultiColComboBox::minimumSizeHint() const
{
    return QSize(QComboBox::minimumSizeHint().width(), m_itemHeight + 6);
}
