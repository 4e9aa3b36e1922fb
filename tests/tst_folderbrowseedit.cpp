#include "FolderBrowseEdit.h"
#include "TestSupport.h"

#include <QApplication>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QPushButton>
#include <QSignalSpy>
#include <QStyleHints>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <functional>

using Edit = std::function<void(TFolderBrowseEdit &)>;
Q_DECLARE_METATYPE(Edit)

// A field whose dialog answers from the test instead of the user.
class ScriptedField : public TFolderBrowseEdit
{
public:
    using TFolderBrowseEdit::TFolderBrowseEdit;

    bool answer = false;
    QString chosen;
    QStringList starts; // start folder of every dialog shown

protected:
    bool BrowseForFolder(const QString &startFolder, QString &folder) override
    {
        starts << startFolder;
        if (answer)
            folder = chosen;
        return answer;
    }
};

class TestFolderBrowseEdit : public QObject
{
    Q_OBJECT

private slots:
    void setPathFiresOnlyOnChange_data();
    void setPathFiresOnlyOnChange();
    void everyEditFires_data();
    void everyEditFires();
    void browse_data();
    void browse();
    void buttonSitsInsideRightEnd();
    void dialogPosition_data();
    void dialogPosition();
    void realDialog_data();
    void realDialog();
    void caretBlinkWhileFocused();
};

void TestFolderBrowseEdit::setPathFiresOnlyOnChange_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("after");
    QTest::addColumn<int>("changes");
    QTest::newRow("new path") << "/a"
                              << "/b" << 1;
    QTest::newRow("same path") << "/a"
                               << "/a" << 0;
    QTest::newRow("emptied") << "/a"
                             << "" << 1;
    QTest::newRow("case differs") << "/a"
                                  << "/A" << 1;
}

void TestFolderBrowseEdit::setPathFiresOnlyOnChange()
{
    QFETCH(QString, before);
    QFETCH(QString, after);
    QFETCH(int, changes);
    TFolderBrowseEdit field;
    field.SetPath(before);
    QSignalSpy spy(&field, &TFolderBrowseEdit::OnChange);
    field.SetPath(after);
    QCOMPARE(spy.count(), changes);
    QCOMPARE(field.Path(), after);
    if (changes)
        QCOMPARE(spy.first().first().value<QObject *>(), static_cast<QObject *>(&field));
}

void TestFolderBrowseEdit::everyEditFires_data()
{
    QTest::addColumn<Edit>("edit");
    QTest::addColumn<QString>("result");
    QTest::newRow("typed") << Edit([](TFolderBrowseEdit &f) { QTest::keyClick(&f, Qt::Key_X); })
                           << "/homex";
    QTest::newRow("pasted") << Edit([](TFolderBrowseEdit &f) {
        QApplication::clipboard()->setText("/sub");
        f.paste();
    }) << "/home/sub";
    QTest::newRow("deleted") << Edit([](TFolderBrowseEdit &f) {
        QTest::keyClick(&f, Qt::Key_Backspace);
    }) << "/hom";
    QTest::newRow("cut") << Edit([](TFolderBrowseEdit &f) {
        f.setSelection(0, 2);
        f.cut();
    }) << "ome";
    QTest::newRow("set by the program")
        << Edit([](TFolderBrowseEdit &f) { f.SetPath("/tmp"); }) << "/tmp";
}

void TestFolderBrowseEdit::everyEditFires()
{
    QFETCH(Edit, edit);
    QFETCH(QString, result);
    TFolderBrowseEdit field;
    field.SetPath("/home");
    field.setCursorPosition(5);
    QSignalSpy spy(&field, &TFolderBrowseEdit::OnChange);
    edit(field);
    QCOMPARE(field.Path(), result);
    QCOMPARE(spy.count(), 1);
}

void TestFolderBrowseEdit::browse_data()
{
    QTest::addColumn<bool>("startWithLast");
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("answer");
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("result");
    QTest::addColumn<int>("changes");
    QTest::newRow("start at the field's folder") << true << "/var/log" << true << "/tmp"
                                                 << "/var/log"
                                                 << "/tmp" << 1;
    QTest::newRow("empty field: no start folder") << true << "" << true << "/tmp"
                                                  << ""
                                                  << "/tmp" << 1;
    QTest::newRow("not starting with the last") << false << "/var/log" << true << "/tmp"
                                                << ""
                                                << "/tmp" << 1;
    QTest::newRow("cancel keeps the text") << true << "/var/log" << false << ""
                                           << "/var/log"
                                           << "/var/log" << 0;
    QTest::newRow("same folder fires nothing") << true << "/var/log" << true << "/var/log"
                                               << "/var/log"
                                               << "/var/log" << 0;
}

