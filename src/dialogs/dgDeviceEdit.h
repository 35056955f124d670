#pragma once

#include "dialogs/dgBaseEdit.h"
#include "dialogs/dgCommon.h"
#include "ui/DataControls.h"

#include <QVector>

#include <utility>

class QDate;

// The states of use of a device as stored in DeviceUnit.Used, with their texts, in the order the
// device dialog offers them: 1 "Используется", 2 "Хранится", 3 "Восстановление",
// 4 "Новый компьютер", -1 "Не используется".
const QVector<std::pair<int, QString>> &DeviceUseStates();
// The state a new device starts in: "Используется".
constexpr int DeviceInUse = 1;

// The month and year of a date as "март 2015 года" (the month's name in the nominative, lower
// case); the day and the time do not count. Empty for an invalid date.
QString MonthYearText(const QDate &date);

// A drop-down bound to an integer field that offers a fixed list of texts, each standing for one
// code. It shows the text of the field's code (nothing for Null or a code not in the list);
// choosing a text stores its code.
class DBCodeCombo : public QComboBox {
    Q_OBJECT
public:
    DBCodeCombo(DataSet *dataSet, const QString &field, const QVector<std::pair<int, QString>> &items,
                QWidget *parent = nullptr);
    FieldLink &link() { return m_link; }

private:
    void refresh();
    void choose(int index);

    FieldLink m_link;
    bool m_showing = false;
};

// One device: where it stands (a workplace of one department, or of another one through the
// workplace find dialog), its kind among the device kinds, name, inventory and write-off numbers,
// network name, state of use, maintenance, description and whether reports include it.
class TDeviceEditDG : public TBaseEditDG, public SingleDialog<TDeviceEditDG> {
    Q_OBJECT
public:
    TDeviceEditDG(); // made by Instance()
    // The refusal of a device without a name.
    static const QString NameMessage;
    // The refusal of a device saved without a workplace.
    static const QString WorkplaceMessage;

    // Edits device `device`, or starts a new one at workplace `place` when no device has that key
    // (-1). The workplace selector lists the workplaces of the device's department (for a new
    // device: of the department of `place`), the kind selector the device kinds. True when saved.
    static bool Run(int device, int place);

    DBLookupCombo *lcWorkplace; // "Рабочее место": DevcIdWorkplace among the department's workplaces
    QPushButton *btFind;        // "Поиск": the workplace find dialog, any department
    DBLookupCombo *lcKind;      // "Наименование": DevcIdKind among the device kinds
    QPushButton *btKind;        // "Справочник типов": the kind list; not in the tab order
    DBEdit *edName;             // DevcName, below lcKind under the same label; focused on show
    DBEdit *edNumb;             // "Номер": DevcNumber
    DBEdit *edDepr;             // "Списание": Depreciation
    DBEdit *edDomain;           // "Доменное имя": Domain
    DBCodeCombo *cbUsed;        // Used, one of DeviceUseStates
    DBDateEdit *edPrevention;        // "Проведена": Prevention
    DBCheckBox *cbPreventionExpress; // "Срочно": PreventionExpress
    DBCheckBox *cbReport;            // "Отчёт": DevcPrinting
    DBMemo *moDescription;           // "Описание": DevcDescription
    DBCheckBox *DBCheckBoxEh1;       // "Профилактика нужна": PreventionNeed

    // Chooses a workplace of any department; the workplace selector then lists that department's
    // workplaces.
    void btFindClick();
    // The kind list on the kind chosen in lcKind; "Выбрать" there fills DevcIdKind.
    void btKindClick();

protected:
    void showEvent(QShowEvent *event) override;
};
