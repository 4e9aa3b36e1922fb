// Any preset file: it splits into the lines a character-by-character reading
// finds, each kept whole or cut only when long. Any choice in the preset
// chooser: applying the row
// leaves every control inside its range, sets each control the way the row's
// field says, stops at the first number that does not convert with the
// conversion error of exactly that text, and leaves the later controls and
// what a preset never touches as they were.
#include "CommaText.h"
#include "EncodingFixture.h"
#include "Errors.h"
#include "FuzzCheck.h"
#include "StrConv.h"
#include "TextFile.h"

#include <QApplication>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {
// Header bytes: the choice, then the controls' values before the application.
constexpr size_t HeaderSize = 6;
// Enough rows for every selection case; more only slows each run down.
constexpr int MaxRows = 32;

EncodingFixture &fixture()
{
    static int argc = 1;
    static char name[] = "fuzz_preset";
    static char *argv[] = {name, nullptr};
    static QApplication app(argc, argv);
    static EncodingFixture f;
    return f;
}

// The text in front of the unit, or empty when the unit is missing or first.
QString beforeUnit(const QString &field, const QString &unit)
{
    const qsizetype at = field.indexOf(unit);
    return at > 0 ? field.left(at) : QString();
}

// The lines of the text, one character at a time: CR LF, LF and CR each end
// a line, and text after the last break is a line of its own.
QStringList referenceLines(const QString &text)
{
    QStringList lines;
    QString line;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar ch = text.at(i);
        if (ch != QLatin1Char('\n') && ch != QLatin1Char('\r')) {
            line += ch;
            continue;
        }
        lines << line;
        line.clear();
        if (ch == QLatin1Char('\r') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n'))
            ++i;
    }
    if (!line.isEmpty())
        lines << line;
    return lines;
}

