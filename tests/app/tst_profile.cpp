#include "app/options.h"
#include "base/profile.h"

#include <QTest>

using namespace sorrel;

Q_DECLARE_METATYPE(sorrel::FrameHandler)

class TestProfile : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void resolve_data();
    void resolve();
    void options_data();
    void options();
};

void TestProfile::resolve_data()
{
    QTest::addColumn<QString>("flags");
    QTest::addColumn<FrameHandler>("handler");
    QTest::addColumn<int>("baud");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("firstDigit");
    QTest::addColumn<QString>("displayClass");
    QTest::addColumn<QList<int>>("scale");
    QTest::addColumn<QString>("high");
    QTest::addColumn<QString>("low");
    QTest::addColumn<int>("hidRate");
    QTest::addColumn<bool>("hidReading");

    const QString keep = QStringLiteral("<layout>");
    QTest::newRow("osprey") << "osprey" << FrameHandler::Tern << 2400 << "Sorrel Interface Program V2.00"
                            << "2"
                            << "2" << QList<int>{2000, 200, 20, 40} << "2000"
                            << "-2000" << 19200 << true;
    QTest::newRow("fulmar") << "fulmar" << FrameHandler::Wren << 19200 << "Fulmar USB Interface Program _Ver: 1.00"
                            << "2"
                            << "4" << QList<int>{4000, 400, 40, 80} << keep << keep << 19200 << false;
    QTest::newRow("avocet") << "avocet" << FrameHandler::Tern << 2400 << "Avocet Interface Program _Ver: 1.00"
                            << "2"
                            << "4" << QList<int>{4000, 400, 40, 80} << keep << keep << 19200 << true;
    QTest::newRow("avocet+wren: wren wins")
        << "avocet,wren" << FrameHandler::Wren << 2400 << "Wren USB Interface Program _Ver: 1.00"
        << "2"
        << "4" << QList<int>{4000, 400, 40, 80} << keep << keep << 2400 << true;
    QTest::newRow("merlin") << "merlin" << FrameHandler::Tern << 2400 << "Merlin Interface Program _Ver: 1.00"
                            << "3"
                            << "4" << QList<int>{4000, 400, 40, 80} << keep << keep << 2400 << false;
    QTest::newRow("curlew") << "curlew" << FrameHandler::Wren << 2400 << "Curlew Interface Program _Ver: 2.06"
                            << "2"
                            << "34" << QList<int>{3400, 340, 34, 68} << "3400"
                            << "-3400" << 2400 << false;
    QTest::newRow("gannet") << "gannet" << FrameHandler::Wren << 19200 << "Gannet USB Interface Program _Ver: 1.00"
                            << "2"
                            << "4" << QList<int>{4000, 400, 40, 80} << keep << keep << 2400 << false;
    QTest::newRow("harrier") << "harrier" << FrameHandler::Wren << 2400 << "Harrier Interface Program _Ver: 1.00"
                             << "2"
                             << "6" << QList<int>{6000, 600, 60, 120} << "6000"
                             << "-6000" << 2400 << false;
    QTest::newRow("osprey+harrier: class 6, rate 2400")
        << "osprey,harrier" << FrameHandler::Wren << 2400 << "Harrier Interface Program _Ver: 1.00"
        << "2"
        << "6" << QList<int>{6000, 600, 60, 120} << "6000"
        << "-6000" << 2400 << true;
    QTest::newRow("inert flag is like none")
        << "kestrel" << FrameHandler::None << 2400 << ""
        << "2"
        << "4" << QList<int>{4000, 400, 40, 80} << keep << keep << 2400 << false;
    QTest::newRow("none") << "" << FrameHandler::None << 2400 << ""
                          << "2"
                          << "4" << QList<int>{4000, 400, 40, 80} << keep << keep << 2400 << false;
}

