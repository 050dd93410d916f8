#include "record/gui/readinggridmodel.h"
#include "record/gui/readinggridview.h"

#include <QHeaderView>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>
#include <memory>

using namespace sorrel;

class TestReadingGrid : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void columns_data();
    void columns();
    void cells();
    void followsAppendedRows();
    void batchAndReset();
    void secondListenerBesideTheGrid_data();
    void secondListenerBesideTheGrid();
    void longTimeKeepsItsStart();
};

void TestReadingGrid::columns_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("title");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("alignment");
    const int right = int(Qt::AlignRight | Qt::AlignVCenter);
    QTest::newRow("No") << 0 << "No" << 80 << right;
    QTest::newRow("Time") << 1 << "Time" << 100 << int(Qt::AlignCenter);
    QTest::newRow("Value") << 2 << "Value" << 100 << right;
    QTest::newRow("Unit") << 3 << "Unit" << 70 << right;
}

void TestReadingGrid::columns()
{
    QFETCH(int, column);
    QFETCH(QString, title);
    QFETCH(int, width);
    QFETCH(int, alignment);
    ReadingTable table;
    table.append({1, "10:00:00", "1.0", "lux"});
    ReadingGridModel model(table);
    ReadingGridView view;
    view.setModel(&model);
    QCOMPARE(model.columnCount(), 4);
    QCOMPARE(model.headerData(column, Qt::Horizontal).toString(), title);
    QCOMPARE(view.header()->sectionSize(column), width);
    const QModelIndex idx = model.index(0, column);
    QCOMPARE(model.data(idx, Qt::TextAlignmentRole).value<Qt::Alignment>().toInt(), alignment);
    QVERIFY(!(model.flags(idx) & Qt::ItemIsEditable));
    QVERIFY(model.flags(idx) & Qt::ItemIsSelectable);
}

void TestReadingGrid::cells()
{
    ReadingTable table;
    table.append({-3, "10:15:02", "1.234", "lux"});
    table.append({std::nullopt, "", "NULL", "V"});
    ReadingGridModel model(table);
    QCOMPARE(model.rowCount(), 2);
    QCOMPARE(model.data(model.index(0, 0)).toInt(), -3);
    QCOMPARE(model.cellText(0, 0), QStringLiteral("-3"));
    QCOMPARE(model.cellText(0, 1), QStringLiteral("10:15:02"));
    QCOMPARE(model.cellText(0, 2), QStringLiteral("1.234"));
    QCOMPARE(model.cellText(0, 3), QStringLiteral("lux"));
    // A loaded row without a number shows an empty cell, not 0.
    QVERIFY(!model.data(model.index(1, 0)).isValid());
    QCOMPARE(model.cellText(1, 0), QString());
    QCOMPARE(model.cellText(1, 2), QStringLiteral("NULL"));
}

void TestReadingGrid::followsAppendedRows()
{
    ReadingTable table;
    ReadingGridModel model(table);
    ReadingGridView view;
    view.setModel(&model);
    view.resize(398, 233);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QCOMPARE(view.currentRow(), -1);

    for (int i = 1; i <= 60; ++i) {
        table.append({i, "10:00:00", QString::number(i), "lux"});
        QCOMPARE(view.currentRow(), i - 1);
        QVERIFY(view.isRowVisible(i - 1));
    }
    QVERIFY(view.firstVisibleRow() > 0); // it scrolled

    // The user looks at the top; the next row is selected and shown all the same.
    QTest::keyClick(&view, Qt::Key_Home);
    QCOMPARE(view.currentRow(), 0);
    QVERIFY(view.isRowVisible(0));
    QVERIFY(!view.isRowVisible(59));
    table.append({61, "10:00:01", "61", "lux"});
    QCOMPARE(view.currentRow(), 60);
    QVERIFY(view.isRowVisible(60));

    // Clicking picks the whole row under the pointer.
    QTest::keyClick(&view, Qt::Key_Home);
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, QPoint(300, ReadingGridView::kRowHeight * 2 + 3));
    QCOMPARE(view.currentRow(), 2);
}

void TestReadingGrid::batchAndReset()
{
    ReadingTable table;
    ReadingGridModel model(table);
    ReadingGridView view;
    view.setModel(&model);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    {
        ReadingTable::Batch batch(table);
        for (int i = 0; i < 5000; ++i)
            table.append({i, "", QString::number(i % 7), ""});
        QCOMPARE(model.rowCount(), 0); // not announced yet
    }
    QCOMPARE(inserted.size(), 1);
    QCOMPARE(inserted.first().at(1).toInt(), 0);
    QCOMPARE(inserted.first().at(2).toInt(), 4999);
    QCOMPARE(model.rowCount(), 5000);
    QCOMPARE(view.currentRow(), 4999);

    table.clear();
    QCOMPARE(reset.size(), 1);
    QCOMPARE(model.rowCount(), 0);
    QCOMPARE(view.currentRow(), -1);

    ReadingTable loaded;
    loaded.append({1, "a", "b", "c"});
    loaded.append({2, "d", "e", "f"});
    table.replaceAll(std::move(loaded));
    QCOMPARE(reset.size(), 2);
    QCOMPARE(model.rowCount(), 2);
    QCOMPARE(model.cellText(1, 3), QStringLiteral("f"));

    // Once detached, the table no longer reaches the model.
    model.detach();
    table.append({3, "", "", ""});
    QCOMPARE(model.rowCount(), 0);
}

