#include "Errors.h"
#include "MCCBox.h"
#include "TestSupport.h"

#include <QAbstractItemView>
#include <QDir>
#include <QLineEdit>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>

namespace {
const QString FormFace = QString::fromUtf8("ＭＳ Ｐゴシック");
const QString Header = QString::fromUtf8(
    ",[拡張子],[ｻｲｽﾞ],[ｺｰﾃﾞｯｸ],[ﾌﾚｰﾑﾚｰﾄ],[ﾋﾞｯﾄﾚｰﾄ],[ｺｰﾃﾞｯｸ],[ｻﾝﾌﾟﾙﾚｰﾄ],[ﾋﾞｯﾄﾚｰﾄ]");
// A quoted name with a blank, a row with more fields and one with fewer than columns.
const QString PresetQcif = QString::fromUtf8(
    "\"QCIF MPEG-4 (携帯標準)\",3gp,176x144,MPEG4,15fps,128kbps,AAC,16000Hz,32kbps");
const QString PresetQvga =
    QString::fromUtf8("QVGA高画質,3gp,320x240,LIBX264,30fps,384kbps,AAC,24000Hz,64kbps,余分,x");
const QString PresetShort = QString::fromUtf8("最小,3gp,176x144");

const int PresetWidths[] = {200, 60, 60, 70, 60, 60, 60, 60, 60};
const TColor PresetColors[] = {clWhite,       clLightGrey,   clVideoAccent,
                               clVideoAccent, clVideoAccent, clVideoAccent,
                               clAudioAccent, clAudioAccent, clAudioAccent};

QFont FormFont(int pixels)
{
    QFont f(FormFace);
    f.setPixelSize(pixels);
    return f;
}

// The preset chooser as the main window sets it up.
void SetUpPresetChooser(TMultiColComboBox &c)
{
    c.setGeometry(64, 134, 286, 19);
    c.SetCanEdit(false);
    c.SetIndent(1);
    c.SetDropDownCount(30);
    c.SetItemHeight(13);
    c.SetColor(clWhite);
    c.setFont(FormFont(11));
    c.SetFontColor(clTextGrey);
    TCBColumns layout;
    for (int i = 0; i < 9; ++i) {
        TCBColumn *col = layout.Add();
        col->SetWidth(PresetWidths[i]);
        col->SetColor(PresetColors[i]);
        col->SetFont(FormFont(11));
        col->SetFontColor(clTextGrey);
    }
    c.SetColumns(layout);
}

QImage DrawRow(const TMultiColComboBox &c, int index, bool selected, int width)
{
    QImage img(width, c.ItemHeight(), QImage::Format_RGB32);
    img.fill(Qt::black);
    QPainter p(&img);
    c.DrawListItem(p, img.rect(), index, selected);
    return img;
}

// True when every pixel of r has colour c.
bool Uniform(const QImage &img, const QRect &r, const QColor &c)
{
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            if (QColor(img.pixel(x, y)) != c)
                return false;
    return true;
}

// The leftmost and rightmost columns of r holding a pixel other than c, or (-1, -1).
QPair<int, int> InkColumns(const QImage &img, const QRect &r, const QColor &c)
{
    int first = -1, last = -1;
    for (int x = r.left(); x <= r.right(); ++x)
        for (int y = r.top(); y <= r.bottom(); ++y)
            if (QColor(img.pixel(x, y)) != c) {
                if (first < 0)
                    first = x;
                last = x;
                break;
            }
    return {first, last};
}

QStringList ItemRows(const TMultiColComboBox &c)
{
    QStringList out;
    for (int i = 0; i < c.Count(); ++i)
        out << c.Item(i);
    return out;
}

QStringList DisplayTexts(const TMultiColComboBox &c)
{
    QStringList out;
    for (int i = 0; i < c.count(); ++i)
        out << c.itemText(i);
    return out;
}
} // namespace

class TestMultiColComboBox : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void defaults();
    void rowsKeptWhole_data();
    void rowsKeptWhole();
    void targetColumnChangesReadsOnly();
    void addItemsAsOneByOne_data();
    void addItemsAsOneByOne();
    void columnText_data();
    void columnText();
    void listIndexErrors_data();
    void listIndexErrors();
    void insertDeleteInStep();
    void itemIndex();
    void userPicksFireOnChange();
    void editedText();
    void longRows_data();
    void longRows();
    void columnsFollowCombo();
    void assignAndSetColumns();
    void dropDownWidth();
    void listItemDrawing();
    void cellTextPlacement();
    void closedControlDrawing();
    void presetChooserOpen();
};

