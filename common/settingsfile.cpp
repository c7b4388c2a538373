#include "settingsfile.h"

#include "codepage1250.h"
#include "exception.h"
#include "myutils.h"

#include <QFile>
#include <QRegularExpression>

#include <limits>

namespace {
bool parseDecimal(const QString &text, long long &value)
{
    bool ok = false;
    value = text.trimmed().toLongLong(&ok, 10);
    return ok;
}

// A line break inside a value would split it into lines of its own.
QString singleLine(const QString &text)
{
    QString result = text;
    result.replace(QLatin1Char('\r'), QLatin1Char(' '));
    result.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return result;
}
} // namespace

TSettingsFile::TSettingsFile(const QString &fileName) : m_fileName(fileName)
{
    QFile f(fileName);
    if (!f.open(QIODevice::ReadOnly))
        return;
    const QByteArray bytes = f.readAll();
    if (f.error() != QFileDevice::NoError)
        return;
    // CR LF is the file's own line end; a lone LF or CR from a hand edit ends a line too.
    m_lines = DecodeCp1250(bytes).split(QRegularExpression(QStringLiteral("\r\n|\r|\n")));
    if (!m_lines.isEmpty() && m_lines.last().isEmpty())
        m_lines.removeLast();
}

int TSettingsFile::findLine(const QString &key) const
{
    for (int i = 0; i < m_lines.size(); ++i) {
        const int eq = m_lines.at(i).indexOf(QLatin1Char('='));
        if (eq >= 0 && QStringView(m_lines.at(i)).left(eq).compare(key, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

QString TSettingsFile::ReadString(const QString &key) const
{
    const int i = findLine(key);
    if (i < 0)
        return QString();
    const QString &line = m_lines.at(i);
    return line.mid(line.indexOf(QLatin1Char('=')) + 1);
}

int TSettingsFile::ReadInteger(const QString &key, int defaultValue) const
{
    long long value = 0;
    if (!parseDecimal(ReadString(key), value) || value < std::numeric_limits<int>::min()
        || value > std::numeric_limits<int>::max())
        return defaultValue;
    return int(value);
}

bool TSettingsFile::ReadBool(const QString &key, bool defaultValue) const
{
    return ReadInteger(key, defaultValue ? 1 : 0) != 0;
}

uint16_t TSettingsFile::ReadWord(const QString &key, uint16_t defaultValue) const
{
    long long value = 0;
    if (!parseDecimal(ReadString(key), value) || value < 0 || value > 0xFFFF)
        return defaultValue;
    return uint16_t(value);
}

void TSettingsFile::WriteString(const QString &key, const QString &value)
{
    const QString clean = singleLine(value);
    if (clean.isEmpty()) {
        // Every line of the key goes, so that a duplicate cannot take its place.
        for (int i = findLine(key); i >= 0; i = findLine(key))
            m_lines.removeAt(i);
        return;
    }
    const QString line = singleLine(key) + QLatin1Char('=') + clean;
    const int i = findLine(key);
    if (i >= 0)
        m_lines[i] = line;
    else
        m_lines.append(line);
}

void TSettingsFile::WriteInteger(const QString &key, int value) { WriteString(key, QString::number(value)); }

void TSettingsFile::WriteBool(const QString &key, bool value)
{
    WriteString(key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

void TSettingsFile::Save() const
{
    QString text;
    for (const QString &line : m_lines)
        text += line + QStringLiteral("\r\n");
    if (!WriteStringToFile(EncodeCp1250(text), m_fileName))
        throw Exception(QStringLiteral("Soubor nastavení \"%1\" nelze uložit.").arg(m_fileName));
}
