#pragma once

// Labels for the devices (and, when asked, their elements with a serial number): a PDF of label
// sheets, each label with the organisation's name, the name and kind of what it is stuck on, its
// number in large type and a code that holds the number (LabelCode.h), drawn through libzint.
// No widgets: the placement view and the admin tool both write the same PDF.

#include <QPointF>
#include <QSizeF>
#include <QString>
#include <QVector>

#include <vector>

class Connection;
class QPagedPaintDevice;

// A sheet of labels: its page, the labels' grid on it, all in millimetres.
struct LabelSheet {
    QString name;    // the name the admin tool takes ("a4-3x8")
    QString caption; // what the dialog lists
    QSizeF page;     // width and height of the page
    int columns = 1, rows = 1;
    QSizeF label;   // one label
    QPointF origin; // the top left corner of the first label from the page's
    QSizeF pitch;   // from one label's corner to the next one's, across and down

    int perPage() const { return columns * rows; }
};

// The sheets the program knows, the common A4 ones first and the label printer's roll last.
const QVector<LabelSheet> &LabelSheets();
// The sheet of a name, nullptr for a name not in the list.
const LabelSheet *FindLabelSheet(const QString &name);

// The code printed on a label.
enum class LabelCodeKind { QrCode, DataMatrix, Code128 };
struct LabelCodeType {
    LabelCodeKind kind;
    QString name;    // "qr", "datamatrix", "code128"
    QString caption; // "QR-код", ...
};
const QVector<LabelCodeType> &LabelCodeTypes();
// The code type of a name, false for a name not in the list.
bool FindLabelCodeType(const QString &name, LabelCodeKind *kind);

// What one label shows.
struct LabelItem {
    QString name;    // the device's name, or the element's model
    QString kind;    // the device's or the element's kind
    QString code;    // printed in large type and held by the code: the number, or V and the key
    int device = 0;  // the device's key, or the device the element belongs to
    int element = 0; // the element's key, 0 for a device's label
};

// The labels of what a node of the placement tree holds: kind "D" (a department with its
// departments below), "W" (a workplace), "V" (a device) or empty for every device; one per device
// in the order of the tree, and after each device one per element of its set with a serial
// number when `elements` is set. AppError for a node that is not there (deleted meanwhile).
std::vector<LabelItem> ReadLabels(Connection &cn, const QString &kind, int key, bool elements);
// The labels of the devices given by their keys (the devices a find came up with), in that order;
// a key of no device is passed over.
std::vector<LabelItem> ReadDeviceLabels(Connection &cn, const QVector<int> &devices, bool elements);

struct LabelOptions {
    QString sheet = QStringLiteral("a4-3x8"); // LabelSheet::name
    LabelCodeKind code = LabelCodeKind::QrCode;
    int start = 1;        // the first free place on the first sheet, 1-based, row by row
    QString organisation; // printed at the top of every label
};

// Checks the options and the codes before anything is drawn: AppError, with the reason in the
// user's words, for an unknown sheet, a start outside the sheet, no labels, or a code the chosen
// code type cannot hold.
void CheckLabels(const std::vector<LabelItem> &labels, const LabelOptions &options);

// Draws the labels on the device's pages, which must be of the sheet's page size without margins.
void PaintLabels(const std::vector<LabelItem> &labels, const LabelOptions &options,
                 QPagedPaintDevice &device);

// Writes the labels to a PDF file at the sheet's true size, its fonts embedded, marked for
// printing without scaling. AppError for bad options (CheckLabels) and a file that cannot be written.
void WriteLabelsPdf(const std::vector<LabelItem> &labels, const LabelOptions &options, const QString &path);

// The organisation's name printed on the labels: a setting of the workstation.
QString LabelOrganisation();
void SetLabelOrganisation(const QString &name);
