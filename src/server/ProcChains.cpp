// Ancestry chains: what a record belongs to, up to its department. Each chain returns one row for an
// existing key and none for a missing one; the caller reads an empty result as zeros (and type "D"
// for a kind).
#include "server/ServerProcs.h"

#include "server/LookupCommon.h"

using namespace lookup;
using namespace ProcText;

void registerChainProcedures() {
    Proc::add(
        QStringLiteral("ChainComponent"), {Proc::in("@CM", FT::Integer)},
        {Proc::col("IDComponent", FT::Integer), Proc::col("IDDevice", FT::Integer),
         Proc::col("IDModel", FT::Integer), Proc::col("IDKind", FT::SmallInt),
         Proc::col("IDType", FT::FixedChar, 1), Proc::col("IDDocument", FT::Integer),
         Proc::col("NBPosition", FT::SmallInt), Proc::col("IDShipper", FT::Integer),
         Proc::col("IDShipperTM", FT::SmallInt), Proc::col("IDProducer", FT::Integer),
         Proc::col("IDProducerTM", FT::SmallInt)},
        [](ProcedureCall &call) {
            // The kind is the model's; an element without a model keeps the kind it was given.
            return call.cn.query(
                QStringLiteral(
                    "SELECT c.IdComponent AS IDComponent, c.CmplIdDevice AS IDDevice, c.CmplIdModel AS "
                    "IDModel, "
                    "k.IdKind AS IDKind, k.KindType AS IDType, c.DocumentId AS IDDocument, "
                    "c.DocumentPosition AS NBPosition, d.DocClient AS IDShipper, s.Trademark AS IDShipperTM, "
                    "m.ModlIdProducer AS IDProducer, p.Trademark AS IDProducerTM FROM CompleteSet c "
                    "LEFT JOIN Model m ON m.IdModel = c.CmplIdModel "
                    "LEFT JOIN Kind k ON k.IdKind = coalesce(m.ModlKind, c.ModelKind) "
                    "LEFT JOIN Document d ON d.IdDocument = c.DocumentId "
                    "LEFT JOIN Client s ON s.IdClient = d.DocClient "
                    "LEFT JOIN Client p ON p.IdClient = m.ModlIdProducer WHERE c.IdComponent = :K"),
                {{QStringLiteral("K"), call.arg("@CM")}});
        });

    Proc::add(
        QStringLiteral("ChainModel"), {Proc::in("@MD", FT::Integer)},
        {Proc::col("IDModel", FT::Integer), Proc::col("IDKind", FT::SmallInt),
         Proc::col("IDType", FT::FixedChar, 1), Proc::col("IDProducer", FT::Integer),
         Proc::col("IDProducerTM", FT::SmallInt)},
        [](ProcedureCall &call) {
            return call.cn.query(
                QStringLiteral("SELECT m.IdModel AS IDModel, k.IdKind AS IDKind, k.KindType AS IDType, "
                               "m.ModlIdProducer AS IDProducer, p.Trademark AS IDProducerTM FROM Model m "
                               "LEFT JOIN Kind k ON k.IdKind = m.ModlKind "
                               "LEFT JOIN Client p ON p.IdClient = m.ModlIdProducer WHERE m.IdModel = :K"),
                {{QStringLiteral("K"), call.arg("@MD")}});
        });

    Proc::add(QStringLiteral("ChainKind"), {Proc::in("@KD", FT::Integer)},
              {Proc::col("IDKind", FT::SmallInt), Proc::col("IDType", FT::FixedChar, 1)},
              [](ProcedureCall &call) {
                  // Cast: a key beyond the range of the smallint column is simply not found.
                  return call.cn.query(QStringLiteral("SELECT IdKind AS IDKind, KindType AS IDType FROM Kind "
                                                      "WHERE IdKind = CAST(:K AS integer)"),
                                       {{QStringLiteral("K"), call.arg("@KD")}});
              });

    Proc::add(QStringLiteral("ChainDevice"), {Proc::in("@DV", FT::Integer)},
              {Proc::col("IDDevice", FT::Integer), Proc::col("IDKind", FT::SmallInt),
               Proc::col("IDWorkplace", FT::Integer), Proc::col("IDDepartment", FT::Integer)},
              [](ProcedureCall &call) {
                  return call.cn.query(
                      QStringLiteral(
                          "SELECT d.IdDevice AS IDDevice, d.DevcIdKind AS IDKind, d.DevcIdWorkplace AS "
                          "IDWorkplace, "
                          "w.WrkpIdDepartment AS IDDepartment FROM DeviceUnit d "
                          "LEFT JOIN Workplace w ON w.IdWorkplace = d.DevcIdWorkplace WHERE d.IdDevice = :K"),
                      {{QStringLiteral("K"), call.arg("@DV")}});
              });

    Proc::add(QStringLiteral("ChainWorkplace"), {Proc::in("@WP", FT::Integer)},
              {Proc::col("IDWorkplace", FT::Integer), Proc::col("IDDepartment", FT::Integer)},
              [](ProcedureCall &call) {
                  return call.cn.query(
                      QStringLiteral("SELECT IdWorkplace AS IDWorkplace, WrkpIdDepartment AS IDDepartment "
                                     "FROM Workplace WHERE IdWorkplace = :K"),
                      {{QStringLiteral("K"), call.arg("@WP")}});
              });
}
