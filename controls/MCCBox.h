#pragma once

#include "Colors.h"

#include <QComboBox>
#include <QFont>

#include <memory>
#include <vector>

class QPainter;
class TCBColumns;
class TMultiColComboBox;

// One column of a multi-column combo box: its width, colours, font and
// alignment. A column follows the combo's colour and font while its parent
// flags are on.
class TCBColumn
{
    Q_GADGET
    Q_PROPERTY(int Width READ Width WRITE SetWidth)
    Q_PROPERTY(TColor Color READ Color WRITE SetColor)
    Q_PROPERTY(TAlignment Alignment READ Alignment WRITE SetAlignment)
    Q_PROPERTY(QFont Font READ Font WRITE SetFont)
    Q_PROPERTY(TColor FontColor READ FontColor WRITE SetFontColor)
    Q_PROPERTY(bool ParentColor READ ParentColor WRITE SetParentColor)
    Q_PROPERTY(bool ParentFont READ ParentFont WRITE SetParentFont)

public:
    enum TAlignment { taLeftJustify, taRightJustify, taCenter };
    Q_ENUM(TAlignment)

    // Columns are made by their collection (TCBColumns::Add).
    explicit TCBColumn(TCBColumns *collection);
    TCBColumn(const TCBColumn &) = delete;
    TCBColumn &operator=(const TCBColumn &) = delete;

    int Width() const { return m_width; }
    void SetWidth(int value);
    TColor Color() const { return m_color; }
    // A colour different from the present one ends ParentColor.
    void SetColor(TColor value);
    TAlignment Alignment() const { return m_alignment; }
    void SetAlignment(TAlignment value);
    QFont Font() const { return m_font; }
    // Setting the font, or its colour, ends ParentFont.
    void SetFont(const QFont &value);
    TColor FontColor() const { return m_fontColor; }
    void SetFontColor(TColor value);
    bool ParentColor() const { return m_parentColor; }
    // Switching it on takes the combo's colour.
    void SetParentColor(bool value);
    bool ParentFont() const { return m_parentFont; }
    // Switching it on takes a copy of the combo's font.
    void SetParentFont(bool value);

    // Copies Width, Color, Alignment, Font, ParentColor, ParentFont in this
    // order, through the setters.
    void Assign(const TCBColumn &source);

    TCBColumns *Collection() const { return m_collection; }
    int Index() const;

    // Notifications from the combo that owns the collection.
    void ComboColorChanged();
    void ComboFontChanged();

private:
    void Changed();
    TMultiColComboBox *Combo() const;

    TCBColumns *m_collection;
    int m_width = 60;
    TColor m_color = clWindow;
    TAlignment m_alignment = taLeftJustify;
    QFont m_font;
    TColor m_fontColor = clWindowText;
    bool m_parentColor = true;
    bool m_parentFont = true;
};

// The ordered columns of a combo box. The combo is their owner; a collection
// made without one only holds a layout to hand to SetColumns.
class TCBColumns : public QObject
{
    Q_OBJECT

public:
    explicit TCBColumns(TMultiColComboBox *owner = nullptr);
    ~TCBColumns() override;

    TMultiColComboBox *Owner() const { return m_owner; }
    int Count() const { return int(m_items.size()); }
    // A new column at the end, with the owner's colour and font.
    TCBColumn *Add();
    // The column at index; raises EListError outside 0..Count()-1.
    TCBColumn *Items(int index) const;
    TCBColumn *At(int index) const { return Items(index); }
    // Replaces the column at index by a copy of value.
    void SetItems(int index, const TCBColumn &value);
    void Delete(int index);
    void Clear();
    // Replaces all columns by copies of the source's.
    void Assign(const TCBColumns &source);
    int IndexOf(const TCBColumn *column) const;
    // Sum of the column widths.
    int TotalWidth() const;

    // A column changed: the owner repaints.
    void Update();

private:
    TMultiColComboBox *m_owner;
    std::vector<std::unique_ptr<TCBColumn>> m_items;
};

