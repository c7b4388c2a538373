#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <QRegularExpression>

#include "pagepainter.h"
#include "pdfwriter.h"
#include "peertools.h"
#include "reportsamples.h"
#include "support/tempdatadir.h"

namespace {

class PdfPeers : public DataDirTest {
protected:
    void SetUp() override
    {
        for (const char *tool : {"qpdf", "pdffonts", "pdftotext", "pdftoppm"})
            if (!HavePeer(tool))
                GTEST_SKIP() << tool << " is not installed (qpdf, poppler-utils)";
    }

    // Writes the PDF and has qpdf check it: every PDF a test makes must pass.
    QString write(const TPageStream &stream, const QString &name)
    {
        const QString path = data.file(name);
        WritePdfFile(stream, path);
        QByteArray out, err;
        EXPECT_EQ(RunPeer("qpdf", {"--check", path}, &out, &err), 0) << out.constData() << err.constData();
        EXPECT_FALSE(out.contains("WARNING")) << out.constData();
        return path;
    }

    QString text(const QString &pdf, const QStringList &extra = {})
    {
        QByteArray out;
        EXPECT_EQ(RunPeer("pdftotext", extra + QStringList{"-enc", "UTF-8", pdf, "-"}, &out), 0);
        return QString::fromUtf8(out);
    }
};

TPageStream CzechReport(int rows)
{
    const TListSource source = CallRows(rows);
    return RunList(ListReport(QStringLiteral("Výpis ") + kCzechLower + ' ' + kCzechUpper), source);
}

} // namespace

TEST_F(PdfPeers, FontsAreEmbeddedSubsetsOfCidTrueType)
{
    const QString pdf = write(CzechReport(40), "fonts.pdf");
    QByteArray out;
    ASSERT_EQ(RunPeer("pdffonts", {pdf}, &out), 0);
    const QStringList lines = QString::fromUtf8(out).split('\n', Qt::SkipEmptyParts).mid(2);
    ASSERT_EQ(lines.size(), 2) << "one resource per face and style: regular and bold" << out.constData();
    QStringList names;
    for (const QString &line : lines) {
        const QStringList cols = line.simplified().split(' ');
        // name type(2 words) encoding emb sub uni object id
        ASSERT_GE(cols.size(), 8) << line.toStdString();
        names << cols[0];
        EXPECT_TRUE(QRegularExpression("^[A-Z]{6}\\+Arial(,Bold)?$").match(cols[0]).hasMatch()) << line.toStdString();
        EXPECT_TRUE(line.contains("CID TrueType")) << line.toStdString();
        EXPECT_TRUE(line.contains("Identity-H")) << line.toStdString();
        EXPECT_EQ(cols[4] + cols[5] + cols[6], "yesyesyes") << "embedded, subset, with a ToUnicode map: " << line.toStdString();
    }
    EXPECT_NE(names[0].left(6), names[1].left(6)) << "each subset has its own tag";
}

TEST_F(PdfPeers, TextComesBackExactlyIncludingCzechLetters)
{
    const TPageStream stream = CzechReport(90);
    const QString pdf = write(stream, "text.pdf");
    const QString all = text(pdf);
    EXPECT_TRUE(all.contains(QStringLiteral("Výpis ") + kCzechLower + ' ' + kCzechUpper)) << all.left(400).toStdString();
    EXPECT_TRUE(all.contains(QStringLiteral("Typ hovoru"))) ;
    EXPECT_TRUE(all.contains(QStringLiteral("Příchozí")));
    EXPECT_TRUE(all.contains(QStringLiteral("Zmeškaný")));
    EXPECT_TRUE(all.contains(QStringLiteral("Počet záznamů:")));
    EXPECT_TRUE(all.contains(QStringLiteral("Strana 2/%1").arg(stream.pageCount())));
    // Page by page: each row on its page, in order.
    for (int p = 1; p <= stream.pageCount(); ++p) {
        const QString page = text(pdf, {"-f", QString::number(p), "-l", QString::number(p)});
        for (const QString &t : PageTexts(stream.pages[size_t(p - 1)]))
            if (t.startsWith("+420")) {
                EXPECT_TRUE(page.contains(t)) << p << ' ' << t.toStdString();
            }
    }
    QByteArray info;
    RunPeer("pdfinfo", {pdf}, &info);
    const QString fields = QString::fromUtf8(info).simplified();
    EXPECT_TRUE(fields.contains(QStringLiteral("Title: Tembrel Personal - Výpis ") + kCzechLower)) << info.constData();
    EXPECT_TRUE(fields.contains(QStringLiteral("Pages: %1").arg(stream.pageCount())));
}

