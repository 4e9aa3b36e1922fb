#include "EncodingFixture.h"
#include "Errors.h"
#include "TestSupport.h"

#include <QClipboard>
#include <QSignalSpy>
#include <QTest>

namespace {
QString row(const QString &size, const QString &codec, const QString &fps, const QString &video,
            const QString &hz, const QString &audio, const QString &head = "p,3gp")
{
    return QStringList{head, size, codec, fps, video, "AAC", hz, audio}.join(',');
}

const QString Plain = row("640x480", "MPEG4", "15fps", "128kbps", "16000Hz", "32kbps");
const QString Second = row("320x240", "LIBXVID", "30fps", "768kbps", "48000Hz", "128kbps", "q,mp4");
} // namespace

class TestEncodingControls : public QObject
{
    Q_OBJECT

private slots:
    void designValues();
    void trackBarsRunAsTheirLabels();
    void apply_data();
    void apply();
    void outputFolder_data();
    void outputFolder();
    void typedSeparator_data();
    void typedSeparator();
};

void TestEncodingControls::designValues()
{
    EncodingFixture f({Plain});
    const EncodingControls &c = f.c;
    QCOMPARE(c.DigitBar1->Min(), 1);
    QCOMPARE(c.DigitBar1->Max(), 60);
    QCOMPARE(c.DigitBar1->Position(), 15);
    QCOMPARE(c.DigitBar2->Min(), 8);
    QCOMPARE(c.DigitBar2->Max(), 768);
    QCOMPARE(c.DigitBar2->Position(), 384);
    QCOMPARE(c.DigitBar3->Min(), 8);
    QCOMPARE(c.DigitBar3->Max(), 320);
    QCOMPARE(c.DigitBar3->Position(), 64);
    QCOMPARE(c.TrackBar1->minimum(), 0);
    QCOMPARE(c.TrackBar1->maximum(), 4);
    QCOMPARE(c.TrackBar1->value(), 3);
    QCOMPARE(c.TrackBar1->orientation(), Qt::Vertical);
    QCOMPARE(c.TrackBar2->minimum(), 0);
    QCOMPARE(c.TrackBar2->maximum(), 2);
    QCOMPARE(c.TrackBar2->value(), 1);
    QCOMPARE(c.TrackBar2->orientation(), Qt::Horizontal);
    QCOMPARE(c.C2_04->ItemIndex(), -1);
    QVERIFY(c.C2_04->isHidden());
    QVERIFY(!c.C2_04->CanEdit());
    QVERIFY(!c.C2_00->CanEdit());
    QVERIFY(!c.CheckBox1->isChecked());
    QVERIFY(!c.CheckBox2->isChecked());
    QCOMPARE(c.C1_03->Path(), QString());
    QVERIFY(c.C1_03->StartWithLast());
    QCOMPARE(c.C1_03->CaretBlinkRate(), 200);
    QCOMPARE(c.C1_03->toolTip(), QString::fromUtf8(" 保存先のﾌｫﾙﾀﾞ"));
    QCOMPARE(f.outputExt, QString());

    // the bars clip what lies outside their ranges
    c.TrackBar1->setValue(9);
    QCOMPARE(c.TrackBar1->value(), 4);
    c.DigitBar1->SetPosition(999);
    QCOMPARE(c.DigitBar1->Position(), 60);
}

// Position 0 of the rate bar is at its top (48000Hz), of the size bar at its left.
void TestEncodingControls::trackBarsRunAsTheirLabels()
{
    EncodingFixture f;
    QSlider *rate = f.c.TrackBar1;
    QSlider *size = f.c.TrackBar2;
    rate->setGeometry(224, 8, 40, 160);
    size->setGeometry(64, 220, 284, 30);
    f.window.resize(400, 591);
    f.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.window));

    rate->setValue(2);
    QTest::mouseClick(rate, Qt::LeftButton, {}, QPoint(rate->width() / 2, 2));
    QVERIFY2(rate->value() < 2, "a press at the top moves toward 48000Hz");
    rate->setValue(2);
    QTest::keyClick(rate, Qt::Key_Down);
    QCOMPARE(rate->value(), 3);

    size->setValue(1);
    QTest::mouseClick(size, Qt::LeftButton, {}, QPoint(2, size->height() / 2));
    QCOMPARE(size->value(), 0);
    QTest::keyClick(size, Qt::Key_Right);
    QCOMPARE(size->value(), 1);
}

