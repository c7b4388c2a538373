#pragma once
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <Qt>
#include <vector>

// The column layout of a list: which field each column shows, in which order and
// with which looks. It is stored in the .col files and handed to the output room,
// so it lives here without any window types; the grid converts the looks.

enum class TColumnButtonStyle { cbsAuto, cbsEllipsis, cbsNone };

// A colour as 0xAARRGGBB; an unset colour follows the palette.
struct TColumnColor {
    bool Valid = false;
    quint32 Argb = 0;

    static TColumnColor FromRgb(int r, int g, int b)
    {
        return {true, 0xFF000000u | (quint32(r & 0xFF) << 16) | (quint32(g & 0xFF) << 8) | quint32(b & 0xFF)};
    }
    bool isValid() const { return Valid; }
    bool operator==(const TColumnColor &other) const = default;
};

// A font as the windows layer describes it: family, point size and style flags
// in one comma-separated text. Empty means the grid's own font.
struct TColumnFont {
    QString Description;

    QString Family() const;
    double PointSize() const; // -1 when the description holds none
    // A description the windows layer can read back (empty counts as valid).
    bool IsWellFormed() const;
    bool operator==(const TColumnFont &other) const = default;
};

struct TColumnTitle {
    QString Caption;
    TColumnFont Font;
    TColumnColor FontColor;
    Qt::Alignment Alignment = Qt::AlignLeft;

    bool operator==(const TColumnTitle &other) const = default;
};

struct TColumn {
    QString FieldName;
    TColumnTitle Title;
    int Width = 64;
    bool Visible = true;
    TColumnFont Font;
    TColumnColor FontColor;
    Qt::Alignment Alignment = Qt::AlignLeft;
    QStringList PickList;
    TColumnButtonStyle ButtonStyle = TColumnButtonStyle::cbsAuto;

    bool operator==(const TColumn &other) const = default;
};

using TColumns = std::vector<TColumn>;

// The column set as bytes and back; LoadColumns raises Exception on damaged data.
QByteArray SaveColumns(const TColumns &columns);
TColumns LoadColumns(const QByteArray &bytes);
