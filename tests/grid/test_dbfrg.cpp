#include "dbfrg.h"

#include "cfghandler.h"
#include "dbext.h"
#include "dbfrgcols.h"
#include "exception.h"
#include "formatsettings.h"
#include "frmfind.h"
#include "lcscommon.h"
#include "memtable.h"
#include "myutils.h"
#include "support/scriptedmessagebox.h"
#include "support/tempdatadir.h"
#include "tablemodel.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QToolButton>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

namespace {
struct Call {
    const char *number;
    int type;
    int day;
};
const Call kCalls[] = {{"605555", 2, 3}, {"601111", 3, 1}, {"604444", 2, 5}, {"602222", 3, 2}, {"609999", 5, 4}};

// A small call list: identifier, type, start, number.
void fillCalls(TMemTable &t)
{
    t.addFieldDef(QStringLiteral("IDAUDIO"), TFieldType::AutoInc);
    t.addFieldDef(QStringLiteral("CALLTYPE"), TFieldType::Integer);
    t.addFieldDef(QStringLiteral("WHENSTART"), TFieldType::DateTime);
    t.addFieldDef(QStringLiteral("PHONENUMBER"), TFieldType::String, 20);
    t.addFieldDef(QStringLiteral("NOTE"), TFieldType::Memo);
    t.createDataSet();
    for (const Call &c : kCalls) {
        t.insert();
        t.fieldByName(QStringLiteral("CALLTYPE")).setAsInteger(c.type);
        t.fieldByName(QStringLiteral("WHENSTART")).setAsDateTime(EncodeDate(2006, 6, c.day) + EncodeTime(14, 3, 7));
        t.fieldByName(QStringLiteral("PHONENUMBER")).setAsString(QString::fromLatin1(c.number));
        t.post();
    }
    t.setIndexFieldNames(QStringLiteral("WHENSTART"));
    t.first();
}

// Runs the action on the modal dialog of type D once it is shown.
template <class D>
void whenShown(std::function<void(D *)> action)
{
    QTimer::singleShot(0, [action] {
        auto *dialog = dynamic_cast<D *>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        action(dialog);
    });
}

class FrameTest : public ::testing::Test {
protected:
    FrameTest()
    {
        Tfrg::FreeCfgHandler(); // the next frame makes one on this test's data directory
        fillCalls(table);
        model.setObjectName(QStringLiteral("ds_audio"));
    }
    ~FrameTest() override { Tfrg::FreeCfgHandler(); }

    std::unique_ptr<Tfrg> makeFrame()
    {
        auto frame = std::make_unique<Tfrg>();
        frame->setObjectName(QStringLiteral("frg_audio"));
        frame->resize(700, 300);
        return frame;
    }
    QStringList columnFields(const Tfrg &frame) const
    {
        QStringList names;
        for (const TColumn &c : frame.gr->Columns())
            names << c.FieldName + (c.Visible ? QString() : QStringLiteral("(hidden)"));
        return names;
    }
    QString currentNumber() const { return table.fieldByName(QStringLiteral("PHONENUMBER")).asString(); }
    QWidget *titles(Tfrg &frame) { return frame.gr->horizontalHeader()->viewport(); }
    QPoint titleCenter(Tfrg &frame, int column)
    {
        QHeaderView *h = frame.gr->horizontalHeader();
        return QPoint(h->sectionViewportPosition(column) + h->sectionSize(column) / 2, h->height() / 2);
    }

    TempDataDir data;
    ScriptedMessageBox boxes;
    TMemTable table;
    TTableModel model{&table};
};
} // namespace

TEST_F(FrameTest, InitFrameRefusesMissingDataSourceOrTable)
{
    auto frame = makeFrame();
    try {
        frame->InitFrame(nullptr);
        FAIL() << "no error";
    } catch (const Exception &e) {
        EXPECT_EQ(e.message(), QStringLiteral("frg_audio.init error: unassigned datasource"));
    }
    QObject owner;
    owner.setObjectName(QStringLiteral("dmcd"));
    TTableModel empty(nullptr, &owner);
    empty.setObjectName(QStringLiteral("ds_none"));
    try {
        frame->InitFrame(&empty);
        FAIL() << "no error";
    } catch (const Exception &e) {
        EXPECT_EQ(e.message(), QStringLiteral("frg_audio.init error: unassigned dataset for datasource dmcd.ds_none"));
    }
}

