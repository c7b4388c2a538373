#pragma once
#include <QDialog>
#include <QLabel>
#include <QPixmap>
#include <functional>

// A label that acts as a link: hand cursor, runs its action on a left click.
class TLinkLabel : public QLabel {
public:
    TLinkLabel(const QString &text, QWidget *parent);
    std::function<void()> OnClick;

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
};

// The about box: program title, version, the maker's lines and the data folder in use.
class Tfabout : public QDialog {
public:
    explicit Tfabout(const QString &versionFile = QString(), QWidget *parent = nullptr);

    QLabel *imgicon;
    QLabel *lprogcaption;
    QLabel *lvercaption;
    QLabel *lprog;
    QLabel *lver;
    QLabel *imglogo;
    QLabel *lnotice;
    TLinkLabel *lmail;
    TLinkLabel *lweb;
    // Where this copy keeps its call log, settings and recordings.
    QLabel *ldatafolder;
};

// The maker's lines of the about box.
extern const char kMakerNotice[];
extern const char kMakerMail[];
extern const char kMakerWeb[];
// What a click on a maker's line says when no program takes it.
extern const char kNoMailProgramText[];
extern const char kNoBrowserText[];

// "a.b, release c, build d" from a version text a.b.c.d.
QString AboutVersionText(const QString &version);
// The product picture, drawn in the maker's colour.
QPixmap ProductLogo(int size);
// Shows the about box modally for the file's version (none: the executable).
void ShowAbout(const QString &versionFile = QString());
