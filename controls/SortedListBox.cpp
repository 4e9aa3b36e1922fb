#include "SortedListBox.h"

#include "Errors.h"

#include <QCollator>
#include <QStringListModel>
#include <QStyledItemDelegate>

#include <algorithm>
#include <numeric>
#include <vector>

namespace {
// Qt's collator treats the C locale as plain code-point order and then gives
// case-sensitive sort keys; there, case-folded texts serve as the keys.
bool isCLocale(const QLocale &locale)
{
    return locale.language() == QLocale::C;
}

QCollator listCollator(const QLocale &locale)
{
    QCollator collator(locale);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    return collator;
}

int compareWith(const QCollator &collator, bool cLocale, const QString &a, const QString &b)
{
    const int r = cLocale ? QString::compare(a, b, Qt::CaseInsensitive) : collator.compare(a, b);
    return r != 0 ? r : QString::compare(a, b, Qt::CaseSensitive);
}

// The permutation that sorts the texts. Sort keys are made once per text:
// comparing keys is far cheaper than collating the texts again at every step.
std::vector<int> sortedOrder(const QStringList &texts, const QLocale &locale)
{
    std::vector<int> order(size_t(texts.size()));
    std::iota(order.begin(), order.end(), 0);
    if (isCLocale(locale)) {
        std::vector<QString> keys;
        keys.reserve(order.size());
        for (const QString &t : texts)
            keys.push_back(t.toCaseFolded());
        std::sort(order.begin(), order.end(), [&](int a, int b) {
            int r = QString::compare(keys[size_t(a)], keys[size_t(b)], Qt::CaseSensitive);
            if (r == 0)
                r = QString::compare(texts[a], texts[b], Qt::CaseSensitive);
            return r != 0 ? r < 0 : a < b;
        });
    } else {
        const QCollator collator = listCollator(locale);
        std::vector<QCollatorSortKey> keys;
        keys.reserve(order.size());
        for (const QString &t : texts)
            keys.push_back(collator.sortKey(t));
        std::sort(order.begin(), order.end(), [&](int a, int b) {
            int r = keys[size_t(a)].compare(keys[size_t(b)]);
            if (r == 0)
                r = QString::compare(texts[a], texts[b], Qt::CaseSensitive);
            return r != 0 ? r < 0 : a < b;
        });
    }
    return order;
}
} // namespace

int CompareListTexts(const QString &a, const QString &b, const QLocale &locale)
{
    return compareWith(listCollator(locale), isCLocale(locale), a, b);
}

QStringList SortListTexts(QStringList texts, const QLocale &locale)
{
    const std::vector<int> order = sortedOrder(texts, locale);
    QStringList sorted;
    sorted.reserve(texts.size());
    for (int i : order)
        sorted.append(std::move(texts[i]));
    return sorted;
}

QStringList MergeListTexts(const QStringList &sorted, const QStringList &added,
                           const QLocale &locale)
{
    if (added.isEmpty())
        return sorted;
    const std::vector<int> order = sortedOrder(added, locale);
    QStringList merged;
    merged.reserve(sorted.size() + added.size());
    if (sorted.isEmpty()) {
        for (int i : order)
            merged.append(added[i]);
        return merged;
    }
    const QCollator collator = listCollator(locale);
    const bool cLocale = isCLocale(locale);
    auto s = sorted.cbegin();
    auto a = order.cbegin();
    while (s != sorted.cend() && a != order.cend()) {
        if (compareWith(collator, cLocale, added[*a], *s) < 0)
            merged.append(added[*a++]);
        else
            merged.append(*s++);
    }
    for (; s != sorted.cend(); ++s)
        merged.append(*s);
    for (; a != order.cend(); ++a)
        merged.append(added[*a]);
    return merged;
}

namespace {
// Rows of the list box's item height, when it sets one, and its entries in
// their display form.
class TItemHeightDelegate : public QStyledItemDelegate
{
public:
    explicit TItemHeightDelegate(TSortedListBox *box) : QStyledItemDelegate(box), m_box(box) {}

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        if (m_box->ItemHeight() > 0)
            size.setHeight(m_box->ItemHeight());
        return size;
    }

    QString displayText(const QVariant &value, const QLocale &locale) const override
    {
        const QString text = QStyledItemDelegate::displayText(value, locale);
        return m_box->Display() ? m_box->Display()(text) : text;
    }

private:
    TSortedListBox *m_box;
};
} // namespace

TSortedListBox::TSortedListBox(QWidget *parent)
    : QListView(parent), m_model(new QStringListModel(this))
{
    setModel(m_model);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setDragDropMode(QAbstractItemView::NoDragDrop);
    // All rows have one height: the view lays out only what it shows instead
    // of measuring every entry.
    setUniformItemSizes(true);
    setItemDelegate(new TItemHeightDelegate(this));
}

void TSortedListBox::SetItemHeight(int value)
{
    if (value == m_itemHeight)
        return;
    m_itemHeight = value;
    // The view keeps the row size it measured: lay the rows out again.
    scheduleDelayedItemsLayout();
}

void TSortedListBox::SetDisplayForm(DisplayForm form)
{
    m_display = form;
    viewport()->update();
}

int TSortedListBox::Count() const
{
    return int(m_model->rowCount() + m_pending.size());
}

QString TSortedListBox::Item(int index) const
{
    Merge();
    if (index < 0 || index >= m_model->rowCount())
        throw EListError(index);
    return m_model->stringList().at(index);
}

QStringList TSortedListBox::Items() const
{
    Merge();
    return m_model->stringList();
}

void TSortedListBox::Add(const QString &text)
{
    m_pending.append(text);
    if (m_updates == 0)
        Merge();
}

void TSortedListBox::AddItems(const QStringList &texts)
{
    m_pending.append(texts);
    if (m_updates == 0)
        Merge();
}

void TSortedListBox::Clear()
{
    m_pending.clear();
    m_model->setStringList(QStringList());
}

void TSortedListBox::BeginUpdate()
{
    ++m_updates;
}

void TSortedListBox::EndUpdate()
{
    if (m_updates > 0 && --m_updates == 0)
        Merge();
}

void TSortedListBox::Merge() const
{
    if (m_pending.isEmpty())
        return;
    QStringList added;
    added.swap(m_pending);
    m_model->setStringList(MergeListTexts(m_model->stringList(), added, locale()));
}
