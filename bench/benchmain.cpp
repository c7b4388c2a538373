// The one main of the benchmarks: an application object around the run, offscreen
// windows and the Czech system formats, as the program sees them.
#include "formatsettings.h"

#include <benchmark/benchmark.h>

#ifdef TEMBREL_BENCH_WIDGETS
#include <QApplication>
using BenchApplication = QApplication;
#else
#include <QCoreApplication>
using BenchApplication = QCoreApplication;
#endif

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    BenchApplication app(argc, argv);
    SetSystemFormats(FormatSettings::czech());
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
