#include <QFile>
#include <QHash>
#include <QRandomGenerator>
#include <gtest/gtest.h>

#include "codepage1250.h"
#include "datapacket.h"
#include "formatsettings.h"
#include "memtable.h"
#include "myutils.h"
#include "support/tempdatadir.h"

namespace {
const QByteArray kHead = "<?xml version=\"1.0\" standalone=\"yes\"?>\r\n";

QByteArray packet(const QByteArray &fields, const QByteArray &rows, const QByteArray &params = "AUTOINCVALUE=\"1\"")
{
    return kHead + "<DATAPACKET Version=\"2.0\"><METADATA><FIELDS>" + fields + "</FIELDS><PARAMS " + params
        + "/></METADATA><ROWDATA>" + rows + "</ROWDATA></DATAPACKET>";
}

const QByteArray kTwoFields = "<FIELD attrname=\"ID\" fieldtype=\"i4\" SUBTYPE=\"Autoinc\"/>"
                              "<FIELD attrname=\"S\" fieldtype=\"string\" WIDTH=\"40\"/>";

// Loads and reports the error text; empty when the load succeeded.
QString loadError(TMemTable &t, const QByteArray &bytes)
{
    try {
        LoadDataPacket(t, bytes, QStringLiteral("test.xml"));
    } catch (const ETableError &e) {
        return e.message();
    }
    return QString();
}
} // namespace

TEST(DataPacket, EveryFieldTypeAndEveryEscapeSurvivesSaveAndLoad)
{
    TMemTable t;
    const TFieldType types[] = {TFieldType::AutoInc, TFieldType::Integer, TFieldType::SmallInt, TFieldType::ShortInt,
                                TFieldType::Byte, TFieldType::Word, TFieldType::LongWord, TFieldType::LargeInt,
                                TFieldType::Boolean, TFieldType::Float, TFieldType::Currency, TFieldType::BCD,
                                TFieldType::Date, TFieldType::Time, TFieldType::DateTime, TFieldType::String,
                                TFieldType::WideString, TFieldType::Memo};
    int i = 0;
    for (TFieldType type : types)
        t.addFieldDef(QStringLiteral("F%1").arg(i++), type, type == TFieldType::String ? 200 : 0);
    t.fieldDefs()[1].required = true;
    t.fieldDefs()[2].hidden = true;
    t.createDataSet();
    t.setAutoIncValue(77);
    t.extraParams().append({QStringLiteral("LCID"), QStringLiteral("1029")});
    const QString nasty = QStringLiteral("<a> & 'b' \"c\"\r\n\tx\\y \u010D\u0159\u017E\u00E1 \u20AC \u4E2D \U0001F600 \x01 end");
    t.insert();
    t.fieldByName(QStringLiteral("F1")).setAsInteger(-2147483647 - 1);
    t.fieldByName(QStringLiteral("F2")).setAsInteger(-32768);
    t.fieldByName(QStringLiteral("F3")).setAsInteger(127);
    t.fieldByName(QStringLiteral("F4")).setAsInteger(255);
    t.fieldByName(QStringLiteral("F5")).setAsInteger(65535);
    t.fieldByName(QStringLiteral("F6")).setAsInteger(4294967295LL);
    t.fieldByName(QStringLiteral("F7")).setAsInteger(-9000000000000000000LL);
    t.fieldByName(QStringLiteral("F8")).setAsBoolean(true);
    t.fieldByName(QStringLiteral("F9")).setAsFloat(0.1 + 0.2);
    t.fieldByName(QStringLiteral("F10")).setAsFloat(-12345.67);
    t.fieldByName(QStringLiteral("F11")).setAsFloat(3.25);
    t.fieldByName(QStringLiteral("F12")).setAsDateTime(EncodeDate(1899, 12, 29));
    t.fieldByName(QStringLiteral("F13")).setAsDateTime(EncodeTime(23, 59, 59, 999));
    t.fieldByName(QStringLiteral("F14")).setAsDateTime(EncodeDate(2006, 6, 1) + EncodeTime(14, 3, 7, 250));
    t.fieldByName(QStringLiteral("F15")).setAsString(nasty);
    t.fieldByName(QStringLiteral("F16")).setAsString(nasty);
    t.fieldByName(QStringLiteral("F17")).setAsString(QStringLiteral("line 1\r\nřádek 2"));
    t.post();
    t.insert(); // all empty but the identifier
    t.fieldByName(QStringLiteral("F1")).setAsInteger(0);
    t.post();

    const QByteArray bytes = SaveDataPacket(t);
    EXPECT_TRUE(bytes.startsWith(kHead));
    EXPECT_TRUE(bytes.contains("F14=\"20060601T14:03:07250\""));
    EXPECT_TRUE(bytes.contains("&lt;a&gt; &amp; &apos;b&apos; &quot;c&quot;&#013;&#010;&#009;x&#092;y"));
    EXPECT_TRUE(bytes.contains(EncodeCp1250(QStringLiteral("\u010D\u0159\u017E\u00E1 \u20AC"))));
    EXPECT_TRUE(bytes.contains("&#20013;")); // beyond the code page: a reference, not '?'
    EXPECT_TRUE(bytes.contains("AUTOINCVALUE=\"79\""));

    TMemTable u;
    LoadDataPacket(u, bytes);
    ASSERT_EQ(u.fieldCount(), t.fieldCount());
    ASSERT_EQ(u.recordCount(), 2);
    EXPECT_EQ(u.autoIncValue(), 79);
    EXPECT_EQ(u.extraParams(), t.extraParams());
    for (int f = 0; f < t.fieldCount(); ++f) {
        EXPECT_EQ(u.field(f).dataType(), t.field(f).dataType()) << f;
        EXPECT_EQ(u.field(f).def().required, t.field(f).def().required) << f;
        EXPECT_EQ(u.field(f).def().hidden, t.field(f).def().hidden) << f;
        for (int r = 0; r < 2; ++r)
            EXPECT_EQ(u.field(f).valueAt(r), t.field(f).valueAt(r)) << "field " << f << " row " << r;
    }
    EXPECT_EQ(SaveDataPacket(u), bytes);
}

