#include "base/notifier.h"
#include "link/ternframeencoder.h"
#include "record/readingfiles.h"
#include "support/testhelpers.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

using namespace sorrel;
using namespace sorrel::test;

// Runs the built sorrel-cli on small captures.
class TestDecodeCli : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void decode_data();
    void decode();
    void frameObject();
    void badInput_data();
    void badInput();
    void record_data();
    void record();
    void recordSave_data();
    void recordSave();
    void recordSaveFails_data();
    void recordSaveFails();
};

namespace {

struct Run {
    int exitCode = -1;
    QList<QJsonObject> lines;
    QByteArray out, err;
};

Run runCli(const QStringList &args, const QByteArray &stdinData = {}, const QStringList &env = {})
{
    const ProgramRun p = runSorrelCli(QStringList{"decode"} + args, QStringList{"LC_ALL=C"} + env, stdinData);
    Run r;
    if (!p.finished)
        return r;
    r.exitCode = p.exitCode;
    r.out = p.out;
    r.err = p.err;
    for (const QByteArray &line : r.out.split('\n'))
        if (!line.isEmpty())
            r.lines << QJsonDocument::fromJson(line).object();
    return r;
}

QString data(const char *name)
{
    return QStringLiteral(SORREL_TEST_DATA "/") + QLatin1String(name);
}

// "family value verdict dial bar" of one line; null shows as "-".
QString summary(const QJsonObject &o)
{
    auto text = [](const QJsonValue &v) {
        return v.isNull() ? QStringLiteral("-") : v.isDouble() ? QString::number(v.toDouble()) : v.toString();
    };
    return QStringList{text(o["family"]), text(o["value"]), text(o["verdict"]), text(o["dial"]), text(o["bar"])}
        .join(u' ');
}

} // namespace

void TestDecodeCli::decode_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QStringList>("env");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("bridge") << QStringList{"--profile", "osprey", "--link", "bridge", data("bridge.bin")}
                            << QStringList{}
                            << QStringList{"tern 12.34 Pass 323 1234", "wren usb.1 - - 1234",
                                           "tern 0L Fail 400 20"};
    QTest::newRow("bridge, German locale")
        << QStringList{"--profile", "osprey", "--link", "bridge", data("bridge.bin")}
        << QStringList{"LC_ALL=de_DE.UTF-8"}
        << QStringList{"tern 12,34 Pass 323 1234", "wren usb,1 - - 1234", "tern 0L Fail 400 20"};
    QTest::newRow("separator and high limit given")
        << QStringList{"--decimal-separator", ",", "--high", "12,3", "--profile", "osprey", "--link", "bridge",
                       data("bridge.bin")}
        << QStringList{} << QStringList{"tern 12,34 Fail 323 1234", "wren usb,1 - - 1234", "tern 0L Fail 400 20"};
    QTest::newRow("unfinished low limit goes back")
        << QStringList{"--low", "-", "--link=bridge", "--profile=osprey", data("bridge.bin")} << QStringList{}
        << QStringList{"tern 12.34 Pass 323 1234", "wren usb.1 - - 1234", "tern 0L Fail 400 20"};
    QTest::newRow("no profile: class 4 numbers")
        << QStringList{"--link", "bridge", data("bridge.bin")} << QStringList{}
        << QStringList{"tern 12.34 Pass 523 1234", "wren usb.1 - - 1234", "tern 0L Fail 800 40"};
    QTest::newRow("serial tern") << QStringList{"--profile", "osprey", "--link", "serial", data("serial_tern.bin")}
                                 << QStringList{}
                                 << QStringList{"tern 12.34 Pass 323 1234", "tern 567 Pass 256 567"};
    QTest::newRow("serial without profile")
        << QStringList{"--link", "serial", data("serial_tern.bin")} << QStringList{} << QStringList{};
    QTest::newRow("serial wren") << QStringList{"--profile", "wren", "--link", "serial", data("serial_wren.bin")}
                                 << QStringList{} << QStringList{"wren  - - 30", "wren  - - 30"};
    QTest::newRow("wren stream, tern handler")
        << QStringList{"--profile", "osprey", "--link", "serial", data("serial_wren.bin")} << QStringList{}
        << QStringList{};
    QTest::newRow("hid") << QStringList{"--profile", "osprey", "--link", "hid", data("hid.txt")} << QStringList{}
                         << QStringList{"tern 12.34 Pass 323 1234", "rook 12.34 - - 1234"};
    QTest::newRow("empty capture") << QStringList{"--link", "hid", data("empty.txt")} << QStringList{}
                                   << QStringList{};
}

