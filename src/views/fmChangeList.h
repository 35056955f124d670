#pragma once

#include "data/DataSet.h"
#include "data/Settings.h"
#include "ui/HostedView.h"
#include "views/ViewLinks.h"

#include <QColor>
#include <QDateTime>

class Action;
class ActionList;
class DataGrid;
class QSplitter;
class QToolBar;

// The consumables view: the models whose replacements are tracked and, for the current one, where
// it is used with the last replacement and the forecast of the next.
class TChangeListFM : public HostedView {
    Q_OBJECT
public:
    explicit TChangeListFM(QWidget *parent = nullptr);
    ~TChangeListFM() override;

    // Its ways out into the dialogs and the other tabs; filled by the shell.
    ViewLinks links;

    // Reopens both lists on the model and the use row.
    void RefreshChange(int Model, int Row);

    // The colour of a forecast date with `today` at midnight: red when it has passed, green when it
    // comes within 30 days, else invalid (the grid's own colour). Null keeps the grid's colour.
    static QColor forecastColor(const QVariant &dateNext, const QDateTime &today);

    QToolBar *tbDoc;
    QSplitter *spChange;
    DataGrid *grModel, *grDevice;
    DataSet *taModel, *taDevice;
    ActionList *actions;
    Action *acRefreshDoc, *acGoDevice;

private:
    PropertyStore stChange{QStringLiteral("Change.Form")};
};
