#include "phonebook.h"

#include "exception.h"
#include "myutils.h"

#include <QFileInfo>
#include <QStringDecoder>
#include <QStringList>

namespace {

bool fieldIsClean(const QString &text)
{
    return !text.contains(QLatin1Char('\t')) && !text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r'));
}

} // namespace

QString TPhonebook::DefaultFileName() { return JoinPath(DataDirectory(), QStringLiteral("phonebook.txt")); }

QString TPhonebook::Normalise(const QString &number, const QString &countryPrefix)
{
    QString result;
    result.reserve(number.size());
    for (const QChar c : number) {
        if (c.isSpace() || c == QLatin1Char('-') || c == QLatin1Char('.') || c == QLatin1Char('/')
            || c == QLatin1Char('(') || c == QLatin1Char(')'))
            continue;
        result.append(c);
    }
    if (!countryPrefix.isEmpty()) {
        for (const QString &lead : {QStringLiteral("+"), QStringLiteral("00")}) {
            const QString international = lead + countryPrefix;
            if (result.startsWith(international) && result.size() > international.size()) {
                result.remove(0, international.size());
                break;
            }
        }
    }
    return result;
}

void TPhonebook::SetCountryPrefix(const QString &prefix)
{
    QString digits;
    for (const QChar c : prefix) {
        if (c.isDigit())
            digits.append(c);
    }
    if (digits == m_countryPrefix)
        return;
    m_countryPrefix = digits;
    reindex();
    ++m_generation;
}

const TPhonebookEntry *TPhonebook::Find(const QString &number) const
{
    const QString key = Normalise(number, m_countryPrefix);
    if (key.isEmpty())
        return nullptr;
    const auto it = m_index.constFind(key);
    return it == m_index.constEnd() ? nullptr : &m_entries.at(*it);
}

QString TPhonebook::NameOf(const QString &number) const
{
    const TPhonebookEntry *entry = Find(number);
    return entry ? entry->Name : QString();
}

void TPhonebook::check(const TPhonebookEntry &entry) const
{
    if (Normalise(entry.Number, m_countryPrefix).isEmpty())
        throw Exception(QStringLiteral("Záznam telefonního seznamu musí mít číslo"));
    if (!fieldIsClean(entry.Number) || !fieldIsClean(entry.Name))
        throw Exception(QStringLiteral("Číslo ani jméno nesmí obsahovat tabulátor ani konec řádku"));
    // The file takes a line that starts with "#" for a comment: such an entry would be lost.
    if (entry.Number.trimmed().startsWith(QLatin1Char('#')))
        throw Exception(QStringLiteral("Číslo nesmí začínat znakem #"));
}

void TPhonebook::Put(const TPhonebookEntry &entry)
{
    check(entry);
    const QString key = Normalise(entry.Number, m_countryPrefix);
    TPhonebookEntry clean = entry;
    clean.Number = entry.Number.trimmed();
    clean.Name = entry.Name.trimmed();
    ++m_generation;
    const auto it = m_index.constFind(key);
    if (it != m_index.constEnd()) {
        m_entries[*it] = clean;
        return;
    }
    m_index.insert(key, int(m_entries.size()));
    m_entries.append(clean);
}

void TPhonebook::Replace(const QString &oldNumber, const TPhonebookEntry &entry)
{
    const TPhonebookEntry *old = Find(oldNumber);
    if (!old)
        throw Exception(QStringLiteral("Číslo %1 v telefonním seznamu není").arg(oldNumber));
    check(entry);
    const TPhonebookEntry *other = Find(entry.Number);
    if (other && other != old)
        throw Exception(QStringLiteral("Číslo %1 už v telefonním seznamu je (%2)").arg(other->Number, other->Name));
    TPhonebookEntry clean = entry;
    clean.Number = entry.Number.trimmed();
    clean.Name = entry.Name.trimmed();
    m_entries[int(old - m_entries.constData())] = clean;
    reindex();
}

bool TPhonebook::Remove(const QString &number)
{
    const TPhonebookEntry *entry = Find(number);
    if (!entry)
        return false;
    m_entries.removeAt(int(entry - m_entries.constData()));
    reindex();
    ++m_generation;
    return true;
}

