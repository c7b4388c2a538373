#pragma once
#include <QDialog>
#include <QPointer>

#include "columnlayout.h"
#include "dboutputs.h"
#include "dbfrg.h"

class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QMenu;
class QPushButton;
class QToolButton;
class TCfgHandler;
class TMemTable;

// The output definition: which columns, which output, which options, and the
// templates that keep such a definition under a name per list.
class Tfdboutput : public QDialog, public IFrameOutput {
public:
    explicit Tfdboutput(QWidget *parent = nullptr);
    // Takes its template items out of the frame's menu: they would run nothing.
    ~Tfdboutput() override;

    // Once, when the frame first asks for output.
    void Setup(TMemTable &dataset, const TColumns &columns, TCfgHandler *cfg, const QString &filterText,
               QMenu *frameMenu, const QString &configName);
    void SetFilterText(const QString &text) override;
    void ShowDefinition() override;
    // Loads the template into the dialog and generates its output at once.
    bool RunTemplate(const QString &name);

    // ---- Components ----
    QGroupBox *GroupBox1; // columns
    QListWidget *chlb;
    QToolButton *spbcheckall, *spbunchall, *spbup, *spbdn;
    QGroupBox *GroupBox2; // column parameters
    QCheckBox *chbsum;
    QGroupBox *GroupBox5; // templates
    QToolButton *spbtempl_choose, *spbtempl_save, *spbtempl_delete;
    QLabel *labtempl;
    QGroupBox *rgtype;
    QButtonGroup *rgtypeButtons;
    QGroupBox *GroupBox4; // output parameters
    QWidget *Pantisk;
    QLabel *labtitle;
    QLineEdit *edtitle;
    QCheckBox *chbtimestamp, *chbfilter, *chbreccount;
    QGroupBox *rgori;
    QButtonGroup *rgoriButtons;
    QCheckBox *chbexpheader;
    QPushButton *Button1, *Button2;
    QMenu *pms;
    QAction *N1, *Exportovatablonu1, *Importovatablonu1;

    // ---- Handlers ----
    bool Button1Click();
    void rgtypeClick();
    void chlbClick();
    void spbcheckallClick(bool check);
    void spbupClick();
    void spbdnClick();
    void chbsumClick();
    void GroupBox5DblClick();
    void spbtempl_chooseClick();
    void spbtempl_saveClick(const QString &proposed = QString(), bool useProposed = false);
    void spbtempl_deleteClick();
    void Exportovatablonu1Click();
    void Importovatablonu1Click();
    void pmsClick(const QString &caption);
    void pmoutClick(const QString &caption);

    int OutputType() const;
    void SetOutputType(int type);
    int Orientation() const;
    void SetOrientation(int item);
    QString CurrentTemplate() const;
    QString FilterText() const { return m_filterText; }
    // The field list the checked items make (what the writers get).
    Tdboutputsfields FieldList() const;
    // The column an item stands for.
    const TColumn &ColumnOf(const QListWidgetItem *item) const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void rebuildMenus();
    bool chooseTemplate(const QString &name);
    void applyDefinition(const QString &definition);
    QString definitionText() const;
    bool isNumericColumn(const TColumn &column) const;
    void moveItem(int from, int to);
    // Runs a handler; an error is shown and ends only that operation.
    void guarded(const std::function<void()> &work);

    QPointer<TMemTable> m_dataset;
    TColumns m_columns;
    TCfgHandler *m_cfg = nullptr;
    QPointer<QMenu> m_frameMenu;
    QString m_configName;
    QString m_filterText;
};

// The factory the grid frames use: the dialog set up on the frame's menu.
FrameOutputFactory OutputDialogFactory();
// Installs the factory and the windows of the export (progress, opening the result).
void InstallOutputDialogs();
