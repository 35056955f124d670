#include "dialogs/dgKindEdit.h"

#include "data/DataSet.h"
#include "data/TessalDialog.h"
#include "ui/DataControls.h"

#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>

namespace KindTypes {

namespace {
const QString Letters = QStringLiteral("DHMS");
}

const QStringList &entries() {
    static const QStringList e = {QStringLiteral("D: Устройства"), QStringLiteral("H: Комплектующие"),
                                  QStringLiteral("M: Материалы"), QStringLiteral("S: Программы")};
    return e;
}

int indexOf(const QString &letter) {
    const QString l = letter.trimmed();
    if (l.isEmpty())
        return -1;
    return int(Letters.indexOf(l.front()));
}

void fill(QComboBox *box) {
    box->clear();
    box->addItems(entries());
    box->setCurrentIndex(-1);
}

void select(QComboBox *box, const QString &letter) {
    box->setCurrentIndex(indexOf(letter));
}

QString letterOf(const QComboBox *box) {
    const QString text = box->currentText();
    return text.isEmpty() ? QString() : QString(text.front());
}

} // namespace KindTypes

namespace {

// The type selector of the kind dialog: shows the entry of the field's letter and stores the letter
// of the entry the user picks.
class KindTypeBox : public QComboBox {
public:
    KindTypeBox(DataSet *dataSet, const QString &field, QWidget *parent)
        : QComboBox(parent), m_link(this, [this] { refresh(); }) {
        KindTypes::fill(this);
        connect(this, &QComboBox::currentIndexChanged, this, [this](int index) {
            if (m_showing || index < 0)
                return;
            if (!m_link.write(QString(KindTypes::entries().at(index).front())))
                refresh();
        });
        m_link.bind(dataSet, field);
    }

private:
    void refresh() {
        m_showing = true;
        const Field *f = m_link.field();
        const bool row =
            f && f->dataSet()->isActive() && (f->dataSet()->isEditing() || !f->dataSet()->isEmpty());
        setCurrentIndex(row ? KindTypes::indexOf(f->asString()) : -1);
        setEnabled(m_link.writable());
        m_showing = false;
    }

    FieldLink m_link;
    bool m_showing = false;
};

} // namespace

TKindEditDG::TKindEditDG() : TBaseEditDG(nullptr) {
    setObjectName(QStringLiteral("KindEditDG"));
    setWindowTitle(QStringLiteral("Тип"));
    taData->setCommand(QStringLiteral("SELECT * FROM Kind WHERE IdKind = :ID"));
    taData->parameter(QStringLiteral("ID")).type = FieldType::SmallInt;

    cbType = new KindTypeBox(taData, QStringLiteral("KindType"), this);
    cbType->setObjectName(QStringLiteral("cbType"));
    DBEdit1 = new DBEdit(taData, QStringLiteral("KindName"), this);
    DBEdit1->setObjectName(QStringLiteral("DBEdit1"));
    DBEdit2 = new DBEdit(taData, QStringLiteral("ShortName"), this);
    DBEdit2->setObjectName(QStringLiteral("DBEdit2"));
    DBEdit1->setMinimumWidth(260);

    auto *form = new QFormLayout;
    auto row = [&](const QString &caption, QWidget *control) {
        auto *label = new QLabel(caption, this);
        label->setBuddy(control);
        form->addRow(label, control);
    };
    row(QStringLiteral("Вид"), cbType);
    row(QStringLiteral("Наименование"), DBEdit1);
    row(QStringLiteral("Кратко"), DBEdit2);
    contentLayout()->addLayout(form);

    addRule([this] { return KindTypes::indexOf(taData->value(QStringLiteral("KindType")).toString()) >= 0; },
            QStringLiteral("Укажите вид: устройства, комплектующие, материалы или программы."), cbType);
    requireName(QStringLiteral("KindName"), DBEdit1, QStringLiteral("Укажите наименование типа."));

    setTabOrder(cbType, DBEdit1);
    setTabOrder(DBEdit1, DBEdit2);
    setTabOrder(DBEdit2, btSave);
    setTabOrder(btSave, btCancel);
}

std::optional<KindChoice> TKindEditDG::Run(int ID, const QString &Kind) {
    TKindEditDG *dlg = Instance();
    const bool saved = dlg->runEdit(ID, [&Kind](DataSet &ds) {
        // A letter that names no type leaves the type open: the user has to pick one.
        if (KindTypes::indexOf(Kind) >= 0)
            ds.fieldByName(QStringLiteral("KindType"))->setValue(QString(Kind.trimmed().front()));
    });
    if (!saved)
        return std::nullopt;
    return KindChoice{dlg->taData->value(QStringLiteral("IdKind")).toInt(),
                      dlg->taData->value(QStringLiteral("KindType")).toString()};
}