void TestMultiColComboBox::initTestCase()
{
    QFont::insertSubstitution(FormFace, QStringLiteral("IPAPGothic"));
}

void TestMultiColComboBox::defaults()
{
    TMultiColComboBox c;
    QCOMPARE(c.CanEdit(), true);
    QVERIFY(c.isEditable());
    QCOMPARE(c.TargetColumn(), quint8(0));
    QCOMPARE(c.Indent(), 2);
    QCOMPARE(c.ItemHeight(), 15);
    QCOMPARE(c.DropDownCount(), 8);
    QCOMPARE(c.ItemIndex(), -1);
    QCOMPARE(c.Count(), 0);
    QCOMPARE(c.Columns()->Count(), 1);
    QCOMPARE(c.Columns()->Owner(), &c);
    const TCBColumn *col = c.Columns()->At(0);
    QCOMPARE(col->Width(), 60);
    QCOMPARE(col->Alignment(), TCBColumn::taLeftJustify);
    QCOMPARE(col->ParentColor(), true);
    QCOMPARE(col->ParentFont(), true);
    QCOMPARE(col->Color(), c.Color());
    QCOMPARE(col->Font(), c.font());
    QCOMPARE(c.GetSelectedText(), QString());
}

void TestMultiColComboBox::rowsKeptWhole_data()
{
    QTest::addColumn<QString>("row");
    QTest::addColumn<int>("target");
    QTest::addColumn<QString>("display");
    QTest::newRow("first field") << "a,b,c" << 0 << "a";
    QTest::newRow("heading row") << Header << 0 << "";
    QTest::newRow("heading row, column 2") << Header << 2 << QString::fromUtf8("[ｻｲｽﾞ]");
    QTest::newRow("quoted name") << PresetQcif << 0 << QString::fromUtf8("QCIF MPEG-4 (携帯標準)");
    QTest::newRow("blank splits") << "two words,x" << 0 << "two";
    QTest::newRow("blank splits, column 1") << "two words,x" << 1 << "words";
    QTest::newRow("no such field") << "a,b" << 5 << "";
    QTest::newRow("empty row") << "" << 0 << "";
    QTest::newRow("full-width blank stays")
        << QString::fromUtf8("全角　名前,x") << 0 << QString::fromUtf8("全角　名前");
}

void TestMultiColComboBox::rowsKeptWhole()
{
    QFETCH(QString, row);
    QFETCH(int, target);
    QFETCH(QString, display);
    TMultiColComboBox c;
    c.AddItem("first,row");
    c.SetTargetColumn(quint8(target));
    QCOMPARE(c.AddItem(row), 1);
    QCOMPARE(c.Count(), 2);
    QCOMPARE(c.itemText(1), display);
    QCOMPARE(c.Item(1), row);
    QCOMPARE(c.Item(0), QString("first,row"));
}

void TestMultiColComboBox::targetColumnChangesReadsOnly()
{
    TMultiColComboBox c;
    c.SetCanEdit(false);
    c.AddItem("a,b,c");
    c.AddItem("d,e");
    c.SetItemIndex(1);
    QCOMPARE(c.GetSelectedText(), QString("d"));
    c.SetTargetColumn(1);
    QCOMPARE(c.GetSelectedText(), QString("e"));
    QCOMPARE(DisplayTexts(c), (QStringList{"a", "d"}));
    c.SetTargetColumn(2);
    QCOMPARE(c.GetSelectedText(), QString());
    c.SetItemIndex(-1);
    QCOMPARE(c.GetSelectedText(), QString());
    // The heading row reads empty in the name column, its title elsewhere.
    c.InsertItem(0, Header);
    c.SetItemIndex(0);
    QCOMPARE(c.GetSelectedText(), QString::fromUtf8("[ｻｲｽﾞ]"));
    c.SetTargetColumn(0);
    QCOMPARE(c.GetSelectedText(), QString());
    c.SetTargetColumn(2);
    // Rows added now show the new target field.
    c.AddItem("f,g,h");
    QCOMPARE(DisplayTexts(c), (QStringList{QString::fromUtf8("[ｻｲｽﾞ]"), "a", "d", "h"}));
}

