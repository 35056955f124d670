#pragma once

#include "model/Labels.h"

#include <QDialog>

#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

// "Этикетки": the sheet, the code, the first free place on the sheet, whether the elements with
// a serial number get labels too, and the organisation's name; "Сохранить PDF…" asks for a file,
// writes the labels there and closes. The choices are kept for the next time, the organisation's
// name as the workstation's setting the admin tool also reads.
class TLabelsDG : public QDialog {
    Q_OBJECT
public:
    // `what`: what the labels are for, as the dialog says it; `read`: the labels, with or
    // without the elements.
    TLabelsDG(const QString &what, std::function<std::vector<LabelItem>(bool elements)> read,
              QWidget *parent = nullptr);

    // Asks for the PDF file's name (empty: cancelled); a test sets its own.
    static std::function<QString(QWidget *parent, const QString &suggested)> askFileName;

    QString savedPath() const { return m_saved; }

    QLabel *laWhat;
    QComboBox *cbFormat, *cbCode;
    QSpinBox *seStart;
    QCheckBox *chElements;
    QLineEdit *edOrganisation;
    QPushButton *btSave, *btCancel;

private:
    void formatChanged();
    void save();

    std::function<std::vector<LabelItem>(bool)> m_read;
    QString m_saved;
};
