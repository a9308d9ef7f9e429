#pragma once
// The copy dialog: one row per day of logger files with the number of files and whether they
// were already copied; the ticked days are copied (or deleted into the trash) by cmdStart.
// The work is done by clsCopyImageFiles; this window only wires the widgets to it.
#include "reading/clsCopyImageFiles.h"

#include <QDialog>

class QLabel;
class QPushButton;
class QTreeWidget;

class frmCopyImageFiles : public QDialog {
    Q_OBJECT
public:
    // Empty destination: the ticked days are deleted instead of copied.
    frmCopyImageFiles(const QString& source, const QString& destination, QWidget* parent = nullptr);

    clsCopyImageFiles& Logic() { return m_logic; }
    QTreeWidget* lvwFiles = nullptr;
    QPushButton* cmdStart = nullptr;
    QPushButton* cmdExit = nullptr;
    QLabel* lblDescr = nullptr;
    QLabel* imgDescr = nullptr;
    QLabel* lblPaths = nullptr;    // from where to where
    QLabel* lblResult = nullptr;   // what the last start did and where, or why the medium is refused

    void cmdStart_Click();
    void cmdExit_Click();
    void FillList();   // shows the rows of the logic

protected:
    void showEvent(QShowEvent* event) override;

private:
    void takeTicks();
    void showResult(const QString& text, bool warning);
    clsCopyImageFiles m_logic;
};

// Installs the dialog as the settings window's copy function.
void InstallCopyImageFilesDialog();
