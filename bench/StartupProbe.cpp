#include "StartupProbe.h"

#include <QCoreApplication>
#include <QEvent>
#include <QFile>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <cstdlib>
#include <time.h>
#include <unistd.h>

namespace {
double nowMs()
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

class Probe : public QObject
{
public:
    Probe(const QString &windowName, std::function<QString()> details)
        : QObject(QCoreApplication::instance()), m_windowName(windowName),
          m_details(std::move(details)), m_report(qEnvironmentVariable("PC_BENCH_REPORT")),
          m_t0(qEnvironmentVariable("PC_BENCH_T0").toDouble() / 1e6),
          m_idleMs(qEnvironmentVariableIntValue("PC_BENCH_IDLE_MS"))
    {
        m_tApp = nowMs() - m_t0;
        QCoreApplication::instance()->installEventFilter(this);
        // A window that never shows must not hang the driver.
        QTimer::singleShot(30000, this, [this] { finish(QStringLiteral("timeout 1\n")); });
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        const QEvent::Type type = event->type();
        if (m_trace && watched->isWidgetType() &&
            static_cast<QWidget *>(watched)->window()->objectName() == m_windowName)
            std::fprintf(stderr, "%8.2f %-24s %d\n", nowMs() - m_t0,
                         watched->objectName().toLocal8Bit().constData(), int(type));
        if ((type == QEvent::Paint || type == QEvent::WindowActivate) && watched->isWidgetType()) {
            const QWidget *window = static_cast<QWidget *>(watched)->window();
            if (window->objectName() == m_windowName) {
                if (type == QEvent::Paint && m_tPaint < 0)
                    m_tPaint = nowMs() - m_t0;
                if (type == QEvent::WindowActivate && watched == window && m_tActivate < 0)
                    m_tActivate = nowMs() - m_t0;
                if (m_tPaint >= 0 && m_tActivate >= 0 && !m_readySeen) {
                    m_readySeen = true;
                    // Queued: the activation's own handler and the paint (and
                    // the copy to the screen that follows it) run to their end first.
                    QMetaObject::invokeMethod(
                        this,
                        [this] {
                            m_tReady = nowMs() - m_t0;
                            QTimer::singleShot(m_idleMs, this, [this] { finish(QString()); });
                        },
                        Qt::QueuedConnection);
                }
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    void finish(const QString &extra)
    {
        QString text;
        text += QStringLiteral("t_app %1\n").arg(m_tApp, 0, 'f', 2);
        text += QStringLiteral("t_paint %1\n").arg(m_tPaint, 0, 'f', 2);
        text += QStringLiteral("t_activate %1\n").arg(m_tActivate, 0, 'f', 2);
        text += QStringLiteral("t_ready %1\n").arg(m_tReady, 0, 'f', 2);
        text += QStringLiteral("vmhwm_kb %1\n").arg(ProcStatusKb("VmHWM"));
        text += QStringLiteral("vmrss_kb %1\n").arg(ProcStatusKb("VmRSS"));
        if (m_details)
            text += m_details();
        text += extra;
        QFile f(m_report);
        if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            f.write(text.toUtf8());
        f.close();
        _exit(0);
    }

    QString m_windowName;
    std::function<QString()> m_details;
    QString m_report;
    double m_t0;
    int m_idleMs;
    double m_tApp = -1, m_tPaint = -1, m_tActivate = -1, m_tReady = -1;
    bool m_readySeen = false;
    const bool m_trace = !qEnvironmentVariableIsEmpty("PC_BENCH_TRACE");
};
} // namespace

void InstallStartupProbe(const QString &windowName, std::function<QString()> details)
{
    if (qEnvironmentVariableIsEmpty("PC_BENCH_REPORT"))
        return;
    new Probe(windowName, std::move(details));
}

long long ProcStatusKb(const char *field)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray prefix = QByteArray(field) + ':';
    for (const QByteArray &line : f.readAll().split('\n')) {
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}