TEST(DataPacket, ReadsTheFileFormsOfOtherWriters)
{
    TMemTable t;
    const QByteArray bytes = packet(kTwoFields + "<FIELD attrname=\"W\" fieldtype=\"dateTime\"/>",
                                    "<ROW RowState=\"4\" ID=\"5\" S=\"a&#10;b&#065;&#0;\" W=\"20060601T14:03:07\"/>"
                                    "<ROW ID=\"6\"/>\n<ROW S=\"\xE8\x8A\"/>",
                                    "AUTOINCVALUE=\"7\"");
    ASSERT_EQ(loadError(t, bytes), QString());
    ASSERT_EQ(t.recordCount(), 3);
    t.first();
    EXPECT_EQ(t.fieldByName(QStringLiteral("S")).asString(), QStringLiteral("a\nbA") + QChar(0));
    EXPECT_DOUBLE_EQ(t.fieldByName(QStringLiteral("W")).asDateTime(), EncodeDate(2006, 6, 1) + EncodeTime(14, 3, 7));
    t.next();
    EXPECT_TRUE(t.fieldByName(QStringLiteral("S")).isNull()); // a missing attribute is empty
    t.next();
    EXPECT_EQ(t.fieldByName(QStringLiteral("S")).asString(), QStringLiteral("\u010D\u0160"));
    EXPECT_TRUE(t.fieldByName(QStringLiteral("ID")).isNull());
}

// The private-use characters that carry control characters through the parser are text
// like any other: written as references, they come back as themselves.
TEST(DataPacket, PrivateUseCharactersComeBackAsThemselves)
{
    const QString mixed = QStringLiteral("a") + QChar(char16_t(0xE000)) + QChar(char16_t(0x01)) + QChar(char16_t(0xE001))
        + QChar(char16_t(0xE01F)) + QChar(char16_t(0xE020)) + QChar(char16_t(0xE020)) + QChar(char16_t(0xE005))
        + QChar(char16_t(0x1F)) + QChar(char16_t(0xE021)) + QChar(char16_t(0xE020));
    TMemTable t;
    ASSERT_EQ(loadError(t, packet(kTwoFields, "")), QString());
    t.extraParams().append({QStringLiteral("NOTE"), mixed});
    t.insert();
    t.fieldByName(QStringLiteral("S")).setAsString(mixed);
    t.post();
    const QByteArray bytes = SaveDataPacket(t);
    EXPECT_TRUE(bytes.contains("&#57344;&#001;&#57345;")) << bytes.toStdString();
    TMemTable u;
    ASSERT_EQ(loadError(u, bytes), QString());
    u.first();
    EXPECT_EQ(u.fieldByName(QStringLiteral("S")).asString(), mixed);
    EXPECT_EQ(u.extraParams(), t.extraParams());
    EXPECT_EQ(SaveDataPacket(u), bytes);

    // Other writers' hexadecimal references and leading zeros, for both kinds.
    ASSERT_EQ(loadError(u, packet(kTwoFields, "<ROW S=\"&#xE000;&#xe01f;&#x1;&#0000057344;&#x0000000E020;\"/>")), QString());
    u.first();
    EXPECT_EQ(u.fieldByName(QStringLiteral("S")).asString(), QString(QChar(char16_t(0xE000))) + QChar(char16_t(0xE01F))
                                                                  + QChar(char16_t(0x01)) + QChar(char16_t(0xE000))
                                                                  + QChar(char16_t(0xE020)));
}

