#include "ProgressSpeech.h"

QString TProgressSpeech::Tick(const QString &names, const QString &sizes)
{
    ++m_ticksSinceSaid;
    if (names != m_names) {
        m_names = names;
        m_ticksOfFile = 0;
    }
    if (m_ticksOfFile < StartTicks) {
        if (++m_ticksOfFile < StartTicks)
            return {};
        m_sizes = sizes;
        m_ticksSinceSaid = 0;
        return names + QStringLiteral(", ") + sizes;
    }
    if (m_ticksSinceSaid < CalmTicks || sizes == m_sizes)
        return {};
    m_sizes = sizes;
    m_ticksSinceSaid = 0;
    return sizes;
}

QString TProgressSpeech::EndText(int files)
{
    return QStringLiteral("変換が終わりました（%1 ファイル）").arg(files);
}
