#include "record/readingtable.h"

#include <QTest>
#include <limits>

using namespace sorrel;

Q_DECLARE_METATYPE(sorrel::ReadingRow)

class TestReadingTable : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void roundTrip_data();
    void roundTrip();
    void keepsOrderAcrossBlocksAndSharesTexts();
    void clearAndReplace();
    void batchReportsOnce();
    void storedRowsAgreeWithRows();
};

void TestReadingTable::roundTrip_data()
{
    QTest::addColumn<ReadingRow>("in");
    QTest::addColumn<ReadingRow>("out");
    const QString emoji = QString::fromUtf8("\xF0\x9F\x94\x86"); // one character, two UTF-16 units
    const QString a19(19, u'a');
    const QString a20(20, u'a');

    QTest::newRow("recorded") << ReadingRow{7, "10:15:02", "1.234", "lux"}
                              << ReadingRow{7, "10:15:02", "1.234", "lux"};
    QTest::newRow("no number") << ReadingRow{std::nullopt, "10:15:03", "NULL", "V"}
                               << ReadingRow{std::nullopt, "10:15:03", "NULL", "V"};
    QTest::newRow("number 0 is not absent") << ReadingRow{0, "", "", ""} << ReadingRow{0, "", "", ""};
    QTest::newRow("extreme numbers") << ReadingRow{std::numeric_limits<qint32>::min(), "a", "b", "c"}
                                     << ReadingRow{std::numeric_limits<qint32>::min(), "a", "b", "c"};
    QTest::newRow("max number") << ReadingRow{std::numeric_limits<qint32>::max(), "", "x", ""}
                                << ReadingRow{std::numeric_limits<qint32>::max(), "", "x", ""};
    QTest::newRow("non-ASCII") << ReadingRow{3, QString::fromUtf8("10\u00b715\u00b702"),
                                             QString::fromUtf8("1,234"),
                                             QString::fromUtf8("\u00b5W/cm\u00b2 \u043b\u043a")}
                               << ReadingRow{3, QString::fromUtf8("10\u00b715\u00b702"),
                                             QString::fromUtf8("1,234"),
                                             QString::fromUtf8("\u00b5W/cm\u00b2 \u043b\u043a")};
    QTest::newRow("exactly 20 kept") << ReadingRow{1, a20, a20, a20} << ReadingRow{1, a20, a20, a20};
    QTest::newRow("21 cut to 20") << ReadingRow{1, a20 + "b", "0123456789012345678901234", a20 + "xyz"}
                                  << ReadingRow{1, a20, "01234567890123456789", a20};
    QTest::newRow("non-ASCII cut by characters")
        << ReadingRow{1, QString(25, QChar(0x00e9)), "", ""} << ReadingRow{1, QString(20, QChar(0x00e9)), "", ""};
    QTest::newRow("pair as 20th character kept")
        << ReadingRow{1, a19 + emoji + "z", "", ""} << ReadingRow{1, a19 + emoji, "", ""};
    QTest::newRow("pairs count as one character each")
        << ReadingRow{1, emoji.repeated(21), "", ""} << ReadingRow{1, emoji.repeated(20), "", ""};
}

void TestReadingTable::roundTrip()
{
    QFETCH(ReadingRow, in);
    QFETCH(ReadingRow, out);
    ReadingTable t;
    t.append(ReadingRow{99, "first", "row", "here"});
    t.append(in);
    QCOMPARE(t.rowCount(), 2);
    QCOMPARE(t.row(1), out);
    QCOMPARE(t.no(1), out.no);
    QCOMPARE(t.time(1), out.time);
    QCOMPARE(t.value(1), out.value);
    QCOMPARE(t.unit(1), out.unit);
    QCOMPARE(t.row(0), (ReadingRow{99, "first", "row", "here"}));
}

void TestReadingTable::keepsOrderAcrossBlocksAndSharesTexts()
{
    // More rows than one storage block, texts repeating as in a real run.
    ReadingTable t;
    const int n = 140000;
    auto expected = [](int i) {
        return ReadingRow{
            i % 3 == 0 ? std::optional<qint32>() : std::optional<qint32>(i % 1000),
            QStringLiteral("10:%1:%2").arg((i / 60) % 60, 2, 10, QChar(u'0')).arg(i % 60, 2, 10, QChar(u'0')),
            QString::number((i * 7) % 500), i % 2 ? QStringLiteral("lux") : QStringLiteral("fc")};
    };
    for (int i = 0; i < n; ++i)
        t.append(expected(i));
    QCOMPARE(t.rowCount(), n);
    for (int i : {0, 1, 65535, 65536, 65537, 131071, 131072, n - 1})
        QCOMPARE(t.row(i), expected(i));
    // 3600 times + 500 values + 2 units + the empty text, each stored once.
    QCOMPARE(t.distinctTexts(), 3600 + 500 + 2 + 1);
}