TEST_F(FrameTest, StartsOnTheTablesOrderAndTogglesDirectionOnTheSortedTitle)
{
    auto frame = makeFrame();
    frame->InitFrame(&model);
    frame->show();
    EXPECT_EQ(frame->ConfigName(), QStringLiteral("frg_audio"));
    const int start = frame->gr->ColumnOfField(QStringLiteral("WHENSTART"));
    const int number = frame->gr->ColumnOfField(QStringLiteral("PHONENUMBER"));
    ASSERT_GE(start, 0);
    EXPECT_EQ(frame->SortColumn(), start);
    EXPECT_FALSE(frame->Descending());
    EXPECT_EQ(ColumnQColor(frame->gr->Columns()[size_t(start)].Title.FontColor), QColor(0, 0, 128));
    EXPECT_NE(ColumnQColor(frame->gr->Columns()[size_t(number)].Title.FontColor), QColor(0, 0, 128));
    EXPECT_EQ(currentNumber(), QStringLiteral("601111")) << "DetectSort goes to the first row";
    EXPECT_TRUE(frame->ditsestupn1->isVisible() || frame->DescendingAllowed());
    EXPECT_FALSE(frame->IsSortableColumn(frame->gr->ColumnOfField(QStringLiteral("NOTE"))))
        << "memo columns are not sortable";

    // First click on the sorted title: descending through the named index, newest first.
    QTest::mouseClick(titles(*frame), Qt::LeftButton, {}, titleCenter(*frame, start));
    EXPECT_TRUE(frame->Descending());
    EXPECT_NE(table.findIndex(QStringLiteral("WHENSTART_ixd")), nullptr);
    EXPECT_TRUE(table.findIndex(QStringLiteral("WHENSTART_ixd"))->descending);
    EXPECT_EQ(table.indexName(), QStringLiteral("WHENSTART_ixd"));
    table.first();
    EXPECT_EQ(currentNumber(), QStringLiteral("604444"));
    EXPECT_TRUE(frame->ditsestupn1->isChecked());

    // Second click: ascending again, as a plain field list.
    QTest::mouseClick(titles(*frame), Qt::LeftButton, {}, titleCenter(*frame, start));
    EXPECT_FALSE(frame->Descending());
    EXPECT_EQ(table.indexFieldNames(), QStringLiteral("WHENSTART"));

    // Another title keeps the current direction.
    frame->SortByColumn(start, true);
    QTest::mouseClick(titles(*frame), Qt::LeftButton, {}, titleCenter(*frame, number));
    EXPECT_EQ(frame->SortColumn(), number);
    EXPECT_TRUE(frame->Descending());
    EXPECT_EQ(table.indexName(), QStringLiteral("PHONENUMBER_ixd"));
    EXPECT_EQ(ColumnQColor(frame->gr->Columns()[size_t(number)].FontColor), QColor(0, 0, 128));
    EXPECT_NE(ColumnQColor(frame->gr->Columns()[size_t(start)].Title.FontColor), QColor(0, 0, 128));

    // The sort menu lists the sortable columns and checks the sorted one.
    QStringList checked;
    for (QAction *a : frame->pmsort->actions())
        if (a->isChecked())
            checked << a->text();
    EXPECT_EQ(checked, QStringList{frame->gr->Columns()[size_t(number)].Title.Caption});
    EXPECT_EQ(frame->pmsort->actions().size(), 4);
}

TEST_F(FrameTest, RefusedOrderShowsThePlainMessageAndStillMovesTheMarker)
{
    auto frame = makeFrame();
    frame->InitFrame(&model);
    const int number = frame->gr->ColumnOfField(QStringLiteral("PHONENUMBER"));
    frame->gr->Column(number).PickList = QStringList{QStringLiteral("NOSUCHFIELD")};
    frame->SortByColumn(number, false);
    ASSERT_EQ(boxes.calls().size(), 1);
    EXPECT_TRUE(boxes.calls()[0].plain);
    EXPECT_EQ(boxes.calls()[0].text, QStringLiteral("Error - cannot change index to \"NOSUCHFIELD\"!"));
    EXPECT_EQ(frame->SortColumn(), number);
}

TEST_F(FrameTest, SavedLayoutsComeBackAndStandardColumnsReplaceThem)
{
    QStringList designed;
    {
        auto frame = makeFrame();
        frame->InitFrame(&model);
        designed = columnFields(*frame);
        EXPECT_FALSE(frame->SavedSettingsExist());
        const int number = frame->gr->ColumnOfField(QStringLiteral("PHONENUMBER"));
        frame->gr->MoveColumn(number, 0);
        frame->gr->Column(frame->gr->ColumnOfField(QStringLiteral("CALLTYPE"))).Visible = false;
        frame->gr->Column(0).Width = 155;
        frame->gr->ColumnsChanged();
        frame->SortByColumn(0, true);
        frame->SaveColumnSettings();
        EXPECT_TRUE(frame->SavedSettingsExist());
    }
    const QString file = data.file(QStringLiteral("frg_audio.col"));
    ASSERT_TRUE(QFile::exists(file));
    const QByteArray stored = ReadFileToString(file);
    EXPECT_FALSE(stored.isEmpty());
    EXPECT_EQ(stored, stored.toUpper()) << "upper-case hexadecimal text";
    EXPECT_FALSE(HexDecode(QString::fromLatin1(stored)).isEmpty());

    table.setIndexFieldNames(QStringLiteral("IDAUDIO"));
    auto frame = makeFrame();
    frame->InitFrame(&model);
    EXPECT_TRUE(frame->SavedSettingsExist());
    EXPECT_EQ(columnFields(*frame), (QStringList{"PHONENUMBER", "IDAUDIO", "CALLTYPE(hidden)", "WHENSTART", "NOTE"}));
    EXPECT_EQ(frame->gr->Columns()[0].Width, 155);
    EXPECT_TRUE(frame->gr->isColumnHidden(2));
    // The sort column travelled in the title colour.
    EXPECT_EQ(frame->SortColumn(), 1) << "the table's own order wins over the colour";

    // Standard columns, and Yes deletes the stored settings.
    boxes.answer(mrYes);
    frame->RestoreStandardColumns();
    EXPECT_EQ(columnFields(*frame), designed);
    ASSERT_EQ(boxes.boxes().size(), 1);
    EXPECT_EQ(boxes.boxes()[0].text, CommonText(12));
    EXPECT_EQ(boxes.boxes()[0].kind, int(mkConfirmation));
    EXPECT_FALSE(QFile::exists(file));
    EXPECT_FALSE(frame->SavedSettingsExist());
}