void TestMultiColComboBox::addItemsAsOneByOne_data()
{
    QTest::addColumn<bool>("editable");
    QTest::addColumn<int>("target");
    QTest::addColumn<int>("selected"); // before the rows are added; -1 none
    QTest::addColumn<QString>("typed");
    QTest::newRow("empty, editable") << true << 0 << -1 << "";
    QTest::newRow("empty, fixed list") << false << 0 << -1 << "";
    QTest::newRow("column 2") << true << 2 << -1 << "";
    QTest::newRow("a row selected") << false << 0 << 0 << "";
    QTest::newRow("typed text kept") << true << 1 << -1 << "typed";
}

void TestMultiColComboBox::addItemsAsOneByOne()
{
    QFETCH(bool, editable);
    QFETCH(int, target);
    QFETCH(int, selected);
    QFETCH(QString, typed);
    const QStringList rows{
        PresetQcif, PresetQvga, "", PresetShort, QString("long,") + QString(5000, QChar('x')),
        Header};
    TMultiColComboBox one, all;
    for (TMultiColComboBox *c : {&one, &all}) {
        c->SetCanEdit(editable);
        c->SetTargetColumn(quint8(target));
        if (selected >= 0) {
            c->AddItem("first,row");
            c->SetItemIndex(selected);
        }
        if (!typed.isEmpty()) {
            c->lineEdit()->setText(typed);
            c->lineEdit()->setModified(true);
        }
    }
    for (const QString &row : rows)
        one.AddItem(row);
    all.AddItems(rows);
    QCOMPARE(all.Count(), one.Count());
    QCOMPARE(ItemRows(all), ItemRows(one));
    QCOMPARE(DisplayTexts(all), DisplayTexts(one));
    QCOMPARE(all.ItemIndex(), one.ItemIndex());
    QCOMPARE(all.ItemIndex(), selected);
    QCOMPARE(all.GetSelectedText(), one.GetSelectedText());
    if (!typed.isEmpty())
        QCOMPARE(all.GetSelectedText(), typed);
    // A long row is cut as AddItem cuts it.
    QCOMPARE(all.Item(all.Count() - 2).size(), 4095);
}

void TestMultiColComboBox::columnText_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("expected");
    QTest::newRow("heading name") << 0 << 0 << "";
    QTest::newRow("heading extension") << 0 << 1 << QString::fromUtf8("[拡張子]");
    QTest::newRow("heading last") << 0 << 8 << QString::fromUtf8("[ﾋﾞｯﾄﾚｰﾄ]");
    QTest::newRow("quoted name") << 1 << 0 << QString::fromUtf8("QCIF MPEG-4 (携帯標準)");
    QTest::newRow("frame rate") << 1 << 4 << "15fps";
    QTest::newRow("audio bit rate") << 1 << 8 << "32kbps";
    QTest::newRow("field beyond the columns") << 2 << 10 << "x";
    QTest::newRow("fewer fields") << 3 << 3 << "";
    QTest::newRow("no such field") << 1 << 9 << "";
    QTest::newRow("negative column") << 1 << -1 << "";
    QTest::newRow("index -1") << -1 << 0 << "";
    QTest::newRow("index = count") << 4 << 0 << "";
}

void TestMultiColComboBox::columnText()
{
    QFETCH(int, index);
    QFETCH(int, column);
    QFETCH(QString, expected);
    TMultiColComboBox c;
    for (const QString &row : {Header, PresetQcif, PresetQvga, PresetShort})
        c.AddItem(row);
    QCOMPARE(c.GetColumnText(index, column), expected);
}

void TestMultiColComboBox::listIndexErrors_data()
{
    QTest::addColumn<bool>("insert");
    QTest::addColumn<int>("index");
    QTest::newRow("insert at -1") << true << -1;
    QTest::newRow("insert past the end") << true << 4;
    QTest::newRow("delete -1") << false << -1;
    QTest::newRow("delete at count") << false << 3;
    QTest::newRow("delete far out") << false << 1000;
}

