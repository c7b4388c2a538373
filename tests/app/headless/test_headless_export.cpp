#include "headlessprocess.h"

#include "codepage1250.h"
#include "formatsettings.h"
#include "myutils.h"
#include "udmcd.h"

#include <QFileInfo>
#include <QRegularExpression>

namespace {
class HeadlessExport : public HeadlessProcess {
protected:
    // Three calls in the log, written by the call-data module itself.
    void FillCallLog()
    {
        InstallCallLog();
        const QString old = DataDirectory();
        SetDataDirectory(dir.path());
        {
            Tdmcd calls;
            calls.OpenCallLog();
            const double day = EncodeDate(2024, 6, 3);
            calls.AddCall(2, 0, day + EncodeTime(8, 0, 0), day + EncodeTime(8, 1, 5), QStringLiteral("602111222"), QString());
            calls.AddCall(3, 0, day + EncodeTime(9, 0, 0), day + EncodeTime(9, 0, 30), QStringLiteral("777333444"), QString());
            calls.AddCall(3, 0, day + EncodeTime(10, 0, 0), day + EncodeTime(10, 2, 0), QStringLiteral("Žofie"), QString());
        }
        SetDataDirectory(old);
    }
    int Run(const QStringList &args)
    {
        Launch(args);
        EXPECT_TRUE(host.waitForFinished(30000));
        output += QString::fromLocal8Bit(host.readAllStandardOutput() + host.readAllStandardError());
        return host.exitCode();
    }
    QStringList CsvLines(const QString &file)
    {
        QFile f(file);
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        QString text = DecodeCp1250(f.readAll());
        text.chop(2);
        return text.split(QStringLiteral("\r\n"));
    }
};
} // namespace

TEST_F(HeadlessExport, WritesTheLogThroughATemplateAndAFilterWithoutChangingIt)
{
    FillCallLog();
    const QString data = dir.filePath(QStringLiteral("data.xml"));
    QFile::setPermissions(data, QFile::ReadOwner); // it only reads
    QFile dataFile(data);
    ASSERT_TRUE(dataFile.open(QIODevice::ReadOnly));
    const QByteArray before = dataFile.readAll();
    dataFile.close();

    // The callers are named from the phonebook beside the settings, never from data.xml.
    ASSERT_TRUE(WriteStringToFile(QStringLiteral("602 111-222\tPavel Dvořák\n").toUtf8(),
                                  dir.filePath(QStringLiteral("phonebook.txt"))));
    const QString all = dir.filePath(QStringLiteral("all.csv"));
    ASSERT_EQ(Run({QStringLiteral("--export"), all}), 0) << output.toStdString();
    QStringList lines = CsvLines(all);
    ASSERT_EQ(lines.size(), 4) << "header and three calls";
    EXPECT_TRUE(lines[0].contains(QStringLiteral("Telefonní číslo")));
    EXPECT_TRUE(lines[0].contains(QStringLiteral("Jméno")));
    EXPECT_TRUE(lines[1].contains(QStringLiteral("Pavel Dvořák"))) << lines[1].toStdString();
    EXPECT_TRUE(lines[3].contains(QStringLiteral("Žofie")));

    ASSERT_TRUE(WriteStringToFile(EncodeCp1250(QStringLiteral("Příchozí=4;Výpis;1;1;1;0;PHONENUMBER;WHENLENGTH\r\n")),
                                  dir.filePath(QStringLiteral("frg_audio.dbo"))));
    const QString incoming = dir.filePath(QStringLiteral("in.csv"));
    ASSERT_EQ(Run({QStringLiteral("--export"), incoming, QStringLiteral("--template"), QStringLiteral("příchozí"),
                   QStringLiteral("--filter"), QStringLiteral("CALLTYPE=3")}),
              0)
        << output.toStdString();
    EXPECT_EQ(CsvLines(incoming), (QStringList{QStringLiteral("Telefonní číslo;Délka hovoru"),
                                               QStringLiteral("777333444;30"), QStringLiteral("Žofie;120")}));

    const QString sheet = dir.filePath(QStringLiteral("calls.xls"));
    ASSERT_EQ(Run({QStringLiteral("--export"), sheet}), 0) << output.toStdString();
    EXPECT_GT(QFileInfo(sheet).size(), 100);

    EXPECT_NE(Run({QStringLiteral("--export"), dir.filePath(QStringLiteral("x.txt"))}), 0);
    EXPECT_TRUE(output.contains(QStringLiteral(".csv"))) << output.toStdString();
    EXPECT_NE(Run({QStringLiteral("--export"), dir.filePath(QStringLiteral("y.csv")), QStringLiteral("--template"),
                   QStringLiteral("none")}),
              0);
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("y.csv"))));

    ASSERT_TRUE(dataFile.open(QIODevice::ReadOnly));
    EXPECT_EQ(dataFile.readAll(), before);
}

