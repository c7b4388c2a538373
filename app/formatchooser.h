#pragma once
// The window in which the user picks a wave format: first a format tag (PCM, A-law,
// GSM 6.10, ...), then one of the formats the codec manager offers for that tag.
// It is what acmFormatChoose shows: InstallFormatChooserWindow() puts it behind the
// codec manager's chooser interface once, at program start (the settings dialog also
// makes sure of it before it offers "Změnit"), so TdeWaveFormat::ChooseFormat and
// Taudiorec::ChooseFormat open this window.
#include <QByteArray>
#include <QDialog>
#include <QList>
#include <QString>

#include "acmapi.h"

class QComboBox;
class QLabel;
class QPushButton;

class TFormatChooserDialog : public QDialog {
public:
    explicit TFormatChooserDialog(QWidget *parent = nullptr);

    QLabel *lb_formattag;
    QComboBox *cb_formattag; // tag names; each item carries its format tag
    QLabel *lb_format;
    QComboBox *cb_format;    // format texts; each item carries its format image
    QPushButton *btnok;
    QPushButton *btncancel;

    // Lists the tags (only onlyTag when it is 0 or more) and selects the tag and the
    // format of initial; a format the list does not hold selects the first one.
    void Init(const WAVEFORMATEX *initial, int onlyTag = -1);
    // Lists the formats of the tag at this position of cb_formattag.
    void SelectTag(int index);

    // The chosen format's image (the WAVEFORMATEX and its extra bytes); empty when none.
    QByteArray SelectedFormat() const;
    QString SelectedTagName() const;
    QString SelectedFormatText() const;

    // Whether two format images describe the same format (PCM ignores cbSize).
    static bool SameFormat(const WAVEFORMATEX &a, const WAVEFORMATEX &b);

private:
    void formatTagChanged(int index);
};

// The codec manager's chooser: shows TFormatChooserDialog modally over the owner (or the
// active window) and hands the choice back in the request.
class TFormatChooser : public IAcmFormatChooser {
public:
    MMRESULT Choose(ACMFORMATCHOOSE &choose) override;
};

// Installs the program's chooser window unless one is installed already.
void InstallFormatChooserWindow();