void TestEncodingControls::apply_data()
{
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<int>("index");
    // after: extension, size index, codec, frame rate, video rate, rate index, audio rate
    QTest::addColumn<QString>("ext");
    QTest::addColumn<int>("size");
    QTest::addColumn<QString>("codec");
    QTest::addColumn<int>("fps");
    QTest::addColumn<int>("video");
    QTest::addColumn<int>("rate");
    QTest::addColumn<int>("audio");
    QTest::addColumn<QString>("error"); // the converted text, or null for none
    QTest::addColumn<int>("selected");

    // Before each row the controls stand at 20, 200, 2, 100, 0 and codec 2,
    // so "unchanged" differs from any value a row sets.
    const QStringList two = {Plain, Second};
    const QString none;
    QTest::newRow("first preset") << two << 1 << ".3gp" << 2 << "MPEG4" << 15 << 128 << 3 << 32
                                  << none << 1;
    QTest::newRow("second preset")
        << two << 2 << ".mp4" << 1 << "LIBXVID" << 30 << 768 << 0 << 128 << none << 2;
    QTest::newRow("header row picked: first preset")
        << two << 0 << ".3gp" << 2 << "MPEG4" << 15 << 128 << 3 << 32 << none << 1;
    QTest::newRow("no selection: first preset")
        << two << -1 << ".3gp" << 2 << "MPEG4" << 15 << 128 << 3 << 32 << none << 1;
    QTest::newRow("22050Hz leaves the rate")
        << QStringList{row("640x480", "MPEG4", "15fps", "128kbps", "22050Hz", "32kbps")} << 1
        << ".3gp" << 2 << "MPEG4" << 15 << 128 << 2 << 32 << none << 1;
    QTest::newRow("second of three presets: 8000Hz")
        << QStringList{row("640x480", "MPEG4", "15fps", "128kbps", "44100Hz", "32kbps"),
                       row("640x480", "MPEG4", "15fps", "128kbps", "8000Hz", "32kbps"),
                       row("640x480", "MPEG4", "15fps", "128kbps", "24000Hz", "32kbps")}
        << 2 << ".3gp" << 2 << "MPEG4" << 15 << 128 << 4 << 32 << none << 2;
    QTest::newRow("320x240") << QStringList{row("320x240", "MPEG4", "15fps", "128kbps", "16000Hz",
                                                "32kbps")}
                             << 1 << ".3gp" << 1 << "MPEG4" << 15 << 128 << 3 << 32 << none << 1;
    QTest::newRow("640X480 is no size")
        << QStringList{row("640X480", "MPEG4", "15fps", "128kbps", "16000Hz", "32kbps")} << 1
        << ".3gp" << 0 << "MPEG4" << 15 << 128 << 3 << 32 << none << 1;
    QTest::newRow("XVID selects LIBXVID")
        << QStringList{row("640x480", "XVID", "15fps", "128kbps", "16000Hz", "32kbps")} << 1
        << ".3gp" << 2 << "LIBXVID" << 15 << 128 << 3 << 32 << none << 1;
    QTest::newRow("empty codec selects LIBX264")
        << QStringList{row("640x480", "", "15fps", "128kbps", "16000Hz", "32kbps")} << 1 << ".3gp"
        << 2 << "LIBX264" << 15 << 128 << 3 << 32 << none << 1;
    QTest::newRow("lower-case mpeg4 selects LIBX264")
        << QStringList{row("640x480", "mpeg4", "15fps", "128kbps", "16000Hz", "32kbps")} << 1
        << ".3gp" << 2 << "LIBX264" << 15 << 128 << 3 << 32 << none << 1;
    QTest::newRow("LIB: the first that contains it")
        << QStringList{row("640x480", "LIB", "15fps", "128kbps", "16000Hz", "32kbps")} << 1
        << ".3gp" << 2 << "LIBX264" << 15 << 128 << 3 << 32 << none << 1;
    QTest::newRow("15 without fps: after extension, size and codec")
        << QStringList{row("640x480", "MPEG4", "15", "128kbps", "16000Hz", "32kbps", "p,avi")} << 1
        << ".avi" << 2 << "MPEG4" << 20 << 200 << 2 << 100 << "" << 1;
    QTest::newRow("12.5fps") << QStringList{row("640x480", "MPEG4", "12.5fps", "128kbps", "16000Hz",
                                                "32kbps")}
                             << 1 << ".3gp" << 2 << "MPEG4" << 20 << 200 << 2 << 100 << "12.5" << 1;
    QTest::newRow("$1Ffps is hexadecimal")
        << QStringList{row("640x480", "MPEG4", "$1Ffps", "128kbps", "16000Hz", "32kbps")} << 1
        << ".3gp" << 2 << "MPEG4" << 31 << 128 << 3 << 32 << none << 1;
    QTest::newRow("0x10fps is hexadecimal")
        << QStringList{row("640x480", "MPEG4", "0x10fps", "128kbps", "16000Hz", "32kbps")} << 1
        << ".3gp" << 2 << "MPEG4" << 16 << 128 << 3 << 32 << none << 1;
    QTest::newRow("100fps clamps to 60, 1000kbps to 768, 4kbps to 8")
        << QStringList{row("640x480", "MPEG4", "100fps", "1000kbps", "16000Hz", "4kbps")} << 1
        << ".3gp" << 2 << "MPEG4" << 60 << 768 << 3 << 8 << none << 1;
    QTest::newRow("0fps clamps to 1")
        << QStringList{row("640x480", "MPEG4", "0fps", "128kbps", "16000Hz", "32kbps")} << 1
        << ".3gp" << 2 << "MPEG4" << 1 << 128 << 3 << 32 << none << 1;
    QTest::newRow("bad video bit rate: frame rate already set")
        << QStringList{row("640x480", "MPEG4", "24fps", "abckbps", "16000Hz", "32kbps")} << 1
        << ".3gp" << 2 << "MPEG4" << 24 << 200 << 2 << 100 << "abc" << 1;
    QTest::newRow("rate without Hz")
        << QStringList{row("640x480", "MPEG4", "24fps", "96kbps", "16000", "32kbps")} << 1 << ".3gp"
        << 2 << "MPEG4" << 24 << 96 << 2 << 100 << "" << 1;
    QTest::newRow("bad audio bit rate: sample rate already set")
        << QStringList{row("640x480", "MPEG4", "24fps", "96kbps", "8000Hz", "32")} << 1 << ".3gp"
        << 2 << "MPEG4" << 24 << 96 << 4 << 100 << "" << 1;
    QTest::newRow("unquoted name with a blank shifts the columns")
        << QStringList{row("640x480", "MPEG4", "15fps", "128kbps", "16000Hz", "32kbps",
                           "my clip,3gp")}
        << 1 << ".clip" << 0 << "LIBX264" << 20 << 200 << 2 << 100 << "" << 1;
    QTest::newRow("quoted name with a blank")
        << QStringList{row("640x480", "MPEG4", "15fps", "128kbps", "16000Hz", "32kbps",
                           "\"my clip\",3gp")}
        << 1 << ".3gp" << 2 << "MPEG4" << 15 << 128 << 3 << 32 << none << 1;
    QTest::newRow("blank line preset")
        << QStringList{""} << 1 << "." << 0 << "LIBX264" << 20 << 200 << 2 << 100 << "" << 1;
    QTest::newRow("no presets at all")
        << QStringList{} << 0 << "." << 0 << "LIBX264" << 20 << 200 << 2 << 100 << "" << -1;
}

