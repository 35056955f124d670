#pragma once

// What the views of the main window share: the ways out of a view (the catalogue dialogs it opens,
// the jumps into the other tabs, the reports) and the element code column.

#include "ui/DataGrid.h"

#include <QString>
#include <QVariant>
#include <QVector>

#include <functional>

class DataSet;

// The ways out of a view. The shell fills them when it creates the view (see shell/ViewWiring.h);
// a link left empty does nothing, and a dialog left empty answers "not saved" (a test sets its
// own). A view calls the members below, never the callbacks directly.
struct ViewLinks {
    // The catalogue dialogs.
    // TCompleteSetEditDG.Run(CompSet, Device, KindType): true when saved; the saved element's key
    // and model are written back.
    std::function<bool(int compSet, int device, const QString &kindType, int *savedKey, int *savedModel)>
        completeSetEdit;
    std::function<void(int compSet)> elementMoveList;          // TElementMoveListDG.Run
    std::function<void(int id, const QString &kind)> kindList; // TKindListDG.Run(ID, no field, Kind)
    // TModelListDG.Run(Model, no field, Kind): the model current in the dialog's list (-1: none).
    std::function<int(int model, int kind)> modelList;
    std::function<void(int id)> firmList;                     // TFirmListDG.Run(ID, no field)
    std::function<bool(int doc, int *savedKey)> documentEdit; // TDocumentEditDG.Run(Doc)
    std::function<void(int id)> documentKindList;             // TDocumentKindListDG.Run(ID, no field)
    std::function<void(int id)> trademarkList;                // TTrademarkListDG.Run(ID, no field)
    // "История" of a department, workplace or device ("Department", "Workplace", "DeviceUnit"), an
    // element ("CompleteSet") or a user ("User"), titled with its name.
    std::function<void(const QString &kind, int id, const QString &name)> history;

    // Jumps: make the tab current (creating its view) and position it.
    std::function<void(const QString &kind, int id)> placementNode; // TLayoutMainFM.FindNode
    std::function<void(const QString &kind, int id)> placementAny;  // TLayoutMainFM.FindAny
    std::function<void(int component)> modelComponent;              // TModelListFM.RefreshComponent
    std::function<void(int id, int position)> document;             // TDocumentListFM.RefreshDoc
    std::function<void(int component)> documentComponent;           // TDocumentListFM.RefreshComponent
    // The network tab on a device ("V") or a workplace ("W"); the users tab on a workplace.
    std::function<void(const QString &kind, int id)> net;
    std::function<void(int workplace)> userWorkplace;
    std::function<void(int model, int row)> change; // TChangeListFM.RefreshChange

    // Opens a report (TMainFM.ViewReport); the report text as the report server takes it, e.g.
    // "document&rs:Command=Render&DOC=12".
    std::function<void(const QString &report)> report;
    // "Этикетки" for the devices given by their keys; `what` says which devices they are.
    std::function<void(const QString &what, const QVector<int> &devices)> labels;

    bool RunCompleteSetEdit(int compSet, int device, const QString &kindType, int *savedKey,
                            int *savedModel) const;
    void RunElementMoveList(int compSet) const;
    void RunKindList(int id, const QString &kind) const;
    int RunModelList(int model, int kind) const;
    void RunFirmList(int id) const;
    bool RunDocumentEdit(int doc, int *savedKey) const;
    void RunDocumentKindList(int id) const;
    void RunTrademarkList(int id) const;
    void RunHistory(const QString &kind, int id, const QString &name) const;

    void GoPlacementNode(const QString &kind, int id) const;
    void GoPlacementAny(const QString &kind, int id) const;
    void GoModelComponent(int component) const;
    void GoDocument(int id, int position) const;
    void GoDocumentComponent(int component) const;
    void GoNet(const QString &kind, int id) const;
    void GoUserWorkplace(int workplace) const;
    void GoChange(int model, int row) const;
    void ViewReportLink(const QString &report) const;
    void RunLabels(const QString &what, const QVector<int> &devices) const;
};

// The element code: the key in the field in upper-case hexadecimal, at least four digits, never
// cut; a calculated field's callback.
std::function<QVariant(const DataSet &)> elementCode(const QString &keyField);

// The value of a field of the current row as a key; -1 when the dataset has no current row or the
// value is null.
int currentKey(const DataSet &ds, const QString &field);
