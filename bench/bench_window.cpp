// The window's largest request as a user makes it: all four kinds, 1,024 characters,
// 10,000 passwords, one click of the generate button, or several in a row, each result
// replacing the last. Prints the time from the last click to the result area filled and
// painted, with the processor time it took, and the process's peak resident memory; then
// the times of copying all of it and of clearing it, the processor time of the same text
// set again in one call (what the result area costs by itself), and how long the window
// took to build and show. One request per process, so that the peak is this request's;
// run it a few times and take the best.
//
// Usage: QT_QPA_PLATFORM=offscreen bench_window [LENGTH [COUNT [CLICKS]]]
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStandardPaths>

#include <cstdio>
#include <utility>

#include <log4cplus/initializer.h>

#include "windows_api.h"
#if defined(_WIN32)
#include <psapi.h>  // after windows.h, whose types it uses
#else
#include <sys/resource.h>
#include <time.h>
#endif

#include "generator.h"
#include "main_window.h"

namespace {

double peak_resident_mb() {
#if defined(_WIN32)
    PROCESS_MEMORY_COUNTERS counters{};
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return static_cast<double>(counters.PeakWorkingSetSize) / (1024.0 * 1024.0);
#else
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
#endif
}

// The process's processor time, user and system: on a machine shared with other work it
// moves far less than the time on the clock.
double cpu_ms() {
#if defined(_WIN32)
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    const auto ticks = [](FILETIME time) {
        return (static_cast<double>(time.dwHighDateTime) * 4294967296.0) + time.dwLowDateTime;
    };
    return (ticks(kernel) + ticks(user)) / 1e4;
#else
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
#endif
}

template <typename TWidget>
TWidget* widget(const QWidget& window, const char* name) {
    auto* found = window.findChild<TWidget*>(QLatin1String(name));
    if (!found) {
        std::fprintf(stderr, "the form has no %s\n", name);
        std::exit(1);
    }
    return found;
}

}  // namespace

int main(int argc, char** argv) {
    QElapsedTimer started;
    started.start();
    log4cplus::Initializer logging;
    // The user's saved options are neither read nor written.
    QStandardPaths::setTestModeEnabled(true);
    QApplication application(argc, argv);
    const int length = argc > 1 ? std::atoi(argv[1]) : 1024;
    const int count = argc > 2 ? std::atoi(argv[2]) : 10'000;
    const int clicks = argc > 3 ? std::atoi(argv[3]) : 1;

    zelkora::MainWindow window(zelkora::Policy{});
    window.show();
    widget<QSpinBox>(window, "spinLength")->setValue(length);
    widget<QSpinBox>(window, "spinCount")->setValue(count);
    for (const char* kind : {"chkDigits", "chkLower", "chkUpper", "chkSymbols"}) {
        widget<QCheckBox>(window, kind)->setChecked(true);
    }
    QApplication::processEvents();
    const double shown_ms = started.nsecsElapsed() / 1e6;
    widget<QCheckBox>(window, "chkExcludeAmbiguous")->setChecked(false);
    widget<QLineEdit>(window, "txtSymbols")
        ->setText(QString::fromStdU32String(std::u32string(zelkora::DEFAULT_SYMBOLS)));
    QApplication::processEvents();
    const double before_mb = peak_resident_mb();

    for (int i = 1; i < clicks; ++i) {
        widget<QPushButton>(window, "btnGenerate")->click();
        window.repaint();
    }
    QElapsedTimer clock;
    const double cpu_before = cpu_ms();
    clock.start();
    widget<QPushButton>(window, "btnGenerate")->click();
    const qint64 generated_us = clock.nsecsElapsed() / 1000;
    window.repaint();
    const qint64 painted_us = clock.nsecsElapsed() / 1000;
    const double painted_cpu_ms = cpu_ms() - cpu_before;

    auto* result = widget<QPlainTextEdit>(window, "txtResult");
    if (result->document()->blockCount() != count) {
        std::fprintf(stderr, "the result area holds %d lines, not %d\n", result->document()->blockCount(), count);
        return 1;
    }
    const double peak_mb = peak_resident_mb();
    const auto click_ms = [&](const char* button) {
        clock.restart();
        widget<QPushButton>(window, button)->click();
        return clock.nsecsElapsed() / 1e6;
    };
    const double copied_ms = click_ms("btnCopyAll");
    QString shown = result->toPlainText();
    const double cleared_ms = click_ms("btnClear");
    // What the result area costs by itself: the same text set in one call and painted,
    // with nothing drawn or converted.
    const double area_cpu_before = cpu_ms();
    result->setPlainText(std::exchange(shown, QString()));
    window.repaint();
    const double area_cpu_ms = cpu_ms() - area_cpu_before;
    std::printf(
        "%d x %d, click %d: click to filled %.1f ms, painted %.1f ms (processor time %.1f ms); "
        "peak resident %.1f MB (%.1f MB before the clicks); "
        "copy all %.1f ms, clear %.1f ms; the same text set and painted alone: processor time %.1f ms; "
        "window shown %.1f ms after start\n",
        length, count, clicks, generated_us / 1000.0, painted_us / 1000.0, painted_cpu_ms, peak_mb, before_mb,
        copied_ms, cleared_ms, area_cpu_ms, shown_ms);
    return 0;
}