void TestProfile::resolve()
{
    QFETCH(QString, flags);
    QFETCH(FrameHandler, handler);
    QFETCH(int, baud);
    QFETCH(QString, title);
    QFETCH(QString, firstDigit);
    QFETCH(QString, displayClass);
    QFETCH(QList<int>, scale);
    QFETCH(QString, high);
    QFETCH(QString, low);
    QFETCH(int, hidRate);
    QFETCH(bool, hidReading);

    ModelFlags mf;
    if (!flags.isEmpty()) {
        const auto parsed = parseModelFlags(flags);
        QVERIFY(parsed);
        mf = *parsed;
    }
    const Profile p = resolveProfile(mf);
    QCOMPARE(p.handler, handler);
    QCOMPARE(p.serialBaud, baud);
    QCOMPARE(p.title, title);
    QCOMPARE(p.idleFirstDigit, firstDigit);
    QCOMPARE(p.displayClass, displayClass);
    QCOMPARE((QList<int>{p.scale.fullScale, p.scale.dialZero, p.scale.barOverload, p.scale.dialSpan}), scale);
    QCOMPARE(p.highText.value_or(QStringLiteral("<layout>")), high);
    QCOMPARE(p.lowText.value_or(QStringLiteral("<layout>")), low);
    QCOMPARE(p.hidRate, hidRate);
    QCOMPARE(p.hidReading, hidReading);
}

void TestProfile::options_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("errorHas");

    QTest::newRow("default") << QStringList{} << true << "";
    QTest::newRow("profile list") << QStringList{"--profile", "avocet,wren"} << true << "";
    QTest::newRow("profile=") << QStringList{"--profile=fulmar"} << true << "";
    QTest::newRow("unknown profile") << QStringList{"--profile", "avocet,heron"} << false
                                     << "'heron'; valid names: avocet, osprey";
    QTest::newRow("profile without name") << QStringList{"--profile"} << false << "valid names";
    QTest::newRow("unknown option") << QStringList{"--frobnicate"} << false << "unknown option '--frobnicate'";
    QTest::newRow("screenshot") << QStringList{"--screenshot", "x.png"} << true << "";
    QTest::newRow("screenshot after") << QStringList{"--screenshot-after", "5", "--screenshot", "x.png"} << true
                                      << "";
    QTest::newRow("screenshot after, no screenshot")
        << QStringList{"--screenshot-after=5"} << false << "--screenshot-after needs --screenshot";
    for (const char *bad : {"-1", "3601", "2.5", "soon"})
        QTest::addRow("screenshot after %s", bad)
            << QStringList{"--screenshot", "x.png", "--screenshot-after", bad} << false
            << "seconds from 0 to 3600";
    QTest::newRow("screenshot after nothing")
        << QStringList{"--screenshot", "x.png", "--screenshot-after"} << false << "seconds from 0 to 3600";
    QTest::newRow("frames") << QStringList{"--frame", QString(32, u'a'), "--frame=0123456789abcd"} << true << "";
    QTest::newRow("frame of 20 digits")
        << QStringList{"--frame", QString(20, u'0')} << false << "32 or 14 hex digits";
    QTest::newRow("frame not hex") << QStringList{"--frame", QString(13, u'0') + "x"} << false
                                   << "32 or 14 hex digits";
}

void TestProfile::options()
{
    QFETCH(QStringList, args);
    QFETCH(bool, ok);
    QFETCH(QString, errorHas);
    const AppOptionsResult r = parseAppOptions(args);
    QCOMPARE(r.error.isEmpty(), ok);
    if (ok && args.contains("--frame"))
        QCOMPARE(r.options.frames, (QStringList{QString(32, u'A'), "0123456789ABCD"}));
    if (ok)
        QCOMPARE(r.options.screenshotAfter, args.contains("--screenshot-after") ? 5 : 0);
    if (!ok) {
        QVERIFY2(r.error.contains(errorHas), qPrintable(r.error));
        QVERIFY(!r.error.contains(u'\n'));
    }
}

QTEST_APPLESS_MAIN(TestProfile)
#include "tst_profile.moc"