// A drop-down list of rows of comma-separated fields, shown side by side in
// columns. Each item keeps its whole row; the list shows for each the field
// TargetColumn had when the row was added, and the closed control shows field
// TargetColumn of the selected row.
class TMultiColComboBox : public QComboBox
{
    Q_OBJECT
    Q_PROPERTY(bool CanEdit READ CanEdit WRITE SetCanEdit)
    Q_PROPERTY(TCBColumns *Columns READ Columns)
    Q_PROPERTY(quint8 TargetColumn READ TargetColumn WRITE SetTargetColumn)
    Q_PROPERTY(int Indent READ Indent WRITE SetIndent)
    Q_PROPERTY(int ItemHeight READ ItemHeight WRITE SetItemHeight)
    Q_PROPERTY(int DropDownCount READ DropDownCount WRITE SetDropDownCount)
    Q_PROPERTY(int ItemIndex READ ItemIndex WRITE SetItemIndex)
    Q_PROPERTY(TColor Color READ Color WRITE SetColor)
    Q_PROPERTY(TColor FontColor READ FontColor WRITE SetFontColor)

public:
    // The longest row kept. Longer rows are cut to their first MaxRowLength
    // characters when they are added or inserted, so that the kept, shown and
    // read-back row is always the same text.
    static constexpr int MaxRowLength = 4095;

    explicit TMultiColComboBox(QWidget *parent = nullptr);
    ~TMultiColComboBox() override;

    // -1 for no selection; an index outside the items selects nothing. Setting
    // it never fires OnChange.
    int ItemIndex() const { return currentIndex(); }
    void SetItemIndex(int index);

    int Count() const { return count(); }
    // Adds a whole row and returns its index.
    int AddItem(const QString &row);
    // Adds the rows in order, as AddItem would one by one, in one step (a
    // preset file may hold thousands).
    void AddItems(const QStringList &rows);
    // Inserts a row at 0..Count(); raises EListError elsewhere (-1 included).
    void InsertItem(int index, const QString &row);
    // Raises EListError for an index that is not an item.
    void DeleteItem(int index);
    void ClearItems();
    // The whole row of an item; raises EListError for an index that is not an item.
    QString Item(int index) const;

    quint8 TargetColumn() const { return m_targetColumn; }
    // Takes effect for reads and the next paint; shown texts stay as they are.
    void SetTargetColumn(quint8 value) { m_targetColumn = value; }
    // While the user has edited the text (CanEdit), that text; otherwise field
    // TargetColumn of the selected row.
    QString GetSelectedText() const;
    // Field `column` of row `index`; empty for no such row or field.
    QString GetColumnText(int index, int column) const;

    bool CanEdit() const { return isEditable(); }
    void SetCanEdit(bool value);
    int Indent() const { return m_indent; }
    void SetIndent(int value);
    int ItemHeight() const { return m_itemHeight; }
    void SetItemHeight(int value);
    int DropDownCount() const { return maxVisibleItems(); }
    void SetDropDownCount(int value) { setMaxVisibleItems(value); }
    // Background of the closed control, of the list and of parent-coloured columns.
    TColor Color() const { return m_color; }
    void SetColor(TColor value);
    // Colour of the combo's font.
    TColor FontColor() const { return m_fontColor; }
    void SetFontColor(TColor value);

    TCBColumns *Columns() const { return m_columns; }
    // Copies the given layout column by column.
    void SetColumns(const TCBColumns &columns);

    // Width of the open list: the sum of the column widths, never narrower
    // than the control.
    int DropDownWidth() const;
    // The cell of a column in a list item (right edge cut at the item's).
    QRect CellRect(const QRect &itemRect, int column) const;
    // Where the closed control shows the selection.
    QRect SelectionFieldRect() const;

    // Owner drawing of the closed control's selection field and of a list item.
    void DrawSelectionField(QPainter &p, const QRect &rect, bool selected) const;
    void DrawListItem(QPainter &p, const QRect &rect, int index, bool selected) const;
    // One cell; `brush` is the fill colour as the last cell left it and comes
    // back as this cell leaves it.
    void DrawColumn(QPainter &p, const TCBColumn &column, const QRect &cell, const QString &text,
                    bool selected, QColor &brush, const QColor &selectedText) const;

    // The row as it is kept.
    static QString CutRow(const QString &row);

    void showPopup() override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    // The collection tells the combo that a column changed.
    void ColumnsChanged();

signals:
    // The user picked a row or edited the text.
    void OnChange(QObject *Sender);
    // The list is about to open; its width is set afterwards.
    void OnDropDown(QObject *Sender);

protected:
    void paintEvent(QPaintEvent *e) override;
    void changeEvent(QEvent *e) override;

private:
    QString DisplayText(const QString &row) const;
    void KeepNoSelection(int before);
    void ApplyPalette();

    TCBColumns *m_columns;
    quint8 m_targetColumn = 0;
    int m_indent = 2;
    int m_itemHeight = 15;
    TColor m_color = clWindow;
    TColor m_fontColor = clWindowText;
};
