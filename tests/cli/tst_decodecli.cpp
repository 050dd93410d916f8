#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>

// Runs the built sorrel-cli on small captures.
class TestDecodeCli : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void decode_data();
    void decode();
    void frameObject();
    void badInput_data();
    void badInput();
};

namespace {

struct Run {
    int exitCode = -1;
    QList<QJsonObject> lines;
    QByteArray out, err;
};

Run runCli(const QStringList &args, const QByteArray &stdinData = {}, const QStringList &env = {})
{
    QProcess p;
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    e.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    for (const QString &kv : env)
        e.insert(kv.section(u'=', 0, 0), kv.section(u'=', 1));
    p.setProcessEnvironment(e);
    p.start(QStringLiteral(SORREL_BINARY_DIR "/sorrel-cli"), QStringList{"decode"} + args);
    p.write(stdinData);
    p.closeWriteChannel();
    Run r;
    if (!p.waitForFinished(30000))
        return r;
    r.exitCode = p.exitCode();
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    for (const QByteArray &line : r.out.split('\n'))
        if (!line.isEmpty())
            r.lines << QJsonDocument::fromJson(line).object();
    return r;
}

QString data(const char *name) { return QStringLiteral(SORREL_TEST_DATA "/") + QLatin1String(name); }

// "family value verdict dial bar" of one line; null shows as "-".
QString summary(const QJsonObject &o)
{
    auto text = [](const QJsonValue &v) {
        return v.isNull() ? QStringLiteral("-") : v.isDouble() ? QString::number(v.toDouble()) : v.toString();
    };
    return QStringList{text(o["family"]), text(o["value"]), text(o["verdict"]), text(o["dial"]),
                       text(o["bar"])}.join(u' ');
}

} // namespace

void TestDecodeCli::decode_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QStringList>("env");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("bridge") << QStringList{"--profile", "osprey", "--link", "bridge", data("bridge.bin")}
        << QStringList{} << QStringList{"tern 12.34 Pass 323 1234", "wren usb.1 - - 1234", "tern 0L Fail 400 20"};
    QTest::newRow("bridge, German locale") << QStringList{"--profile", "osprey", "--link", "bridge", data("bridge.bin")}
        << QStringList{"LC_ALL=de_DE.UTF-8"}
        << QStringList{"tern 12,34 Pass 323 1234", "wren usb,1 - - 1234", "tern 0L Fail 400 20"};
    QTest::newRow("separator and high limit given") << QStringList{"--decimal-separator", ",", "--high", "12,3",
        "--profile", "osprey", "--link", "bridge", data("bridge.bin")}
        << QStringList{} << QStringList{"tern 12,34 Fail 323 1234", "wren usb,1 - - 1234", "tern 0L Fail 400 20"};
    QTest::newRow("unfinished low limit goes back") << QStringList{"--low", "-", "--link=bridge",
        "--profile=osprey", data("bridge.bin")}
        << QStringList{} << QStringList{"tern 12.34 Pass 323 1234", "wren usb.1 - - 1234", "tern 0L Fail 400 20"};
    QTest::newRow("no profile: class 4 numbers") << QStringList{"--link", "bridge", data("bridge.bin")}
        << QStringList{} << QStringList{"tern 12.34 Pass 523 1234", "wren usb.1 - - 1234", "tern 0L Fail 800 40"};
    QTest::newRow("serial tern") << QStringList{"--profile", "osprey", "--link", "serial", data("serial_tern.bin")}
        << QStringList{} << QStringList{"tern 12.34 Pass 323 1234", "tern 567 Pass 256 567"};
    QTest::newRow("serial without profile") << QStringList{"--link", "serial", data("serial_tern.bin")}
        << QStringList{} << QStringList{};
    QTest::newRow("serial wren") << QStringList{"--profile", "wren", "--link", "serial", data("serial_wren.bin")}
        << QStringList{} << QStringList{"wren  - - 30", "wren  - - 30"};
    QTest::newRow("wren stream, tern handler") << QStringList{"--profile", "osprey", "--link", "serial",
        data("serial_wren.bin")} << QStringList{} << QStringList{};
    QTest::newRow("hid") << QStringList{"--profile", "osprey", "--link", "hid", data("hid.txt")}
        << QStringList{} << QStringList{"tern 12.34 Pass 323 1234", "rook 12.34 - - 1234"};
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

void TestDecodeCli::badInput_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message");
    QTest::newRow("unreadable file") << QStringList{"--link", "bridge", data("missing.bin")} << "cannot read";
    QTest::newRow("malformed hid line") << QStringList{"--link", "hid", data("hid_bad.txt")}
                                        << "line 2: '3G' is not a hex byte";
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