TEST(DataPacket, CounterStaysAboveStoredIdentifiers)
{
    TMemTable t;
    ASSERT_EQ(loadError(t, packet(kTwoFields, "<ROW ID=\"9\"/><ROW ID=\"3\"/>", "AUTOINCVALUE=\"2\"")), QString());
    EXPECT_EQ(t.autoIncValue(), 10);
    t.insert();
    t.post();
    EXPECT_EQ(t.fieldByName(QStringLiteral("ID")).asInteger(), 10);
}

TEST(DataPacket, DamagedAndHostilePacketsFailClearlyAndChangeNothing)
{
    TMemTable t;
    ASSERT_EQ(loadError(t, packet(kTwoFields, "<ROW ID=\"1\" S=\"keep\"/>")), QString());
    const QByteArray good = packet(kTwoFields, "<ROW ID=\"1\" S=\"x\"/>");
    const QList<QByteArray> bad = {
        QByteArray(),
        "not xml at all",
        good.left(good.size() / 2),                                            // truncated
        good.left(good.size() - 1),                                            // last '>' missing
        packet(kTwoFields, "<ROW ID=\"1\" NOPE=\"2\"/>"),                      // unknown field
        packet(kTwoFields, "<ROW ID=\"x1\"/>"),                               // wrong type
        packet(kTwoFields, "<ROW ID=\"4294967296\"/>"),                        // out of range, not wrapped
        packet(kTwoFields + "<FIELD attrname=\"W\" fieldtype=\"dateTime\"/>", "<ROW W=\"20060231T00:00:00000\"/>"),
        packet(kTwoFields + "<FIELD attrname=\"W\" fieldtype=\"dateTime\"/>", "<ROW W=\"2006-06-01\"/>"),
        packet("<FIELD attrname=\"X\" fieldtype=\"blob42\"/>", ""),            // unknown type
        packet("", ""),                                                        // no fields
        packet(kTwoFields + "<FIELD attrname=\"id\" fieldtype=\"i4\"/>", ""),  // duplicate field
        packet(kTwoFields, "<ROW ID=\"1\" ID=\"2\"/>"),                        // duplicate attribute
        packet(kTwoFields, "<ROW><X/></ROW>"),
        packet(kTwoFields, "", "AUTOINCVALUE=\"many\""),
        packet(kTwoFields, "<ROW S=\"&bogus;\"/>"),
        kHead + "<DATAPACKET Version=\"3.0\"><METADATA/></DATAPACKET>",
        kHead + "<OTHER/>",
        good + "<DATAPACKET/>",
        // Entity expansion: refused at the document type declaration.
        kHead + "<!DOCTYPE d [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">"
                "<!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\"><!ENTITY d \"&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;\">]>"
                "<DATAPACKET Version=\"2.0\"><METADATA><FIELDS>" + kTwoFields
            + "</FIELDS><PARAMS/></METADATA><ROWDATA><ROW S=\"&d;&d;&d;&d;&d;&d;&d;&d;\"/></ROWDATA></DATAPACKET>",
        kHead + "<!DOCTYPE d SYSTEM \"file:///etc/passwd\"><DATAPACKET Version=\"2.0\"/>",
        packet([] {
            QByteArray many; // far more fields than any table holds
            for (int i = 0; i < 50000; ++i)
                many += "<FIELD attrname=\"F" + QByteArray::number(i) + "\" fieldtype=\"i4\"/>";
            return many;
        }(), ""),
    };
    for (const QByteArray &b : bad) {
        const QString error = loadError(t, b);
        EXPECT_FALSE(error.isEmpty()) << b.left(200).toStdString();
        EXPECT_TRUE(error.startsWith(QStringLiteral("Invalid data packet \"test.xml\""))) << error.toStdString();
        ASSERT_EQ(t.recordCount(), 1);
        t.first();
        EXPECT_EQ(t.fieldByName(QStringLiteral("S")).asString(), QStringLiteral("keep"));
    }
}

// A row with very many attributes is refused with a clear error. The parser takes every
// start tag whole before the reader sees it: it is handed over complete, never scanned
// again from its beginning for each new piece of the file, so the work follows the
// size of the row and a row of 11 MB is refused as readily as one of 1 MB.
TEST(DataPacket, RowsWithVeryManyAttributesAreRefusedClearly)
{
    for (const int count : {100000, 1000000}) {
        QByteArray row = "<ROW";
        row.reserve(qsizetype(count) * 12 + 16);
        for (int i = 0; i < count; ++i)
            row += " A" + QByteArray::number(i) + "=\"1\"";
        row += "/>";
        TMemTable t;
        const QString error = loadError(t, packet(kTwoFields, row));
        EXPECT_TRUE(error.contains(QStringLiteral("unknown field A0"))) << error.toStdString();
        EXPECT_FALSE(t.active());
    }
}