TEST_F(FrameTest, SavedAndStandardLayoutsKeepTheGridsFont)
{
    // Columns designed without fonts of their own show the grid's font.
    auto designedFrame = [this] {
        auto frame = makeFrame();
        QFont small(QStringLiteral("Liberation Sans"));
        small.setPointSize(7);
        frame->setFont(small);
        TColumns columns;
        for (const char *field : {"IDAUDIO", "WHENSTART", "PHONENUMBER"}) {
            TColumn c;
            c.FieldName = QString::fromLatin1(field);
            c.Title.Caption = c.FieldName;
            c.Width = 90;
            columns.push_back(c);
        }
        frame->gr->SetColumns(columns);
        return frame;
    };
    // The point size a cell (or a title) is drawn in: its own font over the grid's.
    auto shownPointSize = [](Tfrg &frame, bool title = false) {
        const QFont own = title ? frame.gr->model()->headerData(1, Qt::Horizontal, Qt::FontRole).value<QFont>()
                                : frame.gr->model()->index(0, 1).data(Qt::FontRole).value<QFont>();
        return own.resolve(frame.gr->font()).pointSize();
    };
    {
        auto frame = designedFrame();
        frame->InitFrame(&model);
        ASSERT_EQ(shownPointSize(*frame), 7);
        frame->SaveColumnSettings();
        // The standard layout comes back through its stored form as well.
        boxes.answer(mrNo);
        frame->RestoreStandardColumns();
        EXPECT_EQ(shownPointSize(*frame), 7);
        EXPECT_EQ(shownPointSize(*frame, true), 7);
    }
    {
        auto frame = designedFrame();
        frame->InitFrame(&model);
        ASSERT_TRUE(frame->SavedSettingsExist());
        EXPECT_EQ(shownPointSize(*frame), 7);
    }

    // A layout stored by an earlier version with the fonts written out as set.
    TColumns spoiled;
    {
        auto frame = designedFrame();
        spoiled = frame->gr->Columns();
    }
    QFont large(QStringLiteral("DejaVu Sans"));
    large.setPointSize(14);
    for (TColumn &c : spoiled) {
        c.Font = ColumnFontOf(large);
        c.Title.Font = ColumnFontOf(large);
    }
    ASSERT_TRUE(WriteStringToFile(HexEncode(SaveColumns(spoiled)).toLatin1(), data.file(QStringLiteral("frg_audio.col"))));
    auto frame = designedFrame();
    frame->InitFrame(&model);
    ASSERT_TRUE(frame->SavedSettingsExist());
    EXPECT_EQ(shownPointSize(*frame), 7);
    for (const TColumn &c : frame->gr->Columns()) {
        EXPECT_TRUE(c.Font.Description.isEmpty()) << c.FieldName.toStdString();
        EXPECT_TRUE(c.Title.Font.Description.isEmpty()) << c.FieldName.toStdString();
    }
}

TEST_F(FrameTest, NavyTitleInSavedSettingsPicksTheSortColumnWhenTheOrderDoesNotMatch)
{
    {
        auto frame = makeFrame();
        frame->InitFrame(&model);
        frame->SortByColumn(frame->gr->ColumnOfField(QStringLiteral("PHONENUMBER")), true);
        frame->SaveColumnSettings();
    }
    table.setIndexName(QString()); // the descending index is not a field list
    auto frame = makeFrame();
    frame->InitFrame(&model);
    EXPECT_EQ(frame->SortColumn(), frame->gr->ColumnOfField(QStringLiteral("PHONENUMBER")));
}

TEST_F(FrameTest, DamagedSettingsLeaveTheDesignedLayout)
{
    QStringList designed;
    {
        auto frame = makeFrame();
        frame->InitFrame(&model);
        designed = columnFields(*frame);
    }
    for (const QByteArray &damage : {QByteArray("NOT HEX AT ALL"), QByteArray("54434F4C0001FFFF"), QByteArray("00")}) {
        ASSERT_TRUE(WriteStringToFile(damage, data.file(QStringLiteral("frg_audio.col"))));
        auto frame = makeFrame();
        frame->InitFrame(&model);
        EXPECT_EQ(columnFields(*frame), designed) << damage.constData();
        EXPECT_TRUE(boxes.calls().isEmpty());
    }
}