void TestDecodeCli::decode()
{
    QFETCH(QStringList, args);
    QFETCH(QStringList, env);
    QFETCH(QStringList, expected);
    const Run r = runCli(args, {}, env);
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.err, QByteArray());
    QStringList got;
    for (const QJsonObject &o : r.lines)
        got << summary(o);
    QCOMPARE(got, expected);
}

void TestDecodeCli::frameObject()
{
    QFile f(data("bridge.bin"));
    QVERIFY(f.open(QIODevice::ReadOnly));
    const Run r = runCli({"--profile", "osprey", "--link", "bridge", "-"}, f.readAll());
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.lines.size(), 3);
    const QJsonObject first = r.lines[0];
    QCOMPARE(first["frame"].toString(), QStringLiteral("0056C7ED0600000000820000123456DA"));
    QCOMPARE(first["unit"].toString(), QStringLiteral("lux"));
    QCOMPARE(first["reading"].toDouble(), 1234.0);
    QCOMPARE(first["counted"].toBool(), true);
    const QJsonObject digits = first["digits"].toObject();
    QCOMPARE(digits.size(), 10);
    QCOMPARE(digits["LcdDa"].toString() + digits["LcdDd"].toString() + digits["LCDDF2"].toString(),
             QStringLiteral("146"));
    QCOMPARE(first["shown"].toArray().toVariantList(),
             (QVariantList{"LUX", "LcdP2", "T_dPoint1", "T_dPoint2", "USB", "conok", "usb1"}));
    // The Wren frame hides the USB button unless its bit is set; this one sets it.
    const QJsonObject wren = r.lines[1];
    QCOMPARE(wren["counted"].toBool(), false);
    QVERIFY(wren["shown"].toArray().contains("USB") && wren["shown"].toArray().contains("LcdP3"));
    // The overload frame: unit changed back from the Wren frame's, so tracking restarted.
    const QJsonObject last = r.lines[2];
    QCOMPARE(last["reading"].toDouble(), 2000.0);
    QCOMPARE(last["digits"].toObject()["LcdDc"].toString(), QStringLiteral("@"));
    QCOMPARE(last["max"].toString(), QString());
}

namespace {

// Bridge reads: 12.34 lux twice, a Wren frame, 12.35 lux, 567 lux.
QByteArray recordCapture()
{
    auto tern = [](const char *text) {
        TernDisplay d = *TernDisplay::fromText(QString::fromLatin1(text));
        d.set(TernBit::LUX);
        return encodeTernBridgeFrame(d);
    };
    QByteArray wren;
    for (char digit : QByteArrayLiteral("03603FAD6B0000000001000000000000"))
        wren += char(0x30 | QByteArray(1, digit).toInt(nullptr, 16));
    return tern("12.34") + tern("12.34") + wren + tern("12.35") + tern("567");
}

// "No Value Unit" of a row or "-", then "reading max min" of the chart or "-".
QString recordSummary(const QJsonObject &o)
{
    const QJsonValue row = o["row"], chart = o["chart"];
    const QString r = row.isNull() ? QStringLiteral("-")
                                   : QStringLiteral("%1 %2 %3")
                                         .arg(row["No"].toInt())
                                         .arg(row["Value"].toString(), row["Unit"].toString());
    const QString c = chart.isNull() ? QStringLiteral("-")
                                     : QStringLiteral("%1 %2 %3")
                                           .arg(chart["reading"].toDouble())
                                           .arg(chart["max"].toDouble())
                                           .arg(chart["min"].toDouble());
    return r + QStringLiteral(" | ") + c;
}

QList<ReadingRow> rowsOf(const ReadingTable &t)
{
    QList<ReadingRow> rows;
    for (qsizetype i = 0; i < t.rowCount(); ++i)
        rows << t.row(i);
    return rows;
}

} // namespace