TEST(DataPacket, HugeValuesAndRandomDamageNeverCrash)
{
    TMemTable t;
    const QByteArray huge(8 * 1024 * 1024, 'x');
    ASSERT_EQ(loadError(t, packet(kTwoFields, "<ROW S=\"" + huge + "\"/>")), QString());
    t.first();
    EXPECT_EQ(t.fieldByName(QStringLiteral("S")).asString().size(), huge.size()); // loaded whole, not cut
    EXPECT_EQ(loadError(t, packet(kTwoFields, "<ROW S=\"&#99999999999999999999;\"/>")).isEmpty(), false);

    TMemTable source;
    source.addFieldDef(QStringLiteral("ID"), TFieldType::AutoInc);
    source.addFieldDef(QStringLiteral("S"), TFieldType::String, 40);
    source.addFieldDef(QStringLiteral("W"), TFieldType::DateTime);
    source.createDataSet();
    for (int i = 0; i < 20; ++i) {
        source.insert();
        source.fieldByName(QStringLiteral("S")).setAsString(QStringLiteral("č<&>'\"%1").arg(i));
        source.fieldByName(QStringLiteral("W")).setAsDateTime(38000 + i * 0.37);
        source.post();
    }
    const QByteArray good = SaveDataPacket(source);
    QRandomGenerator rng(1250);
    for (int round = 0; round < 400; ++round) {
        QByteArray damaged = good;
        const int edits = 1 + int(rng.bounded(4));
        for (int e = 0; e < edits; ++e) {
            const int at = int(rng.bounded(damaged.size()));
            switch (rng.bounded(3)) {
            case 0: damaged[at] = char(rng.bounded(256)); break;
            case 1: damaged.remove(at, int(rng.bounded(30))); break;
            default: damaged.insert(at, "<&#;\"'>"[rng.bounded(7)]); break;
            }
        }
        TMemTable u;
        const QString error = loadError(u, damaged);
        if (error.isEmpty()) { // a load that passes gives a usable, savable table
            LoadDataPacket(u, SaveDataPacket(u));
        } else {
            EXPECT_FALSE(u.active());
        }
    }
}

TEST(DataPacket, ValueForms)
{
    EXPECT_EQ(PacketDateTimeText(EncodeDate(2006, 6, 1) + EncodeTime(14, 3, 7, 250)), QStringLiteral("20060601T14:03:07250"));
    EXPECT_EQ(PacketDateTimeText(EncodeDate(2006, 6, 1) + EncodeTime(23, 59, 59, 999) + 0.4 / 86400000.0),
              QStringLiteral("20060601T23:59:59999"));
    EXPECT_EQ(PacketDateTimeText(EncodeDate(2006, 6, 1) + EncodeTime(23, 59, 59, 999) + 0.6 / 86400000.0),
              QStringLiteral("20060602T00:00:00000"));
    EXPECT_EQ(PacketDateText(EncodeDate(1999, 1, 2)), QStringLiteral("19990102"));
    EXPECT_EQ(PacketTimeText(EncodeTime(1, 2, 3, 4)), QStringLiteral("01:02:03004"));
    double v = 0;
    EXPECT_TRUE(ParsePacketDateTime(QStringLiteral("20060601T14:03:07250"), v));
    EXPECT_DOUBLE_EQ(v, EncodeDate(2006, 6, 1) + EncodeTime(14, 3, 7, 250));
    EXPECT_FALSE(ParsePacketDateTime(QStringLiteral("20060601T24:00:00000"), v));
    EXPECT_FALSE(ParsePacketDateTime(QStringLiteral("20060601T14:03"), v));
    EXPECT_FALSE(ParsePacketDate(QStringLiteral("2006061"), v));
}

TEST(DataPacketFile, SavingReplacesWholeAndAFailureKeepsTheOldFile)
{
    TempDataDir dir;
    const QString name = dir.file(QStringLiteral("t.xml"));
    TMemTable t;
    LoadDataPacket(t, packet(kTwoFields, "<ROW ID=\"1\" S=\"old\"/>"));
    SaveDataPacketFile(t, name);
    const QByteArray before = SaveDataPacket(t);
    TMemTable u;
    LoadDataPacketFile(u, name);
    EXPECT_EQ(SaveDataPacket(u), before);
    // A folder that cannot be written: the save fails and the old file stays whole.
    QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    t.insert();
    t.fieldByName(QStringLiteral("S")).setAsString(QStringLiteral("new"));
    t.post();
    const bool writable = QFile(dir.file(QStringLiteral("probe"))).open(QIODevice::WriteOnly); // root ignores modes
    if (!writable) {
        EXPECT_THROW(SaveDataPacketFile(t, name), ETableError);
    }
    QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    if (!writable) {
        QFile f(name);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(f.readAll(), before);
    }
    EXPECT_THROW(LoadDataPacketFile(u, dir.file(QStringLiteral("missing.xml"))), ETableError);
    EXPECT_EQ(u.recordCount(), 1);
}

