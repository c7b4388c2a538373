#pragma once
#include "myutils.h"

class QAbstractButton;
class QMessageBox;

// Message boxes on the screen: caption and icon by kind, the accepted button
// sets with texts in the program's language, an optional Help button that
// keeps the box open and asks for help, owner the active window.
class TMessageBoxWidget : public IMessageBoxHandler {
public:
    void showPlainMessage(const QString &text) override;
    int showBox(const QString &text, const QString &caption, int kind, unsigned buttons,
                int helpContext) override;

    // Builds the box without showing it (tests look at what the user would see).
    static QMessageBox *createBox(const QString &text, const QString &caption, int kind, unsigned buttons,
                                  int helpContext);
    // The result code (mrOk ... mrNo) of a button of a box made by createBox.
    static int resultOf(QMessageBox *box, QAbstractButton *clicked);
};

// Puts the widget message box, the override-cursor busy cursor and the file dialogs in place of
// the windowless defaults; the program calls it once its QApplication exists.
void InstallWidgetHandlers();