TEST_F(FrameTest, DeleteKeyHonoursTheModifierRuleAndAsksFirst)
{
    auto frame = makeFrame();
    frame->InitFrame(&model);
    frame->show();
    frame->gr->setFocus();
    const int before = table.recordCount();

    QTest::keyClick(frame->gr, Qt::Key_Delete, Qt::AltModifier);
    QTest::keyClick(frame->gr, Qt::Key_Delete, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_TRUE(boxes.calls().isEmpty());
    EXPECT_EQ(table.recordCount(), before);

    boxes.answer(mrNo);
    QTest::keyClick(frame->gr, Qt::Key_Delete);
    ASSERT_EQ(boxes.boxes().size(), 1);
    EXPECT_EQ(boxes.boxes()[0].text, QStringLiteral("Opravdu smazat záznam?"));
    EXPECT_EQ(table.recordCount(), before);

    boxes.answer(mrYes);
    const QString doomed = currentNumber();
    QTest::keyClick(frame->gr, Qt::Key_Delete, Qt::ShiftModifier);
    EXPECT_EQ(table.recordCount(), before - 1);
    EXPECT_NE(currentNumber(), doomed);

    // Without the delete button the key does nothing.
    frame->nv->SetVisibleButtons({TDBNavigator::nbFirst, TDBNavigator::nbLast});
    boxes.clear();
    QTest::keyClick(frame->gr, Qt::Key_Delete);
    EXPECT_TRUE(boxes.calls().isEmpty());
}

TEST_F(FrameTest, SearchLandsAtOrAfterTheTextAndWarnsWhenExactMisses)
{
    auto frame = makeFrame();
    frame->InitFrame(&model);
    frame->SortByColumn(frame->gr->ColumnOfField(QStringLiteral("PHONENUMBER")), false);

    whenShown<Tffrmfind>([](Tffrmfind *dialog) {
        EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Hledání"));
        EXPECT_EQ(dialog->Edit1->text(), QStringLiteral("601111")) << "prefilled with the current value";
        dialog->Edit1->setText(QStringLiteral("603"));
        dialog->btnok->click();
    });
    frame->Search();
    EXPECT_EQ(currentNumber(), QStringLiteral("604444"));
    EXPECT_TRUE(boxes.calls().isEmpty()) << "a search that is not exact never reports a miss";
    EXPECT_EQ(frame->LastSearchText(), QStringLiteral("603"));

    table.first();
    whenShown<Tffrmfind>([](Tffrmfind *dialog) {
        EXPECT_EQ(dialog->Edit1->text(), QStringLiteral("603")) << "the last search text comes back";
        EXPECT_FALSE(dialog->Edit1->hasSelectedText());
        dialog->btnaccurate->click();
    });
    frame->Search();
    EXPECT_EQ(currentNumber(), QStringLiteral("604444"));
    ASSERT_EQ(boxes.boxes().size(), 1);
    EXPECT_EQ(boxes.boxes()[0].text, QStringLiteral("Hledaná hodnota nebyla nalezena přesně!"));
    EXPECT_EQ(boxes.boxes()[0].kind, int(mkWarning));

    boxes.clear();
    whenShown<Tffrmfind>([](Tffrmfind *dialog) {
        dialog->Edit1->setText(QStringLiteral("602222"));
        dialog->btnaccurate->click();
    });
    frame->Search();
    EXPECT_EQ(currentNumber(), QStringLiteral("602222"));
    EXPECT_TRUE(boxes.calls().isEmpty());

    // A new sort forgets the last search text.
    frame->SortByColumn(frame->SortColumn(), true);
    EXPECT_TRUE(frame->LastSearchText().isEmpty());
}

TEST_F(FrameTest, RecordCountCountsOnlyTheFilteredRowsAndKeepsTheRow)
{
    auto frame = makeFrame();
    frame->InitFrame(&model);
    table.setFilter(QStringLiteral("CALLTYPE=2"));
    table.setFiltered(true);
    table.last();
    const QString here = currentNumber();
    int scrolls = 0;
    table.afterScroll = [&](TMemTable &) { ++scrolls; };
    EXPECT_EQ(frame->CountRecords(), 2);
    ASSERT_EQ(boxes.boxes().size(), 1);
    EXPECT_EQ(boxes.boxes()[0].text, QStringLiteral("Celkový počet záznamů: 2"));
    EXPECT_EQ(boxes.boxes()[0].kind, int(mkInformation));
    EXPECT_EQ(currentNumber(), here);
    EXPECT_EQ(scrolls, 0) << "the walk does not notify";
    EXPECT_TRUE(bool(table.afterScroll));
    EXPECT_FALSE(table.controlsDisabled());
    EXPECT_EQ(WaitDepth(), 0);
}

TEST_F(FrameTest, RightClickOnATitleKeepsTheMenuClosedOnce)
{
    auto frame = makeFrame();
    frame->InitFrame(&model);
    frame->show();
    QTest::mousePress(titles(*frame), Qt::RightButton, {}, titleCenter(*frame, 1));
    QTest::mouseRelease(titles(*frame), Qt::RightButton, {}, titleCenter(*frame, 1));
    EXPECT_FALSE(frame->PopupAllowed());
    EXPECT_FALSE(frame->PreparePopup());
    EXPECT_TRUE(frame->PreparePopup()) << "the next request opens it";
    EXPECT_TRUE(frame->Setdit1->isVisible());
    EXPECT_TRUE(frame->pmsort->menuAction()->isVisible());

    // With a modifier the title's right click does not block the menu.
    QTest::mousePress(titles(*frame), Qt::RightButton, Qt::ShiftModifier, titleCenter(*frame, 1));
    QTest::mouseRelease(titles(*frame), Qt::RightButton, Qt::ShiftModifier, titleCenter(*frame, 1));
    EXPECT_TRUE(frame->PopupAllowed());
}

TEST_F(FrameTest, ColumnEditorMovesSelectedEntriesOverTheGrid)
{
    auto frame = makeFrame();
    frame->InitFrame(&model);
    TColumns four(4);
    const char *names[] = {"a", "b", "c", "d"};
    for (int i = 0; i < 4; ++i) {
        four[size_t(i)].FieldName = QString::fromLatin1(names[i]);
        four[size_t(i)].Title.Caption = QString::fromLatin1(names[i]);
    }
    TColumn hidden;
    hidden.FieldName = QStringLiteral("h");
    hidden.Visible = false;
    four.insert(four.begin() + 2, hidden); // a, b, h, c, d
    frame->gr->SetColumns(four);

    auto entries = [](Tfdbfrgcols &editor) {
        QStringList texts;
        for (int i = 0; i < editor.lb->count(); ++i)
            texts << editor.lb->item(i)->text();
        return texts;
    };
    Tfdbfrgcols editor;
    editor.Fill(frame->gr);
    EXPECT_EQ(entries(editor), (QStringList{"a", "b", "c", "d"}));
    EXPECT_FALSE(editor.btndefault->isVisibleTo(&editor));
    EXPECT_FALSE(editor.spbup->isEnabled());
    EXPECT_FALSE(editor.spbdn->isEnabled());

    editor.lb->item(1)->setSelected(true);
    editor.lb->item(3)->setSelected(true);
    EXPECT_TRUE(editor.spbup->isEnabled());
    EXPECT_FALSE(editor.spbdn->isEnabled()) << "the last entry is selected";
    editor.spbup->click();
    EXPECT_EQ(entries(editor), (QStringList{"b", "a", "d", "c"}));
    EXPECT_EQ(columnFields(*frame), (QStringList{"b", "a", "h(hidden)", "d", "c"}));
    EXPECT_FALSE(editor.spbup->isEnabled()) << "b reached the top";

    frame->gr->SetColumns(four);
    editor.Fill(frame->gr);
    editor.lb->item(2)->setSelected(true);
    editor.lb->item(3)->setSelected(true);
    editor.spbtop->click();
    EXPECT_EQ(entries(editor), (QStringList{"c", "d", "a", "b"}));
    EXPECT_EQ(columnFields(*frame), (QStringList{"c", "d", "a", "b", "h(hidden)"}));
    EXPECT_TRUE(editor.lb->item(0)->isSelected() && editor.lb->item(1)->isSelected());

    editor.spbbottom->click();
    EXPECT_EQ(entries(editor), (QStringList{"a", "b", "c", "d"}));

    // The standard-settings button runs the action and lists the grid again.
    int restored = 0;
    editor.Fill(frame->gr, [&] {
        ++restored;
        frame->gr->SetColumns(TColumns(four.begin(), four.begin() + 2));
    });
    EXPECT_TRUE(editor.btndefault->isVisibleTo(&editor));
    editor.btndefault->click();
    EXPECT_EQ(restored, 1);
    EXPECT_EQ(entries(editor), (QStringList{"a", "b"}));
}

TEST(ColumnEditor, ButtonsFitTheirCaptionsInAGrownFont)
{
    // A font larger than the designed one must not squeeze "Načíst standardní nastavení".
    const QFont saved = QApplication::font();
    for (int points : {8, 12}) {
        QFont font = saved;
        font.setPointSize(points);
        QApplication::setFont(font);
        Tfdbfrgcols editor;
        for (QPushButton *button : {editor.btndefault, editor.btnclose})
            EXPECT_GE(button->width(), button->sizeHint().width()) << points << " pt";
        EXPECT_LT(editor.btndefault->geometry().right(), editor.btnclose->geometry().left());
        EXPECT_LE(editor.btnclose->geometry().right(), editor.width());
    }
    QApplication::setFont(saved);
}

TEST_F(FrameTest, FindDialogChecksTheTextAgainstTheFieldType)
{
    TField &integer = table.fieldByName(QStringLiteral("CALLTYPE"));
    TField &when = table.fieldByName(QStringLiteral("WHENSTART"));
    try {
        Tffrmfind::CheckText(&integer, QStringLiteral("12a"));
        FAIL() << "12a accepted";
    } catch (const Exception &e) {
        EXPECT_EQ(e.message(), QStringLiteral("12a není platná celočíselná hodnota"));
    }
    EXPECT_NO_THROW(Tffrmfind::CheckText(&integer, QStringLiteral("12")));
    EXPECT_NO_THROW(Tffrmfind::CheckText(&when, QStringLiteral("1.6.2006 14:03")));
    EXPECT_THROW(Tffrmfind::CheckText(&when, QStringLiteral("1.6.2006 25:00")), Exception);

    TMemTable other;
    other.addFieldDef(QStringLiteral("D"), TFieldType::Date);
    other.addFieldDef(QStringLiteral("T"), TFieldType::Time);
    other.addFieldDef(QStringLiteral("F"), TFieldType::Float);
    other.createDataSet();
    try {
        Tffrmfind::CheckText(&other.fieldByName(QStringLiteral("D")), QStringLiteral("31.2.2006"));
        FAIL() << "31.2.2006 accepted";
    } catch (const Exception &e) {
        EXPECT_EQ(e.message(), QStringLiteral("'31.2.2006' není platné datum"));
    }
    EXPECT_NO_THROW(Tffrmfind::CheckText(&other.fieldByName(QStringLiteral("D")), QStringLiteral("28.2.2006")));
    EXPECT_THROW(Tffrmfind::CheckText(&other.fieldByName(QStringLiteral("T")), QStringLiteral("14:61")), Exception);
    EXPECT_NO_THROW(Tffrmfind::CheckText(&other.fieldByName(QStringLiteral("T")), QStringLiteral("14:03:07")));
    EXPECT_NO_THROW(Tffrmfind::CheckText(&other.fieldByName(QStringLiteral("F")), QStringLiteral("12,5")));
    EXPECT_THROW(Tffrmfind::CheckText(&other.fieldByName(QStringLiteral("F")), QStringLiteral("12.5")), Exception);

    // In the dialog a refused text shows the error and the dialog stays open.
    Tffrmfind dialog;
    dialog.Field = &integer;
    dialog.show();
    dialog.Edit1->setText(QStringLiteral("12a"));
    dialog.btnok->click();
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), 0);
    ASSERT_EQ(boxes.boxes().size(), 1);
    EXPECT_EQ(boxes.boxes()[0].kind, int(mkError));
    dialog.Edit1->setText(QStringLiteral("12"));
    dialog.btnaccurate->click();
    EXPECT_EQ(dialog.result(), int(QDialog::Accepted));
    EXPECT_TRUE(dialog.Accurate);
}

