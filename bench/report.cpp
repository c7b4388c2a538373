// Reports of 10,000 calls: running into a page stream, writing the PDF, and
// painting the first preview page; the PDF's size per page; the page stream of
// 100,000 calls and what the process grew by to hold it.
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include "pagepainter.h"
#include "pdfwriter.h"
#include "reportfonts.h"
#include "reportsamples.h"

namespace {
constexpr int kCalls = 10000;

const TReportProject &Project()
{
    static const TReportProject project = ListReport(QStringLiteral("Výpis hovorů"));
    return project;
}

const TListSource &Rows(int count)
{
    static std::map<int, TListSource> rows;
    auto it = rows.find(count);
    if (it == rows.end())
        it = rows.emplace(count, CallRows(count)).first;
    return it->second;
}

long ResidentKiB()
{
    QFile f("/proc/self/statm");
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = f.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLong() * 4 : 0;
}

void BM_PageStream10k(benchmark::State &state)
{
    const TListSource &rows = Rows(kCalls);
    int pages = 0;
    for (auto _ : state) {
        TPageStream s = RunList(Project(), rows);
        pages = s.pageCount();
        benchmark::DoNotOptimize(s);
    }
    state.counters["pages"] = pages;
}
BENCHMARK(BM_PageStream10k)->Unit(benchmark::kMillisecond);

void BM_PdfFile10k(benchmark::State &state)
{
    const TPageStream stream = RunList(Project(), Rows(kCalls));
    QTemporaryDir dir;
    const QString path = dir.filePath("report.pdf");
    for (auto _ : state)
        WritePdfFile(stream, path);
    const qint64 size = QFile(path).size();
    state.counters["pages"] = stream.pageCount();
    state.counters["KiB_per_page"] = double(size) / 1024 / stream.pageCount();
}
BENCHMARK(BM_PdfFile10k)->Unit(benchmark::kMillisecond);

// From the report project to the first page on screen: run and paint at 100 % on a 96 dpi screen.
void BM_FirstPreviewPage10k(benchmark::State &state)
{
    const TListSource &rows = Rows(kCalls);
    for (auto _ : state) {
        const TPageStream stream = RunList(Project(), rows);
        const double scale = 96.0 / 72.0;
        QImage page(int(stream.pages[0].width * scale) + 1, int(stream.pages[0].height * scale) + 1, QImage::Format_RGB32);
        QPainter painter(&page);
        TPagePainter().paint(painter, stream, 0, scale);
        painter.end();
        benchmark::DoNotOptimize(page);
    }
}
BENCHMARK(BM_FirstPreviewPage10k)->Unit(benchmark::kMillisecond);

void BM_PageStream100kMemory(benchmark::State &state)
{
    const TListSource &rows = Rows(100000);
    ReportFont("Arial", false, false);
    for (auto _ : state) {
        const long before = ResidentKiB();
        TPageStream s = RunList(Project(), rows);
        state.counters["pages"] = s.pageCount();
        state.counters["MiB_grown"] = double(ResidentKiB() - before) / 1024;
        state.counters["MiB_saved_form"] = double(s.save().size()) / (1024 * 1024);
    }
}
BENCHMARK(BM_PageStream100kMemory)->Iterations(1)->Unit(benchmark::kMillisecond);
} // namespace
