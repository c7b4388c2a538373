#pragma once
#include <QByteArray>
#include <QDialog>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>

#include "dbgridex.h"

class QAction;
class QActionGroup;
class QMenu;
class QPushButton;
class QToolButton;
class TCfgHandler;
class TFileCfgHandler;
class TMemTable;
#include "tablemodel.h"

// The record navigator above a list: first, prior, next, last, insert, delete,
// edit, post, cancel and refresh over the table of a data source.
class TDBNavigator : public QWidget {
public:
    enum Button { nbFirst, nbPrior, nbNext, nbLast, nbInsert, nbDelete, nbEdit, nbPost, nbCancel, nbRefresh };
    static constexpr int kButtonCount = 10;

    explicit TDBNavigator(QWidget *parent = nullptr);
    void SetDataSource(TTableModel *dataSource);
    TTableModel *DataSource() const { return m_dataSource; }
    TMemTable *Table() const;

    void SetVisibleButtons(std::initializer_list<Button> buttons);
    bool IsButtonShown(Button button) const;
    QToolButton *ButtonOf(Button button) const { return m_buttons[button]; }
    // Fills the hints from ";"-separated lines, one per button.
    void SetHints(const QStringList &hints);
    // Presses a button: BeforeAction may cancel, then the action, then OnClick.
    void BtnClick(Button button);
    // Enables the buttons that make sense at the table's row and state.
    void UpdateButtons();

    std::function<void(Button, bool &cancel)> BeforeAction;
    std::function<void(Button)> OnClick;

private:
    void doAction(Button button);
    QPointer<TTableModel> m_dataSource;
    QList<QMetaObject::Connection> m_connections;
    QToolButton *m_buttons[kButtonCount];
};

// What the frame needs from the output dialog, which lives in another room and
// is made by an installed factory.
class IFrameOutput {
public:
    virtual ~IFrameOutput() = default;
    virtual void SetFilterText(const QString &text) = 0;
    virtual void ShowDefinition() = 0;
};
// Made on the frame's first output request from what the output room needs: the
// dataset, the columns the grid shows (in grid order) and where templates live.
using FrameOutputFactory = std::function<std::unique_ptr<IFrameOutput>(
    TMemTable &dataset, const TColumns &visibleColumns, TCfgHandler *cfg, QMenu *pmo, const QString &configName)>;

// The list frame every table window embeds: navigator, find, filter and output
// buttons above an extended grid, with sorting by any column, saved column
// layouts, search and a record count.
class Tfrg : public QWidget {
    Q_OBJECT
public:
    explicit Tfrg(QWidget *parent = nullptr);
    ~Tfrg() override;

    QWidget *pan;
    TDBNavigator *nv;
    QPushButton *spbfind;
    QPushButton *spbfilter;
    QPushButton *spboutput;
    TDBGridEx *gr;
    QWidget *pancfg;
    QToolButton *spbcfg;
    QMenu *pmcfg;
    QMenu *pmsort;
    QAction *ditvzestupn1;
    QAction *ditsestupn1;
    QAction *Setdit1;
    QAction *N1;
    QAction *Upravitpoadsloupc1;
    QAction *Uloitnastavensloupc1;
    QAction *Naststandartnnastavensloupc1;
    QAction *N3;
    QAction *Zjistitpoetzznam1;
    QMenu *pmo;
    QAction *Definovatvstup1;

    // Binds the frame to a data source; raises Exception when it or its table is missing.
    void InitFrame(TTableModel *dataSource, QDialog *detailForm = nullptr, const QString &configName = QString());
    TTableModel *DataSource() const { return m_dataSource; }
    TMemTable *Table() const;

    // Replaces the detail form when assigned.
    std::function<void(Tfrg *sender)> OnShowDetail;

    QString ConfigName() const { return m_configName; }
    bool SavedSettingsExist() const { return m_savedSettings; }
    int SortColumn() const { return m_sortColumn; }
    bool Descending() const { return m_descending; }
    bool DescendingAllowed() const { return m_descendingAllowed; }
    QString LastSearchText() const { return m_lastSearch; }
    bool PopupAllowed() const { return m_popupAllowed; }
    QPixmap SortGlyph() const;

    bool IsSortableColumn(int column) const;
    QString SortFieldOf(int column) const;
    void BuildSortMenu();
    void SortByColumn(int column, bool descending);
    void DetectSort();
    // Checks and prepares the set-up menu before it opens; false keeps it closed.
    bool PreparePopup();

    void SaveColumnSettings();
    void RestoreStandardColumns();
    void EditColumnOrder();
    void Search();
    void Output();
    // Counts the rows of the current filter and shows the count.
    int CountRecords(bool show = true);
    void ShowDetail();

    // The shared configuration handler of all frames (made by the first frame).
    static TFileCfgHandler *CfgHandler();
    static void FreeCfgHandler();
    static void SetOutputFactory(FrameOutputFactory factory);
    // Whether print and export exist yet: frames show their output button only then.
    static bool HasOutputFactory();
    IFrameOutput *OutputDialog() const { return m_output.get(); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool handleKey(QKeyEvent *event);
    void navigatorBeforeAction(TDBNavigator::Button button, bool &cancel);
    void startDetail(bool inserting);
    void titleClick(int column);
    void placeCfgButton();
    static void showPlainMessage(const QString &text);
    // Loaded columns with the fonts of the designed columns of the same fields.
    static TColumns withDesignedFonts(TColumns loaded, const TColumns &designed);
    static TColumns withNewColumns(TColumns loaded, const TColumns &designed);

    QPointer<TTableModel> m_dataSource;
    QPointer<QDialog> m_detailForm;
    QString m_configName;
    QByteArray m_defaultColumns;
    bool m_savedSettings = false;
    int m_sortColumn = -1;
    bool m_descending = false;
    bool m_descendingAllowed = false;
    QString m_lastSearch;
    bool m_popupAllowed = true;
    QActionGroup *m_sortGroup;
    std::unique_ptr<IFrameOutput> m_output;
};

// label + ": " + from + " - " + to; a date not checked reads "...".
QString DateRangeText(const QString &label, double dateFrom, bool fromChecked, double dateTo, bool toChecked);