TEST(DataPacket, TextsNoReaderTakesBackStillGiveALoadableFile)
{
    TMemTable t;
    LoadDataPacket(t, packet(kTwoFields, ""));
    t.insert();
    t.fieldByName(QStringLiteral("S")).setAsString(QStringLiteral("a") + QChar(0xD800) + QStringLiteral("b") + QChar(0xFFFF));
    t.post();
    TMemTable u;
    ASSERT_EQ(loadError(u, SaveDataPacket(t)), QString());
    u.first();
    EXPECT_EQ(u.fieldByName(QStringLiteral("S")).asString(),
              QStringLiteral("a") + QChar(0xFFFD) + QStringLiteral("b") + QChar(0xFFFD));
}

TEST(DataPacket, SavedTextFollowsEditsDeletionsAndCopies)
{
    TMemTable t;
    LoadDataPacket(t, packet(kTwoFields, "<ROW ID=\"1\" S=\"one\"/><ROW ID=\"2\" S=\"two\"/>", "AUTOINCVALUE=\"3\""));
    QByteArray saved = SaveDataPacket(t);
    ASSERT_TRUE(saved.contains("S=\"one\""));
    t.first();
    t.edit();
    t.fieldByName(QStringLiteral("S")).setAsString(QStringLiteral("uno"));
    t.post();
    saved = SaveDataPacket(t);
    EXPECT_TRUE(saved.contains("<ROW ID=\"1\" S=\"uno\"/><ROW ID=\"2\" S=\"two\"/>")) << saved.toStdString();
    t.first();
    t.deleteRecord();
    saved = SaveDataPacket(t);
    EXPECT_TRUE(saved.contains("<ROWDATA><ROW ID=\"2\" S=\"two\"/></ROWDATA>")) << saved.toStdString();
    // A copy into a table whose field is of another type writes its own forms.
    TMemTable other;
    other.addFieldDef(QStringLiteral("ID"), TFieldType::AutoInc);
    other.addFieldDef(QStringLiteral("S"), TFieldType::Memo);
    other.createDataSet();
    other.copyFrom(t);
    EXPECT_TRUE(SaveDataPacket(other).contains("S=\"dHdv\"")); // base64 of "two"
}

namespace {
// A table whose rows hold Czech text, control and private-use characters and texts beyond the code page,
// large enough that the file is read in several pieces and values straddle their borders.
QByteArray bigPacket(int rows)
{
    TMemTable t;
    LoadDataPacket(t, packet(kTwoFields + "<FIELD attrname=\"W\" fieldtype=\"dateTime\"/>", ""));
    for (int i = 0; i < rows; ++i) {
        t.insert();
        QString s = QStringLiteral("P\u0159\u00EDchoz\u00ED %1").arg(i);
        if (i % 97 == 0)
            s += QChar(char16_t(1 + i % 30)) + QStringLiteral("\u4E2D&<");
        if (i % 89 == 0)
            s += QChar(char16_t(0xE000 + i % 0x22));
        t.fieldByName(QStringLiteral("S")).setAsString(s);
        t.fieldByName(QStringLiteral("W")).setAsDateTime(38000 + i * 0.013);
        t.post();
    }
    return SaveDataPacket(t);
}
} // namespace

// The file is read in pieces; rows come back whole, and the first save writes exactly
// what a save of freshly built rows gives (the rows' texts are taken from the file).
TEST(DataPacketFile, PiecewiseReadingKeepsEveryRowAndTheSavedForm)
{
    TempDataDir dir;
    const QByteArray bytes = bigPacket(30000);
    ASSERT_GT(bytes.size(), 3 * (1 << 18));
    const QString name = dir.file(QStringLiteral("big.xml"));
    ASSERT_TRUE(WriteStringToFile(bytes, name));
    TMemTable fromFile, fromBytes;
    LoadDataPacketFile(fromFile, name);
    LoadDataPacket(fromBytes, bytes);
    ASSERT_EQ(fromFile.recordCount(), 30000);
    EXPECT_EQ(SaveDataPacket(fromFile), bytes);
    EXPECT_EQ(SaveDataPacket(fromBytes), bytes);
    fromFile.first();
    for (int i = 0; i < 194; ++i)
        fromFile.next();
    EXPECT_EQ(fromFile.fieldByName(QStringLiteral("S")).asString(),
              QStringLiteral("P\u0159\u00EDchoz\u00ED 194") + QChar(char16_t(1 + 194 % 30)) + QStringLiteral("\u4E2D&<"));

    // Rows in other writers' forms are written in ours: the file's text is not kept for them.
    QByteArray other = bytes;
    other.replace("<ROW ID=\"7\"", "<ROW RowState=\"4\" ID=\"7\"");
    other.replace("<ROW ID=\"8\" S=\"P", "<ROW  ID=\"8\" S=\"P");
    const qsizetype at = other.indexOf("<ROW ID=\"9\"");
    const qsizetype close = other.indexOf("/>", at);
    other.replace(close, 2, "></ROW>");
    ASSERT_NE(other, bytes);
    TMemTable u;
    LoadDataPacket(u, other);
    const QByteArray saved = SaveDataPacket(u);
    EXPECT_FALSE(saved.contains("RowState"));
    EXPECT_FALSE(saved.contains("</ROW>"));
    // The doubled blank is harmless: the row's text reads back to the same values.
    TMemTable again;
    LoadDataPacket(again, saved);
    EXPECT_EQ(SaveDataPacket(again).replace("<ROW  ID=", "<ROW ID="), bytes);
}

