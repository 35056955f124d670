#pragma once

#include "Connection.h"
#include "Settings.h"

#include <QIcon>
#include <QObject>
#include <QVector>

// The shared icons of toolbars, menus, actions and tabs, 16 x 16, addressed by index.
class ImageList {
public:
    static constexpr int Count = 69;
    QIcon icon(int index) const;
    QImage image(int index) const;
    int count() const { return Count; }
};

// Named indexes into the shared image list.
namespace Img {
enum : int {
    Layout = 0, Model, Document, Change, Net, User, Search, Version,
    Add, Edit, Delete, Refresh, Up, Down, Clone, Favorite, FavoriteDelete, Call, Print, Find,
    Department, Workplace, Device, Hardware, Material, Software, Save, Cancel, Ping, Scan, Check,
    Ok, Warning, Error, Report, Move, Chain, Filter, Sort, Open, Close
};
}

// The module the whole program shares: the one connection, the image list and the settings store.
class TdmTessal : public QObject {
    Q_OBJECT
public:
    // Creating it opens the connection to `url` (DatabaseLocation() when empty): two attempts; on
    // failure "Сервер данных недоступен.", the log entry and the end of the program.
    explicit TdmTessal(const QString &url = {}, QObject *parent = nullptr);
    ~TdmTessal() override;

    Connection cnGeneral;
    ImageList imToolBar;
    PropertyStore stProp{QString()};

    // Called once the connection is open: brings the database to the current schema.
    static inline std::function<void(Connection &)> prepareDatabase;

private:
    void DataModuleCreate(const QString &url);
};

extern TdmTessal *dmTessal;