void TestMultiColComboBox::listIndexErrors()
{
    QFETCH(bool, insert);
    QFETCH(int, index);
    TMultiColComboBox c;
    c.AddItem("a,1");
    c.AddItem("b,2");
    c.AddItem("c,3");
    c.SetItemIndex(1);
    QString message;
    try {
        if (insert)
            c.InsertItem(index, "z,9");
        else
            c.DeleteItem(index);
    } catch (const EListError &e) {
        message = e.message();
    }
    QCOMPARE(message,
             QString::fromUtf8("リストのインデックスが範囲を超えています (%1)").arg(index));
    QCOMPARE(ItemRows(c), (QStringList{"a,1", "b,2", "c,3"}));
    QCOMPARE(DisplayTexts(c), (QStringList{"a", "b", "c"}));
    QCOMPARE(c.ItemIndex(), 1);
    // Reading an item that does not exist is the same error.
    QVERIFY_THROWS_EXCEPTION(EListError, c.Item(3));
    QVERIFY_THROWS_EXCEPTION(EListError, c.Item(-1));
}

void TestMultiColComboBox::insertDeleteInStep()
{
    TMultiColComboBox c;
    c.AddItem("b,2");
    c.InsertItem(0, "a,1");
    c.InsertItem(2, "d,4");
    c.InsertItem(2, "\"c c\",3");
    QCOMPARE(ItemRows(c), (QStringList{"a,1", "b,2", "\"c c\",3", "d,4"}));
    QCOMPARE(DisplayTexts(c), (QStringList{"a", "b", "c c", "d"}));
    c.DeleteItem(1);
    c.DeleteItem(2);
    QCOMPARE(ItemRows(c), (QStringList{"a,1", "\"c c\",3"}));
    QCOMPARE(DisplayTexts(c), (QStringList{"a", "c c"}));
    c.ClearItems();
    QCOMPARE(c.Count(), 0);
    QCOMPARE(c.ItemIndex(), -1);
    c.AddItem("e,5");
    QCOMPARE(ItemRows(c), QStringList{"e,5"});
}

void TestMultiColComboBox::itemIndex()
{
    TMultiColComboBox c;
    c.SetCanEdit(false);
    QSignalSpy changes(&c, &TMultiColComboBox::OnChange);
    c.AddItem("a");
    c.AddItem("b");
    c.AddItem("c");
    QCOMPARE(c.ItemIndex(), -1); // adding selects nothing
    c.SetItemIndex(1);
    QCOMPARE(c.ItemIndex(), 1);
    c.SetItemIndex(3);
    QCOMPARE(c.ItemIndex(), -1);
    c.SetItemIndex(2);
    c.SetItemIndex(-7);
    QCOMPARE(c.ItemIndex(), -1);
    c.SetItemIndex(2);
    // The selection stays with its row when rows come and go before it.
    c.InsertItem(0, "z");
    QCOMPARE(c.ItemIndex(), 3);
    QCOMPARE(c.GetSelectedText(), QString("c"));
    c.DeleteItem(0);
    QCOMPARE(c.ItemIndex(), 2);
    // Deleting the selected row leaves no selection.
    c.DeleteItem(2);
    QCOMPARE(c.ItemIndex(), -1);
    QCOMPARE(c.GetSelectedText(), QString());
    QCOMPARE(changes.count(), 0); // nothing of this was the user's
}

void TestMultiColComboBox::userPicksFireOnChange()
{
    QWidget host;
    host.resize(400, 300);
    TMultiColComboBox c(&host);
    SetUpPresetChooser(c);
    c.move(10, 10);
    for (const QString &row : {Header, PresetQcif, PresetQvga, PresetShort})
        c.AddItem(row);
    c.SetItemIndex(1);
    host.show();
    host.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&host));
    c.setFocus();
    QSignalSpy changes(&c, &TMultiColComboBox::OnChange);

    QTest::keyClick(&c, Qt::Key_Down);
    QCOMPARE(c.ItemIndex(), 2);
    QCOMPARE(changes.count(), 1);
    QCOMPARE(changes.at(0).at(0).value<QObject *>(), &c);

    c.showPopup();
    QAbstractItemView *list = c.view();
    QTRY_VERIFY(list->isVisible());
    const QRect r = list->visualRect(list->model()->index(3, 0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, r.center());
    QTRY_VERIFY(!list->isVisible());
    QCOMPARE(c.ItemIndex(), 3);
    QCOMPARE(changes.count(), 2);
    c.SetTargetColumn(2);
    QCOMPARE(c.GetSelectedText(), QString("176x144"));
}

