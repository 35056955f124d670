#pragma once

#include <QPointer>
#include <QString>

class DataSet;
class QDialog;
class QIcon;
class QObject;
class QPushButton;
class QWidget;

// Every catalogue dialog is one instance, made on first use over the shared connection and kept
// until the program ends. A concrete dialog takes that from here and declares nothing of it:
//
//     class TFirmEditDG : public TBaseEditDG, public SingleDialog<TFirmEditDG> { ... };
//     bool TFirmEditDG::Run(int id) { return Instance()->runEdit(id); }
//
// Its constructor (public, called only by Instance) lays out its controls, binds them and wires
// its rules; its Run prepares the lookup lists it needs and calls the base's runEdit, runFind or
// shows the list. Field types and widths come from the tables and procedures, not from the dialog.
class DialogInstances {
public:
    // Drops every dialog made through SingleDialog; the next use makes new ones over the data
    // modules alive then. For tests, which make a new database for every case.
    static void ResetForTesting();
    // Called by SingleDialog for each instance it makes.
    static void keep(QDialog *dialog);
};

template <class T> class SingleDialog {
public:
    // The single instance, made on first use.
    static T *Instance() {
        if (!s_instance) {
            s_instance = new T;
            DialogInstances::keep(s_instance);
        }
        return s_instance;
    }

private:
    static inline QPointer<T> s_instance;
};

// A dataset of a dialog on the shared connection (none before the data module exists), owned by
// `owner` and named for tests and for reading.
// The widget with its object name, for building a dialog's controls in one expression.
template <class Widget> Widget *Named(Widget *widget, const char *objectName) {
    widget->setObjectName(QString::fromLatin1(objectName));
    return widget;
}

DataSet *DialogDataSet(QObject *owner, const QString &objectName);

// A button of a dialog, named for tests and for reading: a caption, or an icon with a hint. Enter
// in a text box never presses it behind the user's back (it is no default button).
QPushButton *DialogButton(QWidget *owner, const char *objectName, const QString &text);
QPushButton *DialogButton(QWidget *owner, const char *objectName, const QIcon &icon, const QString &hint);
