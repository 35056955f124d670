#include "model/dmChainData.h"

#include "data/TessalADO.h"

TdmChain *dmChain = nullptr;

TdmChain::TdmChain(Connection &cn, QObject *parent) : QObject(parent) {
    dmChain = this;
    taComponent = make("taComponent", "ChainComponent;1", cn);
    taModel = make("taModel", "ChainModel;1", cn);
    taKind = make("taKind", "ChainKind;1", cn);
    taDevice = make("taDevice", "ChainDevice;1", cn);
    taWorkplace = make("taWorkplace", "ChainWorkplace;1", cn);
}

TdmChain::~TdmChain() {
    if (dmChain == this)
        dmChain = nullptr;
}

DataSet *TdmChain::make(const char *name, const char *procedure, Connection &cn) {
    auto *ds = new DataSet(&cn, this);
    ds->setObjectName(QString::fromLatin1(name));
    ds->setCommand(QString::fromLatin1(procedure), CommandType::StoredProc);
    ds->setReadOnly(true);
    return ds;
}

bool TdmChain::run(DataSet *ds, int key) {
    OpenWithParams(*ds, {TypedValue::Int(key)});
    return HasRecords(*ds);
}

int TdmChain::intOf(DataSet *ds, const char *column) {
    if (!HasRecords(*ds))
        return 0;
    const Field *f = ds->findField(QString::fromLatin1(column));
    return f && !f->isNull() ? f->asInt() : 0;
}

QString TdmChain::textOf(DataSet *ds, const char *column) {
    if (!HasRecords(*ds))
        return QString();
    const Field *f = ds->findField(QString::fromLatin1(column));
    return f ? f->asString().trimmed() : QString();
}

void TdmChain::setComponent(int id) {
    m_component = id;
    run(taComponent, id);
    m_device = intOf(taComponent, "IDDevice");
    m_model = intOf(taComponent, "IDModel");
    m_kind = intOf(taComponent, "IDKind");
    m_kindType = textOf(taComponent, "IDType");
    m_producer = intOf(taComponent, "IDProducer");
    m_producerTM = intOf(taComponent, "IDProducerTM");
    m_document = intOf(taComponent, "IDDocument");
    m_documentPosition = intOf(taComponent, "NBPosition");
}

void TdmChain::setModel(int id) {
    m_model = id;
    run(taModel, id);
    m_model = intOf(taModel, "IDModel");
    m_kind = intOf(taModel, "IDKind");
    m_kindType = textOf(taModel, "IDType");
    m_producer = intOf(taModel, "IDProducer");
    m_producerTM = intOf(taModel, "IDProducerTM");
}

void TdmChain::setKind(int id) {
    m_kind = id;
    run(taKind, id);
    m_kind = intOf(taKind, "IDKind");
    const QString t = textOf(taKind, "IDType");
    m_kindType = t.isEmpty() ? QStringLiteral("D") : t;
}

void TdmChain::setDevice(int id) {
    m_device = id;
    run(taDevice, id);
    m_kind = intOf(taDevice, "IDKind");
    m_workplace = intOf(taDevice, "IDWorkplace");
    m_department = intOf(taDevice, "IDDepartment");
}

void TdmChain::setWorkplace(int id) {
    m_workplace = id;
    run(taWorkplace, id);
    m_department = intOf(taWorkplace, "IDDepartment");
}
