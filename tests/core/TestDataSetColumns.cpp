// Where a dataset's fields take their types and widths from: the dataset's own table, the
// procedure's declared columns, or the fields the dialog declares; never from another table that
// happens to have a column of the same name.
#include "TestDatabase.h"
#include "data/DataSet.h"
#include "data/Errors.h"

namespace {

class DataSetColumnsTest : public ServerTest {};

struct ColumnCase {
    const char *what;
    const char *command;
    CommandType type;
    const char *field;
    FieldType fieldType;
    int size;
    bool readOnly;
};

TEST_P(DataSetColumnsTest, TypesAndWidthsComeFromTheColumnsOwnTableOrProcedure) {
    const int dep = insert("Department", {{"DprtName", "Склад"}}).toInt();
    const int wp = insert("Workplace", {{"WrkpName", "Касса"}, {"WrkpIdDepartment", dep}}).toInt();
    insert("DeviceUnit", {{"DevcName", "Принтер"}, {"DevcIdWorkplace", wp}});
    const CommandType text = CommandType::Text, proc = CommandType::StoredProc;
    const ColumnCase cases[] = {
        {"the table's key", "select * from Department where IdDepartment = :ID", text, "IdDepartment",
         FieldType::Integer, 0, true},
        {"the table's text", "select * from Department where IdDepartment = :ID", text, "DprtName",
         FieldType::String, 100, false},
        {"a device's kind", "select * from DeviceUnit where IdDevice = :ID", text, "DevcIdKind",
         FieldType::SmallInt, 0, false},
        // Trademark, the first table with an ID and a Name, has them as smallint and 50 characters.
        {"an alias named ID",
         "select IdDepartment as ID, DprtName as Name from Department where IdDepartment = :ID", text, "ID",
         FieldType::Unknown, 0, false},
        {"an alias named Name",
         "select IdDepartment as ID, DprtName as Name from Department where IdDepartment = :ID", text, "Name",
         FieldType::Unknown, 0, false},
        {"a joined column",
         "select d.IdDevice, w.WrkpName from DeviceUnit d join Workplace w on "
         "w.IdWorkplace = d.DevcIdWorkplace where w.WrkpIdDepartment = :ID",
         text, "WrkpName", FieldType::Unknown, 0, false},
        {"a procedure's ID", "FindDevice;1", proc, "ID", FieldType::Integer, 0, false},
        {"a procedure's Name", "FindDevice;1", proc, "Name", FieldType::String, 250, false},
    };
    for (const ColumnCase &c : cases) {
        SCOPED_TRACE(c.what);
        DataSet ds(&cn());
        ds.setCommand(QString::fromUtf8(c.command), c.type);
        if (c.type == proc)
            ds.setParameterValue(QStringLiteral("@NM"), QStringLiteral("Принтер"));
        else
            ds.setParameterValue(QStringLiteral("ID"), dep);
        ds.open();
        ASSERT_FALSE(ds.isEmpty());
        const Field *f = ds.fieldByName(QString::fromLatin1(c.field));
        EXPECT_EQ(f->type(), c.fieldType);
        EXPECT_EQ(f->size(), c.size);
        EXPECT_EQ(f->isReadOnly(), c.readOnly);
    }
}

TEST_P(DataSetColumnsTest, ADeclaredFieldGivesTheTypeAndWidthTheTableCannot) {
    const int dep = insert("Department", {{"DprtName", "Склад"}}).toInt();
    DataSet ds(&cn());
    ds.setCommand(QStringLiteral(
        "select IdDepartment as ID, DprtName as Name from Department where IdDepartment = :ID"));
    ds.addField({QStringLiteral("ID"), FieldType::Integer, 0, true, {}, {}});
    ds.addField({QStringLiteral("Name"), FieldType::String, 100, false, {}, {}});
    ds.setParameterValue(QStringLiteral("ID"), dep);
    ds.open();
    EXPECT_EQ(ds.fieldByName(QStringLiteral("ID"))->type(), FieldType::Integer);
    EXPECT_EQ(ds.value(QStringLiteral("ID")).toInt(), dep);
    EXPECT_TRUE(ds.fieldByName(QStringLiteral("ID"))->isReadOnly());
    EXPECT_EQ(ds.fieldByName(QStringLiteral("Name"))->size(), 100);

    // The table's own column keeps its width when the declaration names only a display format.
    DataSet device(&cn());
    device.setCommand(QStringLiteral("select * from DeviceUnit where IdDevice = :ID"));
    device.addField(
        {QStringLiteral("Prevention"), FieldType::Unknown, 0, false, QStringLiteral("dd.MM.yyyy"), {}});
    device.setParameterValue(QStringLiteral("ID"), -1);
    device.open();
    EXPECT_EQ(device.fieldByName(QStringLiteral("Prevention"))->type(), FieldType::DateTime);
    EXPECT_EQ(device.fieldByName(QStringLiteral("DevcName"))->size(), 50);
    EXPECT_TRUE(device.fieldByName(QStringLiteral("IdDevice"))->isReadOnly()) << "assigned by the database";
}

VELMORA_BOTH_ENGINES(DataSetColumnsTest);

} // namespace