TEST_F(PdfPeers, RenderedPageMatchesThePainter)
{
    const TPageStream stream = CzechReport(60);
    const QString pdf = write(stream, "render.pdf");
    constexpr int kDpi = 100;
    ASSERT_EQ(RunPeer("pdftoppm", {"-r", QString::number(kDpi), "-gray", "-png", "-f", "1", "-l", "2", pdf,
                                   data.file("page")}), 0);
    for (int page = 0; page < 2; ++page) {
        QImage poppler(data.file(QStringLiteral("page-%1.png").arg(page + 1)));
        ASSERT_FALSE(poppler.isNull());
        poppler = poppler.convertToFormat(QImage::Format_Grayscale8);
        const QImage ours = RenderPage(stream, page, kDpi);
        EXPECT_LE(std::abs(poppler.width() - ours.width()), 1);
        EXPECT_LE(std::abs(poppler.height() - ours.height()), 1);
        const Difference d = ComparePages(poppler, ours);
        EXPECT_LT(d.meanAbs, 1.5) << page;
        EXPECT_LT(d.inkMissed, 0.01) << page;
        if (page == 0 && qEnvironmentVariableIsSet("TEMBREL_KEEP_RENDER")) {
            ours.save(qEnvironmentVariable("TEMBREL_KEEP_RENDER") + "/ours-1.png");
            poppler.save(qEnvironmentVariable("TEMBREL_KEEP_RENDER") + "/poppler-1.png");
            QFile::copy(pdf, qEnvironmentVariable("TEMBREL_KEEP_RENDER") + "/render.pdf");
        }
    }

    // The comparison sees a real difference: the same page with the text moved by one millimetre.
    TPageStream moved = stream;
    for (TPageText &t : moved.pages[0].texts)
        t.x += 72 / 25.4;
    QImage poppler(data.file("page-1.png"));
    const Difference d = ComparePages(poppler.convertToFormat(QImage::Format_Grayscale8), RenderPage(moved, 0, kDpi));
    EXPECT_GT(d.inkMissed, 0.1);
    EXPECT_GT(d.meanAbs, 2);
}

TEST_F(PdfPeers, PagesAndFileHandling)
{
    const TPageStream stream = CzechReport(200);
    const QString pdf = write(stream, "pages.pdf");
    QByteArray out;
    RunPeer("qpdf", {"--show-npages", pdf}, &out);
    EXPECT_EQ(out.trimmed().toInt(), stream.pageCount());

    // A file that cannot be written is an error, and the old file stays as it was.
    EXPECT_THROW(WritePdfFile(stream, data.file("no/such/folder/x.pdf")), EReportError);
    QFile old(pdf);
    ASSERT_TRUE(old.open(QIODevice::ReadOnly));
    const QByteArray before = old.readAll();
    old.close();
    QFile::setPermissions(data.path(), QFile::ReadOwner | QFile::ExeOwner);
    if (!QFileInfo(data.path()).isWritable() && !QFile(data.file("probe")).open(QIODevice::WriteOnly)) {
        EXPECT_THROW(WritePdfFile(CzechReport(1), pdf), EReportError);
        QFile again(pdf);
        ASSERT_TRUE(again.open(QIODevice::ReadOnly));
        EXPECT_EQ(again.readAll(), before);
    }
    QFile::setPermissions(data.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}