void TestDecodeCli::record_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("every reading") << QStringList{}
                                   << QStringList{"1 12.34 lux | 12.34 20 -20", "2 12.34 lux | 12.34 20 -20",
                                                  "- | -", "3 12.35 lux | 12.35 20 -20",
                                                  "4 567 lux | 567 2000 -2000"};
    // A refused repeat still reaches the chart and uses up its number.
    QTest::newRow("no repeat") << QStringList{"--no-repeat"}
                               << QStringList{"1 12.34 lux | 12.34 20 -20", "- | 12.34 20 -20", "- | -",
                                              "3 12.35 lux | 12.35 20 -20", "4 567 lux | 567 2000 -2000"};
    // At the limit nothing happens at all: no row, no number, no point.
    QTest::newRow("limit") << QStringList{"--limit", "2"}
                           << QStringList{"1 12.34 lux | 12.34 20 -20", "2 12.34 lux | 12.34 20 -20", "- | -",
                                          "- | -", "- | -"};
    QTest::newRow("limit counts recorded rows only")
        << QStringList{"--no-repeat", "--limit=2"}
        << QStringList{"1 12.34 lux | 12.34 20 -20", "- | 12.34 20 -20", "- | -", "3 12.35 lux | 12.35 20 -20",
                       "- | -"};
}

void TestDecodeCli::record()
{
    QFETCH(QStringList, options);
    QFETCH(QStringList, expected);
    const Run r = runCli(QStringList{"--profile", "osprey", "--link", "bridge", "--record"} + options
                             + QStringList{"-"},
                         recordCapture());
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.err, QByteArray());
    QStringList got;
    for (const QJsonObject &o : r.lines) {
        got << recordSummary(o);
        if (o["row"].isObject())
            QVERIFY2(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d$"))
                         .match(o["row"]["Time"].toString())
                         .hasMatch(),
                     qPrintable(o["row"]["Time"].toString()));
    }
    QCOMPARE(got, expected);

    // Without --record the lines stay as they were.
    const Run plain = runCli({"--profile", "osprey", "--link", "bridge", "-"}, recordCapture());
    QCOMPARE(plain.lines.size(), r.lines.size());
    for (qsizetype i = 0; i < plain.lines.size(); ++i) {
        QVERIFY(!plain.lines[i].contains("row") && !plain.lines[i].contains("chart"));
        QJsonObject stripped = r.lines[i];
        stripped.remove("row");
        stripped.remove("chart");
        QCOMPARE(stripped, plain.lines[i]);
    }
}

void TestDecodeCli::recordSave_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("opening");
    QTest::newRow("txt") << "rows.txt" << QByteArray("No\tTime\tValue\tUnit\r\n1\t");
    QTest::newRow("xls is text too") << "rows.xls" << QByteArray("No\tTime\tValue\tUnit\r\n1\t");
    QTest::newRow("xml") << "rows.xml" << QByteArray("<?xml version=\"1.0\" standalone=\"yes\"?>");
    QTest::newRow("XML") << "rows.XML" << QByteArray("<?xml version=\"1.0\" standalone=\"yes\"?>");
}

