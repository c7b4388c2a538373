#include "clock.h"
#include "codepage1250.h"
#include "formatsettings.h"
#include "support/manualclock.h"

#include <gtest/gtest.h>

TEST(DateTimeValues, DayNumbersFollowTheEpochAndRoundTrip)
{
    EXPECT_DOUBLE_EQ(EncodeDate(1899, 12, 30), 0.0);
    EXPECT_DOUBLE_EQ(EncodeDate(1900, 1, 1), 2.0);
    const double v = EncodeDate(2006, 6, 1) + EncodeTime(14, 3, 7, 250);
    const QDateTime dt = DoubleToDateTime(v);
    EXPECT_EQ(dt.date(), QDate(2006, 6, 1));
    EXPECT_EQ(dt.time(), QTime(14, 3, 7, 250));
    EXPECT_DOUBLE_EQ(DateTimeToDouble(dt), v);
    // A time a hair before midnight does not roll into an invalid time of day.
    EXPECT_TRUE(DoubleToDateTime(EncodeDate(2006, 6, 1) + 0.99999999999).isValid());
}

TEST(DateTimeValues, CzechFormatsWriteAndReadDates)
{
    SetSystemFormats(FormatSettings::czech());
    const double v = EncodeDate(2006, 6, 1) + EncodeTime(8, 3, 7);
    EXPECT_EQ(FormatShortDate(v), QStringLiteral("1.6.2006"));
    EXPECT_EQ(FormatLongTime(v), QStringLiteral("8:03:07"));
    EXPECT_EQ(FormatDateTimeText(EncodeDate(2006, 6, 1)), QStringLiteral("1.6.2006"));
    double parsed = 0;
    ASSERT_TRUE(ParseDateTimeText(QStringLiteral("1.6.2006 8:03:07"), parsed));
    EXPECT_DOUBLE_EQ(parsed, v);
    ASSERT_TRUE(ParseDateTimeText(QStringLiteral("31.12.2006"), parsed));
    EXPECT_DOUBLE_EQ(parsed, EncodeDate(2006, 12, 31));
    EXPECT_FALSE(ParseDateTimeText(QStringLiteral("31.2.2006"), parsed));
    EXPECT_FALSE(ParseDateTimeText(QStringLiteral("12a"), parsed));
}

TEST(Clock, ManualSourceDrivesTicksAndNowAndIsRemovedAfterwards)
{
    {
        ManualClock clock(0xFFFFFFF0u, 40000.0);
        clock.advance(0x20);
        EXPECT_EQ(GetTickCount(), 0x10u); // wraps like the system counter
        EXPECT_NEAR(Now(), 40000.0 + 32.0 / 86400000.0, 1e-12);
    }
    EXPECT_GT(Now(), EncodeDate(2020, 1, 1));
}

TEST(CodePage1250, EveryByteRoundTripsAndCzechLettersMapRight)
{
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(char(b));
    EXPECT_EQ(EncodeCp1250(DecodeCp1250(all)), all);
    const QString czech = QStringLiteral("Příliš žluťoučký kůň úpěl ďábelské ódy");
    const QByteArray bytes = EncodeCp1250(czech);
    EXPECT_EQ(bytes.size(), czech.size());
    EXPECT_EQ(uchar(bytes.at(1)), 0xF8u); // ř
    EXPECT_EQ(DecodeCp1250(bytes), czech);
    EXPECT_EQ(EncodeCp1250(QStringLiteral("日")), QByteArray("?"));
    EXPECT_FALSE(IsCp1250Representable(QStringLiteral("a日")));
}