void TestFolderBrowseEdit::browse()
{
    QFETCH(bool, startWithLast);
    QFETCH(QString, path);
    QFETCH(bool, answer);
    QFETCH(QString, chosen);
    QFETCH(QString, start);
    QFETCH(QString, result);
    QFETCH(int, changes);
    ScriptedField field;
    field.resize(326, 19);
    field.SetStartWithLast(startWithLast);
    field.SetPath(path);
    field.answer = answer;
    field.chosen = chosen;
    QSignalSpy spy(&field, &TFolderBrowseEdit::OnChange);
    field.show();
    QTest::mouseClick(field.BrowseButton(), Qt::LeftButton);
    QCOMPARE(field.starts, QStringList{start});
    QCOMPARE(field.Path(), result);
    QCOMPARE(spy.count(), changes);
}

void TestFolderBrowseEdit::buttonSitsInsideRightEnd()
{
    QCOMPARE(TFolderBrowseEdit::ButtonRect(QSize(326, 19), 2), QRect(306, 2, 18, 15));
    QCOMPARE(TFolderBrowseEdit::ButtonRect(QSize(100, 20), 0), QRect(82, 0, 18, 20));

    TFolderBrowseEdit field;
    field.resize(326, 19);
    field.show();
    const QRect button = field.BrowseButton()->geometry();
    QCOMPARE(button.width(), 18);
    QVERIFY(field.rect().contains(button));
    QVERIFY(field.width() - button.right() - 1 <= 3); // only the frame to its right
    // the text stops before the button
    QVERIFY(field.textMargins().right() >= 18);

    const QIcon icon = field.BrowseButton()->icon();
    QVERIFY(!icon.isNull());
    QCOMPARE(icon.availableSizes(), QList<QSize>{QSize(13, 14)});
    const QImage picture = icon.pixmap(QSize(13, 14)).toImage();
    QCOMPARE(picture.size(), QSize(13, 14));
    QVERIFY(picture.pixelColor(0, 0).alpha() == 0);         // transparent corner
    QCOMPARE(picture.pixelColor(0, 13), QColor(Qt::black)); // outline
}

void TestFolderBrowseEdit::dialogPosition_data()
{
    QTest::addColumn<QRect>("window");
    QTest::addColumn<QSize>("dialog");
    QTest::addColumn<QPoint>("expected");
    QTest::newRow("centred") << QRect(100, 100, 400, 591) << QSize(300, 200) << QPoint(150, 295);
    QTest::newRow("halves toward zero") << QRect(0, 0, 100, 100) << QSize(301, 31) << QPoint(0, 34);
    QTest::newRow("bottom would leave: window's bottom")
        << QRect(100, 600, 400, 200) << QSize(300, 300) << QPoint(150, 500);
    QTest::newRow("right would leave: window's right")
        << QRect(900, 100, 200, 400) << QSize(300, 200) << QPoint(800, 200);
    QTest::newRow("left of the screen: 0")
        << QRect(-300, 100, 200, 400) << QSize(300, 200) << QPoint(0, 200);
    QTest::newRow("above the screen: 0")
        << QRect(100, -400, 400, 300) << QSize(300, 200) << QPoint(150, 0);
    QTest::newRow("bigger than the window")
        << QRect(10, 10, 100, 100) << QSize(301, 301) << QPoint(0, 0);
}

void TestFolderBrowseEdit::dialogPosition()
{
    QFETCH(QRect, window);
    QFETCH(QSize, dialog);
    QFETCH(QPoint, expected);
    QCOMPARE(TFolderBrowseEdit::DialogPosition(window, dialog, QRect(0, 0, 1024, 768)), expected);
}

void TestFolderBrowseEdit::realDialog_data()
{
    QTest::addColumn<bool>("confirm");
    QTest::addColumn<QPoint>("windowAt");
    QTest::newRow("confirm another folder") << true << QPoint(120, 10);
    QTest::newRow("cancel, window at the screen's bottom right") << false << QPoint(500, 300);
}

