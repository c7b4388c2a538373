#include "outputfixture.h"

#include "formatsettings.h"

#include <QFile>
#include <QProcess>

std::unique_ptr<TMemTable> MakeCallTable(int rows)
{
    auto table = std::make_unique<TMemTable>();
    table->addFieldDef(QStringLiteral("CALLTYPE"), TFieldType::Integer);
    table->addFieldDef(QStringLiteral("WHENLENGTH"), TFieldType::Float);
    table->addFieldDef(QStringLiteral("PHONENUMBER"), TFieldType::String, 40);
    table->addFieldDef(QStringLiteral("WHENSTART"), TFieldType::DateTime);
    table->addFieldDef(QStringLiteral("NOTE"), TFieldType::Memo);
    table->createDataSet();
    table->fieldByName(QStringLiteral("CALLTYPE")).setDisplayLabel(QStringLiteral("Typ"));
    table->fieldByName(QStringLiteral("WHENLENGTH")).setDisplayFormat(QStringLiteral("#,##0.0"));
    for (int i = 0; i < rows; ++i)
        AddCall(*table, 2 + i % 2, i + 0.5, QStringLiteral("60%1").arg(i), EncodeDate(2024, 3, 1) + i / 1440.0);
    return table;
}

void AddCall(TMemTable &table, int type, double length, const QString &number, double when, const QString &note)
{
    table.append();
    table.fieldByName(QStringLiteral("CALLTYPE")).setAsInteger(type);
    table.fieldByName(QStringLiteral("WHENLENGTH")).setAsFloat(length);
    table.fieldByName(QStringLiteral("PHONENUMBER")).setAsString(number);
    table.fieldByName(QStringLiteral("WHENSTART")).setAsDateTime(when);
    if (!note.isEmpty())
        table.fieldByName(QStringLiteral("NOTE")).setAsString(note);
    table.post();
}

QByteArray ReadAll(const QString &fileName)
{
    QFile f(fileName);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool RunPeer(const QString &program, const QStringList &arguments, QByteArray &output, int &exitCode, QString &why)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, arguments);
    if (!p.waitForStarted(10000)) {
        why = program + QStringLiteral(" cannot start: ") + p.errorString();
        return false;
    }
    p.closeWriteChannel();
    p.waitForFinished(60000);
    output = p.readAll();
    exitCode = p.exitCode();
    return true;
}
