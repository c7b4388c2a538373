#pragma once
#include <QString>
#include <QStringList>

#include <cstdint>

// The settings file beside the executable: "key=value" lines in code page 1250
// ended by CR LF. A key is found on the first line whose text before its first
// "=" equals it without regard to letter case. Writing keeps every other line
// where it was and appends new keys at the end; an empty value removes the key.
class TSettingsFile {
public:
    // Reads the file; a missing or unreadable one reads as empty.
    explicit TSettingsFile(const QString &fileName);

    const QString &FileName() const { return m_fileName; }
    const QStringList &Lines() const { return m_lines; }

    // Everything after the "=" of the key's line; empty when the key is absent.
    QString ReadString(const QString &key) const;
    // A decimal integer; anything else (or a value outside the int range) gives the default.
    int ReadInteger(const QString &key, int defaultValue) const;
    // An integer read with the default's 0/1 and true when not 0 ("2" is true, "yes" is false).
    bool ReadBool(const QString &key, bool defaultValue) const;
    // An unsigned 16-bit value; anything outside 0..65535 gives the default.
    uint16_t ReadWord(const QString &key, uint16_t defaultValue) const;

    void WriteString(const QString &key, const QString &value);
    void WriteInteger(const QString &key, int value);
    void WriteBool(const QString &key, bool value);

    // Replaces the file whole through a temporary file and a rename; raises
    // Exception when it cannot be written (the old file then stays as it was).
    void Save() const;

private:
    int findLine(const QString &key) const;

    QString m_fileName;
    QStringList m_lines;
};
