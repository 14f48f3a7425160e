#include <framework/core/abort.h>
#include <framework/data/datasource.h>
#include <framework/data/recordset.h>
#include <framework/data/recordsetmodel.h>
#include "recordsetpacket.h"

#include <QAbstractItemModelTester>
#include <QTest>

using namespace fw;

namespace {

struct Row
{
    QString id;
    QString name;
    double amount;
};

QByteArray packetOf(const QList<Row> &rows)
{
    QByteArray bytes;
    DataPacketWriter writer(&bytes,
                            {{"ID", FieldType::String, 10}, {"NAME", FieldType::String, 20},
                             {"AMOUNT", FieldType::Float, 0}},
                            rows.size());
    for (const Row &r : rows) {
        writer.beginRow();
        writer.writeString(r.id);
        writer.writeString(r.name);
        writer.writeFloat(r.amount);
    }
    writer.finish();
    return bytes;
}

const QList<Row> threeRows = {{"1", "Ana", 10}, {"2", "Bruno", 20}, {"3", "Caio", 30}};

// A record set like the screen's: persistent fields, a calculated one, and every event
// written to a log so the order can be compared.
struct Fixture
{
    RecordSet set;
    DataSource source;
    QStringList log;

    Fixture()
    {
        set.setObjectName("cdsTeste");
        set.addField({"ID", FieldType::String, 10});
        set.addField({"NAME", FieldType::String, 20});
        set.addField({"AMOUNT", FieldType::Float, 0, {}, "0.00"});
        set.addField({"DOUBLE", FieldType::Float, 0, {}, "0.00", {}, true, true});
        set.onCalcFields = [](RecordSet &s) {
            s.fieldByName("DOUBLE").setAsFloat(s.fieldByName("AMOUNT").asFloat() * 2);
        };
        source.setDataSet(&set);
        auto record = [this](const char *name) {
            return [this, name](RecordSet &) { log.append(QLatin1String(name)); };
        };
        set.afterOpen = record("afterOpen");
        set.beforeInsert = record("beforeInsert");
        set.afterInsert = record("afterInsert");
        set.beforeEdit = record("beforeEdit");
        set.afterEdit = record("afterEdit");
        set.beforePost = record("beforePost");
        set.afterPost = record("afterPost");
        set.beforeCancel = record("beforeCancel");
        set.afterCancel = record("afterCancel");
        set.beforeDelete = record("beforeDelete");
        set.afterDelete = record("afterDelete");
        set.beforeScroll = record("beforeScroll");
        set.afterScroll = record("afterScroll");
        source.onStateChange = [this](DataSource &s) {
            static const char *names[] = {"Inactive", "Browse", "Edit", "Insert"};
            log.append(QStringLiteral("state:%1").arg(QLatin1String(names[int(s.state())])));
        };
    }

    QStringList ids() const
    {
        QStringList list;
        for (int i = 0; i < set.recordCount(); ++i)
            list.append(std::get<QString>(set.valueAt(i, 0)));
        return list;
    }
};

// The same, seen through a grid's model that checks every signal it gets.
struct ViewedFixture : Fixture
{
    RecordSetModel model{&set};
    QAbstractItemModelTester tester{&model, QAbstractItemModelTester::FailureReportingMode::QtTest};
};

} // namespace