struct NumberStep
{
    int column;
    const char *unit;
};
const NumberStep NumberSteps[] = {{4, "fps"}, {5, "kbps"}, {7, "Hz"}, {8, "kbps"}};
} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < HeaderSize)
        return 0;
    EncodingFixture &f = fixture();
    const EncodingControls &c = f.c;

    const QByteArray bytes(reinterpret_cast<const char *>(data + HeaderSize),
                           int(size - HeaderSize));
    QStringList rows = PresetRows(bytes);
    // One row per line, each the line or a start of it (a cut one is long).
    const QStringList lines = referenceLines(DecodeText(bytes));
    CHECK(rows.size() == lines.size());
    for (qsizetype i = 0; i < rows.size(); ++i) {
        CHECK(lines[i].left(rows[i].size()) == rows[i]);
        CHECK(rows[i] == lines[i] || rows[i].size() >= MaxPresetLineBytes / 4);
    }
    if (rows.size() > MaxRows)
        rows = rows.mid(0, MaxRows);
    c.C2_00->ClearItems();
    FillPresetChooser(c.C2_00, rows);

    // Values from before, inside the ranges, so that "unchanged" can be seen.
    const int rateBefore = data[1] % 5;
    const int sizeBefore = data[2] % 3;
    const int fpsBefore = 1 + data[3] % 60;
    const int videoBefore = 8 + (data[4] * 3) % 761;
    const int audioBefore = 8 + data[5] % 313;
    c.TrackBar1->setValue(rateBefore);
    c.TrackBar2->setValue(sizeBefore);
    c.DigitBar1->SetPosition(fpsBefore);
    c.DigitBar2->SetPosition(videoBefore);
    c.DigitBar3->SetPosition(audioBefore);
    c.C2_04->SetItemIndex(data[0] % 3);
    f.outputExt = QStringLiteral("?");
    // From no selection through the header row and every preset to one past the end.
    const int chosen = int(data[0] % (rows.size() + 3)) - 1;
    c.C2_00->SetItemIndex(chosen);

    QString error;
    bool raised = false;
    try {
        c.C2_00Change();
    } catch (const EConvertError &e) {
        raised = true;
        error = e.message();
    }

    // The row in force: the chosen preset, the first one for the header row,
    // no selection or one outside the list, none when there are no presets.
    const int applied = chosen >= 1 && chosen <= rows.size() ? chosen : (rows.isEmpty() ? -1 : 1);
    CHECK(c.C2_00->ItemIndex() == applied);
    CHECK(c.C2_00->TargetColumn() == 0);
    QString row;
    if (applied >= 1) {
        row = c.C2_00->Item(applied);
        const QString &line = rows.at(applied - 1);
        // The chooser keeps the row whole, or cuts an overlong one.
        CHECK(row == line ||
              (line.size() > TMultiColComboBox::MaxRowLength && line.startsWith(row)));
    }
    auto field = [&row](int column) { return CommaTextField(row, column); };

    CHECK(f.outputExt == QLatin1Char('.') + field(1));

    static const QStringList sizes = {QStringLiteral("176x144"), QStringLiteral("320x240"),
                                      QStringLiteral("640x480")};
    CHECK(c.TrackBar2->value() ==
          (sizes.contains(field(2)) ? int(sizes.indexOf(field(2))) : sizeBefore));

    QString codec = QStringLiteral("LIBX264");
    if (!field(3).isEmpty()) {
        for (const QString &name : CodecNames()) {
            if (name.contains(field(3))) {
                codec = name;
                break;
            }
        }
    }
    CHECK(c.C2_04->GetSelectedText() == codec);

    // The numbers, in order; the first that fails ends the application.
    int fps = fpsBefore, video = videoBefore, rate = rateBefore, audio = audioBefore;
    QString expectedError;
    bool failed = false;
    for (const NumberStep &step : NumberSteps) {
        const QString text = beforeUnit(field(step.column), QLatin1String(step.unit));
        int value = 0;
        if (!TryStrToInt(text, value)) {
            failed = true;
            expectedError = EConvertError::notInteger(text).message();
            // The plain function raises the same text.
            try {
                NumberBeforeUnit(field(step.column), QLatin1String(step.unit));
                CHECK(false);
            } catch (const EConvertError &e) {
                CHECK(e.message() == expectedError);
            }
            break;
        }
        CHECK(NumberBeforeUnit(field(step.column), QLatin1String(step.unit)) == value);
        switch (step.column) {
        case 4:
            fps = qBound(1, value, 60);
            break;
        case 5:
            video = qBound(8, value, 768);
            break;
        case 7: {
            // Top to bottom as the labels beside the track bar read.
            static const int rates[] = {48000, 44100, 24000, 16000, 8000};
            int index = -1;
            for (int i = 0; i < 5; ++i)
                if (rates[i] == value)
                    index = i;
            CHECK(SampleRateIndex(value) == index);
            if (index >= 0)
                rate = index;
            break;
        }
        default:
            audio = qBound(8, value, 320);
            break;
        }
    }
    CHECK(raised == failed);
    CHECK(error == expectedError);

    CHECK(c.DigitBar1->Position() == fps);
    CHECK(c.DigitBar2->Position() == video);
    CHECK(c.TrackBar1->value() == rate);
    CHECK(c.DigitBar3->Position() == audio);
    // Inside the ranges whatever the row said.
    CHECK(c.DigitBar1->Position() >= 1 && c.DigitBar1->Position() <= 60);
    CHECK(c.DigitBar2->Position() >= 8 && c.DigitBar2->Position() <= 768);
    CHECK(c.DigitBar3->Position() >= 8 && c.DigitBar3->Position() <= 320);
    CHECK(c.TrackBar1->value() >= 0 && c.TrackBar1->value() <= 4);
    CHECK(c.TrackBar2->value() >= 0 && c.TrackBar2->value() <= 2);
    CHECK(c.C2_04->ItemIndex() >= 0 && c.C2_04->ItemIndex() <= 2);
    // What a preset never touches.
    CHECK(!c.CheckBox1->isChecked() && !c.CheckBox2->isChecked());
    CHECK(c.C1_03->Path().isEmpty());
    return 0;
}
