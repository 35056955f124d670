#pragma once

#include <QObject>

class Connection;

// Ancestry of an element, model or device: set a key, read the keys of everything above it.
class TdmChain : public QObject {
    Q_OBJECT
public:
    explicit TdmChain(Connection &cn, QObject *parent = nullptr) : QObject(parent), m_cn(cn) {}

private:
    Connection &m_cn;
};

extern TdmChain *dmChain;