void TPhonebook::Clear()
{
    m_entries.clear();
    m_index.clear();
    ++m_generation;
}

int TPhonebook::Merge(const QList<TPhonebookEntry> &entries)
{
    int changed = 0;
    for (const TPhonebookEntry &imported : entries) {
        const TPhonebookEntry *known = Find(imported.Number);
        if (!known) {
            Put(imported);
            ++changed;
        } else if (!imported.Name.isEmpty() && known->Name != imported.Name.trimmed()) {
            TPhonebookEntry updated = *known;
            updated.Name = imported.Name;
            Put(updated);
            ++changed;
        }
    }
    return changed;
}

void TPhonebook::reindex()
{
    m_index.clear();
    for (int i = 0; i < m_entries.size(); ++i)
        m_index.insert(Normalise(m_entries.at(i).Number, m_countryPrefix), i);
}

QByteArray TPhonebook::Serialise(const QList<TPhonebookEntry> &entries)
{
    QString text = QStringLiteral("# Telefonní seznam: číslo<TAB>jméno<TAB>značky (R = nahrávat, P = soukromé)\n");
    for (const TPhonebookEntry &e : entries) {
        QString marks;
        if (e.Record)
            marks += QLatin1Char('R');
        if (e.Private)
            marks += QLatin1Char('P');
        text += e.Number + QLatin1Char('\t') + e.Name;
        if (!marks.isEmpty())
            text += QLatin1Char('\t') + marks;
        text += QLatin1Char('\n');
    }
    return text.toUtf8();
}

QList<TPhonebookEntry> TPhonebook::Parse(const QByteArray &bytes)
{
    QByteArray body = bytes;
    if (body.startsWith("\xEF\xBB\xBF"))
        body.remove(0, 3);
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder(body);
    if (decoder.hasError())
        throw Exception(QStringLiteral("Telefonní seznam není v kódování UTF-8"));
    QList<TPhonebookEntry> entries;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        QString line = lines.at(i);
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (line.trimmed().isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const QStringList fields = line.split(QLatin1Char('\t'));
        auto damaged = [i](const QString &why) {
            return Exception(QStringLiteral("Telefonní seznam je poškozen na řádku %1: %2").arg(i + 1).arg(why));
        };
        if (fields.size() < 2 || fields.size() > 3)
            throw damaged(QStringLiteral("očekáváno číslo, jméno a případně značky oddělené tabulátorem"));
        TPhonebookEntry e;
        e.Number = fields.at(0).trimmed();
        e.Name = fields.at(1).trimmed();
        if (e.Number.isEmpty())
            throw damaged(QStringLiteral("chybí číslo"));
        for (const QChar mark : fields.value(2).trimmed()) {
            if (mark.toUpper() == QLatin1Char('R'))
                e.Record = true;
            else if (mark.toUpper() == QLatin1Char('P'))
                e.Private = true;
            else
                throw damaged(QStringLiteral("neznámá značka \"%1\"").arg(mark));
        }
        entries.append(e);
    }
    return entries;
}

void TPhonebook::Load(const QString &fileName)
{
    const QByteArray bytes = ReadFileToString(fileName);
    const QFileInfo info(fileName);
    if (bytes.isNull() && info.exists() && !(info.isFile() && info.size() == 0))
        throw Exception(QStringLiteral("Telefonní seznam \"%1\" nelze přečíst").arg(fileName));
    TPhonebook loaded;
    loaded.m_countryPrefix = m_countryPrefix;
    if (!bytes.isNull()) {
        for (const TPhonebookEntry &e : Parse(bytes)) {
            if (loaded.Find(e.Number))
                throw Exception(QStringLiteral("Telefonní seznam obsahuje číslo %1 vícekrát").arg(e.Number));
            loaded.Put(e);
        }
    }
    m_entries = loaded.m_entries;
    m_index = loaded.m_index;
    ++m_generation;
}

void TPhonebook::Save(const QString &fileName) const
{
    if (!WriteStringToFile(Serialise(m_entries), fileName))
        throw Exception(QStringLiteral("Telefonní seznam nelze uložit do souboru \"%1\"").arg(fileName));
}