TEST_F(FrameTest, KeysReachTheirButtons)
{
    auto frame = makeFrame();
    frame->InitFrame(&model);
    frame->show();
    int filters = 0;
    QObject::connect(frame->spbfilter, &QPushButton::clicked, [&] { ++filters; });
    QTest::keyClick(frame->gr, Qt::Key_F4);
    EXPECT_EQ(filters, 0) << "the filter button is hidden by default";
    frame->spbfilter->show();
    QTest::keyClick(frame->gr, Qt::Key_F4, Qt::ShiftModifier);
    EXPECT_EQ(filters, 0);
    QTest::keyClick(frame->gr, Qt::Key_F4);
    EXPECT_EQ(filters, 1);

    whenShown<Tffrmfind>([](Tffrmfind *dialog) { dialog->btncancel->click(); });
    QTest::keyClick(frame->gr, Qt::Key_F3);
    EXPECT_TRUE(frame->LastSearchText().isEmpty());

    // Ctrl+Enter and a double click open the detail through OnShowDetail.
    int details = 0;
    frame->OnShowDetail = [&](Tfrg *) { ++details; };
    QTest::keyClick(frame->gr, Qt::Key_Return, Qt::ControlModifier);
    QCoreApplication::processEvents();
    EXPECT_EQ(details, 1);
    EXPECT_EQ(table.state(), TTableState::Edit);
    table.cancel();
}