// The printed report as a PDF document, with no display to draw on.
TEST_F(HeadlessExport, PdfReportWithoutADisplay)
{
    FillCallLog();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(name));
    auto peer = [](const QString &program, const QStringList &args, QString &out) {
        QProcess p;
        p.start(program, args);
        if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit)
            return -1;
        out = QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError());
        return p.exitCode();
    };
    // TEMBREL_KEEP_RENDER=<folder> keeps the documents for a look.
    auto keep = [](const QString &file, const QString &name) {
        const QString folder = qEnvironmentVariable("TEMBREL_KEEP_RENDER");
        if (folder.isEmpty())
            return;
        QFile::remove(folder + QLatin1Char('/') + name);
        QFile::copy(file, folder + QLatin1Char('/') + name);
    };

    const QString title = QStringLiteral("Hovory ěščřžýáíúůťďň ĚŠČŘŽÝÁÍÉÚŮŤĎŇ");
    ASSERT_TRUE(WriteStringToFile(
        EncodeCp1250(QStringLiteral("Tisk=1;") + title
                     + QStringLiteral(";0;1;1;2;CALLTYPENAME;PHONENUMBER;WHENLENGTH (sčítat)\r\n")),
        dir.filePath(QStringLiteral("frg_audio.dbo"))));
    const QString pdf = dir.filePath(QStringLiteral("příchozí.pdf"));
    ASSERT_EQ(Run({QStringLiteral("--export"), pdf, QStringLiteral("--template"), QStringLiteral("Tisk"),
                   QStringLiteral("--filter"), QStringLiteral("CALLTYPE=3")}),
              0)
        << output.toStdString();
    keep(pdf, QStringLiteral("headless-template.pdf"));
    QString out;
    const int check = peer(QStringLiteral("qpdf"), {QStringLiteral("--check"), pdf}, out);
    if (check < 0)
        GTEST_SKIP() << "qpdf cannot run (qpdf)";
    EXPECT_EQ(check, 0) << out.toStdString();
    const QStringList toText{QStringLiteral("-enc"), QStringLiteral("UTF-8")};
    ASSERT_EQ(peer(QStringLiteral("pdftotext"), toText + QStringList{pdf, QStringLiteral("-")}, out), 0)
        << "pdftotext (poppler-utils)";
    for (const QString &expected :
         {title, QStringLiteral("CALLTYPE=3"), QStringLiteral("Typ hovoru"), QStringLiteral("Telefonní číslo"),
          QStringLiteral("Délka hovoru"), QStringLiteral("Žofie"), QStringLiteral("777333444"), QStringLiteral("Součty:"),
          QStringLiteral("Strana 1/1")})
        EXPECT_TRUE(out.contains(expected)) << expected.toStdString() << "\n" << out.toStdString();
    EXPECT_FALSE(out.contains(QStringLiteral("602111222"))) << "only the calls the filter selects";
    EXPECT_TRUE(out.contains(QRegularExpression(QStringLiteral("Počet záznamů:\\s+2")))) << out.toStdString();
    ASSERT_EQ(peer(QStringLiteral("pdfinfo"), {pdf}, out), 0);
    EXPECT_TRUE(out.contains(QStringLiteral("841.89 x 595.2"))) << "the template's landscape: " << out.toStdString();

    // Without a template: the first four visible columns, as the output dialog offers them.
    const QString all = dir.filePath(QStringLiteral("all.pdf"));
    ASSERT_EQ(Run({QStringLiteral("--export"), all}), 0) << output.toStdString();
    keep(all, QStringLiteral("headless-all.pdf"));
    EXPECT_EQ(peer(QStringLiteral("qpdf"), {QStringLiteral("--check"), all}, out), 0) << out.toStdString();
    ASSERT_EQ(peer(QStringLiteral("pdftotext"), toText + QStringList{all, QStringLiteral("-")}, out), 0);
    for (const QString &expected : {QStringLiteral("Výpis"), QStringLiteral("ID"), QStringLiteral("Typ hovoru"),
                                    QStringLiteral("Linka"), QStringLiteral("Začátek hovoru"), QStringLiteral("Odchozí"),
                                    QStringLiteral("3.6.2024 10:00:00"), QStringLiteral("Počet záznamů:")})
        EXPECT_TRUE(out.contains(expected)) << expected.toStdString() << "\n" << out.toStdString();
    EXPECT_FALSE(out.contains(QStringLiteral("Konec hovoru"))) << "the fifth visible column stays out";
}
