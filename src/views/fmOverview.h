#pragma once

#include "data/DataSet.h"
#include "model/Overview.h"
#include "ui/HostedView.h"
#include "views/ViewLinks.h"

#include <QPointer>

class DataGrid;
class QComboBox;
class QLabel;
class QPushButton;
class TOverviewPage;

// The rows behind one bar or slice of the overview: a plain list with the grid's commands (copy,
// CSV export); a double click leads to the row where the program shows it.
class TOverviewListFM : public QWidget {
    Q_OBJECT
public:
    TOverviewListFM(const QString &rows, int key, const QVariant &department, const QDate &today,
                    const QString &caption, QWidget *parent = nullptr);

    ViewLinks links;
    // Goes to the current row: a device in the placement tree, an element where the tree shows
    // it, a consumable's forecast in the consumables view.
    void GoRow();

    QString rows; // the chart the rows belong to (OverviewRows;1 @Chart)
    QLabel *laCount;
    DataGrid *grList;
    DataSet *taList; // OverviewRows;1
};

// The overview tab "Сводка": the fleet at a glance in six charts, for the whole organisation or
// one branch of the department tree. A click on a bar opens the rows behind it.
class TOverviewFM : public HostedView {
    Q_OBJECT
public:
    explicit TOverviewFM(QWidget *parent = nullptr);

    ViewLinks links; // the placement tree, the consumables view and the rows' own jumps

    // Reads the departments into the chooser and the charts for the chosen one.
    void Refresh();
    // Opens the rows behind a bar: a department's node in the tree, else a list window.
    void OpenRows(const QString &rows, int key, const QString &caption);
    // Writes the page: PDF for a name ending in ".pdf", else PNG.
    void SaveAs(const QString &path);

    // Asks for the file "Сохранить как…" writes; empty: cancelled. A test sets its own.
    std::function<QString()> askSavePath;

    QComboBox *cbDepartment;
    QPushButton *btRefresh, *btSave;
    QLabel *laHeading;
    TOverviewPage *pnCharts;
    QPointer<TOverviewListFM> lastList; // the list window opened last

private:
    void fillDepartments();
    bool m_filling = false;
};
