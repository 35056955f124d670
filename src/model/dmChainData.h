#pragma once

#include "data/DataSet.h"

// What a record belongs to. Setting one of the chained keys (Component, Model, Kind, Device,
// Workplace) runs its chain procedure and fills the keys above it; the other properties are plain
// stores. Read, in the same command, only what the chain just set.
class TdmChain : public QObject {
    Q_OBJECT
public:
    explicit TdmChain(Connection &cn, QObject *parent = nullptr);
    ~TdmChain() override;

    DataSet *taComponent, *taModel, *taKind, *taDevice, *taWorkplace;

    void
    setComponent(int id);   // Device, Model, Kind, KindType, Producer, ProducerTM, Document, DocumentPosition
    void setModel(int id);  // Model, Kind, KindType, Producer, ProducerTM
    void setKind(int id);   // Kind, KindType ("D" when the kind is unknown)
    void setDevice(int id); // Kind, Workplace, Department
    void setWorkplace(int id); // Department

    void setKindType(const QString &t) { m_kindType = t; }
    // A kind whose type the caller has just read (in the kind lookup): stored as setKind would
    // store it, without running its chain again.
    void setKnownKind(int id, const QString &type) {
        m_kind = id;
        m_kindType = type;
    }
    void setProducer(int v) { m_producer = v; }
    void setProducerTM(int v) { m_producerTM = v; }
    void setDocument(int v) { m_document = v; }
    void setDocumentPosition(int v) { m_documentPosition = v; }
    void setDepartment(int v) { m_department = v; }

    int Component() const { return m_component; }
    int Model() const { return m_model; }
    int Kind() const { return m_kind; }
    QString KindType() const { return m_kindType; }
    int Producer() const { return m_producer; }
    int ProducerTM() const { return m_producerTM; }
    int Document() const { return m_document; }
    int DocumentPosition() const { return m_documentPosition; }
    int Department() const { return m_department; }
    int Workplace() const { return m_workplace; }
    int Device() const { return m_device; }

private:
    DataSet *make(const char *name, const char *procedure, Connection &cn);
    // Opens the chain with the key and returns false when it gave no row.
    bool run(DataSet *ds, int key);
    static int intOf(DataSet *ds, const char *column);
    static QString textOf(DataSet *ds, const char *column);

    int m_component = 0, m_model = 0, m_kind = 0, m_producer = 0, m_producerTM = 0, m_document = 0,
        m_documentPosition = 0, m_department = 0, m_workplace = 0, m_device = 0;
    QString m_kindType;
};

extern TdmChain *dmChain;
