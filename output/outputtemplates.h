#pragma once
#include <QString>
#include <QStringList>

class TCfgHandler;

// The marker an entry or a list item carries while its column is summed.
QString SumMarker();
// A menu caption without its "&" accelerators ("&&" stays one "&").
QString StripAccelerators(const QString &caption);

// One template's definition text: "type;title;date;filter;count;orientation;FIELD;FIELD (sčítat)...".
struct TOutputDefinition {
    int Type = 0;
    QString Title;
    bool PrintTimestamp = true;
    bool PrintFilter = true;
    bool PrintRecordCount = true;
    int Orientation = 0;
    QStringList Columns; // field names, each with the sum marker when summed

    // Lenient: what is missing or not a number keeps its default.
    static TOutputDefinition Parse(const QString &text);
    QString Text() const;
};

// The templates of one list, stored as one ".dbo" item of the configuration
// handler: "name=definition" lines in code page 1250, CR LF, sorted by name.
class TOutputTemplates {
public:
    TOutputTemplates(TCfgHandler *cfg, const QString &configName);

    // The stored lines; raises with a clear message when the file is damaged.
    QStringList Lines() const;
    // Writes the lines back; an empty list deletes the file. Raises on failure.
    void WriteLines(const QStringList &lines) const;

    // The line of the template (name compared without letter case and accelerators), -1 when absent.
    static int IndexOf(const QStringList &lines, const QString &name);
    static QString NameOf(const QString &line);
    static QString DefinitionOf(const QString &line);
    // Replaces or adds the line and sorts the list by name without letter case.
    static void Store(QStringList &lines, const QString &name, const QString &definition);

    // The ".dbo" file's path for messages.
    QString FileName() const;

    // The exchange file: exactly one "name=definition" line and CR LF.
    static void WriteExchangeFile(const QString &fileName, const QString &line);
    // Its first line split into name and definition; raises "Neplatný soubor šablony"
    // for an empty name or a file that is not text.
    static void ReadExchangeFile(const QString &fileName, QString &name, QString &definition);

    // The lines of a text in the template file format; raises for damage.
    static QStringList ParseLines(const QByteArray &bytes, const QString &origin);

private:
    TCfgHandler *m_cfg;
    QString m_configName;
};