void TestReadingTable::clearAndReplace()
{
    ReadingTable t;
    int resets = 0;
    QObject::connect(&t, &ReadingTable::reset, &t, [&] { ++resets; });
    t.append({1, "t", "v", "u"});
    t.clear();
    QCOMPARE(resets, 1);
    QVERIFY(t.isEmpty());
    t.append({2, "t2", "v2", "u2"});
    QCOMPARE(t.row(0), (ReadingRow{2, "t2", "v2", "u2"}));

    ReadingTable loaded;
    loaded.append({5, "a", "b", "c"});
    loaded.append({std::nullopt, "d", "e", "f"});
    t.replaceAll(std::move(loaded));
    QCOMPARE(resets, 2);
    QCOMPARE(t.rowCount(), 2);
    QCOMPARE(t.row(1), (ReadingRow{std::nullopt, "d", "e", "f"}));
    QVERIFY(loaded.isEmpty());
    // The source stays usable.
    loaded.append({9, "x", "y", "z"});
    QCOMPARE(loaded.row(0), (ReadingRow{9, "x", "y", "z"}));
    // The observers stay with the table that was replaced into.
    loaded.clear();
    QCOMPARE(resets, 2);
    t.clear();
    QCOMPARE(resets, 3);
}

void TestReadingTable::batchReportsOnce()
{
    ReadingTable t;
    QList<std::pair<qsizetype, qsizetype>> calls;
    QObject::connect(&t, &ReadingTable::rowsAppended, &t, [&](qsizetype first, qsizetype last) {
        calls.append({first, last});
    });
    t.append({1, "", "", ""});
    QCOMPARE(calls, (QList<std::pair<qsizetype, qsizetype>>{{0, 0}}));
    calls.clear();
    {
        ReadingTable::Batch outer(t);
        for (int i = 0; i < 3; ++i)
            t.append({i, "", "", ""});
        {
            ReadingTable::Batch inner(t);
            t.append({9, "", "", ""});
        }
        QVERIFY(calls.isEmpty()); // the inner batch does not report on its own
    }
    QCOMPARE(calls, (QList<std::pair<qsizetype, qsizetype>>{{1, 4}}));
    calls.clear();
    {
        ReadingTable::Batch empty(t);
    }
    QVERIFY(calls.isEmpty());
    {
        // Emptied halfway: only the rows after the reset are new.
        ReadingTable::Batch b(t);
        t.append({1, "", "", ""});
        t.clear();
        t.append({2, "", "", ""});
        t.append({3, "", "", ""});
    }
    QCOMPARE(calls, (QList<std::pair<qsizetype, qsizetype>>{{0, 1}}));
}

void TestReadingTable::storedRowsAgreeWithRows()
{
    // Many distinct texts (ids far apart), absent numbers, empty and over-long texts.
    auto rowAt = [](int i) {
        return ReadingRow{i % 5 == 0 ? std::optional<qint32>() : std::optional<qint32>(i - 70000),
                          i % 7 == 0 ? QString() : QStringLiteral("t%1").arg(i),
                          QStringLiteral("%1\u00b5 value beyond twenty %2").arg(i % 3000).arg(i),
                          i % 2 ? QStringLiteral("lux") : QString(1, QChar(u'a' + i % 26))};
    };
    ReadingTable byRow, byStored;
    int appended = 0;
    QObject::connect(&byStored, &ReadingTable::rowsAppended, &byStored,
                     [&](qsizetype first, qsizetype last) { appended += int(last - first + 1); });
    const int n = 140000;
    for (int i = 0; i < n; ++i) {
        const ReadingRow r = rowAt(i);
        byRow.append(r);
        byStored.appendStored({r.no, byStored.intern(r.time), byStored.intern(r.value), byStored.intern(r.unit)});
    }
    QCOMPARE(appended, n);
    QCOMPARE(byStored.distinctTexts(), byRow.distinctTexts());
    for (int i = 0; i < n; ++i) {
        const ReadingTable::StoredRow s = byRow.storedRow(i);
        const ReadingRow fromIds{s.no, byRow.text(s.time), byRow.text(s.value), byRow.text(s.unit)};
        if (fromIds != byRow.row(i) || byStored.row(i) != byRow.row(i))
            QFAIL(qPrintable(QStringLiteral("row %1 differs").arg(i)));
    }
    QCOMPARE(byStored.row(1).value, cutReadingText(rowAt(1).value));
    QCOMPARE(byStored.storedRow(7).time, 0u); // the empty text

    // Ids lose their meaning when the texts go; the generation tells.
    const quint64 before = byRow.generation();
    byRow.clear();
    QVERIFY(byRow.generation() != before);
    const quint64 source = byStored.generation();
    ReadingTable target;
    const quint64 was = target.generation();
    target.replaceAll(std::move(byStored));
    QVERIFY(target.generation() != was);
    QVERIFY(byStored.generation() != source);
}

QTEST_GUILESS_MAIN(TestReadingTable)
#include "tst_readingtable.moc"