// A field held in memory only: computed for loaded, posted and recalculated rows, usable
// for order and filter, and never part of the file, which stays byte for byte the same.
TEST(DataPacket, CalculatedFieldLivesInMemoryOnly)
{
    const QByteArray file = packet(kTwoFields, "<ROW ID=\"1\" S=\"603\"/><ROW ID=\"2\" S=\"777\"/>",
                                   "AUTOINCVALUE=\"3\"");
    TMemTable plain;
    LoadDataPacket(plain, file);
    const QByteArray plainSaved = SaveDataPacket(plain);

    QHash<QString, QString> names{{QStringLiteral("603"), QStringLiteral("Anna")},
                                  {QStringLiteral("777"), QStringLiteral("Cyril")}};
    TMemTable t;
    t.addCalculatedField(QStringLiteral("NAME"), TFieldType::String, 40);
    t.calcFields = [&names](TMemTable &table, int record) {
        const QString &number = table.cellText(table.fieldByName(QStringLiteral("S")).index(), record);
        table.setCalculatedText(table.fieldByName(QStringLiteral("NAME")).index(), record, names.value(number));
    };
    LoadDataPacket(t, file);
    ASSERT_EQ(t.fieldCount(), 3);
    const TField &name = t.fieldByName(QStringLiteral("NAME"));
    EXPECT_TRUE(name.def().calculated);
    EXPECT_EQ(name.asStringAt(0), QStringLiteral("Anna"));
    EXPECT_EQ(name.asStringAt(1), QStringLiteral("Cyril"));
    EXPECT_EQ(SaveDataPacket(t), plainSaved);

    // A posted row is named at once; the field cannot be written by hand.
    t.insert();
    t.fieldByName(QStringLiteral("S")).setAsString(QStringLiteral("777"));
    EXPECT_THROW(t.fieldByName(QStringLiteral("NAME")).setAsString(QStringLiteral("x")), ETableError);
    t.post();
    EXPECT_EQ(t.fieldByName(QStringLiteral("NAME")).asString(), QStringLiteral("Cyril"));
    EXPECT_FALSE(SaveDataPacket(t).contains("NAME"));
    EXPECT_FALSE(SaveDataPacket(t).contains("Cyril"));

    // New names: recalculated rows follow, and order and filter work on them.
    names[QStringLiteral("777")] = QStringLiteral("Alois");
    t.recalculateFields();
    t.setIndexFieldNames(QStringLiteral("NAME"));
    t.first();
    EXPECT_EQ(t.fieldByName(QStringLiteral("NAME")).asString(), QStringLiteral("Alois"));
    t.setFilter(QStringLiteral("NAME='Anna'"));
    t.setFiltered(true);
    EXPECT_EQ(t.recordCount(), 1);
    t.setFiltered(false);

    // Loading again keeps the field; the saved file loads in a table that knows nothing of it.
    const QByteArray saved = SaveDataPacket(t);
    LoadDataPacket(t, saved);
    EXPECT_EQ(t.fieldCount(), 3);
    EXPECT_EQ(t.fieldByName(QStringLiteral("NAME")).asStringAt(2), QStringLiteral("Alois"));
    TMemTable older;
    LoadDataPacket(older, saved);
    EXPECT_EQ(older.fieldCount(), 2);
    EXPECT_EQ(older.physicalCount(), 3);

    // A file field of the same name is the file's: its values stay and it is saved.
    TMemTable clash;
    clash.addCalculatedField(QStringLiteral("S"), TFieldType::String, 10);
    LoadDataPacket(clash, file);
    EXPECT_EQ(clash.fieldCount(), 2);
    EXPECT_FALSE(clash.fieldByName(QStringLiteral("S")).def().calculated);
    EXPECT_EQ(clash.fieldByName(QStringLiteral("S")).asStringAt(0), QStringLiteral("603"));
    EXPECT_THROW(clash.setCalculatedText(1, 0, QStringLiteral("x")), ETableError);
}

