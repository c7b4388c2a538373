#pragma once
// Names for numbers: the program's own phonebook, a small text file in the data folder
// with one entry per number. The call log never stores a name; windows and exports look
// the number up here.
//
// The file is UTF-8, one entry a line, fields separated by a tab:
//     number <TAB> name [<TAB> marks]
// marks are letters: R = record calls of this number, P = private (never record).
// Empty lines and lines starting with "#" are comments. Numbers are compared in their
// normalised form (see TPhonebook::Normalise), so "+420 603-123 456" and "603123456"
// are one entry when the country prefix is 420.
#include <QHash>
#include <QList>
#include <QString>

struct TPhonebookEntry {
    QString Number; // as the user wrote it
    QString Name;
    bool Record = false;  // "record only marked numbers" records this one
    bool Private = false; // never recorded

    bool operator==(const TPhonebookEntry &other) const = default;
};

class TPhonebook {
public:
    // The file in the data folder.
    static QString DefaultFileName();

    // The comparable form of a number: blanks, dashes, dots, slashes and brackets go;
    // a leading international prefix of the user's country ("+420" or "00420" for
    // countryPrefix "420") goes too.
    static QString Normalise(const QString &number, const QString &countryPrefix);

    const QString &CountryPrefix() const { return m_countryPrefix; }
    void SetCountryPrefix(const QString &prefix);

    const QList<TPhonebookEntry> &Entries() const { return m_entries; }
    int Count() const { return int(m_entries.size()); }
    // The entry of a number; none when the phonebook has no such number.
    const TPhonebookEntry *Find(const QString &number) const;
    QString NameOf(const QString &number) const;

    // Adds an entry or replaces the one of the same number; raises Exception for an
    // entry without a number, with a tab or line break in a field, or with a number the
    // file would read back as a comment.
    void Put(const TPhonebookEntry &entry);
    // Puts the entry in the place of the one of oldNumber, which may be written otherwise
    // or be another number; raises Exception when oldNumber has no entry, when the new
    // number belongs to another entry, or as Put does. Nothing changes then.
    void Replace(const QString &oldNumber, const TPhonebookEntry &entry);
    bool Remove(const QString &number);
    void Clear();

    // Merges imported entries: a new number is added; a known one gets the imported name
    // and keeps its marks. Returns how many entries were added or changed.
    int Merge(const QList<TPhonebookEntry> &entries);

    // Reads the file; a missing file is an empty phonebook. Raises Exception naming the
    // line of a damaged file, and the phonebook then stays as it was.
    void Load(const QString &fileName);
    // Replaces the file whole; raises Exception when it cannot be written.
    void Save(const QString &fileName) const;

    // Changes with every change of entries or country prefix: caches of looked-up names
    // compare it to know they are stale.
    quint64 Generation() const { return m_generation; }

    static QByteArray Serialise(const QList<TPhonebookEntry> &entries);
    static QList<TPhonebookEntry> Parse(const QByteArray &bytes);

private:
    // Raises Exception for an entry that cannot be stored.
    void check(const TPhonebookEntry &entry) const;
    void reindex();

    QList<TPhonebookEntry> m_entries;
    QHash<QString, int> m_index; // normalised number -> entry
    QString m_countryPrefix;
    quint64 m_generation = 0;
};