void TestMultiColComboBox::editedText()
{
    QWidget host;
    TMultiColComboBox c(&host);
    c.AddItem("alpha,1");
    c.AddItem("beta,2");
    c.SetItemIndex(0);
    host.show();
    host.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&host));
    QSignalSpy changes(&c, &TMultiColComboBox::OnChange);
    c.SetTargetColumn(1);
    QCOMPARE(c.GetSelectedText(), QString("1")); // not modified yet
    c.lineEdit()->setFocus();
    QTest::keyClicks(c.lineEdit(), "xy");
    QCOMPARE(changes.count(), 2);
    QCOMPARE(c.GetSelectedText(), QString("alphaxy"));
    // Choosing a row from code puts its text back unmodified.
    c.SetItemIndex(1);
    QCOMPARE(c.GetSelectedText(), QString("2"));
    QCOMPARE(changes.count(), 2);
    // The user's text survives rows added to the list meanwhile.
    c.ClearItems();
    QTest::keyClicks(c.lineEdit(), "typed");
    c.AddItem("gamma,3");
    QCOMPARE(c.ItemIndex(), -1);
    QCOMPARE(c.GetSelectedText(), QString("typed"));
}

void TestMultiColComboBox::longRows_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<bool>("surrogateAtCut");
    QTest::addColumn<int>("kept");
    QTest::newRow("4094") << 4094 << false << 4094;
    QTest::newRow("4095 fits") << 4095 << false << 4095;
    QTest::newRow("4096 is cut") << 4096 << false << 4095;
    QTest::newRow("5000 is cut") << 5000 << false << 4095;
    QTest::newRow("a character is never split") << 5000 << true << 4094;
}

void TestMultiColComboBox::longRows()
{
    QFETCH(int, length);
    QFETCH(bool, surrogateAtCut);
    QFETCH(int, kept);
    QString row = QString("name,") + QString(length - 5, QChar('x'));
    if (surrogateAtCut)
        row.replace(4094, 2, QString::fromUcs4(U"\U0001F600"));
    QCOMPARE(row.size(), length);
    TMultiColComboBox c;
    c.SetTargetColumn(1);
    c.AddItem(row);
    c.InsertItem(0, row);
    for (int i = 0; i < 2; ++i) {
        QCOMPARE(c.Item(i).size(), kept);
        QCOMPARE(c.Item(i), row.left(kept));
        // The shown text comes from the kept row.
        QCOMPARE(c.itemText(i), row.left(kept).mid(5));
    }
    c.SetItemIndex(0);
    QCOMPARE(c.GetSelectedText().size(), kept - 5);
}

void TestMultiColComboBox::columnsFollowCombo()
{
    TMultiColComboBox c;
    TCBColumn *follows = c.Columns()->At(0);
    TCBColumn *own = c.Columns()->Add();
    own->SetColor(clYellow);
    QCOMPARE(own->ParentColor(), false);
    own->SetFont(FormFont(16));
    QCOMPARE(own->ParentFont(), false);

    c.SetColor(clAudioAccent);
    QCOMPARE(follows->Color(), clAudioAccent);
    QCOMPARE(own->Color(), clYellow);
    c.setFont(FormFont(11));
    c.SetFontColor(clTextGrey);
    QCOMPARE(follows->Font(), FormFont(11));
    QCOMPARE(follows->FontColor(), clTextGrey);
    QCOMPARE(follows->ParentFont(), true); // taking the combo's font keeps the flag
    QCOMPARE(own->Font(), FormFont(16));

    // The same colour again is no change; another one ends ParentColor.
    follows->SetColor(clAudioAccent);
    QCOMPARE(follows->ParentColor(), true);
    follows->SetColor(clWhite);
    QCOMPARE(follows->ParentColor(), false);
    c.SetColor(clSilver);
    QCOMPARE(follows->Color(), clWhite);
    follows->SetParentColor(true);
    QCOMPARE(follows->Color(), clSilver);

    // Any change of the column's font ends ParentFont; switching it on copies again.
    follows->SetFontColor(clRed);
    QCOMPARE(follows->ParentFont(), false);
    c.setFont(FormFont(12));
    QCOMPARE(follows->Font(), FormFont(11));
    own->SetParentFont(true);
    QCOMPARE(own->Font(), FormFont(12));
    QCOMPARE(own->FontColor(), clTextGrey);

    // A new column starts from the combo's colour and font.
    TCBColumn *fresh = c.Columns()->Add();
    QCOMPARE(fresh->Color(), clSilver);
    QCOMPARE(fresh->Font(), FormFont(12));
    QCOMPARE(fresh->Index(), 2);
}