namespace {
// What a load leaves: the error, or each row's values and kept file text, and the save.
struct LoadOutcome {
    QString error;
    QStringList rows;
    QByteArray saved;
};

template <class Load>
LoadOutcome outcomeOf(const QByteArray &bytes, Load load)
{
    LoadOutcome o;
    TMemTable t;
    try {
        load(t, bytes, QStringLiteral("test.xml"));
    } catch (const ETableError &e) {
        o.error = e.message();
        return o;
    }
    for (int r = 0; r < t.physicalCount(); ++r) {
        QString row;
        for (int f = 0; f < t.fieldCount(); ++f) {
            if (t.cellNull(f, r))
                row += QStringLiteral("|null");
            else if (ValueKindOf(t.field(f).dataType()) == TValueKind::Text)
                row += QStringLiteral("|t:") + t.cellText(f, r);
            else if (ValueKindOf(t.field(f).dataType()) == TValueKind::Int)
                row += QStringLiteral("|i:%1").arg(t.cellInt(f, r));
            else
                row += QStringLiteral("|f:%1").arg(t.cellFloat(f, r), 0, 'g', 17);
        }
        o.rows << row + QStringLiteral("|kept:") + QString::fromLatin1(t.rowCache(r).toHex());
    }
    o.saved = SaveDataPacket(t);
    return o;
}

// The loader reads the rows of the usual packet without the parser; whatever it reads
// must come out exactly as the parser alone gives it, faults and their texts included.
void expectSameAsParser(const QByteArray &bytes)
{
    const LoadOutcome quick = outcomeOf(bytes, [](TMemTable &t, const QByteArray &b, const QString &n) {
        LoadDataPacket(t, b, n);
    });
    const LoadOutcome parsed = outcomeOf(bytes, [](TMemTable &t, const QByteArray &b, const QString &n) {
        LoadDataPacketThroughParser(t, b, n);
    });
    const std::string shown = bytes.size() < 2000 ? bytes.toStdString() : std::string("(large packet)");
    EXPECT_EQ(quick.error, parsed.error) << shown;
    EXPECT_EQ(quick.rows, parsed.rows) << shown;
    EXPECT_EQ(quick.saved, parsed.saved) << shown;
}

const QByteArray kThreeFields = kTwoFields + "<FIELD attrname=\"W\" fieldtype=\"dateTime\"/>"
                                             "<FIELD attrname=\"N\" fieldtype=\"i2\"/>";
} // namespace

