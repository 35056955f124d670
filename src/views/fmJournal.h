#pragma once

#include "data/DataSet.h"
#include "ui/HostedView.h"
#include "views/ViewLinks.h"

class DataGrid;
class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPushButton;

// The journal of the whole database: who changed what and when, newest first, filtered by
// period, person, table and text. Read only; the grid's context menu exports the rows.
class TJournalFM : public HostedView {
    Q_OBJECT
public:
    explicit TJournalFM(QWidget *parent = nullptr);

    ViewLinks links; // "История" of the object an entry is about (unused links do nothing)

    // Reads the entries the filters select.
    void Refresh();

    QDateEdit *edSince, *edUntil;
    QLineEdit *edPerson, *edText;
    QComboBox *cbTable;
    QPushButton *btShow;
    QLabel *laCount;
    DataGrid *grJournal;
    DataSet *taJournal; // JournalList;1
};