TEST(FieldHelpers, DisplayFormatsByType)
{
    TMemTable t;
    t.addFieldDef(QStringLiteral("I"), TFieldType::Integer);
    t.addFieldDef(QStringLiteral("S"), TFieldType::SmallInt);
    t.addFieldDef(QStringLiteral("F"), TFieldType::Float);
    t.addFieldDef(QStringLiteral("DT"), TFieldType::DateTime);
    t.addFieldDef(QStringLiteral("M"), TFieldType::Memo);
    t.createDataSet();
    t.insert();
    t.fieldByName(QStringLiteral("I")).setAsInteger(12345);
    t.fieldByName(QStringLiteral("S")).setAsInteger(12345);
    t.fieldByName(QStringLiteral("F")).setAsFloat(1234.5);
    t.fieldByName(QStringLiteral("DT")).setAsDateTime(EncodeDate(2006, 6, 1) + EncodeTime(14, 3, 7));
    t.fieldByName(QStringLiteral("M")).setAsString(QStringLiteral("first line\r\nsecond line ") + QString(120, 'x'));
    t.post();
    for (int i = 0; i < t.fieldCount(); ++i)
        SetFieldDisplayFormat(t.field(i));
    const QString nbsp(QChar(0x00A0));
    EXPECT_EQ(t.fieldByName(QStringLiteral("I")).displayText(), QStringLiteral("12") + nbsp + QStringLiteral("345"));
    EXPECT_EQ(t.fieldByName(QStringLiteral("I")).text(), QStringLiteral("12345"));
    EXPECT_EQ(t.fieldByName(QStringLiteral("S")).displayText(), QStringLiteral("12345")) << "16-bit keeps its own";
    EXPECT_EQ(t.fieldByName(QStringLiteral("F")).displayText(), QStringLiteral("1") + nbsp + QStringLiteral("234,50"));
    EXPECT_EQ(t.fieldByName(QStringLiteral("DT")).displayText(), QStringLiteral("01.06.2006 14:03:07"));
    const QString memo = t.fieldByName(QStringLiteral("M")).displayText();
    EXPECT_EQ(memo.size(), 100);
    EXPECT_TRUE(memo.startsWith(QStringLiteral("first line second line x")));
    EXPECT_TRUE(t.fieldByName(QStringLiteral("M")).text().contains(QStringLiteral("\r\n")));

    FormatSettings english = FormatSettings::czech();
    english.thousandSeparator = QLatin1Char(',');
    SetSystemFormats(english);
    EXPECT_EQ(t.fieldByName(QStringLiteral("I")).displayText(), QStringLiteral("12,345"));
    SetSystemFormats(FormatSettings::czech());
}