// The real dialog: modal to the window, folders only, starting at the field's
// folder, placed over the window, its OK disabled until a folder is picked;
// the test answers it from a timer.
void TestFolderBrowseEdit::realDialog()
{
    QFETCH(bool, confirm);
    QFETCH(QPoint, windowAt);
    QTemporaryDir dir;
    const QString start = QDir(dir.path()).canonicalPath();
    QVERIFY(QDir(start).mkdir("target"));
    const QString target = start + "/target";

    QWidget mainWindow;
    mainWindow.setGeometry(QRect(windowAt, QSize(400, 591)));
    TFolderBrowseEdit field(&mainWindow);
    field.setGeometry(54, 8, 326, 19);
    field.SetStartWithLast(true);
    field.SetPath(start);
    mainWindow.show();
    QVERIFY(QTest::qWaitForWindowExposed(&mainWindow));

    bool seen = false;
    QString startDir;
    QPoint position;
    QPoint expected;
    bool foldersOnly = false;
    bool windowModal = false;
    bool okAtStart = true;
    bool okAfterPick = false;
    QWidget *owner = nullptr;
    QTimer::singleShot(0, [&] {
        QFileDialog *dialog = nullptr;
        for (QWidget *w : QApplication::topLevelWidgets())
            if (auto *d = qobject_cast<QFileDialog *>(w); d && d->isVisible())
                dialog = d;
        if (!dialog)
            return;
        seen = true;
        owner = dialog->parentWidget();
        startDir = dialog->directory().absolutePath();
        foldersOnly = dialog->fileMode() == QFileDialog::Directory &&
                      dialog->testOption(QFileDialog::ShowDirsOnly);
        windowModal = dialog->windowModality() == Qt::WindowModal;
        position = dialog->frameGeometry().topLeft();
        QWidget *active = QApplication::activeWindow() ? QApplication::activeWindow() : &mainWindow;
        expected = TFolderBrowseEdit::DialogPosition(
            active->frameGeometry(), dialog->frameGeometry().size(), active->screen()->geometry());
        // OK starts disabled; the dialog enables it once a folder is picked.
        QPushButton *ok = nullptr;
        if (auto *box = dialog->findChild<QDialogButtonBox *>())
            for (QAbstractButton *b : box->buttons())
                if (box->buttonRole(b) == QDialogButtonBox::AcceptRole)
                    ok = qobject_cast<QPushButton *>(b);
        okAtStart = ok && ok->isEnabled();
        if (confirm) {
            dialog->selectFile(target);
            okAfterPick = ok && ok->isEnabled();
            if (ok)
                ok->click();
        } else {
            dialog->reject();
        }
    });
    QSignalSpy spy(&field, &TFolderBrowseEdit::OnChange);
    field.Browse();
    QVERIFY(seen);
    QCOMPARE(owner, &mainWindow);
    QCOMPARE(startDir, start);
    QVERIFY(foldersOnly);
    QVERIFY(windowModal);
    QCOMPARE(position, expected);
    QVERIFY(!okAtStart);
    QCOMPARE(okAfterPick, confirm);
    QCOMPARE(field.Path(), confirm ? target : start);
    QCOMPARE(spy.count(), confirm ? 1 : 0);
}

void TestFolderBrowseEdit::caretBlinkWhileFocused()
{
    QStyleHints *hints = QGuiApplication::styleHints();
    hints->setCursorFlashTime(1000);
    TFolderBrowseEdit field;
    field.SetCaretBlinkRate(200);
    QFocusEvent in(QEvent::FocusIn, Qt::TabFocusReason);
    QApplication::sendEvent(&field, &in);
    // 200 ms shown, 200 ms hidden
    QCOMPARE(hints->cursorFlashTime(), 400);
    QApplication::sendEvent(&field, &in); // a second focus-in keeps the saved time
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(&field, &out);
    QCOMPARE(hints->cursorFlashTime(), 1000);

    // without a rate of its own the system's time stays
    TFolderBrowseEdit plain;
    QApplication::sendEvent(&plain, &in);
    QCOMPARE(hints->cursorFlashTime(), 1000);
    QApplication::sendEvent(&plain, &out);

    // destroyed while focused: the system's time comes back
    {
        TFolderBrowseEdit gone;
        gone.SetCaretBlinkRate(200);
        QApplication::sendEvent(&gone, &in);
        QCOMPARE(hints->cursorFlashTime(), 400);
    }
    QCOMPARE(hints->cursorFlashTime(), 1000);
}

QTEST_MAIN(TestFolderBrowseEdit)
#include "tst_folderbrowseedit.moc"