class TestRecordSet : public QObject
{
    Q_OBJECT
private slots:
    void eventOrder_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QStringList>("events");
        QTest::newRow("open non-empty") << "open" << QStringList{"state:Browse", "afterOpen", "afterScroll"};
        QTest::newRow("open empty") << "open empty" << QStringList{"state:Browse", "afterOpen"};
        QTest::newRow("insert") << "insert"
                                << QStringList{"beforeInsert", "beforeScroll", "state:Insert", "afterInsert", "afterScroll"};
        QTest::newRow("post") << "post" << QStringList{"beforePost", "state:Browse", "afterPost"};
        QTest::newRow("cancel") << "cancel" << QStringList{"beforeCancel", "state:Browse", "afterCancel"};
        QTest::newRow("edit") << "edit" << QStringList{"beforeEdit", "state:Edit", "afterEdit"};
        QTest::newRow("delete") << "delete"
                                << QStringList{"beforeDelete", "beforeScroll", "afterDelete", "afterScroll"};
        QTest::newRow("next") << "next" << QStringList{"beforeScroll", "afterScroll"};
        QTest::newRow("next at the end") << "next at end" << QStringList{};
        QTest::newRow("move while inserting posts first")
            << "move inserting" << QStringList{"beforePost", "state:Browse", "afterPost", "beforeScroll", "afterScroll"};
        QTest::newRow("reload") << "reload"
                                << QStringList{"state:Inactive", "state:Browse", "afterOpen", "afterScroll"};
    }
    void eventOrder()
    {
        QFETCH(QString, operation);
        QFETCH(QStringList, events);
        Fixture f;
        if (operation == "open empty") {
            f.set.loadFromPacket(packetOf({}));
            QCOMPARE(f.log, events);
            return;
        }
        f.set.loadFromPacket(packetOf(threeRows));
        if (operation == "open") {
            QCOMPARE(f.log, events);
            return;
        }
        if (operation == "post" || operation == "cancel" || operation == "move inserting") {
            f.set.insert();
            f.set.fieldByName("ID").setAsString("9");
        }
        if (operation == "next at end")
            f.set.last();
        f.log.clear();
        if (operation == "insert") f.set.insert();
        else if (operation == "post") f.set.post();
        else if (operation == "cancel") f.set.cancel();
        else if (operation == "edit") f.set.edit();
        else if (operation == "delete") f.set.deleteRecord();
        else if (operation == "next" || operation == "next at end") f.set.next();
        else if (operation == "move inserting") f.set.next();
        else if (operation == "reload") f.set.loadFromPacket(packetOf(threeRows));
        QCOMPARE(f.log, events);
    }

    void abortInBeforePostKeepsTheInsert()
    {
        Fixture f;
        f.set.loadFromPacket(packetOf(threeRows));
        bool refuse = true;
        f.set.beforePost = [&](RecordSet &) {
            if (refuse)
                throw Abort();
        };
        f.set.insert();
        f.set.fieldByName("ID").setAsString("4");
        f.set.fieldByName("AMOUNT").setAsFloat(12.5);
        QVERIFY_THROWS_EXCEPTION(Abort, f.set.post());
        QCOMPARE(f.set.state(), DataSetState::Insert);
        QCOMPARE(f.set.fieldByName("ID").asString(), QStringLiteral("4"));
        QCOMPARE(f.set.fieldByName("AMOUNT").asFloat(), 12.5);
        QCOMPARE(f.set.changeCount(), 0);
        QCOMPARE(f.set.recordCount(), 4);

        refuse = false;
        f.set.post();
        QCOMPARE(f.set.state(), DataSetState::Browse);
        QCOMPARE(f.set.changeCount(), 1);
        QCOMPARE(f.ids(), (QStringList{"4", "1", "2", "3"})); // inserted before the current one
        QCOMPARE(f.set.fieldByName("ID").asString(), QStringLiteral("4"));
    }

    void calculatedFieldsPerRecordAndNeverSent()
    {
        Fixture f;
        f.set.loadFromPacket(packetOf(threeRows));
        const int calc = f.set.fieldByName("DOUBLE").index();
        QCOMPARE(std::get<double>(f.set.valueAt(0, calc)), 20.0);
        QCOMPARE(std::get<double>(f.set.valueAt(2, calc)), 60.0);
        QCOMPARE(f.set.displayTextAt(1, calc), QStringLiteral("40,00"));

        f.set.setRecNo(1);
        f.set.edit();
        f.set.fieldByName("AMOUNT").setAsFloat(7);
        QCOMPARE(f.set.fieldByName("DOUBLE").asFloat(), 14.0); // recomputed while editing
        f.set.post();
        QCOMPARE(std::get<double>(f.set.valueAt(1, calc)), 14.0);

        const Delta delta = f.set.delta();
        QCOMPARE(delta.fields.size(), 3);
        QCOMPARE(delta.indexOf("DOUBLE"), -1);
        QCOMPARE(delta.changes.front().newValues.size(), 3);
        QVERIFY(!recordSetPacket(f.set).contains("DOUBLE"));
    }

    void changeLogKeepsInsertModifyDeleteApart()
    {
        Fixture f;
        f.set.loadFromPacket(packetOf(threeRows));
        f.set.setRecNo(1);
        f.set.edit();
        f.set.fieldByName("NAME").setAsString("Bruna");
        f.set.post();
        f.set.setRecNo(2);
        f.set.deleteRecord();
        f.set.last();
        f.set.insert();
        f.set.fieldByName("ID").setAsString("4");
        f.set.fieldByName("AMOUNT").setAsFloat(1);
        f.set.post();

        Delta delta = f.set.delta();
        QCOMPARE(delta.changes.size(), 3);
        QCOMPARE(delta.changes[0].op, DeltaChange::Op::Modify);
        QCOMPARE(std::get<QString>(delta.changes[0].oldValues[1]), QStringLiteral("Bruno"));
        QCOMPARE(std::get<QString>(delta.changes[0].newValues[1]), QStringLiteral("Bruna"));
        QCOMPARE(delta.changes[1].op, DeltaChange::Op::Delete);
        QCOMPARE(std::get<QString>(delta.changes[1].oldValues[0]), QStringLiteral("3"));
        QVERIFY(delta.changes[1].newValues.isEmpty());
        QCOMPARE(delta.changes[2].op, DeltaChange::Op::Insert);
        QVERIFY(delta.changes[2].oldValues.isEmpty());

        // A second edit of a changed record changes its entry, not the log's length.
        QVERIFY(f.set.locate("ID", "4"));
        f.set.edit();
        f.set.fieldByName("AMOUNT").setAsFloat(2);
        f.set.post();
        QVERIFY(f.set.locate("ID", "2"));
        f.set.edit();
        f.set.fieldByName("NAME").setAsString("Beto");
        f.set.post();
        delta = f.set.delta();
        QCOMPARE(delta.changes.size(), 3);
        QCOMPARE(std::get<double>(delta.changes[2].newValues[2]), 2.0);
        QCOMPARE(std::get<QString>(delta.changes[0].oldValues[1]), QStringLiteral("Bruno"));

        // Deleting the inserted record leaves nothing to send for it; deleting the modified one
        // sends its original values.
        QVERIFY(f.set.locate("ID", "4"));
        f.set.deleteRecord();
        QVERIFY(f.set.locate("ID", "2"));
        f.set.deleteRecord();
        delta = f.set.delta();
        QCOMPARE(delta.changes.size(), 2);
        QCOMPARE(delta.changes[0].op, DeltaChange::Op::Delete);
        QCOMPARE(std::get<QString>(delta.changes[0].oldValues[1]), QStringLiteral("Bruno"));
    }

    void unchangedEditLogsNothing()
    {
        Fixture f;
        f.set.loadFromPacket(packetOf(threeRows));
        f.set.edit();
        f.set.fieldByName("NAME").setAsString("Ana");
        f.set.post();
        QCOMPARE(f.set.changeCount(), 0);
    }

    void cancelUpdatesRestoresAndMergeKeeps()
    {
        Fixture f;
        f.set.loadFromPacket(packetOf(threeRows));
        f.set.edit();
        f.set.fieldByName("NAME").setAsString("Zé");
        f.set.post();
        f.set.setRecNo(1);
        f.set.deleteRecord();
        f.set.insert();
        f.set.fieldByName("ID").setAsString("5");
        f.set.post();
        QCOMPARE(f.ids(), (QStringList{"1", "5", "3"}));

        f.set.cancelUpdates();
        QCOMPARE(f.ids(), (QStringList{"1", "2", "3"}));
        QCOMPARE(f.set.changeCount(), 0);
        QCOMPARE(f.set.displayTextAt(0, 1), QStringLiteral("Ana"));

        f.set.first();
        f.set.edit();
        f.set.fieldByName("NAME").setAsString("Zé");
        f.set.post();
        f.set.mergeChangeLog();
        QCOMPARE(f.set.changeCount(), 0);
        f.set.cancelUpdates();
        QCOMPARE(f.set.displayTextAt(0, 1), QStringLiteral("Zé"));
    }

    void cancelUpdatesDropsAPendingInsert()
    {
        Fixture f;
        f.set.loadFromPacket(packetOf({}));
        f.set.insert();
        f.set.cancelUpdates();
        QCOMPARE(f.set.state(), DataSetState::Browse);
        QVERIFY(f.set.isEmpty());
        QCOMPARE(f.set.recNo(), -1);
    }

    void cancelInsertOnEmptyLeavesNoRecord()
    {
        Fixture f;
        f.set.loadFromPacket(packetOf({}));
        f.set.insert();
        QCOMPARE(f.set.recordCount(), 1);
        f.set.cancel();
        QVERIFY(f.set.isEmpty());
        QCOMPARE(f.set.recNo(), -1);
        QCOMPARE(f.set.changeCount(), 0);
        QVERIFY(f.set.fieldByName("ID").isNull());
    }

    void locateIgnoresCase()
    {
        Fixture f;
        f.set.loadFromPacket(packetOf({{"a1", "x", 1}, {"B2", "y", 2}, {"c3", "z", 3}}));
        QVERIFY(f.set.locate("ID", "b2"));
        QCOMPARE(f.set.recNo(), 1);
        QVERIFY(!f.set.locate("ID", "zz"));
        QCOMPARE(f.set.recNo(), 1); // not found: the cursor stays
        QVERIFY(!f.set.locate("ID", "C3", Qt::CaseSensitive));
        QVERIFY(f.set.locate("id", "C3"));
        QCOMPARE(f.set.recNo(), 2);
    }

    void wrongCallsAreErrors()
    {
        Fixture f;
        QVERIFY_THROWS_EXCEPTION(DataSetError, f.set.insert());
        QVERIFY_THROWS_EXCEPTION(DataSetError, f.set.next());
        f.set.loadFromPacket(packetOf({}));
        QVERIFY_THROWS_EXCEPTION(DataSetError, f.set.edit());
        QVERIFY_THROWS_EXCEPTION(DataSetError, f.set.deleteRecord());
        f.set.loadFromPacket(packetOf(threeRows));
        QVERIFY_THROWS_EXCEPTION(DataSetError, f.set.fieldByName("NAME").setAsString("x")); // browsing
        QVERIFY_THROWS_EXCEPTION(DataSetError, f.set.fieldByName("NOPE"));
        f.set.edit();
        QVERIFY_THROWS_EXCEPTION(DataSetError, f.set.fieldByName("NAME").setAsString(QString(21, u'x')));
        QVERIFY_THROWS_EXCEPTION(DataSetError, f.set.loadFromPacket(packetOf({})));
        QCOMPARE(f.set.fieldByName("NAME").asString(), QStringLiteral("Ana"));
    }

    void packetMissingADeclaredFieldLeavesItClosed()
    {
        RecordSet set;
        set.addField({"ID", FieldType::String, 10});
        set.addField({"MISSING", FieldType::String, 10});
        QVERIFY_THROWS_EXCEPTION(PacketError, set.loadFromPacket(packetOf(threeRows)));
        QVERIFY(!set.active());
        RecordSet typed;
        typed.addField({"ID", FieldType::Float, 0});
        QVERIFY_THROWS_EXCEPTION(PacketError, typed.loadFromPacket(packetOf(threeRows)));
        RecordSet narrow;
        narrow.addField({"NAME", FieldType::String, 3});
        QVERIFY_THROWS_EXCEPTION(PacketError, narrow.loadFromPacket(packetOf(threeRows)));
        // A loaded one keeps its rows and its cursor when the next packet is refused.
        Fixture f;
        f.set.loadFromPacket(packetOf(threeRows));
        f.set.next();
        QVERIFY_THROWS_EXCEPTION(PacketError, f.set.loadFromPacket(QByteArray("\xa1\x61x")));
        QVERIFY(f.set.active());
        QCOMPARE(f.set.recordCount(), 3);
        QCOMPARE(f.set.recNo(), 1);
    }

    void fieldsFromThePacketWhenNoneDeclared()
    {
        RecordSet set;
        set.loadFromPacket(packetOf(threeRows));
        QCOMPARE(set.fieldCount(), 3);
        QCOMPARE(set.fieldByName("AMOUNT").dataType(), FieldType::Float);
        set.last();
        QCOMPARE(set.fieldByName("NAME").asString(), QStringLiteral("Caio"));
    }

    void getTextStartsEmpty()
    {
        Fixture f;
        f.set.fieldByName("NAME").onGetText = [](Field &field, QString &text, bool) {
            if (field.asString() == "Ana")
                text = "A";
        };
        f.set.loadFromPacket(packetOf(threeRows));
        QCOMPARE(f.set.displayTextAt(0, 1), QStringLiteral("A"));
        QCOMPARE(f.set.displayTextAt(1, 1), QString());
        QCOMPARE(f.set.textAt(0, 1), QStringLiteral("A"));
    }

    // Merged records replace theirs in place or go where the order puts them; the cursor stays
    // on its record and the model follows.
    void mergeKeepsOrderAndCursor_data()
    {
        QTest::addColumn<QList<Row>>("loaded");
        QTest::addColumn<int>("cursor");
        QTest::addColumn<QList<Row>>("merged");
        QTest::addColumn<QStringList>("ids");
        QTest::addColumn<QString>("current");
        QTest::newRow("changed in place") << threeRows << 2 << QList<Row>{{"2", "Bruno", 25}}
                                          << QStringList{"1", "2", "3"} << "3";
        QTest::newRow("new before the cursor") << threeRows << 1 << QList<Row>{{"4", "Beto", 5}}
                                               << QStringList{"1", "4", "2", "3"} << "2";
        QTest::newRow("new last, the current changed")
            << threeRows << 2 << QList<Row>{{"5", "Davi", 1}, {"3", "Caio", 31}} << QStringList{"1", "2", "3", "5"} << "3";
        QTest::newRow("changed, its order moved, the current one") << threeRows << 0 << QList<Row>{{"1", "Zoe", 10}}
                                                                  << QStringList{"2", "3", "1"} << "1";
        QTest::newRow("two neighbours changed, both moved")
            << (threeRows + QList<Row>{{"4", "Davi", 40}}) << 0 << QList<Row>{{"2", "Aa", 1}, {"3", "Ab", 1}}
            << QStringList{"2", "3", "1", "4"} << "1";
        QTest::newRow("into an empty view") << QList<Row>{} << -1 << QList<Row>{{"1", "Ana", 10}} << QStringList{"1"} << "1";
    }
    void mergeKeepsOrderAndCursor()
    {
        QFETCH(QList<Row>, loaded);
        QFETCH(int, cursor);
        QFETCH(QList<Row>, merged);
        QFETCH(QStringList, ids);
        QFETCH(QString, current);
        ViewedFixture f;
        RecordSetModel &model = f.model;
        f.set.loadFromPacket(packetOf(loaded));
        if (cursor >= 0)
            f.set.setRecNo(cursor);
        QCOMPARE(f.set.mergeFromPacket(packetOf(merged), "ID", {"NAME"}), merged.size());
        QStringList got;
        for (int i = 0; i < model.rowCount(); ++i)
            got.append(model.data(model.index(i, 0)).toString());
        QCOMPARE(got, ids);
        QCOMPARE(f.set.fieldByName("ID").asString(), current);
        for (const Row &r : merged) {
            const int at = int(ids.indexOf(r.id));
            QCOMPARE(f.set.valueAt(at, 3), Value(r.amount * 2)); // calculated again
        }
    }

    void mergeIsRefusedOverUnsentChanges()
    {
        Fixture f;
        f.set.loadFromPacket(packetOf(threeRows));
        f.set.edit();
        QVERIFY_THROWS_EXCEPTION(DataSetError, f.set.mergeFromPacket(packetOf({{"9", "Zé", 1}}), "ID", {"NAME"}));
        f.set.fieldByName("AMOUNT").setAsFloat(11);
        f.set.post(); // in the change log, not sent
        QVERIFY_THROWS_EXCEPTION(DataSetError, f.set.mergeFromPacket(packetOf({{"9", "Zé", 1}}), "ID", {"NAME"}));
        f.set.mergeChangeLog();
        QVERIFY_THROWS_EXCEPTION(PacketError, f.set.mergeFromPacket(packetOf(threeRows).chopped(3), "ID", {"NAME"}));
        QCOMPARE(f.set.recordCount(), 3);
    }

    // The next part of a statement read in parts: below what is in view, the cursor where it
    // was; a broken part, or one over unsent changes, changes nothing.
    void appendAddsBelowAndKeepsTheCursor_data()
    {
        QTest::addColumn<QList<Row>>("loaded");
        QTest::addColumn<QByteArray>("part");
        QTest::addColumn<bool>("pendingChange");
        QTest::addColumn<QStringList>("ids"); // empty: refused
        QTest::addColumn<QString>("current");
        const QList<Row> two = {{"4", "Davi", 40}, {"5", "Eva", 50}};
        QTest::newRow("below") << threeRows << packetOf(two) << false << QStringList{"1", "2", "3", "4", "5"} << "2";
        QTest::newRow("into an empty view") << QList<Row>{} << packetOf(two) << false << QStringList{"4", "5"} << "4";
        QTest::newRow("no rows") << threeRows << packetOf({}) << false << QStringList{"1", "2", "3"} << "2";
        QTest::newRow("cut short") << threeRows << packetOf(two).chopped(4) << false << QStringList() << "2";
        QTest::newRow("over an unsent change") << threeRows << packetOf(two) << true << QStringList() << "2";
    }
    void appendAddsBelowAndKeepsTheCursor()
    {
        QFETCH(QList<Row>, loaded);
        QFETCH(QByteArray, part);
        QFETCH(bool, pendingChange);
        QFETCH(QStringList, ids);
        QFETCH(QString, current);
        ViewedFixture f;
        RecordSetModel &model = f.model;
        f.set.loadFromPacket(packetOf(loaded));
        if (!loaded.isEmpty())
            f.set.setRecNo(1);
        if (pendingChange) {
            f.set.edit();
            f.set.fieldByName("AMOUNT").setAsFloat(21);
            f.set.post();
        }
        const QStringList before = f.ids();
        try {
            f.set.appendFromPacket(part);
            QVERIFY(!ids.isEmpty());
        } catch (const std::exception &) {
            QVERIFY(ids.isEmpty());
            ids = before;
        }
        QCOMPARE(f.ids(), ids);
        QCOMPARE(model.rowCount(), ids.size());
        QCOMPARE(f.set.fieldByName("ID").asString(), current);
        const int last = int(ids.size()) - 1; // calculated as it came
        QCOMPARE(f.set.valueAt(last, 3), Value(std::get<double>(f.set.valueAt(last, 2)) * 2));
    }

    void modelFollowsEveryChange()
    {
        ViewedFixture f;
        RecordSetModel &model = f.model;
        f.set.loadFromPacket(packetOf(threeRows));
        QCOMPARE(model.rowCount(), 3);
        QCOMPARE(model.headerData(2, Qt::Horizontal).toString(), QStringLiteral("AMOUNT"));
        QCOMPARE(model.data(model.index(1, 2)).toString(), QStringLiteral("20,00"));
        f.set.insert();
        QCOMPARE(model.rowCount(), 4);
        f.set.fieldByName("ID").setAsString("9");
        QCOMPARE(model.data(model.index(0, 0)).toString(), QStringLiteral("9"));
        f.set.post();
        f.set.deleteRecord();
        QCOMPARE(model.rowCount(), 3);
        f.set.insert();
        f.set.cancel();
        QCOMPARE(model.rowCount(), 3);
        model.setColumns({"NAME", "DOUBLE"});
        QCOMPARE(model.data(model.index(2, 1)).toString(), QStringLiteral("60,00"));
        f.set.close();
        QCOMPARE(model.rowCount(), 0);
    }
};

QTEST_GUILESS_MAIN(TestRecordSet)
#include "tst_recordset.moc"
