// What an outcome tells: the window tells successes that have a text and every failure,
// the command-line tool its failures only; a cancel tells nothing either way.

#include "base/outcome.h"

#include <QTest>

using namespace sorrel;

using Messages = QList<RecordingNotifier::Message>;

class TestOutcome : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void tell_data();
    void tell();
};

namespace {

Outcome outcomeNamed(const QByteArray &name)
{
    if (name == "silent success")
        return Outcome::success();
    if (name == "success with a text")
        return Outcome::done(QStringLiteral("Saved. Scuss!"), MessageKind::Plain);
    if (name == "cancelled")
        return Outcome::cancelled();
    if (name == "failure without a reason")
        return Outcome::failure(QStringLiteral("Failed to Load File!"));
    if (name == "reason on a second line")
        return Outcome::failure(QStringLiteral("Could not save table to specified file: a.txt"),
                                QStringLiteral("No space left on device"));
    if (name == "reason on the same line")
        return Outcome::failure(QStringLiteral("Cannot save \"a.xml\""), QStringLiteral(": "),
                                QStringLiteral("Permission denied"), MessageKind::Failure);
    qFatal("no outcome named %s", name.constData());
}

} // namespace

void TestOutcome::tell_data()
{
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<Messages>("told");
    QTest::addColumn<Messages>("failuresTold");
    const Messages none;
    QTest::newRow("silent success") << true << "" << none << none;
    QTest::newRow("success with a text") << true << "" << Messages{{MessageKind::Plain, "Saved. Scuss!"}} << none;
    QTest::newRow("cancelled") << false << "" << none << none;
    const Messages load{{MessageKind::Error, "Failed to Load File!"}};
    QTest::newRow("failure without a reason") << false << "" << load << load;
    const Messages full{
        {MessageKind::Error, "Could not save table to specified file: a.txt\nNo space left on device"}};
    QTest::newRow("reason on a second line") << false << "No space left on device" << full << full;
    const Messages xml{{MessageKind::Failure, "Cannot save \"a.xml\": Permission denied"}};
    QTest::newRow("reason on the same line") << false << "Permission denied" << xml << xml;
}

void TestOutcome::tell()
{
    QFETCH(bool, ok);
    QFETCH(QString, reason);
    QFETCH(Messages, told);
    QFETCH(Messages, failuresTold);
    const Outcome outcome = outcomeNamed(QTest::currentDataTag());
    QCOMPARE(bool(outcome), ok);
    QCOMPARE(outcome.reason(), reason);

    RecordingNotifier window;
    QCOMPARE(outcome.tell(window), ok);
    QCOMPARE(window.messages, told);
    RecordingNotifier tool;
    QCOMPARE(outcome.tellFailure(tool), ok);
    QCOMPARE(tool.messages, failuresTold);
}

QTEST_GUILESS_MAIN(TestOutcome)
#include "tst_outcome.moc"