void TestMultiColComboBox::assignAndSetColumns()
{
    TCBColumns layout;
    QCOMPARE(layout.Owner(), nullptr);
    TCBColumn *a = layout.Add();
    a->SetWidth(112);
    TCBColumn *b = layout.Add();
    b->SetWidth(160);
    b->SetColor(clLightGrey);
    b->SetAlignment(TCBColumn::taRightJustify);
    b->SetFont(FormFont(16));
    b->SetFontColor(clRed);

    TMultiColComboBox c;
    c.SetColor(clAudioAccent);
    c.SetColumns(layout);
    QCOMPARE(c.Columns()->Count(), 2);
    const TCBColumn *ca = c.Columns()->At(0);
    const TCBColumn *cb = c.Columns()->At(1);
    QCOMPARE(ca->Width(), 112);
    QCOMPARE(ca->ParentColor(), true);
    QCOMPARE(ca->Color(), clAudioAccent); // the parent flag re-applies this combo's colour
    QCOMPARE(ca->ParentFont(), true);
    QCOMPARE(ca->Font(), c.font());
    QCOMPARE(cb->Width(), 160);
    QCOMPARE(cb->Color(), clLightGrey);
    QCOMPARE(cb->ParentColor(), false);
    QCOMPARE(cb->Alignment(), TCBColumn::taRightJustify);
    QCOMPARE(cb->Font(), FormFont(16));
    QCOMPARE(cb->FontColor(), clRed);
    QCOMPARE(cb->ParentFont(), false);
    QCOMPARE(cb->Collection(), c.Columns());

    // Copies, not shared columns.
    b->SetWidth(5);
    QCOMPARE(cb->Width(), 160);

    // Replacing one column copies it in place.
    c.Columns()->SetItems(0, *b);
    QCOMPARE(c.Columns()->At(0)->Width(), 5);
    QCOMPARE(c.Columns()->At(0)->Color(), clLightGrey);
    QCOMPARE(c.Columns()->Count(), 2);
    QVERIFY_THROWS_EXCEPTION(EListError, c.Columns()->Items(2));
    QVERIFY_THROWS_EXCEPTION(EListError, c.Columns()->SetItems(-1, *a));
    c.Columns()->Delete(0);
    QCOMPARE(c.Columns()->Count(), 1);
    QCOMPARE(c.Columns()->At(0)->Index(), 0);
}

void TestMultiColComboBox::dropDownWidth()
{
    QWidget host;
    host.resize(760, 400);
    TMultiColComboBox c(&host);
    SetUpPresetChooser(c);
    c.move(0, 10);
    for (const QString &row : {Header, PresetQcif, PresetQvga, PresetShort})
        c.AddItem(row);
    QCOMPARE(c.DropDownWidth(), 690);
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));
    QSignalSpy dropDowns(&c, &TMultiColComboBox::OnDropDown);
    c.showPopup();
    QTRY_VERIFY(c.view()->isVisible());
    QCOMPARE(dropDowns.count(), 1);
    QCOMPARE(c.view()->window()->width(), 690);
    c.hidePopup();

    // Never narrower than the control.
    TCBColumns narrow;
    narrow.Add()->SetWidth(40);
    narrow.Add()->SetWidth(50);
    c.SetColumns(narrow);
    QCOMPARE(c.DropDownWidth(), 286);
    c.showPopup();
    QTRY_VERIFY(c.view()->isVisible());
    QCOMPARE(c.view()->window()->width(), 286);
    c.hidePopup();
}

