#pragma once

#include <QString>
#include <functional>

// Turns a window program into its own start-up benchmark, without changing
// what the program does: installed at the construction of the application
// object, it watches the events of the window named windowName and, once that
// window has been both painted and activated, writes a report and ends the
// process at once (_exit, so that tearing down is not timed).
//
// Active only when PC_BENCH_REPORT names the report file; the environment also
// gives PC_BENCH_T0 (the driver's CLOCK_MONOTONIC nanoseconds just before it
// started the process) and PC_BENCH_IDLE_MS (how long to stay idle before the
// report, for the memory figures). PC_BENCH_TRACE=1 prints every paint,
// activation and other event of the window to stderr with its time, to see
// where the start-up goes.
//
// The report holds "key value" lines: t_app, t_paint, t_activate, t_ready (ms
// since PC_BENCH_T0), vmhwm_kb and vmrss_kb (after the idle time), then the
// lines that details() gives.
void InstallStartupProbe(const QString &windowName, std::function<QString()> details = {});

// A figure of /proc/self/status in kB ("VmRSS", "VmHWM"); -1 when unknown.
long long ProcStatusKb(const char *field);
