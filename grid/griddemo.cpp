// A window with the grid frame over a generated call log, for trying the list
// by hand: sorting, column drag, saved layouts, search, record count and the
// call-type chooser. "--screenshot <file>" saves a picture of the window and ends.
#include "CheckCombo.h"
#include "dbext.h"
#include "dbfrg.h"
#include "formatsettings.h"
#include "lcscommon.h"
#include "memtable.h"
#include "myutils.h"
#include "tablemodel.h"
#include "messageboxwidget.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMainWindow>
#include <QPushButton>
#include <QRandomGenerator>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <QVBoxLayout>

namespace {
const char *const kTypeNames[] = {"Neurčený", "Odchozí", "Příchozí", "Neuskutečněný", "Nepřijatý"};

void fillCallLog(TMemTable &t, int rows)
{
    t.addFieldDef(QStringLiteral("IDAUDIO"), TFieldType::AutoInc);
    t.addFieldDef(QStringLiteral("CALLTYPE"), TFieldType::Integer);
    t.addFieldDef(QStringLiteral("CALLTYPENAME"), TFieldType::String, 20);
    t.addFieldDef(QStringLiteral("CALLLINK"), TFieldType::Integer);
    t.addFieldDef(QStringLiteral("WHENSTART"), TFieldType::DateTime);
    t.addFieldDef(QStringLiteral("WHENEND"), TFieldType::DateTime);
    t.addFieldDef(QStringLiteral("WHENLENGTH"), TFieldType::Integer);
    t.addFieldDef(QStringLiteral("AUDIOSIZEKB"), TFieldType::Integer);
    t.addFieldDef(QStringLiteral("PHONENUMBER"), TFieldType::String, 30);
    t.createDataSet();
    const struct {
        const char *field;
        const char *label;
        int width;
    } labels[] = {{"IDAUDIO", "ID", 5},           {"CALLTYPE", "Typ", 3},          {"CALLTYPENAME", "Typ hovoru", 14},
                  {"CALLLINK", "Linka", 5},       {"WHENSTART", "Začátek", 19},    {"WHENEND", "Konec", 19},
                  {"WHENLENGTH", "Délka", 8},     {"AUDIOSIZEKB", "Velikost kB", 9}, {"PHONENUMBER", "Telefonní číslo", 16}};
    for (const auto &l : labels) {
        TField &f = t.fieldByName(QString::fromLatin1(l.field));
        f.setDisplayLabel(QString::fromUtf8(l.label));
        f.setDisplayWidth(l.width);
    }
    t.fieldByName(QStringLiteral("CALLTYPE")).setVisible(false);
    t.fieldByName(QStringLiteral("WHENLENGTH"))
        .setOnGetText([](const TField &f, int record, bool) { return SecondsToDuration(f.asLargeIntAt(record)); });

    QRandomGenerator random(2006);
    double when = EncodeDate(2006, 6, 1) + EncodeTime(8, 0, 0);
    for (int i = 0; i < rows; ++i) {
        const int type = 1 + int(random.bounded(5));
        const int length = type == 2 || type == 3 ? int(random.bounded(900)) : 0;
        when += (20 + random.bounded(400)) / 1440.0;
        t.insert();
        t.fieldByName(QStringLiteral("CALLTYPE")).setAsInteger(type);
        t.fieldByName(QStringLiteral("CALLTYPENAME")).setAsString(QString::fromUtf8(kTypeNames[type - 1]));
        t.fieldByName(QStringLiteral("CALLLINK")).setAsInteger(1);
        t.fieldByName(QStringLiteral("WHENSTART")).setAsDateTime(when);
        t.fieldByName(QStringLiteral("WHENEND")).setAsDateTime(when + length / 86400.0);
        t.fieldByName(QStringLiteral("WHENLENGTH")).setAsInteger(length);
        t.fieldByName(QStringLiteral("AUDIOSIZEKB")).setAsInteger(length * 2);
        t.fieldByName(QStringLiteral("PHONENUMBER"))
            .setAsString(QStringLiteral("60%1").arg(random.bounded(1000000), 7, 10, QLatin1Char('0')));
        t.post();
    }
    t.setIndexFieldNames(QStringLiteral("WHENSTART"));
    t.first();
}
} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    SetSystemFormats(FormatSettings::fromLocale());
    InitApplicationFiles(QCoreApplication::applicationFilePath(), QCoreApplication::arguments());
    // Column layouts of the demo go to a folder of its own, never beside the program.
    QTemporaryDir dataDir;
    SetDataDirectory(dataDir.path());
    InstallWidgetHandlers();

    TMemTable table;
    fillCallLog(table, 60);
    TTableModel model(&table);
    model.setObjectName(QStringLiteral("ds_audio"));

    QMainWindow window;
    window.setWindowTitle(ApplicationTitle() + QStringLiteral(" - seznam hovorů"));
    auto *central = new QWidget(&window);
    auto *layout = new QVBoxLayout(central);
    auto *filterRow = new QHBoxLayout;
    filterRow->addWidget(new QLabel(QStringLiteral("Typ hovoru:"), central));
    auto *types = new TCheckedComboBox(central);
    types->setMinimumWidth(260);
    for (int i = 0; i < 5; ++i)
        types->AddItem(QString::fromUtf8(kTypeNames[i]), i + 1);
    types->CheckAll();
    filterRow->addWidget(types);
    filterRow->addStretch(1);
    layout->addLayout(filterRow);

    auto *frame = new Tfrg(central);
    frame->setObjectName(QStringLiteral("frg_audio"));
    frame->nv->SetVisibleButtons({TDBNavigator::nbFirst, TDBNavigator::nbPrior, TDBNavigator::nbNext,
                                  TDBNavigator::nbLast, TDBNavigator::nbDelete});
    frame->spbfilter->show();
    layout->addWidget(frame, 1);
    window.setCentralWidget(central);

    auto applyFilter = [&] {
        QString expression;
        AndFilter(types->FilterText(QStringLiteral("CALLTYPE"), false), expression);
        table.setFilter(expression);
        table.setFiltered(!expression.isEmpty());
        frame->spbfilter->setToolTip(QStringLiteral("Typ hovoru: ") + types->DisplayText());
    };
    types->OnChange = applyFilter;
    QObject::connect(frame->spbfilter, &QPushButton::clicked, types, [types] { types->DropDownClick(); });
    frame->InitFrame(&model);
    applyFilter();

    window.resize(900, 520);
    window.show();

    const QStringList args = QCoreApplication::arguments();
    const int at = args.indexOf(QStringLiteral("--screenshot"));
    if (at >= 0 && at + 1 < args.size()) {
        const QString file = args[at + 1];
        QTimer::singleShot(500, &window, [&, file] {
            // Sort by number descending, as a user would with two clicks.
            frame->SortByColumn(frame->gr->ColumnOfField(QStringLiteral("PHONENUMBER")), true);
            types->SetCheckedIndexText(QStringLiteral("1;2;4"));
            // "--dropdown" also opens the call-type list; the picture is then of the screen.
            const bool dropDown = QCoreApplication::arguments().contains(QStringLiteral("--dropdown"));
            if (dropDown)
                types->DropDownClick();
            QTimer::singleShot(300, &window, [&, file, dropDown] {
                if (dropDown)
                    window.screen()->grabWindow(0).save(file);
                else
                    window.grab().save(file);
                QCoreApplication::quit();
            });
        });
    }
    return app.exec();
}
