#include "BatchReport.h"

#include "EncoderCommand.h"
#include "FileNames.h"

namespace {
// The file-name part, as a person reads it.
QString shown(const QString &path)
{
    return ReadableFileName(FileNamePart(path));
}
} // namespace

QString BatchReport::Reason(Failure kind, int code)
{
    switch (kind) {
    case Failure::OwnSource:
        return QStringLiteral("出力先が変換元のファイルそのものなので、変換しませんでした。");
    case Failure::ListedFile:
        return QStringLiteral("出力先がリストにある別のファイルなので、変換しませんでした。");
    case Failure::MadeByBatch:
        return QStringLiteral("出力先にはこの変換で別のファイルから作ったファイルがあるので、"
                              "変換しませんでした。");
    case Failure::OlderFile:
        return QStringLiteral(
            "出力先にある元のファイルを置き換えられないので、変換しませんでした。");
    case Failure::NoOutputName:
        return QStringLiteral("出力ファイルの名前が作れない項目なので、変換しませんでした。");
    case Failure::Thumbnail:
        return QStringLiteral("サムネイル画像が読み込めなかったので、変換しませんでした。");
    case Failure::EncoderExit:
        return QStringLiteral("ffmpeg がエラーで終了しました（終了コード %1）。").arg(code);
    case Failure::EncoderSignal:
        return QStringLiteral("ffmpeg が異常終了しました（シグナル %1）。").arg(code);
    case Failure::OlderNotBack:
        return QStringLiteral("元のファイルを元の名前に戻せませんでした。");
    case Failure::Other:
        break;
    }
    return QStringLiteral("原因が特定できないエラーが生じました。");
}

void BatchReport::Failed(const FailedPass &pass)
{
    m_failures.push_back(pass);
    m_failedEntries.insert(pass.entry);
}

void BatchReport::Converted(const QString &output)
{
    ++m_converted;
    m_lastOutput = output;
}

QString BatchReport::Details() const
{
    QStringList blocks;
    const int listed = qMin(int(m_failures.size()), MaxListed);
    for (int i = 0; i < listed; ++i) {
        const FailedPass &f = m_failures[size_t(i)];
        QString names = shown(f.source) + QStringLiteral(" -> ") + shown(f.output);
        if (f.output.isEmpty())
            names = shown(f.source);
        if (f.passes > 1)
            names += QStringLiteral("（%1 回目）").arg(f.pass);
        QStringList block{names, QStringLiteral("  ") + Reason(f.kind, f.code)};
        for (const QString &line : f.encoderLines)
            block << QStringLiteral("  ") + line;
        blocks << block.join(QLatin1Char('\n'));
    }
    if (int(m_failures.size()) > listed)
        blocks << QStringLiteral("ほか %1 件").arg(int(m_failures.size()) - listed);
    return blocks.join(QStringLiteral("\n\n"));
}

QString BatchReport::Summary(bool stopped)
{
    return stopped ? QStringLiteral("変換を中止しました") : QStringLiteral("変換が終わりました");
}

QString BatchReport::Body(const QString &folder) const
{
    return QStringLiteral("変換 %1 件、失敗 %2 件\n保存先: %3")
        .arg(m_converted)
        .arg(FailedCount())
        .arg(ReadableFileName(folder));
}