void TestEncodingControls::apply()
{
    QFETCH(QStringList, rows);
    QFETCH(int, index);
    QFETCH(QString, ext);
    QFETCH(int, size);
    QFETCH(QString, codec);
    QFETCH(int, fps);
    QFETCH(int, video);
    QFETCH(int, rate);
    QFETCH(int, audio);
    QFETCH(QString, error);
    QFETCH(int, selected);

    EncodingFixture f(rows);
    const EncodingControls &c = f.c;
    c.DigitBar1->SetPosition(20);
    c.DigitBar2->SetPosition(200);
    c.TrackBar1->setValue(2);
    c.DigitBar3->SetPosition(100);
    c.TrackBar2->setValue(0);
    c.C2_04->SetItemIndex(2);
    c.C2_00->SetItemIndex(index);

    QString message;
    try {
        c.C2_00Change();
    } catch (const EConvertError &e) {
        message = e.message();
    }
    QCOMPARE(message, error.isNull() ? QString()
                                     : QString::fromUtf8("'%1' は整数ではありません").arg(error));
    QCOMPARE(f.outputExt, ext);
    QCOMPARE(c.TrackBar2->value(), size);
    QCOMPARE(c.C2_04->GetSelectedText(), codec);
    QCOMPARE(c.DigitBar1->Position(), fps);
    QCOMPARE(c.DigitBar2->Position(), video);
    QCOMPARE(c.TrackBar1->value(), rate);
    QCOMPARE(c.DigitBar3->Position(), audio);
    QCOMPARE(c.C2_00->ItemIndex(), selected);
    // the chooser shows the name again, also after an error
    QCOMPARE(int(c.C2_00->TargetColumn()), 0);
    // what the preset does not touch
    QVERIFY(!c.CheckBox1->isChecked());
    QVERIFY(!c.CheckBox2->isChecked());
    QCOMPARE(c.C1_03->Path(), QString());
}

