#pragma once

#include <QObject>

class Connection;

// The lookup lists the dialogs choose from.
class TdmLookUp : public QObject {
    Q_OBJECT
public:
    explicit TdmLookUp(Connection &cn, QObject *parent = nullptr) : QObject(parent), m_cn(cn) {}

private:
    Connection &m_cn;
};

extern TdmLookUp *dmLookUp;