TEST(FieldHelpers, AndFilterJoinsConditions)
{
    QString expression;
    AndFilter(QStringLiteral("A"), expression);
    EXPECT_EQ(expression, QStringLiteral("(A)"));
    AndFilter(QStringLiteral("B"), expression);
    EXPECT_EQ(expression, QStringLiteral("(A) AND (B)"));
    AndFilter(QString(), expression);
    EXPECT_EQ(expression, QStringLiteral("(A) AND (B)"));
}

TEST(FieldHelpers, DataMessagesTakeTheCommonTexts)
{
    ReplaceDataMessages();
    EXPECT_EQ(ResourceString(rsInvalidDate), QStringLiteral("'%s' není platné datum"));
    EXPECT_EQ(ResourceString(rsInvalidFloatForField), CommonText(20));
    EXPECT_EQ(ResourceString(rsDeleteRecordQuestion), QStringLiteral("Opravdu smazat záznam?"));
}

TEST(FrameHelpers, DateRangeText)
{
    const double from = EncodeDate(2006, 6, 1);
    const double to = EncodeDate(2006, 6, 30);
    EXPECT_EQ(DateRangeText(QStringLiteral("Datum"), from, true, to, true), QStringLiteral("Datum: 1.6.2006 - 30.6.2006"));
    EXPECT_EQ(DateRangeText(QStringLiteral("Datum"), from, false, to, true), QStringLiteral("Datum: ... - 30.6.2006"));
    EXPECT_EQ(DateRangeText(QStringLiteral("Datum"), from, true, to, false), QStringLiteral("Datum: 1.6.2006 - ..."));
}

TEST_F(FrameTest, NewRowsKeepTheColumnLayoutAndTheSortMarker)
{
    auto frame = makeFrame();
    frame->InitFrame(&model);
    frame->show();
    const int number = frame->gr->ColumnOfField(QStringLiteral("PHONENUMBER"));
    frame->gr->Column(number).Width = 155;
    frame->gr->ColumnsChanged();
    frame->SortByColumn(number, false);
    table.insert();
    table.fieldByName(QStringLiteral("PHONENUMBER")).setAsString(QStringLiteral("600000"));
    table.post();
    EXPECT_EQ(frame->gr->horizontalHeader()->sectionSize(number), 155);
    EXPECT_EQ(frame->gr->model()->rowCount(), 6);
    EXPECT_EQ(frame->gr->CurrentRow(), table.recNo() - 1) << "the grid follows the table's cursor";
    EXPECT_EQ(ColumnQColor(frame->gr->Columns()[size_t(number)].Title.FontColor), QColor(0, 0, 128));
}

namespace {
class FakeOutput : public IFrameOutput {
public:
    explicit FakeOutput(QStringList &log) : m_log(log) { m_log << QStringLiteral("created"); }
    ~FakeOutput() override { m_log << QStringLiteral("freed"); }
    void SetFilterText(const QString &text) override { m_log << QStringLiteral("filter:") + text; }
    void ShowDefinition() override { m_log << QStringLiteral("definition"); }

private:
    QStringList &m_log;
};
} // namespace

TEST_F(FrameTest, OutputButtonMakesTheDialogOnceAndRestoringColumnsFreesIt)
{
    QStringList log;
    decltype(makeFrame()) frame;
    Tfrg::SetOutputFactory([&](TMemTable &dataset, const TColumns &visible, TCfgHandler *cfg, QMenu *pmo,
                               const QString &name) {
        EXPECT_EQ(&dataset, frame->Table());
        int shown = 0;
        for (const TColumn &c : frame->gr->Columns())
            shown += c.Visible ? 1 : 0;
        EXPECT_EQ(int(visible.size()), shown) << "only the columns the grid shows";
        for (const TColumn &c : visible)
            EXPECT_TRUE(c.Visible);
        EXPECT_NE(cfg, nullptr);
        EXPECT_NE(pmo, nullptr);
        EXPECT_EQ(name, QStringLiteral("frg_audio"));
        return std::make_unique<FakeOutput>(log);
    });
    frame = makeFrame();
    frame->InitFrame(&model);
    frame->gr->Column(1).Visible = false;
    frame->show();
    frame->spbfilter->setToolTip(QStringLiteral("Typ: Odchozí"));
    frame->spboutput->show();
    QTest::keyClick(frame->gr, Qt::Key_F8, Qt::ShiftModifier);
    EXPECT_TRUE(log.isEmpty()) << "F8 with a modifier does nothing";
    QTest::keyClick(frame->gr, Qt::Key_F8);
    EXPECT_EQ(log, (QStringList{"created", "filter:Typ: Odchozí", "definition"}));
    // With saved templates in the menu the menu pops up instead.
    frame->pmo->addAction(QStringLiteral("Šablona 1"));
    frame->spboutput->click();
    EXPECT_EQ(log.size(), 4);
    EXPECT_TRUE(frame->pmo->isVisible());
    frame->pmo->hide();
    frame->RestoreStandardColumns();
    EXPECT_EQ(log.last(), QStringLiteral("freed"));
    EXPECT_EQ(frame->OutputDialog(), nullptr);
    Tfrg::SetOutputFactory(nullptr);
}