TEST(DataPacket, RowsReadWithoutTheParserComeOutAsTheParserGivesThem)
{
    const QByteArray rowForms[] = {
        // the writer's own form, with code page 1250 text and every reference it writes
        "<ROW ID=\"1\" S=\"P\xF8\xED" "choz\xED\" W=\"20060601T14:03:07250\" N=\"-5\"/>",
        "<ROW ID=\"2\" S=\"&lt;a&gt; &amp; &apos;b&apos; &quot;c&quot;&#013;&#010;&#009;x&#092;y\"/>",
        "<ROW ID=\"3\" S=\"&#001;&#0;&#57345;&#57376;&#x4E2D;&#128512;&#xe01f;\"/><ROW/>",
        // tidy writers: line breaks, tabs, blanks round '=', the other quote, an empty value
        "\r\n  <ROW\tID = '4'\r\n   S='say \"hi\"' N=\"7\"  />\n\t<ROW ID=\"5\" S=\"\"/>\n",
        "<ROW ID=\"6\" S=\"a > b\"/>",
        // what only the parser knows: changes of other writers, names in another case,
        // another order, rows with content, comments and instructions between rows
        "<ROW RowState=\"4\" ID=\"7\"/>", "<ROW id=\"8\" s=\"x\"/>", "<ROW S=\"x\" ID=\"9\"/>",
        "<ROW ID=\"10\"></ROW>", "<ROW ID=\"11\"/><!-- note --><ROW ID=\"12\"/><?pi x?>",
        "<ROW ID=\"13\" S=\"tab\there\"/>", "<ROW ID=\"14\" S=\"line\nbreak\"/>",
        "<ROW ID=\"15\" S=\"&#x9;&#xD;&#xA;\"/>",
        // faults, each with the parser's words
        "<ROW ID=\"x\"/>", "<ROW ID=\"1\" ID=\"2\"/>", "<ROW ID=\"1\"S=\"a\"/>", "<ROW ID=\"1\" S=\"a<b\"/>",
        "<ROW ID=\"1\" S=\"&bogus;\"/>", "<ROW ID=\"1\" S=\"&#xD800;\"/>", "<ROW ID=\"1\" S=\"&#1114112;\"/>",
        "<ROW ID=\"1\" S=\"&#xFFFE;\"/>", "<ROW ID=\"1\" S=\"&#;\"/>", "<ROW ID=\"1\" S=\"&amp\"/>",
        "<ROW ID=\"1\" Q=\"2\"/>", "<ROW ID=\"1\" N=\"40000\"/>", "<ROW ID=\"1\" W=\"2006\"/>",
        "<ROW ID=\"1\"/>text", "<ROW ID=\"1\" S=\"a/>", "<ROW ID=\"1\" / >", "<ROW ID=\"1\"", "<ROWS/>",
        "<ROW ID=\"1\"/><METADATA/>",
    };
    for (const QByteArray &rows : rowForms)
        expectSameAsParser(packet(kThreeFields, rows));

    // How the packet ends, and where the rows begin.
    const QByteArray fields = kHead + "<DATAPACKET Version=\"2.0\"><METADATA><FIELDS>" + kThreeFields
                              + "</FIELDS><PARAMS AUTOINCVALUE=\"1\"/></METADATA>";
    const QByteArray ends[] = {
        "<ROWDATA><ROW ID=\"1\"/></ROWDATA></DATAPACKET>\r\n\r\n",
        "<ROWDATA><ROW ID=\"1\"/></ROWDATA ></DATAPACKET\n>",
        "<ROWDATA><ROW ID=\"1\"/></ROWDATA></DATAPACKET><!-- end -->",
        "<ROWDATA><ROW ID=\"1\"/></ROWDATA></DATAPACKET><ROW/>",
        "<ROWDATA><ROW ID=\"1\"/></ROWDATA></DATAPACKET>x",
        "<ROWDATA><ROW ID=\"1\"/></ROWDATA>",
        "<ROWDATA><ROW ID=\"1\"/></ROWDATA><ROWDATA/></DATAPACKET>",
        "<ROWDATA><ROW ID=\"1\"/></DATAPACKET>",
        "<ROWDATA><ROW ID=\"1\"/>",
        "<ROWDATA/></DATAPACKET>",
        "<ROWDATA ></ROWDATA></DATAPACKET>",
        "<ROWDATA\n><ROW ID=\"1\"/></ROWDATA></DATAPACKET>",
    };
    for (const QByteArray &end : ends)
        expectSameAsParser(fields + end);

    // Random damage to the rows, of the kinds that meet the quick reader's every branch.
    QByteArray rows;
    for (int i = 0; i < 12; ++i)
        rows += "<ROW ID=\"" + QByteArray::number(i) + "\" S=\"\xE8&amp;&#x4E2D;&#001;'" + QByteArray::number(i * 7)
                + "\" W=\"20060601T14:03:07250\" N=\"" + QByteArray::number(i - 6) + "\"/>" + (i % 3 ? "" : "\n");
    const QByteArray good = packet(kThreeFields, rows);
    const qsizetype from = good.indexOf("<ROWDATA>") + 9;
    QRandomGenerator rng(1250);
    for (int round = 0; round < 600; ++round) {
        QByteArray damaged = good;
        const int edits = 1 + int(rng.bounded(3));
        for (int e = 0; e < edits; ++e) {
            const qsizetype at = from + qsizetype(rng.bounded(int(damaged.size() - from)));
            switch (rng.bounded(4)) {
            case 0: damaged[at] = char(rng.bounded(256)); break;
            case 1: damaged.remove(at, qsizetype(rng.bounded(12))); break;
            case 2: damaged.insert(at, "<&#;\"'>/= \tx\r"[rng.bounded(13)]); break;
            default: damaged.insert(at, damaged.mid(at, qsizetype(rng.bounded(40)))); break;
            }
        }
        expectSameAsParser(damaged);
    }
}

// Rows cross the pieces the file is read in at every point, also inside a value and
// right after a '>' a value holds; a late fault is still named at its line.
TEST(DataPacket, RowsReadWithoutTheParserAcrossPieces)
{
    QByteArray rows;
    for (int i = 0; rows.size() < 3 * (1 << 18) + 5000; ++i) {
        rows += "<ROW ID=\"" + QByteArray::number(i) + "\" S=\"" + QByteArray(i % 331, 'a') + "> &amp; \xE8"
                + QByteArray(i % 7, '>') + "\"/>";
        if (i % 50 == 0)
            rows += "\n";
    }
    const QByteArray good = packet(kThreeFields, rows);
    expectSameAsParser(good);
    expectSameAsParser(packet(kThreeFields, rows + "<ROW ID=\"1\" N=\"x\"/>"));
    QByteArray commented = rows;
    commented.insert(rows.size() * 2 / 3, "<!-- late -->");
    expectSameAsParser(packet(kThreeFields, commented));

    // A single row longer than what is held back for the next piece.
    expectSameAsParser(packet(kThreeFields, "<ROW ID=\"1\" S=\"" + QByteArray(3 << 20, '>') + "\"/>"));

    // A piece of a file ends where a byte array's would.
    TempDataDir dir;
    const QString name = dir.file(QStringLiteral("rows.xml"));
    ASSERT_TRUE(WriteStringToFile(good, name));
    TMemTable fromFile, fromBytes;
    LoadDataPacketFile(fromFile, name);
    LoadDataPacketThroughParser(fromBytes, good);
    EXPECT_EQ(SaveDataPacket(fromFile), SaveDataPacket(fromBytes));
    EXPECT_EQ(fromFile.physicalCount(), fromBytes.physicalCount());
}