void TestMultiColComboBox::listItemDrawing()
{
    TMultiColComboBox c;
    SetUpPresetChooser(c);
    for (const QString &row : {Header, PresetQcif, PresetQvga, PresetShort})
        c.AddItem(row);
    c.AddItem(QString::fromUtf8("QVGA高画質,3gp,320x240,LIBX264,30fps,384kbps,AAC,24000Hz,64kbps"));
    const int width = 760; // wider than the columns
    const QRect itemRect(0, 0, width, c.ItemHeight());

    const QImage heading = DrawRow(c, 0, false, width);
    for (int i = 0; i < 9; ++i) {
        const QRect cell = c.CellRect(itemRect, i);
        QCOMPARE(cell.width(), PresetWidths[i]);
        QCOMPARE(QColor(heading.pixel(cell.x() + 1, 1)), ToQColor(PresetColors[i]));
        // The name cell of the heading is empty; the titles are drawn.
        const bool empty = Uniform(heading, cell, ToQColor(PresetColors[i]));
        QCOMPARE(empty, i == 0);
    }
    // The rest of the row takes the last cell's colour.
    QVERIFY(Uniform(heading, QRect(690, 0, width - 690, c.ItemHeight()), ToQColor(clAudioAccent)));

    // Fewer fields: the missing cells are empty in their own colours.
    const QImage shortRow = DrawRow(c, 3, false, width);
    for (int i = 3; i < 9; ++i)
        QVERIFY(Uniform(shortRow, c.CellRect(itemRect, i), ToQColor(PresetColors[i])));
    QVERIFY(!Uniform(shortRow, c.CellRect(itemRect, 2), ToQColor(PresetColors[2])));
    // More fields than columns: the extra ones are not shown.
    QCOMPARE(DrawRow(c, 2, false, width), DrawRow(c, 4, false, width));

    // Selected: every cell in the highlight colour, text in the highlight text colour.
    const QImage selected = DrawRow(c, 1, true, width);
    for (int i = 0; i < 9; ++i)
        QCOMPARE(QColor(selected.pixel(c.CellRect(itemRect, i).x() + 1, 1)), ToQColor(clHighlight));
    QVERIFY(Uniform(selected, QRect(690, 0, width - 690, c.ItemHeight()), ToQColor(clHighlight)));

    // An item narrower than the columns cuts the cell that crosses its edge.
    QCOMPARE(c.CellRect(QRect(0, 0, 250, 13), 1), QRect(200, 0, 50, 13));

    // No columns: the whole row in the combo's colour.
    c.Columns()->Clear();
    QVERIFY(Uniform(DrawRow(c, 1, false, 100), QRect(0, 0, 100, 13), QColor(Qt::white)));
}

void TestMultiColComboBox::cellTextPlacement()
{
    TMultiColComboBox c;
    c.SetCanEdit(false);
    c.SetColor(clWhite);
    c.setFont(FormFont(12));
    c.SetFontColor(clBlack);
    c.SetItemHeight(20);
    c.SetIndent(5);
    c.Columns()->At(0)->SetWidth(100);
    TCBColumn *right = c.Columns()->Add();
    right->SetWidth(100);
    right->SetAlignment(TCBColumn::taRightJustify);
    TCBColumn *centre = c.Columns()->Add();
    centre->SetWidth(100);
    centre->SetAlignment(TCBColumn::taCenter);
    c.AddItem("ab,ab,ab");
    const QImage row = DrawRow(c, 0, false, 300);
    const QColor white(Qt::white);
    const auto left = InkColumns(row, QRect(0, 0, 100, 20), white);
    const auto rightInk = InkColumns(row, QRect(100, 0, 100, 20), white);
    const auto centreInk = InkColumns(row, QRect(200, 0, 100, 20), white);
    const int inkWidth = left.second - left.first;
    QVERIFY2(left.first >= 5 && left.first <= 7, qPrintable(QString::number(left.first)));
    QVERIFY2(rightInk.second <= 194 && rightInk.second >= 192,
             qPrintable(QString::number(rightInk.second)));
    // Centred in the cell inset from the left.
    const int centreMid = (centreInk.first + centreInk.second) / 2;
    QVERIFY2(qAbs(centreMid - 252) <= 2, qPrintable(QString::number(centreMid)));
    QCOMPARE(rightInk.second - rightInk.first, inkWidth);
    // Vertically centred: as much room above the ink as below, give or take the descent.
    int top = -1, bottom = -1;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 100; ++x)
            if (QColor(row.pixel(x, y)) != white) {
                if (top < 0)
                    top = y;
                bottom = y;
            }
    QVERIFY2(top >= 3 && 19 - bottom >= 2, qPrintable(QString("%1 %2").arg(top).arg(bottom)));

    // An ampersand is a mnemonic prefix: "&&" shows one, as the plain text would.
    c.ClearItems();
    c.AddItem("a&&b");
    const QImage mnemonic = DrawRow(c, 0, false, 300);
    QImage plain(300, 20, QImage::Format_RGB32);
    plain.fill(Qt::white);
    {
        QPainter p(&plain);
        p.setFont(c.font());
        p.setPen(Qt::black);
        p.drawText(QRect(5, 0, 95, 20), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                   "a&b");
    }
    QCOMPARE(mnemonic.copy(0, 0, 100, 20), plain.copy(0, 0, 100, 20));
}

