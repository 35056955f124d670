#pragma once

#include <QCursor>
#include <QGuiApplication>

// The hourglass for the life of a scope, restored however the scope is left (an exception too).
// Scopes nest: the normal cursor returns when the outermost one ends.
class BusyCursor {
public:
    BusyCursor() : m_set(qobject_cast<QGuiApplication *>(QCoreApplication::instance()) != nullptr) {
        if (m_set)
            QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    }
    ~BusyCursor() {
        if (m_set)
            QGuiApplication::restoreOverrideCursor();
    }
    BusyCursor(const BusyCursor &) = delete;
    BusyCursor &operator=(const BusyCursor &) = delete;

private:
    bool m_set;
};