void TestEncodingControls::outputFolder_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("result");
    QTest::addColumn<int>("changes"); // the write and one nested change per separator
    QTest::newRow("pasted with two separators") << "/home/user/out//"
                                                << "/home/user/out" << 3;
    QTest::newRow("one separator") << "/home/user/out/"
                                   << "/home/user/out" << 2;
    QTest::newRow("separators inside stay") << "/home/user/out"
                                            << "/home/user/out" << 1;
    QTest::newRow("root stays") << "/"
                                << "/" << 1;
    QTest::newRow("doubled root") << "//"
                                  << "/" << 2;
    QTest::newRow("double-byte end")
        << QString::fromUtf8("/動画/ソ") << QString::fromUtf8("/動画/ソ") << 1;
    QTest::newRow("emptied") << ""
                             << "" << 1;
}

void TestEncodingControls::outputFolder()
{
    QFETCH(QString, path);
    QFETCH(QString, result);
    QFETCH(int, changes);
    EncodingFixture f;
    TFolderBrowseEdit *field = f.c.C1_03;
    if (path.isEmpty())
        field->SetPath("/before");
    QSignalSpy spy(field, &TFolderBrowseEdit::OnChange);
    field->SetPath(path);
    QCOMPARE(field->Path(), result);
    QCOMPARE(field->toolTip(), result);
    QCOMPARE(spy.count(), changes);
}

void TestEncodingControls::typedSeparator_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<int>("cursor");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("hint");   // while typing
    QTest::addColumn<QString>("finish"); // Enter, focus loss, or the path being read
    QTest::addColumn<QString>("result");
    QTest::newRow("nested path typed whole")
        << "" << 0 << "/tmp/a b/c" << "/tmp/a b/c" << "enter" << "/tmp/a b/c";
    QTest::newRow("typed at the end: kept while typing")
        << "/tmp/out" << 8 << "/" << "/tmp/out" << "enter" << "/tmp/out";
    QTest::newRow("typed inside: stays") << "/tmp/out" << 4 << "/" << "/tmp//out" << "focus"
                                         << "/tmp//out";
    QTest::newRow("two at the end, focus leaves")
        << "" << 0 << "/tmp//" << "/tmp" << "focus" << "/tmp";
    QTest::newRow("only the root") << "" << 0 << "/" << "/" << "enter" << "/";
    QTest::newRow("doubled root") << "" << 0 << "//" << "/" << "read" << "/";
    const QString deep = '/' + QString(3998, 'a');
    QTest::newRow("4000 characters") << "" << 0 << deep + '/' << deep << "read" << deep;
    // A pasted path is complete at once: "^V" pastes the rest of the row.
    QTest::newRow("pasted: at once") << "" << 0 << "^V/tmp/p//" << "/tmp/p" << "none" << "/tmp/p";
}

void TestEncodingControls::typedSeparator()
{
    QFETCH(QString, before);
    QFETCH(int, cursor);
    QFETCH(QString, typed);
    QFETCH(QString, hint);
    QFETCH(QString, finish);
    QFETCH(QString, result);
    EncodingFixture f;
    TFolderBrowseEdit *field = f.c.C1_03;
    QLineEdit other(&f.window);
    f.window.show();
    QApplication::setActiveWindow(&f.window);
    QVERIFY(QTest::qWaitForWindowActive(&f.window));
    field->setFocus();
    field->SetPath(before);
    field->setCursorPosition(cursor);
    if (typed.startsWith("^V")) {
        QGuiApplication::clipboard()->setText(typed.mid(2));
        QTest::keySequence(field, QKeySequence::Paste);
        before = hint;
    } else {
        QTest::keyClicks(field, typed);
        before.insert(cursor, typed);
    }
    QCOMPARE(field->Path(), before);
    QCOMPARE(field->toolTip(), hint);
    if (finish == "enter")
        QTest::keyClick(field, Qt::Key_Return);
    else if (finish == "focus")
        other.setFocus();
    else if (finish == "read")
        field->FinishTyping();
    QCOMPARE(field->Path(), result);
    QCOMPARE(field->toolTip(), result);
}

QTEST_MAIN(TestEncodingControls)
#include "tst_encodingcontrols.moc"