TEST_F(FrameTest, AFrameWithoutInitOutputsTheTableItsGridShows)
{
    QStringList log;
    TMemTable *handed = nullptr;
    QString name;
    Tfrg::SetOutputFactory([&](TMemTable &dataset, const TColumns &, TCfgHandler *, QMenu *, const QString &config) {
        handed = &dataset;
        name = config;
        return std::make_unique<FakeOutput>(log);
    });
    auto frame = makeFrame();
    frame->setObjectName(QStringLiteral("frg_stat"));
    frame->gr->SetDataModel(&model);
    frame->Output();
    EXPECT_EQ(handed, &table);
    EXPECT_EQ(name, QStringLiteral("frg_stat")) << "templates are kept under the frame's own name";
    EXPECT_EQ(log.last(), QStringLiteral("definition"));
    Tfrg::SetOutputFactory(nullptr);
}

TEST_F(FrameTest, NavigatorButtonsFollowTheRow)
{
    auto frame = makeFrame();
    frame->InitFrame(&model);
    TDBNavigator *nv = frame->nv;
    table.first();
    EXPECT_FALSE(nv->ButtonOf(TDBNavigator::nbPrior)->isEnabled());
    EXPECT_TRUE(nv->ButtonOf(TDBNavigator::nbNext)->isEnabled());
    nv->ButtonOf(TDBNavigator::nbLast)->click();
    EXPECT_EQ(table.recNo(), table.recordCount());
    EXPECT_TRUE(nv->ButtonOf(TDBNavigator::nbFirst)->isEnabled());
    EXPECT_FALSE(nv->ButtonOf(TDBNavigator::nbNext)->isEnabled());
    nv->ButtonOf(TDBNavigator::nbPrior)->click();
    EXPECT_EQ(table.recNo(), table.recordCount() - 1);
    EXPECT_TRUE(nv->ButtonOf(TDBNavigator::nbNext)->isEnabled());
    EXPECT_EQ(nv->ButtonOf(TDBNavigator::nbFirst)->toolTip(), QStringLiteral("Home-Na začátek"));

    // Deleting every row leaves nothing to delete or walk.
    table.setFilter(QStringLiteral("CALLTYPE=99"));
    table.setFiltered(true);
    EXPECT_FALSE(nv->ButtonOf(TDBNavigator::nbDelete)->isEnabled());
    EXPECT_FALSE(nv->ButtonOf(TDBNavigator::nbLast)->isEnabled());
}

TEST_F(FrameTest, FailedSaveOfTheLayoutIsReportedNotClaimed)
{
    auto frame = makeFrame();
    frame->InitFrame(&model);
    // A folder where the item file belongs: the write cannot succeed.
    ASSERT_TRUE(QDir(data.path()).mkdir(QStringLiteral("frg_audio.col")));
    frame->SaveColumnSettings();
    EXPECT_FALSE(frame->SavedSettingsExist());
    ASSERT_EQ(boxes.boxes().size(), 1);
    EXPECT_EQ(boxes.boxes()[0].kind, int(mkError));
}

TEST_F(FrameTest, InsertWithADetailFormOpensItAfterTheClick)
{
    QDialog detail;
    int shown = 0;
    QObject::connect(&detail, &QDialog::finished, [&] { ++shown; });
    auto frame = makeFrame();
    frame->InitFrame(&model, &detail);
    frame->show();
    QTimer::singleShot(0, [&] { QTimer::singleShot(0, &detail, &QDialog::reject); });
    QTest::keyClick(frame->gr, Qt::Key_Insert);
    EXPECT_EQ(table.state(), TTableState::Insert) << "the row is started before the detail opens";
    EXPECT_EQ(shown, 0) << "the detail waits for the posted message";
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(shown, 1);
    table.cancel();
}

// Settings saved before a column was designed: the layout comes back, and the new column
// joins it at the end as designed (a column the user hid stays hidden).
TEST_F(FrameTest, ANewlyDesignedColumnJoinsASavedLayout)
{
    auto column = [](const char *field, bool visible = true) {
        TColumn c;
        c.FieldName = QLatin1String(field);
        c.Title.Caption = QLatin1String(field);
        c.Visible = visible;
        return c;
    };
    {
        auto frame = makeFrame();
        frame->gr->SetColumns({column("IDAUDIO"), column("CALLTYPE"), column("PHONENUMBER")});
        frame->InitFrame(&model);
        frame->gr->MoveColumn(2, 0);
        frame->gr->Column(frame->gr->ColumnOfField(QStringLiteral("CALLTYPE"))).Visible = false;
        frame->gr->ColumnsChanged();
        frame->SaveColumnSettings();
    }
    auto frame = makeFrame();
    frame->gr->SetColumns({column("IDAUDIO"), column("CALLTYPE"), column("PHONENUMBER"), column("NOTE")});
    frame->InitFrame(&model);
    EXPECT_EQ(columnFields(*frame), (QStringList{"PHONENUMBER", "IDAUDIO", "CALLTYPE(hidden)", "NOTE"}));
    EXPECT_EQ(frame->gr->Columns().back().Title.Caption, QStringLiteral("NOTE"));
}
