#include "columnlayout.h"

#include "exception.h"

#include <gtest/gtest.h>

namespace {
TColumns sampleColumns()
{
    TColumns columns(2);
    columns[0].FieldName = QStringLiteral("PHONENUMBER");
    columns[0].Title.Caption = QStringLiteral("Telefonní číslo");
    columns[0].Title.FontColor = TColumnColor::FromRgb(0, 0, 128);
    columns[0].Title.Font.Description = QStringLiteral("Sans Serif,9,-1,5,700,0,0,0,0,0,0,0,0,0,0,1");
    columns[0].Title.Alignment = Qt::AlignRight;
    columns[0].Width = 123;
    columns[0].FontColor = TColumnColor::FromRgb(0, 0, 128);
    columns[0].PickList = QStringList{QStringLiteral("PHONENUMBER_SORT")};
    columns[1].FieldName = QStringLiteral("AUDIOSIZE");
    columns[1].Visible = false;
    columns[1].ButtonStyle = TColumnButtonStyle::cbsNone;
    return columns;
}
} // namespace

TEST(ColumnLayout, SerializedColumnsComeBackWholeAndDamageIsRefused)
{
    const TColumns columns = sampleColumns();
    const QByteArray bytes = SaveColumns(columns);
    EXPECT_EQ(LoadColumns(bytes), columns);

    EXPECT_THROW(LoadColumns(QByteArray("garbage")), Exception);
    EXPECT_THROW(LoadColumns(bytes.left(bytes.size() - 3)), Exception);
    EXPECT_THROW(LoadColumns(bytes + "x"), Exception);
    QByteArray huge = bytes;
    huge[9] = char(0x7f); // an absurd column count
    EXPECT_THROW(LoadColumns(huge), Exception);
}

// A count or length that promises more than the bytes that remain is damage: it is refused
// before anything is allocated for it (a pick list of 0xFFFFFFFF texts once asked for 103 GB).
TEST(ColumnLayout, CountsBeyondTheRemainingBytesAreRefusedWithoutAllocating)
{
    TColumns one(1);
    one[0].FieldName = QStringLiteral("A");
    one[0].PickList = QStringList{QStringLiteral("x")};
    const QByteArray bytes = SaveColumns(one);
    // The pick list's count sits after the cell alignment, 4 + 4 + 2 bytes before the end.
    const qsizetype pickCount = bytes.size() - 4 - (4 + 2) - 4;
    ASSERT_EQ(bytes.mid(pickCount, 4), QByteArray::fromHex("00000001"));
    for (const char *count : {"ffffffff", "fffffffe", "7fffffff", "00000002"}) {
        QByteArray spoiled = bytes;
        spoiled.replace(pickCount, 4, QByteArray::fromHex(count));
        EXPECT_THROW(LoadColumns(spoiled), Exception) << count;
    }
    // Every four bytes of the stream in turn made huge: a clear error (or, where the bytes
    // were a colour or a number, a layout), never an allocation failure.
    const QByteArray full = SaveColumns(sampleColumns());
    for (qsizetype at = 10; at + 4 <= full.size(); ++at) {
        for (const char *huge : {"ffffffff", "7ffffffe", "3fffffff"}) {
            QByteArray spoiled = full;
            spoiled.replace(at, 4, QByteArray::fromHex(huge));
            try {
                LoadColumns(spoiled);
            } catch (const Exception &) {
            } catch (const std::exception &e) {
                ADD_FAILURE() << "at " << at << " " << huge << ": " << e.what();
            }
        }
    }
}

// The .col files already on users' disks hold exactly these bytes: magic, version,
// count, then per column the stream of Qt 6.4's QDataStream.
TEST(ColumnLayout, StoredBytesKeepTheirLayout)
{
    TColumns one(1);
    one[0].FieldName = QStringLiteral("A");
    one[0].Title.Caption = QStringLiteral("B");
    one[0].Title.FontColor = TColumnColor::FromRgb(0, 0, 128);
    one[0].Width = 100;
    const QByteArray expected = QByteArray::fromHex(
        "54434f4c" "0001" "00000001"         // magic, version, count
        "00000002" "0041" "00000002" "0042"  // field name, caption
        "ffffffff" "01" "ff000080"           // title font (none), title colour
        "00000001" "00000064" "01"           // title alignment, width, visible
        "ffffffff" "00" "00000000"           // cell font (none), cell colour unset
        "00000001" "00000000" "00000000");   // alignment, pick list, button style
    EXPECT_EQ(SaveColumns(one).toHex(), expected.toHex());
    EXPECT_EQ(LoadColumns(expected), one);
}

TEST(ColumnLayout, FontDescriptionsAreCheckedForShape)
{
    TColumns columns = sampleColumns();
    for (const char *bad : {",9", "Sans,9,1", "Sans,x,-1,5,400,0,0,0,0,0"}) {
        columns[0].Font.Description = QString::fromLatin1(bad);
        EXPECT_THROW(LoadColumns(SaveColumns(columns)), Exception) << bad;
    }
    TColumnFont font{QStringLiteral("Liberation Sans,10.5,-1,5,400,0,0,0,0,0")};
    EXPECT_TRUE(font.IsWellFormed());
    EXPECT_EQ(font.Family(), QStringLiteral("Liberation Sans"));
    EXPECT_DOUBLE_EQ(font.PointSize(), 10.5);
}
