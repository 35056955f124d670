// What the demo organisation and the generated database share: small helpers for writing rows and
// the catalogue of kinds, firms and models both draw from.
#pragma once

#include "data/Errors.h"

#include <QDateTime>
#include <QHash>
#include <QString>
#include <QVariant>
#include <QVariantMap>

class Connection;

namespace demodata {

inline QVariant text(const char *s) {
    return s ? QVariant(QString::fromUtf8(s)) : QVariant();
}

inline QString str(const char *s) {
    return QString::fromUtf8(s);
}

// A moment `daysAgo` days before today, at the given time of day.
inline QDateTime daysAgo(int days, int hour = 10, int minute = 0) {
    return QDateTime(QDate::currentDate().addDays(-days), QTime(hour, minute));
}

void progress(const QString &line);

// Inserts one row and returns the key the database gave it.
QVariant insertRow(Connection &cn, const QString &table, const QString &key, const QVariantMap &values);

struct ModelDef {
    const char *kind;
    const char *trademark; // producer's trademark; nullptr: no producer, the name is the number
    const char *number;
    const char *parameters;
    const char *note;
    const char *price;        // what one piece usually costs, exact decimal text
    const char *serialPrefix; // how the producer's serial numbers begin
    int warranty;             // months, 0 for none
};

struct CatalogueModel {
    int id = 0;
    int kind = 0;
    const ModelDef *def = nullptr;
};

// The keys of the catalogue rows, found or created.
struct Catalogue {
    QHash<QString, int> kinds;             // kind name -> IdKind
    QHash<QString, int> firms;             // full name -> IdClient
    QHash<QString, int> trademarks;        // trademark -> IdClient of the firm bearing it
    QHash<QString, CatalogueModel> models; // model number -> model

    const CatalogueModel &model(const char *number) const {
        auto it = models.constFind(str(number));
        if (it == models.constEnd())
            throw AppError(QStringLiteral("Модель «%1» не найдена в каталоге").arg(str(number)));
        return *it;
    }
};

// Finds every kind, firm and model of the catalogue by its name, creating the missing ones, so that
// the demo and any number of generated runs share one catalogue.
Catalogue ensureCatalogue(Connection &cn);

} // namespace demodata
