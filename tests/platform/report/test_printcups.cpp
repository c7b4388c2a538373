#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QPrinter>
#include <QPrinterInfo>
#include <QRegularExpression>

#include "cupsserver.h"
#include "peertools.h"
#include "printrenderer.h"
#include "reportsamples.h"
#include "support/tempdatadir.h"

namespace {
// Which page of the stream each page of the printed job shows: rendered by
// Ghostscript and matched against our own rendering of the candidates (0: none).
std::vector<int> MatchJobPages(const QString &job, const QString &folder, const TPageStream &stream,
                               const std::vector<int> &candidates)
{
    constexpr int kDpi = 100;
    std::vector<int> shown;
    if (RunPeer("gs", {"-q", "-dSAFER", "-dBATCH", "-dNOPAUSE", "-sDEVICE=pnggray", "-r" + QString::number(kDpi),
                       "-dTextAlphaBits=4", "-dGraphicsAlphaBits=4", "-sOutputFile=" + folder + "/job-%d.png", job}) != 0)
        return shown;
    for (int i = 1; QFile::exists(folder + QStringLiteral("/job-%1.png").arg(i)); ++i) {
        const QImage printed = QImage(folder + QStringLiteral("/job-%1.png").arg(i)).convertToFormat(QImage::Format_Grayscale8);
        int match = 0;
        double best = 1e9;
        for (int page : candidates) {
            const Difference d = ComparePages(printed, RenderPage(stream, page - 1, kDpi));
            if (d.inkMissed < 0.05 && d.meanAbs < best) { // the closest of those that look alike at all
                best = d.meanAbs;
                match = page;
            }
        }
        shown.push_back(match);
    }
    return shown;
}
} // namespace

class CupsPrinting : public DataDirTest {};

TEST_F(CupsPrinting, PageListAndCopiesReachThePrinter)
{
    TestCupsServer cups;
    const QString why = cups.start();
    if (!why.isEmpty())
        GTEST_SKIP() << "no test printer: " << why.toStdString();

    const TListSource rows = CallRows(300);
    const TPageStream stream = RunList(ListReport(QStringLiteral("Tisk ") + kCzechUpper), rows);
    ASSERT_GE(stream.pageCount(), 5);

    ASSERT_TRUE(QPrinterInfo::printerInfo(cups.queue()).printerName() == cups.queue())
        << "Qt does not see the test queue";
    QPrinter printer(QPrinter::HighResolution);
    printer.setPrinterName(cups.queue());
    ASSERT_TRUE(printer.isValid());
    PrintPageStream(stream, printer, ParsePageList("1-3,5", stream.pageCount()), 2);
    ASSERT_TRUE(cups.waitForIdle()) << cups.errorLog().toStdString();

    QFile job(cups.outputFile());
    ASSERT_TRUE(job.open(QIODevice::ReadOnly));
    const QByteArray ps = job.readAll();
    const std::vector<int> list = {1, 2, 3, 5};
    if (!HavePeer("gs"))
        GTEST_SKIP() << "ghostscript is not installed to read the printed job";
    const std::vector<int> shown = MatchJobPages(cups.outputFile(), data.path(), stream, list);
    // Two copies: made by the filters (collated or not), or asked of the device.
    const std::vector<int> collated = {1, 2, 3, 5, 1, 2, 3, 5}, uncollated = {1, 1, 2, 2, 3, 3, 5, 5};
    const bool deviceCopies = shown == list && (ps.contains("NumCopies 2") || ps.contains("numcopies(2)"));
    EXPECT_TRUE(shown == collated || shown == uncollated || deviceCopies)
        << "pages that arrived: " << ::testing::PrintToString(shown);
}

TEST(PrintRange, FirstAndLastPageKeptWithinTheDocument)
{
    EXPECT_EQ(PageRange(2, 4, 7), (std::vector<int>{2, 3, 4}));
    EXPECT_EQ(PageRange(0, 99, 3), (std::vector<int>{1, 2, 3}));
    EXPECT_TRUE(PageRange(5, 4, 7).empty());
}
