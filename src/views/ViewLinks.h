#pragma once

// What the views of the main window share: the catalogue dialogs they open, the jumps into the
// other tabs, and the element code column.

#include "DataGrid.h"

#include <QString>
#include <QVariant>

#include <functional>

class DataSet;

// The catalogue dialogs the views open, one entry each. The program connects each to its dialog's
// Run; an entry left empty shows nothing and answers "not saved" (a test puts its own here).
struct ViewDialogs {
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
};
ViewDialogs &viewDialogs();

bool RunCompleteSetEdit(int compSet, int device, const QString &kindType, int *savedKey, int *savedModel);
void RunElementMoveList(int compSet);
void RunKindList(int id, const QString &kind);
int RunModelList(int model, int kind);
void RunFirmList(int id);
bool RunDocumentEdit(int doc, int *savedKey);
void RunDocumentKindList(int id);
void RunTrademarkList(int id);

// Jumps: make the tab current (creating its view) and position it. Without a main window nothing
// happens.
void GoPlacementNode(const QString &kind, int id); // TLayoutMainFM.FindNode
void GoPlacementAny(const QString &kind, int id);  // TLayoutMainFM.FindAny
void GoModelComponent(int component);              // TModelListFM.RefreshComponent
void GoDocument(int id, int position);             // TDocumentListFM.RefreshDoc
void GoDocumentComponent(int component);           // TDocumentListFM.RefreshComponent

// Opens a report through the main window (TMainFM.ViewReport); the report text as the report
// server takes it, e.g. "document&rs:Command=Render&DOC=12".
void ViewReportLink(const QString &report);

// The element code: the key in the field in upper-case hexadecimal, at least four digits, never
// cut; a calculated field's callback.
std::function<QVariant(const DataSet &)> elementCode(const QString &keyField);

// The value of a field of the current row as a key; -1 when the dataset has no current row or the
// value is null.
int currentKey(const DataSet &ds, const QString &field);
