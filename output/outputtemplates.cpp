#include "outputtemplates.h"

#include "cfghandler.h"
#include "codepage1250.h"
#include "exception.h"
#include "lcscommon.h"
#include "myutils.h"

#include <QFile>
#include <algorithm>

namespace {
const QString kCategory = QStringLiteral("dbo");

// Text files hold no control characters besides the line ends and tabs; a file
// with them is something else (a binary, a broken copy) and is not taken.
bool looksLikeText(const QByteArray &bytes)
{
    for (char c : bytes) {
        const auto u = uchar(c);
        if (u < 0x20 && u != '\r' && u != '\n' && u != '\t')
            return false;
    }
    return true;
}

QStringList splitLines(const QString &text)
{
    QString t = text;
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    t.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QStringList lines = t.split(QLatin1Char('\n'));
    while (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

bool flag(const QString &text, bool defaultValue)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    if (text.isEmpty())
        return defaultValue;
    return !ok || value != 0;
}

int number(const QString &text)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    return ok ? value : 0;
}
} // namespace

QString SumMarker() { return QStringLiteral(" (sčítat)"); }

QString StripAccelerators(const QString &caption)
{
    QString result;
    result.reserve(caption.size());
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption[i] == QLatin1Char('&')) {
            if (i + 1 < caption.size() && caption[i + 1] == QLatin1Char('&'))
                result += QLatin1Char('&');
            else
                continue;
            ++i;
            continue;
        }
        result += caption[i];
    }
    return result;
}

TOutputDefinition TOutputDefinition::Parse(const QString &text)
{
    TOutputDefinition d;
    const QStringList parts = text.split(QLatin1Char(';'));
    auto at = [&](int i) { return i < parts.size() ? parts[i] : QString(); };
    d.Type = number(at(0));
    if (parts.size() > 1)
        d.Title = at(1);
    d.PrintTimestamp = flag(at(2), true);
    d.PrintFilter = flag(at(3), true);
    d.PrintRecordCount = flag(at(4), true);
    d.Orientation = number(at(5));
    for (qsizetype i = 6; i < parts.size(); ++i) {
        if (!parts[i].isEmpty())
            d.Columns << parts[i];
    }
    return d;
}

QString TOutputDefinition::Text() const
{
    QString title = Title;
    title.replace(QLatin1Char(';'), QLatin1Char(','));
    title.replace(QLatin1Char('|'), QLatin1Char(','));
    QStringList parts{QString::number(Type), title, QString::number(int(PrintTimestamp)),
                      QString::number(int(PrintFilter)), QString::number(int(PrintRecordCount)),
                      QString::number(Orientation)};
    parts += Columns;
    return parts.join(QLatin1Char(';'));
}

TOutputTemplates::TOutputTemplates(TCfgHandler *cfg, const QString &configName)
    : m_cfg(cfg), m_configName(configName)
{
}

QString TOutputTemplates::FileName() const
{
    if (auto *files = dynamic_cast<TFileCfgHandler *>(m_cfg))
        return files->ItemFileName(kCategory, QString(), m_configName);
    return m_configName + QStringLiteral(".dbo");
}

QStringList TOutputTemplates::ParseLines(const QByteArray &bytes, const QString &origin)
{
    const QString damaged = QStringLiteral("Soubor šablon %1 je poškozen (%2). Šablony zůstaly beze změny.");
    if (!looksLikeText(bytes))
        throw Exception(damaged.arg(origin, QStringLiteral("neobsahuje text")));
    QStringList lines;
    int number = 0;
    for (const QString &line : splitLines(DecodeCp1250(bytes))) {
        ++number;
        if (line.isEmpty())
            continue;
        if (line.indexOf(QLatin1Char('=')) <= 0)
            throw Exception(damaged.arg(origin, QStringLiteral("řádek %1 nemá tvar název=definice").arg(number)));
        lines << line;
    }
    return lines;
}

QStringList TOutputTemplates::Lines() const
{
    QByteArray bytes;
    if (!m_cfg || !m_cfg->ReadCfg(kCategory, QString(), m_configName, bytes))
        return {};
    return ParseLines(bytes, FileName());
}

void TOutputTemplates::WriteLines(const QStringList &lines) const
{
    if (!m_cfg)
        return;
    if (lines.isEmpty()) {
        m_cfg->DeleteCfg(kCategory, QString(), m_configName);
        return;
    }
    QString text;
    for (const QString &line : lines)
        text += line + QStringLiteral("\r\n");
    if (!m_cfg->WriteCfg(kCategory, QString(), m_configName, EncodeCp1250(text)))
        throw Exception(QStringLiteral("Šablony nelze uložit do souboru %1.").arg(FileName()));
}

QString TOutputTemplates::NameOf(const QString &line) { return line.section(QLatin1Char('='), 0, 0); }

QString TOutputTemplates::DefinitionOf(const QString &line)
{
    const qsizetype eq = line.indexOf(QLatin1Char('='));
    return eq < 0 ? QString() : line.mid(eq + 1);
}

int TOutputTemplates::IndexOf(const QStringList &lines, const QString &name)
{
    const QString wanted = StripAccelerators(name);
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (NameOf(lines[i]).compare(wanted, Qt::CaseInsensitive) == 0)
            return int(i);
    }
    return -1;
}

void TOutputTemplates::Store(QStringList &lines, const QString &name, const QString &definition)
{
    const QString line = name + QLatin1Char('=') + definition;
    const int index = IndexOf(lines, name);
    if (index >= 0)
        lines[index] = line;
    else
        lines << line;
    std::stable_sort(lines.begin(), lines.end(), [](const QString &a, const QString &b) {
        return NameOf(a).compare(NameOf(b), Qt::CaseInsensitive) < 0;
    });
}

void TOutputTemplates::WriteExchangeFile(const QString &fileName, const QString &line)
{
    if (!WriteStringToFile(EncodeCp1250(line + QStringLiteral("\r\n")), fileName))
        throw Exception(CommonText(146));
}

void TOutputTemplates::ReadExchangeFile(const QString &fileName, QString &name, QString &definition)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        throw Exception(CommonText(145));
    const QByteArray bytes = file.read(1 << 20);
    if (!looksLikeText(bytes))
        throw Exception(CommonText(145));
    const QStringList lines = splitLines(DecodeCp1250(bytes));
    const QString first = lines.isEmpty() ? QString() : lines.first();
    const qsizetype eq = first.indexOf(QLatin1Char('='));
    name = eq < 0 ? first : first.left(eq);
    definition = eq < 0 ? QString() : first.mid(eq + 1);
    if (name.isEmpty())
        throw Exception(CommonText(145));
}