void TestMultiColComboBox::closedControlDrawing()
{
    QWidget host;
    host.resize(400, 100);
    TMultiColComboBox c(&host);
    SetUpPresetChooser(c);
    c.move(10, 10);
    c.AddItem(PresetQcif);
    c.AddItem(PresetQvga);
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));
    QVERIFY(!c.hasFocus());

    const QRect field = c.SelectionFieldRect();
    QCOMPARE(field.height(), 13);
    QImage shot = c.grab().toImage();
    // No selection: the field is only filled.
    QVERIFY(Uniform(shot, field, QColor(Qt::white)));

    c.SetItemIndex(1);
    shot = c.grab().toImage();
    const auto ink = InkColumns(shot, field, QColor(Qt::white));
    QVERIFY2(ink.first >= field.x() + 2 && ink.first <= field.x() + 4,
             qPrintable(QString::number(ink.first - field.x())));
    for (int x = field.x(); x <= field.right(); ++x) {
        QCOMPARE(QColor(shot.pixel(x, field.y())), QColor(Qt::white));
        QCOMPARE(QColor(shot.pixel(x, field.y() + 1)), QColor(Qt::white));
    }
    // Another target column shows another field at the next paint; the list keeps its texts.
    c.SetTargetColumn(2);
    const QImage other2 = c.grab().toImage();
    QVERIFY(other2 != shot);
    QCOMPARE(c.itemText(1), QString::fromUtf8("QVGA高画質"));
    // The field's text is exactly the target field as the combo's font draws it.
    QImage expected(field.size(), QImage::Format_RGB32);
    expected.fill(Qt::white);
    {
        QPainter p(&expected);
        p.setFont(c.font());
        p.setPen(ToQColor(clTextGrey));
        p.drawText(2, 2 + QFontMetrics(c.font()).ascent(), "320x240");
    }
    QCOMPARE(other2.copy(field).convertToFormat(QImage::Format_RGB32), expected);
}

void TestMultiColComboBox::presetChooserOpen()
{
    QWidget host;
    host.resize(760, 300);
    TMultiColComboBox c(&host);
    SetUpPresetChooser(c);
    for (const QString &row : {Header, PresetQcif, PresetQvga, PresetShort})
        c.AddItem(row);
    c.SetItemIndex(2);
    c.move(64, 134);
    host.show();
    host.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&host));
    c.showPopup();
    QAbstractItemView *list = c.view();
    QTRY_VERIFY(list->isVisible());
    QWidget *popup = list->window();
    QCOMPARE(popup->width(), 690);
    const QImage shot = popup->grab().toImage();
    const QString dir = qEnvironmentVariable("PC_SCREENSHOT_DIR");
    // The list opens below the control.
    const QPoint under = c.mapToGlobal(QPoint(0, c.height()));
    QVERIFY2(qAbs(popup->y() - under.y()) <= 2,
             qPrintable(QString::number(popup->y() - under.y())));
    QCOMPARE(popup->x(), under.x());
    if (!dir.isEmpty()) {
        QVERIFY(shot.save(QDir(dir).filePath("presetchooser-list.png")));
        QImage scene = host.grab().toImage();
        QPainter p(&scene);
        p.drawImage(popup->pos() - host.mapToGlobal(QPoint(0, 0)), shot);
        p.end();
        QVERIFY(scene.save(QDir(dir).filePath("presetchooser-open.png")));
    }
    // Each row is one item high; its cells show the columns' colours, the
    // selected row the highlight.
    for (int row = 0; row < 4; ++row) {
        const QRect r = list->visualRect(list->model()->index(row, 0));
        QCOMPARE(r.height(), 13);
        const QPoint origin = list->viewport()->mapTo(popup, r.topLeft());
        int x = origin.x();
        for (int i = 0; i < 9; ++i) {
            const QColor want = row == 2 ? ToQColor(clHighlight) : ToQColor(PresetColors[i]);
            QCOMPARE(QColor(shot.pixel(x + 1, origin.y() + 1)), want);
            x += PresetWidths[i];
            if (x >= popup->width() - 4)
                break;
        }
    }
    c.hidePopup();
}

QTEST_MAIN(TestMultiColComboBox)
#include "tst_mccbox.moc"
