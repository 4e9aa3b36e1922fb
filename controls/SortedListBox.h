#pragma once

#include <QListView>
#include <QLocale>
#include <QStringList>

class QStringListModel;

// Orders texts the way a user expects a file list to be ordered: by the
// locale's collation, ignoring case; texts the collation finds equal are
// ordered by their characters, so the result does not depend on the order
// the texts came in. Negative, zero or positive as for strcmp.
int CompareListTexts(const QString &a, const QString &b, const QLocale &locale);

// The texts sorted with CompareListTexts.
QStringList SortListTexts(QStringList texts, const QLocale &locale);

// Merges texts into an already sorted list in one pass; equal texts end up
// side by side, those already in the list first.
QStringList MergeListTexts(const QStringList &sorted, const QStringList &added,
                           const QLocale &locale);

// A list box that keeps its entries sorted (single selection, duplicates
// allowed). Entries added between BeginUpdate() and EndUpdate() are collected
// and merged in one step; the view lays out only the rows it shows, so a list
// of 100,000 entries repaints at once. The collation follows the widget's
// locale().
class TSortedListBox : public QListView
{
    Q_OBJECT
    Q_PROPERTY(int ItemHeight READ ItemHeight WRITE SetItemHeight)

public:
    explicit TSortedListBox(QWidget *parent = nullptr);

    // The height of every row in pixels; 0 keeps the height the font and the
    // style give.
    int ItemHeight() const { return m_itemHeight; }
    void SetItemHeight(int value);

    // The number of entries, those still waiting for the merge included.
    int Count() const;
    // The entry at an index of the sorted list; EListError outside it.
    QString Item(int index) const;
    QStringList Items() const;

    // How an entry is shown, when not as it is kept (a file name's readable
    // form, say); the entries, their order and Item() stay as kept.
    using DisplayForm = QString (*)(const QString &);
    void SetDisplayForm(DisplayForm form);
    DisplayForm Display() const { return m_display; }

    void Add(const QString &text);
    void AddItems(const QStringList &texts);
    void Clear();

    // Updates nest; the collected entries are merged when the outermost one
    // ends, or as soon as an entry is read.
    void BeginUpdate();
    void EndUpdate();

private:
    void Merge() const;

    QStringListModel *m_model;
    mutable QStringList m_pending;
    int m_updates = 0;
    int m_itemHeight = 0;
    DisplayForm m_display = nullptr;
};
