#include "placement/dgLabels.h"

#include "data/Errors.h"
#include "data/Settings.h"
#include "data/TessalDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

PropertyStore store() {
    return PropertyStore(QStringLiteral("Labels"));
}

// A file name from what the labels are for, without the characters a file system refuses.
QString suggestedName(const QString &what) {
    QString name;
    for (const QChar c : what)
        name += QStringView(u"/\\:*?\"<>|«»").contains(c) || c.category() == QChar::Other_Control ? u' ' : c;
    name = name.simplified();
    return QStringLiteral("Этикетки") + (name.isEmpty() ? QString() : u' ' + name) + QStringLiteral(".pdf");
}

} // namespace

std::function<QString(QWidget *, const QString &)> TLabelsDG::askFileName = [](QWidget *parent,
                                                                               const QString &suggested) {
    return QFileDialog::getSaveFileName(parent, QStringLiteral("Этикетки"), suggested,
                                        QStringLiteral("Документ PDF (*.pdf)"));
};

TLabelsDG::TLabelsDG(const QString &what, std::function<std::vector<LabelItem>(bool elements)> read,
                     QWidget *parent)
    : QDialog(parent), m_read(std::move(read)) {
    setObjectName(QStringLiteral("TLabelsDG"));
    setWindowTitle(QStringLiteral("Этикетки"));

    laWhat = new QLabel(what, this);
    laWhat->setObjectName(QStringLiteral("laWhat"));
    laWhat->setWordWrap(true);

    cbFormat = new QComboBox(this);
    cbFormat->setObjectName(QStringLiteral("cbFormat"));
    for (const LabelSheet &s : LabelSheets())
        cbFormat->addItem(s.caption, s.name);
    cbCode = new QComboBox(this);
    cbCode->setObjectName(QStringLiteral("cbCode"));
    for (const LabelCodeType &t : LabelCodeTypes())
        cbCode->addItem(t.caption, t.name);
    seStart = new QSpinBox(this);
    seStart->setObjectName(QStringLiteral("seStart"));
    seStart->setMinimum(1);
    chElements = new QCheckBox(QStringLiteral("Элементы с серийными номерами"), this);
    chElements->setObjectName(QStringLiteral("chElements"));
    edOrganisation = new QLineEdit(this);
    edOrganisation->setObjectName(QStringLiteral("edOrganisation"));
    edOrganisation->setMaxLength(200);

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("Формат:"), cbFormat);
    form->addRow(QStringLiteral("Код:"), cbCode);
    form->addRow(QStringLiteral("Начать с места:"), seStart);
    form->addRow(QString(), chElements);
    form->addRow(QStringLiteral("Организация:"), edOrganisation);

    auto *buttons = new QDialogButtonBox(this);
    btSave = buttons->addButton(QStringLiteral("Сохранить PDF…"), QDialogButtonBox::AcceptRole);
    btSave->setObjectName(QStringLiteral("btSave"));
    btSave->setDefault(true);
    btCancel = buttons->addButton(QStringLiteral("Отмена"), QDialogButtonBox::RejectRole);
    btCancel->setObjectName(QStringLiteral("btCancel"));
    connect(btSave, &QPushButton::clicked, this, &TLabelsDG::save);
    connect(btCancel, &QPushButton::clicked, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(laWhat);
    layout->addLayout(form);
    layout->addWidget(buttons);

    // The choices of the last time.
    const PropertyStore st = store();
    const int format = cbFormat->findData(st.read(QStringLiteral("Format")).toString());
    cbFormat->setCurrentIndex(format >= 0 ? format : 0);
    const int code = cbCode->findData(st.read(QStringLiteral("Code")).toString());
    cbCode->setCurrentIndex(code >= 0 ? code : 0);
    chElements->setChecked(st.read(QStringLiteral("Elements"), false).toBool());
    edOrganisation->setText(LabelOrganisation());
    connect(cbFormat, &QComboBox::currentIndexChanged, this, &TLabelsDG::formatChanged);
    formatChanged();
}

void TLabelsDG::formatChanged() {
    const LabelSheet *s = FindLabelSheet(cbFormat->currentData().toString());
    seStart->setMaximum(s ? s->perPage() : 1);
    seStart->setEnabled(s && s->perPage() > 1);
}

void TLabelsDG::save() {
    Guarded([&] {
        LabelOptions o;
        o.sheet = cbFormat->currentData().toString();
        FindLabelCodeType(cbCode->currentData().toString(), &o.code);
        o.start = seStart->value();
        o.organisation = edOrganisation->text().trimmed();
        const std::vector<LabelItem> labels = m_read(chElements->isChecked());
        // Refused before a file is asked for: the choices stay as they are for another try.
        CheckLabels(labels, o);
        const PropertyStore st = store();
        const QString folder = st.read(QStringLiteral("Folder"), QDir::homePath()).toString();
        const QString path = askFileName(this, QDir(folder).filePath(suggestedName(laWhat->text())));
        if (path.isEmpty())
            return;
        WriteLabelsPdf(labels, o, path);
        st.write(QStringLiteral("Format"), o.sheet);
        st.write(QStringLiteral("Code"), cbCode->currentData());
        st.write(QStringLiteral("Elements"), chElements->isChecked());
        st.write(QStringLiteral("Folder"), QFileInfo(path).absolutePath());
        SetLabelOrganisation(o.organisation);
        m_saved = path;
        accept();
    });
}