void TestDecodeCli::recordSave()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, opening);
    ScratchDir dir;
    const QString file = dir.file(name);
    const Run r = runCli(
        {"--link", "bridge", "--profile", "osprey", "--record", "--no-repeat", "--save", file, "-"},
        recordCapture());
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.err, QByteArray()); // no success box on a terminal
    QFile f(file);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QVERIFY2(f.readAll().startsWith(opening), qPrintable(name));

    QList<ReadingRow> printed;
    for (const QJsonObject &o : r.lines)
        if (o["row"].isObject())
            printed << ReadingRow{o["row"]["No"].toInt(), o["row"]["Time"].toString(),
                                  o["row"]["Value"].toString(), o["row"]["Unit"].toString()};
    QCOMPARE(printed.size(), 3);
    ReadingTable loaded;
    RecordingNotifier messages;
    QVERIFY(LoadReadingFile(file, loaded, false).tell(messages));
    QCOMPARE(messages.messages.size(), 0);
    QCOMPARE(rowsOf(loaded), printed);
}

void TestDecodeCli::recordSaveFails_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("message");
    QTest::newRow("txt") << "missing/rows.txt"
                         << "Could not save table to specified file: ";
    QTest::newRow("xml") << "missing/rows.xml"
                         << "Cannot save";
}

void TestDecodeCli::recordSaveFails()
{
    QFETCH(QString, name);
    QFETCH(QString, message);
    ScratchDir dir;
    const Run r = runCli({"--link", "bridge", "--record", "--save", dir.file(name), "-"}, recordCapture());
    QCOMPARE(r.exitCode, 1);
    const QString err = QString::fromLocal8Bit(r.err);
    QVERIFY2(err.contains(message) && err.contains(name), qPrintable(err));
    QVERIFY(!QFile::exists(dir.file(name)));
}

void TestDecodeCli::badInput_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message");
    QTest::newRow("unreadable file") << QStringList{"--link", "bridge", data("missing.bin")} << "cannot read";
    QTest::newRow("malformed hid line")
        << QStringList{"--link", "hid", data("hid_bad.txt")} << "line 2: '3G' is not a hex byte";
    QTest::newRow("unknown option") << QStringList{"--link", "hid", "--fast", data("hid.txt")}
                                    << "unknown option '--fast'";
    QTest::newRow("unknown profile") << QStringList{"--profile", "heron", "--link", "hid", data("hid.txt")}
                                     << "unknown profile 'heron'";
    QTest::newRow("unknown link") << QStringList{"--link", "usb", data("hid.txt")} << "unknown link 'usb'";
    QTest::newRow("no link") << QStringList{data("hid.txt")} << "--link";
    QTest::newRow("no input") << QStringList{"--link", "hid"} << "no input";
    QTest::newRow("refused high limit") << QStringList{"--high", "12'", "--link", "hid", data("hid.txt")}
                                        << "--high '12'' refused: Numerical input errors";
    QTest::newRow("long separator") << QStringList{"--decimal-separator", "::", "--link", "hid", data("hid.txt")}
                                    << "one character";
    QTest::newRow("save without record")
        << QStringList{"--save", "x.txt", "--link", "hid", data("hid.txt")} << "--save needs --record";
    QTest::newRow("no-repeat without record")
        << QStringList{"--no-repeat", "--link", "hid", data("hid.txt")} << "--no-repeat needs --record";
    QTest::newRow("limit 0") << QStringList{"--record", "--limit", "0", "--link", "hid", data("hid.txt")}
                             << "--limit '0' is not a record limit";
    QTest::newRow("limit not a number") << QStringList{"--record", "--limit=1e3", "--link", "hid", data("hid.txt")}
                                        << "--limit '1e3' is not a record limit";
    QTest::newRow("limit beyond 32 bits")
        << QStringList{"--record", "--limit", "2147483648", "--link", "hid", data("hid.txt")}
        << "is not a record limit";
}

void TestDecodeCli::badInput()
{
    QFETCH(QStringList, args);
    QFETCH(QString, message);
    const Run r = runCli(args);
    QCOMPARE(r.exitCode, 2);
    QVERIFY(r.out.isEmpty());
    const QString err = QString::fromLocal8Bit(r.err);
    QCOMPARE(err.count(u'\n'), 1);
    QVERIFY2(err.contains(message), qPrintable(err));
}

QTEST_GUILESS_MAIN(TestDecodeCli)
#include "tst_decodecli.moc"
