// The inventory from and to a spreadsheet in the program: the import dialog (the first rows as
// they will be read, the headings the person maps onto the known columns, the check with its
// counts and errors, the import with a progress bar that can be cancelled) and the export.
#pragma once

#include "model/InventoryImport.h"

#include <QDialog>
#include <QHash>

class Connection;
class QComboBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTableWidget;

class TImportDG : public QDialog {
    Q_OBJECT
public:
    TImportDG(Connection &cn, const QString &path, QWidget *parent = nullptr);

    // Reads the first rows again and checks the whole file (nothing written); shows the counts and
    // the errors. Returns false when the file holds errors.
    bool check();
    // Imports the file; true when it was written. Cancelling writes nothing.
    bool runImport();
    bool imported() const { return m_imported; }
    QString summary() const { return m_summary; } // what the import wrote

    // Headings the person mapped before, kept in the workstation's settings: folded heading ->
    // column heading.
    static QHash<QString, QString> rememberedHeadings();
    static void rememberHeading(const QString &heading, const QString &column);

private:
    void readPreview();
    ImportOptions options() const;
    void showResult(const ImportResult &r);

    Connection &m_cn;
    QString m_path;
    bool m_imported = false;
    QString m_summary;
    QLabel *lbFormat;
    QTableWidget *grPreview;
    QTableWidget *grHeadings;
    QPlainTextEdit *meResult;
    QPushButton *btCheck, *btImport;
};

// Asks for a file and opens the import dialog; true when something was written.
bool RunInventoryImport(Connection &cn, QWidget *parent);
// Asks for a file name and writes the whole inventory (`branch` empty) or the branch of the tree
// under a node ("D15", "W3", "V7"), named `caption` in the dialog's title.
void RunInventoryExport(Connection &cn, const QString &branch, const QString &caption, QWidget *parent);