// A time of 20 characters (the longest a row holds) is wider than its column: it shows
// from its first character, cut at the right, and the cells beside it stay untouched.
// The grid and another listener (the command-line tool's row output, say) on one table:
// neither takes the other's place, and a listener that is gone hears nothing.
void TestReadingGrid::secondListenerBesideTheGrid_data()
{
    QTest::addColumn<QString>("step");
    QTest::addColumn<int>("gridRows");
    QTest::addColumn<QString>("heard");
    QTest::newRow("append") << "append" << 3 << "rows 2-2";
    QTest::newRow("batch") << "batch" << 5 << "rows 2-4";
    QTest::newRow("clear") << "clear" << 0 << "reset";
    QTest::newRow("replace") << "replace" << 1 << "reset";
}

void TestReadingGrid::secondListenerBesideTheGrid()
{
    QFETCH(QString, step);
    QFETCH(int, gridRows);
    QFETCH(QString, heard);
    ReadingTable table;
    table.append({1, "", "1", "lux"});
    table.append({2, "", "2", "lux"});
    ReadingGridModel model(table);
    QStringList events, eventsOfGone;
    QObject listener;
    auto gone = std::make_unique<QObject>();
    for (auto [context, log] : {std::pair{&listener, &events}, std::pair{gone.get(), &eventsOfGone}}) {
        QObject::connect(&table, &ReadingTable::rowsAppended, context, [log](qsizetype first, qsizetype last) {
            log->append(QStringLiteral("rows %1-%2").arg(first).arg(last));
        });
        QObject::connect(&table, &ReadingTable::reset, context, [log] { log->append(QStringLiteral("reset")); });
    }
    gone.reset();

    if (step == u"append") {
        table.append({3, "", "3", "lux"});
    } else if (step == u"batch") {
        ReadingTable::Batch batch(table);
        for (int i = 3; i <= 5; ++i)
            table.append({i, "", QString::number(i), "lux"});
    } else if (step == u"clear") {
        table.clear();
    } else {
        ReadingTable loaded;
        loaded.append({7, "", "7", "lux"});
        table.replaceAll(std::move(loaded));
    }
    QCOMPARE(model.rowCount(), gridRows);
    QCOMPARE(events, QStringList{heard});
    QVERIFY(eventsOfGone.isEmpty());
}

void TestReadingGrid::longTimeKeepsItsStart()
{
    const QString longTime = QStringLiteral("2024-03-09T10:15:02Z");
    const auto render = [](const QString &time) {
        ReadingTable table;
        table.append({1, "10:15:01", "1.0", "lux"});
        table.append({2, time, "2.0", "lux"}); // not the current row: no highlight
        ReadingGridModel model(table);
        ReadingGridView view;
        view.setModel(&model);
        view.resize(398, 233);
        return view.viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    };
    const QImage shown = render(longTime);
    const QImage shortTime = render(QStringLiteral("10:15:02"));

    ReadingGridView view; // for the grid's font, palette and column widths
    ReadingTable none;
    ReadingGridModel model(none);
    view.setModel(&model);
    const int left = view.header()->sectionPosition(ReadingGridModel::Time);
    const int right = left + view.header()->sectionSize(ReadingGridModel::Time);
    const QRect cell(left + 2, ReadingGridView::kRowHeight, right - left - 4, ReadingGridView::kRowHeight - 1);
    const QFontMetrics metrics(view.font());
    QVERIFY(metrics.horizontalAdvance(longTime) > cell.width()); // the case in question

    // The text's start as it looks drawn from the cell's left edge.
    const QString start = longTime.left(7);
    QImage expected(cell.size(), QImage::Format_RGB32);
    expected.fill(view.palette().color(QPalette::Base));
    {
        QPainter p(&expected);
        p.setFont(view.font());
        p.setPen(view.palette().color(QPalette::Text));
        p.drawText(QRect(QPoint(0, 0), QSize(cell.width(), ReadingGridView::kRowHeight)),
                   Qt::AlignLeft | Qt::AlignVCenter, start);
    }
    const int startWidth = metrics.horizontalAdvance(start) - 1;
    QCOMPARE(shown.copy(cell.left(), cell.top(), startWidth, cell.height()),
             expected.copy(0, 0, startWidth, cell.height()));
    // Right of the time column, the row looks as it does with a short time.
    const QRect beside(right, ReadingGridView::kRowHeight, shown.width() - right, ReadingGridView::kRowHeight);
    QCOMPARE(shown.copy(beside), shortTime.copy(beside));
}

QTEST_MAIN(TestReadingGrid)
#include "tst_readinggrid.moc"
