#include "outputfixture.h"

#include "dboutput_xls.h"
#include "formatsettings.h"
#include "mxNativeExcel.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstring>
#include <gtest/gtest.h>

namespace {
const char kReader[] = R"(
import json, sys, xlrd
book = xlrd.open_workbook(sys.argv[1], formatting_info=True)
sheet = book.sheet_by_index(0)
cells = [[{"t": c.ctype, "v": c.value} for c in sheet.row(r)] for r in range(sheet.nrows)]
widths = {str(k): v.width for k, v in sheet.colinfo_map.items()}
print(json.dumps({"cells": cells, "widths": widths, "codepage": book.codepage}))
)";

// The sheet as an independent reader sees it; skips the test when the reader is missing.
bool readBack(const QString &file, QJsonObject &sheet, QString &why)
{
    QByteArray out;
    int code = -1;
    if (!RunPeer(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), QString::fromLatin1(kReader), file}, out,
                 code, why))
        return false;
    if (out.contains("No module named 'xlrd'")) {
        why = QStringLiteral("python3-xlrd is not installed");
        return false;
    }
    if (code != 0) {
        ADD_FAILURE() << "xlrd refused the file: " << out.toStdString();
        why = QStringLiteral("refused");
        return false;
    }
    sheet = QJsonDocument::fromJson(out).object();
    return true;
}

constexpr int kNumber = 2; // xlrd's XL_CELL_NUMBER
constexpr int kText = 1;   // XL_CELL_TEXT

quint16 u16(const QByteArray &b, qsizetype at) { return quint16(uchar(b[at]) | (uchar(b[at + 1]) << 8)); }

class XlsTest : public DataDirTest {
protected:
    ScriptedFileChooser files;
    RecordingOutputWindows windows;
    ScriptedMessageBox boxes;
};
} // namespace

TEST_F(XlsTest, ReaderSeesNumbersAsNumbersAndCzechTexts)
{
    auto table = MakeCallTable();
    AddCall(*table, 3, 12.5, QStringLiteral("Příliš žluťoučký kůň úpěl ďábelské ódy"), EncodeDate(2024, 5, 6));
    AddCall(*table, 2, 0.25, QStringLiteral("602123456"), EncodeDate(2024, 5, 7) + EncodeTime(8, 0, 0));
    Tdboutputsfields fields{{QStringLiteral("CALLTYPE"), -1, QStringLiteral("Typ hovoru"), 100, false},
                            {QStringLiteral("WHENLENGTH"), -1, QString(), 4, false},
                            {QStringLiteral("PHONENUMBER"), -1, QStringLiteral("Číslo"), 250, false},
                            {QStringLiteral("WHENSTART"), -1, QString(), 0, false}};
    const QString file = data.file(QStringLiteral("calls.xls"));
    files.answer(file);
    boxes.answer(mrOk);
    ASSERT_TRUE(Tdboutput_xls::Execute(*table, fields, true, true));
    EXPECT_EQ(windows.opened, QStringList{file});
    EXPECT_EQ(boxes.boxes()[0].text, QStringLiteral("Export do Excelu byl úspěšně dokončen, přejete si dokument otevřít?"));

    QJsonObject sheet;
    QString why;
    if (!readBack(file, sheet, why))
        GTEST_SKIP() << why.toStdString();
    const QJsonArray cells = sheet[QStringLiteral("cells")].toArray();
    ASSERT_EQ(cells.size(), 3);
    auto cell = [&](int r, int c) { return cells[r].toArray()[c].toObject(); };
    EXPECT_EQ(cell(0, 0)[QStringLiteral("v")].toString(), QStringLiteral("Typ hovoru"));
    EXPECT_EQ(cell(0, 2)[QStringLiteral("v")].toString(), QStringLiteral("Číslo"));
    EXPECT_EQ(cell(1, 0)[QStringLiteral("t")].toInt(), kNumber);
    EXPECT_EQ(cell(1, 0)[QStringLiteral("v")].toDouble(), 3.0);
    EXPECT_EQ(cell(1, 1)[QStringLiteral("t")].toInt(), kNumber);
    EXPECT_EQ(cell(1, 1)[QStringLiteral("v")].toDouble(), 12.5);
    EXPECT_EQ(cell(1, 2)[QStringLiteral("t")].toInt(), kText);
    EXPECT_EQ(cell(1, 2)[QStringLiteral("v")].toString(), QStringLiteral("Příliš žluťoučký kůň úpěl ďábelské ódy"));
    EXPECT_EQ(cell(1, 3)[QStringLiteral("t")].toInt(), kText) << "date-times go as their text";
    EXPECT_EQ(cell(1, 3)[QStringLiteral("v")].toString(), QStringLiteral("6.5.2024"));
    EXPECT_EQ(cell(2, 3)[QStringLiteral("v")].toString(), QStringLiteral("7.5.2024 8:00:00"));
    EXPECT_EQ(cell(2, 1)[QStringLiteral("v")].toDouble(), 0.25);
    const QJsonObject widths = sheet[QStringLiteral("widths")].toObject();
    EXPECT_EQ(widths[QStringLiteral("0")].toInt(), 20 * 256) << "100 pixels are 20 characters";
    EXPECT_EQ(widths[QStringLiteral("2")].toInt(), 50 * 256);
    EXPECT_FALSE(widths.contains(QStringLiteral("1"))) << "a column of 4 pixels gets no width";
}

