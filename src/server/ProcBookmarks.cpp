// The bookmarks of the placement tree, kept per operating-system user.
#include "server/ServerProcs.h"

#include "data/Errors.h"
#include "server/OsUser.h"
#include "server/PlacementCommon.h"
#include "server/ProcText.h"

using namespace placement;

namespace {

// ---- Bookmarks --------------------------------------------------------------------------------

constexpr int KeyObjectWidth = 10, BookmarkNameWidth = 50, StoredNameWidth = 100;

// The bookmarks of the operating-system user, newest first (highest Stamp).
ResultSet gridFavorite(ProcedureCall &call) {
    return call.cn.query(
        QStringLiteral("SELECT ID, substr(KeyObject, 1, %1) AS KeyObject, substr(Name, 1, %2) AS Name "
                       "FROM Favorite WHERE OsUser = :U ORDER BY Stamp DESC, ID DESC")
            .arg(KeyObjectWidth)
            .arg(BookmarkNameWidth),
        {{QStringLiteral("U"), OsUserName()}});
}

// @R 1 adds the node @KY with the text @NM; a node already bookmarked gets no second row, it takes
// the new text and goes to the top. 2 moves the bookmark @KY to the top (a node not bookmarked:
// nothing). 3 deletes it. @NM counts only for 1. Every operation acts on the bookmarks of the
// operating-system user only.
ResultSet execFavorite(ProcedureCall &call) {
    const int op = call.argInt(QStringLiteral("@R"), 0);
    const QString key = call.argText(QStringLiteral("@KY"));
    if (op < 1 || op > 3)
        throw AppError(str("Неизвестная операция с закладками (%1)").arg(op));
    if (key.isEmpty())
        return Proc::none();
    const QVariantMap p{{QStringLiteral("U"), OsUserName()}, {QStringLiteral("K"), key}};
    const QString newest =
        QStringLiteral("(SELECT coalesce(max(f.Stamp), 0) + 1 FROM Favorite f WHERE f.OsUser = :U)");
    switch (op) {
    case 1: {
        if (key.size() > KeyObjectWidth)
            throw AppError(
                str("Ключ закладки %1 длиннее %2 символов").arg(quoteInput(key)).arg(KeyObjectWidth));
        QVariantMap add = p;
        const QString name = call.argText(QStringLiteral("@NM"));
        if (name.size() > StoredNameWidth)
            throw AppError(str("Имя закладки длиннее %1 символов").arg(StoredNameWidth));
        add.insert(QStringLiteral("N"), name.isEmpty() ? QVariant() : QVariant(name));
        call.cn.execute(
            QStringLiteral("INSERT INTO Favorite (OsUser, KeyObject, Name, Stamp) VALUES (:U, :K, :N, %1) "
                           "ON CONFLICT (OsUser, KeyObject) DO UPDATE SET Name = excluded.Name, "
                           "Stamp = excluded.Stamp")
                .arg(newest),
            add);
        break;
    }
    case 2:
        call.cn.execute(
            QStringLiteral("UPDATE Favorite SET Stamp = %1 WHERE OsUser = :U AND KeyObject = :K").arg(newest),
            p);
        break;
    case 3:
        call.cn.execute(QStringLiteral("DELETE FROM Favorite WHERE OsUser = :U AND KeyObject = :K"), p);
        break;
    }
    return Proc::none();
}

} // namespace

void registerBookmarkProcedures() {
    using Proc::col;
    using Proc::in;
    using Proc::req;
    constexpr FieldType I = FieldType::Integer, S = FieldType::String;

    Proc::add(QStringLiteral("GridFavorite"), {},
              {col("ID", I), col("KeyObject", S, KeyObjectWidth), col("Name", S, BookmarkNameWidth)},
              gridFavorite);
    Proc::add(QStringLiteral("ExecFavorite"), {req("@R", I), req("@KY", S, 50), in("@NM", S, 100)}, {},
              execFavorite);
}