TEST_F(XlsTest, RecordsFollowTheirLayout)
{
    auto table = MakeCallTable();
    AddCall(*table, 2, 1, QString(), 0, QString(300, QLatin1Char('x')));
    Tdboutputsfields fields{{QStringLiteral("NOTE"), -1, QStringLiteral("N"), 100, false}};
    Tdboutputs::Prepare(*table, fields);
    TmxNativeExcel excel;
    Tdboutput_xls::Build(excel, *table, fields, true);
    excel.Close();
    const QByteArray b = excel.Buffer();
    // beginning of file, dimensions, code page
    EXPECT_EQ(b.left(10).toHex(), QByteArray("09080600000210000000"));
    EXPECT_EQ(u16(b, 10), 0x0200);
    EXPECT_EQ(u16(b, 12), 10);
    EXPECT_EQ(u16(b, 16), 65535);
    EXPECT_EQ(b.mid(24, 8).toHex(), QByteArray("42000400e2040000"));
    // header text cell, then the width record of its column
    qsizetype at = 32;
    EXPECT_EQ(u16(b, at), 0x0004);
    EXPECT_EQ(u16(b, at + 2), 9);
    EXPECT_EQ(b.mid(at + 8, 3).toHex(), QByteArray("400000")) << "default attributes";
    at += 4 + 9;
    EXPECT_EQ(b.mid(at, 8).toHex(), QByteArray("2400040000000014"));
    at += 8;
    // a long text is cut to 255 bytes
    EXPECT_EQ(u16(b, at), 0x0004);
    EXPECT_EQ(u16(b, at + 2), 263);
    EXPECT_EQ(u16(b, at + 4), 1) << "second sheet row";
    at += 4 + 263;
    EXPECT_EQ(b.mid(at).toHex(), QByteArray("0a000000"));
}

TEST(NativeExcel, CursorAttributesAndFileNames)
{
    TmxNativeExcel excel;
    excel.LastColumn = 3;
    excel.WriteNumber(1, 3, 1.0);
    EXPECT_EQ(excel.Row(), 2) << "after the last column the cursor wraps to the next row";
    EXPECT_EQ(excel.Column(), 1);
    excel.CursorDirection = TmxNativeExcel::dirDown;
    excel.WriteNumber(4, 2, 2.0);
    EXPECT_EQ(excel.Row(), 5);
    excel.CursorDirection = TmxNativeExcel::dirLeft;
    excel.WriteNumber(1, 1, 3.0);
    EXPECT_EQ(excel.Row(), 1) << "left stops at the first cell";
    EXPECT_EQ(excel.Column(), 1);

    excel.Shaded = true;
    excel.Borders = TmxNativeExcel::bdTop | TmxNativeExcel::bdRight;
    excel.HorizontalAlignment = 2;
    excel.Hidden = true;
    excel.FontIndex = 3;
    excel.WriteText(1, 1, QStringLiteral("a"));
    const QByteArray b = excel.Buffer();
    EXPECT_EQ(b.mid(b.size() - 5, 3).toHex(), QByteArray("c0c0b3"));
    double value = 0;
    excel.Shaded = false;
    excel.WriteNumber(2, 2, -0.5);
    std::memcpy(&value, excel.Buffer().constData() + excel.Buffer().size() - 8, 8);
    EXPECT_EQ(value, -0.5);

    excel.SetFileName(QStringLiteral("/tmp/list.txt"));
    EXPECT_EQ(excel.FileName(), QStringLiteral("/tmp/list.XLS"));
    excel.SetFileName(QStringLiteral("/tmp/List.xLs"));
    EXPECT_EQ(excel.FileName(), QStringLiteral("/tmp/List.xLs"));

    EXPECT_THROW(excel.SetColumnWidth(0, 10), Exception);
    EXPECT_THROW(excel.SetColumnWidth(257, 10), Exception);
    EXPECT_THROW(excel.SetColumnWidth(1, 256), Exception);

    excel.Close();
    EXPECT_EQ(excel.GetState(), TmxNativeExcel::stClosed);
    excel.WriteNumber(1, 1, 1.0);
    EXPECT_EQ(excel.GetState(), TmxNativeExcel::stOpen);
    EXPECT_EQ(excel.Buffer().size(), 32 + 19) << "a cell after closing starts the file over";

    excel.SetVersion(0);
    EXPECT_EQ(excel.Buffer().toHex(), QByteArray("0900040000021000") + "000008000000ffff00000300" + "42000400e2040000");
}

TEST_F(XlsTest, TooManyRowsStopWithAReasonAndNoFile)
{
    auto table = MakeCallTable();
    for (int i = 0; i < Tdboutput_xls::kMaxSheetRows; ++i) {
        table->appendRawRecord();
    }
    table->finishLoading();
    const QString file = data.file(QStringLiteral("big.xls"));
    files.answer(file);
    try {
        Tdboutput_xls::Execute(*table, {}, true, true);
        ADD_FAILURE() << "65535 rows and a header do not fit a sheet";
    } catch (const Exception &e) {
        EXPECT_TRUE(e.message().contains(QStringLiteral("65535"))) << e.message().toStdString();
        EXPECT_TRUE(e.message().contains(QStringLiteral("65534 záznamů s hlavičkou"))) << e.message().toStdString();
    }
    EXPECT_FALSE(QFile::exists(file));
    EXPECT_TRUE(boxes.calls().isEmpty());
    EXPECT_EQ(WaitDepth(), 0);

    // Without the header the same rows fit.
    files.answer(file);
    EXPECT_TRUE(Tdboutput_xls::Execute(*table, {{QStringLiteral("CALLTYPE"), -1, QString(), 0, false}}, false, false));
    EXPECT_TRUE(QFile::exists(file));
}
