// Reading files: the tab-separated and XML formats byte for byte, round trips, the text
// reader's tokens, hostile files, and targets that cannot be written.

#include "base/notifier.h"
#include "record/growingfile.h"
#include "record/readingfiles.h"
#include "record/readingtable.h"
#include "record/recorder.h"
#include "record/scratchmount.h"
#include "record/trendchartmodel.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

using namespace sorrel;

namespace {

// Rows are written "No|Time|Value|Unit"; an empty No has no value.
ReadingRow rowOf(const QString &text)
{
    const QStringList f = text.split(u'|');
    ReadingRow r;
    if (!f.value(0).isEmpty())
        r.no = f.value(0).toInt();
    r.time = f.value(1);
    r.value = f.value(2);
    r.unit = f.value(3);
    return r;
}

void fill(ReadingTable &table, const QStringList &rows)
{
    for (const QString &r : rows)
        table.append(rowOf(r));
}

QStringList dump(const ReadingTable &table)
{
    QStringList out;
    for (qsizetype i = 0; i < table.rowCount(); ++i) {
        const ReadingRow r = table.row(i);
        out << (r.no ? QString::number(*r.no) : QString()) + u'|' + r.time + u'|' + r.value + u'|' + r.unit;
    }
    return out;
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// Tells an outcome as the window does, so that a check sees the boxes it would show.
bool told(const Outcome &outcome, Notifier &notifier)
{
    return outcome.tell(notifier);
}

const QByteArray kHeader = "No\tTime\tValue\tUnit\r\n";
const QByteArray kSecret = "local-file-content";
const QStringList kExisting{QStringLiteral("1|09:00:00|0.5|lux")};

QByteArray packet(const QByteArray &fields, const QByteArray &rows)
{
    return "<?xml version=\"1.0\" standalone=\"yes\"?>\n<DATAPACKET Version=\"2.0\"><METADATA><FIELDS>" + fields
           + "</FIELDS><PARAMS/></METADATA><ROWDATA>" + rows + "</ROWDATA></DATAPACKET>";
}

const QByteArray kFields = "<FIELD attrname=\"No\" fieldtype=\"i4\"/>"
                           "<FIELD attrname=\"Time\" fieldtype=\"string\" WIDTH=\"20\"/>"
                           "<FIELD attrname=\"Value\" fieldtype=\"string\" WIDTH=\"20\"/>"
                           "<FIELD attrname=\"Unit\" fieldtype=\"string\" WIDTH=\"20\"/>";

} // namespace

class TestReadingFiles : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() { QVERIFY(dir_.isValid()); }

    void textFile_data();
    void textFile();
    void xmlFile();
    void formatByExtension_data();
    void formatByExtension();
    void roundTrip_data();
    void roundTrip();
    void loadText_data();
    void loadText();
    void loadXml_data();
    void loadXml();
    void hostileXml_data();
    void hostileXml();
    void mutatedXmlNeverCrashes();
    void targetKept_data();
    void targetKept();
    void leftoversRemoved_data();
    void growingFileOnFullDisk();
    void leftoversRemoved();
    void progress_data();
    void progress();
    void lineAcrossReadBlock();
    void bytesInAnyPieces_data();
    void bytesInAnyPieces();
    void tableEmptiedDuringProgress_data();
    void tableEmptiedDuringProgress();
    void liveReadingsHeldDuringLoad_data();
    void liveReadingsHeldDuringLoad();

private:
    QString path(const QString &name) const { return dir_.filePath(name); }
    QTemporaryDir dir_;
};

void TestReadingFiles::textFile_data()
{
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("two rows, empty value as NULL")
        << QStringList{"1|10:15:02|1.234|V", "2|10:15:03||V"}
        << kHeader + "1\t10:15:02\t1.234\tV\r\n2\t10:15:03\tNULL\tV\r\n";
    QTest::newRow("empty table: header alone") << QStringList{} << kHeader;
    QTest::newRow("blanks and controls trimmed, inner kept")
        << QStringList{"3| 10:15 04\t|\x01|  "} << kHeader + "3\t10:15 04\tNULL\tNULL\r\n";
    QTest::newRow("no number, extreme numbers")
        << QStringList{"|a|b|c", "-2147483648|x|y|z", "2147483647|x|y|z"}
        << kHeader + "\ta\tb\tc\r\n-2147483648\tx\ty\tz\r\n2147483647\tx\ty\tz\r\n";
    QTest::newRow("non-ASCII in the local 8-bit encoding")
        << QStringList{QStringLiteral("7|10:15:06|12.5|\u00b5W/cm\u00b2")}
        << kHeader + "7\t10:15:06\t12.5\t" + QStringLiteral("\u00b5W/cm\u00b2").toLocal8Bit() + "\r\n";
}

void TestReadingFiles::textFile()
{
    QFETCH(QStringList, rows);
    QFETCH(QByteArray, bytes);
    ReadingTable table;
    fill(table, rows);
    RecordingNotifier notifier;
    QVERIFY(told(SaveReadingFile(table, path("out.txt")), notifier));
    QCOMPARE(readFile(path("out.txt")), bytes);
}

void TestReadingFiles::xmlFile()
{
    ReadingTable table;
    fill(table, {"1|10:15:02|<a&b>|\"q'", "|||lux"});
    RecordingNotifier notifier;
    QVERIFY(told(SaveReadingFile(table, path("out.xml")), notifier));
    QCOMPARE(readFile(path("out.xml")),
             QByteArray("<?xml version=\"1.0\" standalone=\"yes\"?>\r\n"
                        "<DATAPACKET Version=\"2.0\">\r\n<METADATA>\r\n<FIELDS>\r\n"
                        "<FIELD attrname=\"No\" fieldtype=\"i4\"/>\r\n"
                        "<FIELD attrname=\"Time\" fieldtype=\"string\" WIDTH=\"20\"/>\r\n"
                        "<FIELD attrname=\"Value\" fieldtype=\"string\" WIDTH=\"20\"/>\r\n"
                        "<FIELD attrname=\"Unit\" fieldtype=\"string\" WIDTH=\"20\"/>\r\n"
                        "</FIELDS>\r\n<PARAMS/>\r\n</METADATA>\r\n<ROWDATA>\r\n"
                        "<ROW No=\"1\" Time=\"10:15:02\" Value=\"&lt;a&amp;b&gt;\" Unit=\"&quot;q&apos;\"/>\r\n"
                        "<ROW Unit=\"lux\"/>\r\n"
                        "</ROWDATA>\r\n</DATAPACKET>\r\n"));
}

void TestReadingFiles::formatByExtension_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("xml");
    QTest::newRow(".txt") << "a.txt" << false;
    QTest::newRow(".xls") << "a.xls" << false;
    QTest::newRow(".csv") << "a.csv" << false;
    QTest::newRow("no extension") << "plain" << false;
    QTest::newRow(".xml then .txt") << "a.xml.txt" << false;
    QTest::newRow("folder named .xml") << "d.xml/a" << false;
    QTest::newRow(".xml") << "a.xml" << true;
    QTest::newRow(".XML") << "a.XML" << true;
    QTest::newRow(".Xml") << "b.Xml" << true;
    QTest::newRow("only .xml") << ".xml" << true;
}

void TestReadingFiles::formatByExtension()
{
    QFETCH(QString, name);
    QFETCH(bool, xml);
    QVERIFY(QDir(dir_.path()).mkpath(QStringLiteral("d.xml")));
    ReadingTable table;
    fill(table, {"1|10:15:02|1.234|V"});
    RecordingNotifier notifier;
    const QString file = path(name);
    QVERIFY(told(SaveReadingFile(table, file), notifier));
    const QByteArray bytes = readFile(file);
    QVERIFY2(
        bytes.startsWith(xml ? "<?xml version=\"1.0\" standalone=\"yes\"?>\r\n<DATAPACKET" : kHeader.constData()),
        bytes.left(60).constData());
    // The XML success box is plain; the text one is an information box.
    const QString text = QStringLiteral("Save table to specified file: ") + file + QStringLiteral(" Scuss!");
    QCOMPARE(notifier.messages,
             (QList<RecordingNotifier::Message>{{xml ? MessageKind::Plain : MessageKind::Information, text}}));

    // Loading takes the same format back: text appends, XML replaces.
    ReadingTable loaded;
    fill(loaded, kExisting);
    notifier.clear();
    QVERIFY(told(LoadReadingFile(file, loaded, false), notifier));
    QCOMPARE(dump(loaded), (xml ? QStringList{} : kExisting) + dump(table));
    QVERIFY(notifier.messages.isEmpty());
}

void TestReadingFiles::roundTrip_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QStringList>("expected"); // rows after loading into a table holding kExisting

    const QStringList plain{"1|10:15:02|1.234|lux", "1|10:15:02|1.234|lux", "-5|x|L.OL|fc",
                            QStringLiteral("2147483647|10:15:03|\u00b5|\u00b5W/cm\u00b2")};
    QTest::newRow("text appends") << "a.txt" << plain << kExisting + plain;
    QTest::newRow("xml replaces") << "a.xml" << plain << plain;

    const QStringList awkward{"|||", "-2147483648|<>&\"'|a b|  c  ", "3|tab\there|line\nbreak|cr\r\nlf",
                              QStringLiteral("4|\U0001F600|\u00e9\u4e2d|12345678901234567890")};
    QTest::newRow("xml keeps what text cannot") << "a.xml" << awkward << awkward;
    // XML 1.0 cannot carry most control characters, even as references.
    QTest::newRow("xml mends what it cannot carry")
        << "a.xml" << QStringList{QStringLiteral("5|a\u0001b|\ufffe|ok")}
        << QStringList{QStringLiteral("5|a\ufffdb|\ufffd|ok")};

    // Enough rows that lines and tags straddle the reader's chunks.
    QStringList many;
    for (int i = 0; i < 120000; ++i)
        many << QStringLiteral("%1|%2:%3|%4|%5")
                    .arg(i)
                    .arg(i % 24)
                    .arg(i % 60)
                    .arg(i * 37 % 100003)
                    .arg(i % 7 ? QStringLiteral("lux") : QStringLiteral("fc"));
    QTest::newRow("text, many rows") << "many.txt" << many << kExisting + many;
    QTest::newRow("xml, many rows") << "many.xml" << many << many;

    // Texts are looked up by their bytes: long ones, ones differing only past their
    // 8th or 16th byte, non-ASCII, each met again later in the file.
    QStringList distinct;
    for (int i = 0; i < 60000; ++i) {
        const int k = i % 20000;
        distinct << QStringLiteral("%1|abcdefgh%2|abcdefghijklmnop%3|\u00b5W%4")
                        .arg(i)
                        .arg(k)
                        .arg(k % 7000)
                        .arg(k % 300);
    }
    QTest::newRow("text, many distinct texts") << "distinct.txt" << distinct << kExisting + distinct;
    QTest::newRow("xml, many distinct texts") << "distinct.xml" << distinct << distinct;
}

void TestReadingFiles::roundTrip()
{
    QFETCH(QString, name);
    QFETCH(QStringList, rows);
    QFETCH(QStringList, expected);
    ReadingTable table;
    fill(table, rows);
    RecordingNotifier notifier;
    QVERIFY(told(SaveReadingFile(table, path(name)), notifier));
    ReadingTable loaded;
    fill(loaded, kExisting);
    QVERIFY(told(LoadReadingFile(path(name), loaded, false), notifier));
    QCOMPARE(dump(loaded), expected);
    QCOMPARE(notifier.messages.size(), 1); // the save's
}

void TestReadingFiles::loadText_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("added");
    QTest::addColumn<bool>("ok");

    QTest::newRow("saved example") << kHeader + "1\t10:15:02\t1.234\tV\r\n2\t10:15:03\tNULL\tV\r\n"
                                   << QStringList{"1|10:15:02|1.234|V", "2|10:15:03|NULL|V"} << true;
    QTest::newRow("LF, CR, no final line end")
        << QByteArray("No\n1\ta\tb\tc\r2\td\te\tf") << QStringList{"1|a|b|c", "2|d|e|f"} << true;
    QTest::newRow("blank line skipped") << kHeader + " \t \r\n\r\n3\tt\tv\tu\r\n"
                                        << QStringList{"3|t|v|u"} << true;
    QTest::newRow("one token") << kHeader + "42\r\n" << QStringList{"42|||"} << true;
    QTest::newRow("blanks split the time") << kHeader + "5 10 15 02\r\n" << QStringList{"5|10|15|02"} << true;
    QTest::newRow("control characters separate") << kHeader
                                                        + "6\x01"
                                                          "a\x1f"
                                                          "b\x0b"
                                                          "c\r\n"
                                                 << QStringList{"6|a|b|c"} << true;
    QTest::newRow("NUL ends the line") << kHeader + QByteArray("7\ta\0\tb\r\n", 9) << QStringList{"7|a||"} << true;
    QTest::newRow("NUL bytes anywhere") << QByteArray("No\0Time\r\n\0\0\r\n\0"
                                                      "1\ta\r\n2\0\0\r\n3\t\0b\r\n4\tc\0",
                                                      35)
                                        << QStringList{"2|||", "3|||", "4|c||"} << true;
    QTest::newRow("CR-only line ends") << QByteArray("No\tTime\tValue\tUnit\r1\ta\tb\tc\r\r2\td\r\r\r3\r")
                                       << QStringList{"1|a|b|c", "2|d||", "3|||"} << true;
    QTest::newRow("header only, silently") << kHeader << QStringList{} << true;
    QTest::newRow("one empty line") << QByteArray("\r\n") << QStringList{} << true;
    QTest::newRow("header of any bytes")
        << QByteArray("\xff\xfe\x01garbage\r\n1\ta\r\n") << QStringList{"1|a||"} << true;
    QTest::newRow("quoted tokens") << kHeader + "\"7\" \"10:15 02\" \"say \"\"hi\"\"\" \"\"\"\"\r\n"
                                   << QStringList{"7|10:15 02|say \"hi\"|\""} << true;
    QTest::newRow("empty quoted number") << kHeader + "\"\"\ta\tb\tc\r\n" << QStringList{"|a|b|c"} << true;
    QTest::newRow("unterminated quote") << kHeader + "8 \"open  ended\r\n"
                                        << QStringList{"8|open  ended||"} << true;
    QTest::newRow("quote closes mid-token") << kHeader + "9 \"ab\"cd\r\n" << QStringList{"9|ab|cd|"} << true;
    QTest::newRow("signed numbers") << kHeader + "-2147483648\r\n+5\r\n"
                                    << QStringList{"-2147483648|||", "5|||"} << true;
    QTest::newRow("long texts cut to 20") << kHeader + "1\t123456789012345678901234\tv\tu\r\n"
                                          << QStringList{"1|12345678901234567890|v|u"} << true;
    QTest::newRow("UTF-8 text") << kHeader + "1\t\xc2\xb5\tv\r\n"
                                << QStringList{QStringLiteral("1|\u00b5|v|")} << true;

    QTest::newRow("empty file fails") << QByteArray() << QStringList{} << false;
    QTest::newRow("five tokens fail, earlier rows stay")
        << kHeader + "1\ta\tb\tc\r\n2\t10 15\tb\tc\r\n3\tx\ty\tz\r\n"
        << QStringList{"1|a|b|c"} << false;
    QTest::newRow("bad number") << kHeader + "1\ta\r\nx1\tb\r\n" << QStringList{"1|a||"} << false;
    QTest::newRow("number beyond 32 bits") << kHeader + "2147483648\r\n" << QStringList{} << false;
    QTest::newRow("lone sign") << kHeader + "-\ta\r\n" << QStringList{} << false;
    QTest::newRow("binary garbage") << QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\x01", 20) << QStringList{}
                                    << false;
    QTest::newRow("endless line") << kHeader + "1\r\n" + QByteArray(3 << 20, ' ') + "2\r\n"
                                  << QStringList{"1|||"} << false;
}

void TestReadingFiles::loadText()
{
    QFETCH(QByteArray, content);
    QFETCH(QStringList, added);
    QFETCH(bool, ok);
    QVERIFY(writeFile(path("in.txt"), content));
    ReadingTable table;
    fill(table, kExisting);
    RecordingNotifier notifier;
    QCOMPARE(told(LoadReadingFile(path("in.txt"), table, false), notifier), ok);
    QCOMPARE(dump(table), kExisting + added);
    const QList<RecordingNotifier::Message> failed{{MessageKind::Error, "Failed to Load File!"}};
    QCOMPARE(notifier.messages, ok ? QList<RecordingNotifier::Message>() : failed);
}

void TestReadingFiles::loadXml_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("rows");

    QTest::newRow("only what is described")
        << packet(kFields, "<ROW No=\"1\" Time=\"10:15:02\" Value=\"1.234\" Unit=\"V\"/>"
                           "<ROW Unit=\"V\" No=\"2\" Time=\"10:15:03\"/>")
        << QStringList{"1|10:15:02|1.234|V", "2|10:15:03||V"};
    QTest::newRow("no rows empties the table") << packet(kFields, "") << QStringList{};
    QTest::newRow("foreign attributes, comments, quotes, BOM")
        << QByteArray("\xef\xbb\xbf<?xml version='1.0' encoding='UTF-8'?>\r\n<!-- saved -->\r\n"
                      "<DATAPACKET Version='2.0'>\r\n <METADATA>\r\n  <FIELDS>"
                      "<FIELD attrname='no' fieldtype='i4'/><FIELD attrname='TIME' fieldtype='string' WIDTH='20'/>"
                      "<FIELD attrname='Value' fieldtype='string' WIDTH='20'></FIELD>"
                      "<FIELD attrname = \"Unit\" fieldtype='string' WIDTH='20'/></FIELDS>\r\n"
                      "  <PARAMS CHANGE_LOG=\"1 0 4\" LCID='1033'/>\r\n </METADATA>\r\n"
                      " <ROWDATA><?note?><ROW RowState='4' No='3' Unit='lux' /><![CDATA[ x ]]>text</ROWDATA>\r\n"
                      "</DATAPACKET>\r\n<!-- end -->\r\n")
        << QStringList{"3|||lux"};
    QTest::newRow("references and white space")
        << packet(kFields, "<ROW No=\"&#52;\" Time=\"a&#9;b&#x41;&lt;&#x1F600;\" Value=\"t\tn\nc\r\nd\"/>")
        << QStringList{QStringLiteral("4|a\tbA<\U0001F600|t n c d|")};
    QTest::newRow("declared Latin-1") << "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>"
                                             + packet(kFields, "<ROW No=\"1\" Unit=\"\xb5W\"/>").mid(39)
                                      << QStringList{QStringLiteral("1|||\u00b5W")};
}

void TestReadingFiles::loadXml()
{
    QFETCH(QByteArray, content);
    QFETCH(QStringList, rows);
    QVERIFY(writeFile(path("in.xml"), content));
    ReadingTable table;
    fill(table, kExisting + kExisting);
    RecordingNotifier notifier;
    QVERIFY(told(LoadReadingFile(path("in.xml"), table, false), notifier));
    QCOMPARE(dump(table), rows);
    QVERIFY(notifier.messages.isEmpty());
}

void TestReadingFiles::hostileXml_data()
{
    QTest::addColumn<QByteArray>("content");
    const QByteArray good = packet(kFields, "<ROW No=\"1\" Time=\"10:15:02\" Value=\"1.234\" Unit=\"V\"/>");
    QTest::newRow("empty file") << QByteArray();
    QTest::newRow("cut in the rows") << good.left(good.indexOf("<ROW ") + 20);
    QTest::newRow("cut before the end tag") << good.left(good.size() - 3);
    QTest::newRow("wrong root") << QByteArray(good).replace("DATAPACKET", "DATAPACKAGE");
    QTest::newRow("three fields") << packet(kFields.left(kFields.lastIndexOf("<FIELD")), "");
    QTest::newRow("field renamed") << packet(QByteArray(kFields).replace("\"No\"", "\"Nr\""), "");
    const qsizetype time = kFields.indexOf("<FIELD attrname=\"Time\"");
    const qsizetype value = kFields.indexOf("<FIELD attrname=\"Value\"");
    const qsizetype unit = kFields.indexOf("<FIELD attrname=\"Unit\"");
    QTest::newRow("fields out of order") << packet(kFields.left(time) + kFields.mid(value, unit - value)
                                                       + kFields.mid(time, value - time) + kFields.mid(unit),
                                                   "");
    QTest::newRow("no metadata") << QByteArray("<DATAPACKET Version=\"2.0\"><ROWDATA/></DATAPACKET>");
    QTest::newRow("no rowdata") << "<DATAPACKET Version=\"2.0\"><METADATA><FIELDS>" + kFields
                                       + "</FIELDS><PARAMS/></METADATA></DATAPACKET>";
    QTest::newRow("rowdata before metadata") << "<DATAPACKET Version=\"2.0\"><ROWDATA/><METADATA><FIELDS>"
                                                    + kFields + "</FIELDS><PARAMS/></METADATA></DATAPACKET>";
    QTest::newRow("number not a number") << packet(kFields, "<ROW No=\"1x\"/>");
    QTest::newRow("number beyond 32 bits") << packet(kFields, "<ROW No=\"4294967296\"/>");
    QTest::newRow("mismatched end tag") << QByteArray(good).replace("</ROWDATA>", "</ROWDATUM>");
    QTest::newRow("second root") << good + "<DATAPACKET/>";
    QTest::newRow("text before the root") << "junk" + good;
    QTest::newRow("duplicate attribute") << packet(kFields, "<ROW No=\"1\" No=\"2\"/>");
    QTest::newRow("attribute without quotes") << packet(kFields, "<ROW No=1/>");
    QTest::newRow("illegal character reference") << packet(kFields, "<ROW Value=\"&#1;\"/>");
    QTest::newRow("undeclared entity") << packet(kFields, "<ROW Value=\"&xxe;\"/>");
    QTest::newRow("invalid UTF-8") << packet(kFields, "<ROW Value=\"\xc3\x28\"/>");
    QTest::newRow("UTF-16") << QByteArray("\xff\xfe<\0D\0", 6);
    QTest::newRow("UTF-16, big-endian") << QByteArray("\xfe\xff\0<\0D", 6);
    QTest::newRow("UTF-16 saved packet")
        << "\xff\xfe"
               + QByteArray(reinterpret_cast<const char *>(QString::fromLatin1(good).utf16()), good.size() * 2);
    QTest::newRow("overlong UTF-8") << packet(kFields, "<ROW Value=\"\xc0\xaf\"/>");
    QTest::newRow("UTF-8 surrogate") << packet(kFields, "<ROW Value=\"\xed\xa0\x80\"/>");
    QTest::newRow("UTF-8 cut at the quote") << packet(kFields, "<ROW Value=\"ab\xe2\x82\"/>");
    QByteArray laughs = "<?xml version=\"1.0\"?>\n<!DOCTYPE DATAPACKET [\n<!ENTITY lol \"lol\">\n";
    for (int i = 1; i < 10; ++i)
        laughs += QStringLiteral("<!ENTITY lol%1 \"%2\">\n")
                      .arg(i)
                      .arg(QStringLiteral("&lol%1;").arg(i > 1 ? QString::number(i - 1) : QString()).repeated(10))
                      .toLatin1();
    laughs += "]>\n" + packet(kFields, "<ROW No=\"1\" Value=\"&lol9;\"/>").mid(39);
    QTest::newRow("billion laughs") << laughs;
    QTest::newRow("external entity")
        << "<?xml version=\"1.0\"?>\n<!DOCTYPE DATAPACKET [<!ENTITY xxe SYSTEM \"file:///etc/passwd\">]>\n"
               + packet(kFields, "<ROW No=\"1\" Value=\"&xxe;\"/>").mid(39);
    // The file holds kSecret; nothing of it may reach a table.
    const QByteArray secret = path("secret.txt").toUtf8();
    QVERIFY(writeFile(path("secret.txt"), kSecret));
    QTest::newRow("external entity naming a local file")
        << "<?xml version=\"1.0\"?>\n<!DOCTYPE DATAPACKET [<!ENTITY xxe SYSTEM \"file://" + secret + "\">]>\n"
               + packet(kFields, "<ROW No=\"1\" Value=\"&xxe;\" Unit=\"&xxe;\"/>").mid(39);
    QTest::newRow("external parameter entity") << "<!DOCTYPE DATAPACKET [<!ENTITY % p SYSTEM \"" + secret
                                                      + "\"> %p;]>\n" + packet(kFields, "<ROW No=\"1\"/>").mid(39);
    QTest::newRow("entity in element content") << packet(kFields, "<ROW No=\"1\"/>&xxe;");
    QTest::newRow("deep nesting") << "<DATAPACKET>" + QByteArray("<a>").repeated(200000);
    QTest::newRow("million-deep nesting, closed") << "<DATAPACKET>" + QByteArray("<a>").repeated(1000000)
                                                         + QByteArray("</a>").repeated(1000000) + "</DATAPACKET>";
    QTest::newRow("huge attribute") << packet(kFields,
                                              "<ROW No=\"1\" Value=\"" + QByteArray(16 << 20, 'x') + "\"/>");
    QTest::newRow("huge tag name") << packet(kFields, "<" + QByteArray(16 << 20, 'R') + "/>");
    QByteArray garbage(1 << 16, Qt::Uninitialized);
    QRandomGenerator gen(7);
    for (char &c : garbage)
        c = char(gen.bounded(256));
    QTest::newRow("binary garbage") << garbage;
}

void TestReadingFiles::hostileXml()
{
    QFETCH(QByteArray, content);
    QVERIFY(writeFile(path("in.xml"), content));
    ReadingTable table;
    fill(table, kExisting);
    RecordingNotifier notifier;
    QVERIFY(!told(LoadReadingFile(path("in.xml"), table, false), notifier));
    QCOMPARE(dump(table), kExisting);
    QVERIFY(!dump(table).join(u'\n').contains(QLatin1String(kSecret)));
    QCOMPARE(notifier.messages, (QList<RecordingNotifier::Message>{{MessageKind::Error, "Failed to Load File!"}}));
}

// Random damage to a good packet: each load either takes rows or fails with the one
// message and leaves the table alone.
void TestReadingFiles::mutatedXmlNeverCrashes()
{
    const QByteArray good = packet(kFields, "<ROW No=\"1\" Time=\"10:15:02\" Value=\"a&amp;b\" Unit=\"V\"/>\n"
                                            "<ROW No=\"2\" Time=\"x\" Value=\"&#x41;\" Unit=\"lux\"/>");
    QRandomGenerator gen(42);
    for (int round = 0; round < 600; ++round) {
        QByteArray bad = good;
        const int edits = 1 + int(gen.bounded(4));
        for (int e = 0; e < edits; ++e) {
            const int at = int(gen.bounded(bad.size()));
            switch (gen.bounded(3)) {
            case 0:
                bad[at] = char(gen.bounded(256));
                break;
            case 1:
                bad.remove(at, 1 + int(gen.bounded(8)));
                break;
            default:
                bad.insert(at, "<>&\"'/!?-["[gen.bounded(10)]);
                break;
            }
        }
        QVERIFY(writeFile(path("m.xml"), bad));
        ReadingTable table;
        fill(table, kExisting);
        RecordingNotifier notifier;
        const bool ok = told(LoadReadingFile(path("m.xml"), table, false), notifier);
        QCOMPARE(notifier.messages.size(), ok ? 0 : 1);
        if (!ok)
            QCOMPARE(dump(table), kExisting);
        else
            QVERIFY(table.rowCount() <= 2);
    }
}

void TestReadingFiles::targetKept_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("situation");
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("freeKiB"); // on a 16 KiB tmpfs; -1: not filled up
    for (const char *name : {"t.txt", "t.xml"}) {
        for (const char *situation : {"missing folder", "read-only folder", "full filesystem"})
            QTest::addRow("%s, %s", name, situation) << QString::fromLatin1(name) << QString::fromLatin1(situation)
                                                     << 60000 << -1; // well over 1 MiB in either format
        // Files smaller than the write buffers: the failure shows only when it is flushed.
        QTest::addRow("%s, 5 rows, 0 KiB free", name) << QString::fromLatin1(name) << "full filesystem" << 5 << 0;
        QTest::addRow("%s, 300 rows, 4 KiB free", name)
            << QString::fromLatin1(name) << "full filesystem" << 300 << 4;
    }
}

void TestReadingFiles::targetKept()
{
    QFETCH(QString, name);
    QFETCH(QString, situation);
    QFETCH(int, rows);
    QFETCH(int, freeKiB);
    const QByteArray old = "old content\r\n";
    QString folder;
    int reason = ENOENT;
    std::unique_ptr<ScratchMount> mount;
    if (situation == u"missing folder") {
        folder = path(QStringLiteral("no/such/folder"));
    } else if (geteuid() == 0) {
        // Root writes anywhere: only a mounted filesystem can refuse.
        mount = std::make_unique<ScratchMount>(freeKiB < 0 ? QStringLiteral("size=1m")
                                                           : QStringLiteral("size=16k"));
        if (!mount->mounted())
            QSKIP("cannot mount a tmpfs here");
        folder = mount->path();
        QVERIFY(writeFile(folder + u'/' + name, old));
        reason = situation == u"read-only folder" ? EROFS : ENOSPC;
        if (situation == u"read-only folder" && !mount->makeReadOnly())
            QSKIP("cannot remount the tmpfs read-only");
        if (freeKiB >= 0)
            QVERIFY(mount->leaveFree(freeKiB * 1024));
    } else {
        if (situation == u"full filesystem")
            QSKIP("mounting a small filesystem needs root");
        folder = path(QStringLiteral("ro"));
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(writeFile(folder + u'/' + name, old));
        QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
        reason = EACCES;
    }
    const QString file = folder + u'/' + name;

    ReadingTable table;
    for (int i = 0; i < rows; ++i)
        table.append(rowOf(QStringLiteral("%1|10:15:02|%2|lux").arg(i).arg(i * 3)));
    // Nothing is told: the outcome carries what the caller will show.
    const Outcome saved = SaveReadingFile(table, file);
    if (situation == u"missing folder") {
        QVERIFY(!QFile::exists(file));
    } else {
        QCOMPARE(readFile(file), old);
        QStringList left = QDir(folder).entryList(QDir::Files | QDir::Hidden);
        left.removeAll(ScratchMount::fillerName());
        QCOMPARE(left, QStringList{name}); // no leftovers
    }
    const QString why = qt_error_string(reason);
    QVERIFY(saved.failed());
    QCOMPARE(saved.reason(), why);
    if (name.endsWith(u".xml")) {
        // Unwritable XML reaches the general error report, the reason on its line.
        QCOMPARE(saved.kind(), MessageKind::Failure);
        QCOMPARE(saved.message(), QStringLiteral("Cannot save \"%1\": %2").arg(file, why));
    } else {
        // The system's reason on the second line of the error box.
        QCOMPARE(saved.kind(), MessageKind::Error);
        QCOMPARE(saved.message(), "Could not save table to specified file: " + file + u'\n' + why);
    }
    if (!mount)
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

void TestReadingFiles::leftoversRemoved_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("text") << "t.txt";
    QTest::newRow("xml") << "t.xml";
}

// A kill between naming the new file and renaming it leaves it beside the target; the
// next save of that target clears it and nothing else.
void TestReadingFiles::leftoversRemoved()
{
    QFETCH(QString, name);
    const QString folder = path(QStringLiteral("left ") + name);
    QVERIFY(QDir().mkpath(folder));
    const QDir dir(folder);
    const QStringList leftovers{name + ".Ab12cZ.saving", name + ".000000.saving"};
    const QStringList kept{name + ".backup.part", name + ".Ab12c.saving", name + ".Ab12cd.saving.x",
                           "u.txt.Ab12cd.saving", name + ".backup",       name + ".Ab12cd"};
    for (const QString &f : leftovers + kept)
        QVERIFY(writeFile(dir.filePath(f), "x"));
    QVERIFY(writeFile(dir.filePath(name), "old"));
    QVERIFY(::chmod(QFile::encodeName(dir.filePath(name)).constData(), 0640) == 0);

    ReadingTable table;
    fill(table, kExisting);
    RecordingNotifier notifier;
    QVERIFY(runGuarded(notifier, [&] { QVERIFY(told(SaveReadingFile(table, dir.filePath(name)), notifier)); }));
    QCOMPARE(notifier.messages.size(), 1);
    QStringList expected = kept + QStringList{name};
    expected.sort();
    QCOMPARE(dir.entryList(QDir::Files | QDir::Hidden, QDir::Name), expected);
    struct stat st {};
    QVERIFY(::stat(QFile::encodeName(dir.filePath(name)).constData(), &st) == 0);
    QCOMPARE(st.st_mode & 07777, mode_t(0640)); // the old file's permissions stay
    QVERIFY(readFile(dir.filePath(name)).contains("09:00:00"));
}

// A logger's file on a disk that fills up: whole rows only, the rest kept for later.
void TestReadingFiles::growingFileOnFullDisk()
{
    ScratchMount mount(QStringLiteral("size=16k"));
    if (!mount.mounted())
        QSKIP("mounting a small tmpfs needs root");
    QVERIFY(mount.leaveFree(4096));
    const QString file = mount.filePath(QStringLiteral("log.txt"));
    GrowingReadingFile log(file);
    QVERIFY(log.open(GrowingReadingFile::Mode::Replace));
    ReadingTable all;
    for (int i = 1; i <= 300; ++i) { // about 7 KiB
        const ReadingRow row = rowOf(QStringLiteral("%1|10:15:02|%2|lux").arg(i).arg(i * 7));
        log.append(row);
        all.append(row);
    }
    QVERIFY(!log.sync());
    QCOMPARE(log.errorString(), qt_error_string(ENOSPC));
    const QByteArray cut = readFile(file);
    QVERIFY2(cut.endsWith("\r\n") && cut.size() > 4000 && cut.size() <= 4096,
             qPrintable(QString::number(cut.size())));
    ReadingTable loaded;
    RecordingNotifier notifier;
    QVERIFY(told(LoadReadingFile(file, loaded, false), notifier));
    QCOMPARE(dump(loaded), dump(all).mid(0, loaded.rowCount()));

    // Room again: the rows not written follow, none twice.
    QVERIFY(QFile::remove(mount.filePath(ScratchMount::fillerName())));
    QVERIFY2(log.sync(), qPrintable(log.errorString()));
    log.close();
    const QString saved = path(QStringLiteral("whole.txt"));
    QVERIFY(told(SaveReadingFile(all, saved), notifier));
    QCOMPARE(readFile(file), readFile(saved));
}

void TestReadingFiles::progress_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("text") << "p.txt";
    QTest::newRow("xml") << "p.xml";
}

void TestReadingFiles::progress()
{
    QFETCH(QString, name);
    ReadingTable table;
    const int rows = 300000;
    for (int i = 0; i < rows; ++i)
        table.append(rowOf(QStringLiteral("%1|10:15:02|%2|lux").arg(i).arg(i)));
    RecordingNotifier notifier;
    QList<std::pair<qint64, qint64>> calls;
    const FileProgress record = [&](qint64 done, qint64 total) { calls.append({done, total}); };

    QVERIFY(told(SaveReadingFile(table, path(name), record), notifier));
    QVERIFY(!calls.isEmpty());
    QVERIFY2(calls.size() < rows / 1000, "called per row");
    for (qsizetype i = 0; i < calls.size(); ++i) {
        QCOMPARE(calls[i].second, qint64(rows));
        QVERIFY(calls[i].first > (i ? calls[i - 1].first : 0) && calls[i].first <= rows);
    }

    calls.clear();
    ReadingTable loaded;
    QVERIFY(told(LoadReadingFile(path(name), loaded, false, record), notifier));
    QCOMPARE(loaded.rowCount(), qsizetype(rows));
    const qint64 size = QFileInfo(path(name)).size();
    QVERIFY(!calls.isEmpty());
    for (qsizetype i = 0; i < calls.size(); ++i) {
        QCOMPARE(calls[i].second, size);
        QVERIFY(calls[i].first > (i ? calls[i - 1].first : 0) && calls[i].first <= size);
    }
}

void TestReadingFiles::lineAcrossReadBlock()
{
    // The reader takes the file a MiB at a time: put every byte of an awkward line, its
    // CR LF included, at the block boundary in turn.
    const QByteArray line = "\"-12\"\t\"10:15 \"\"02\"\"\"\t\xc2\xb5W/cm\xc2\xb2  \"a b\"\r\n";
    const QString expected = QStringLiteral("-12|10:15 \"02\"|\u00b5W/cm\u00b2|a b");
    const qsizetype block = 1 << 20;
    const QByteArray filler = "1\tf\tv\tu" + QByteArray(90, ' ') + "\r\n";
    for (qsizetype at = 0; at <= line.size(); ++at) {
        QByteArray content = kHeader;
        const qsizetype before = block - at;
        int fillers = 0;
        for (; content.size() + filler.size() + 10 <= before; ++fillers)
            content += filler;
        content += "2\tf\tv\tu" + QByteArray(before - content.size() - 9, ' ') + "\r\n";
        QCOMPARE(content.size(), before);
        content += line + "3\tlast\r\n";
        QVERIFY(writeFile(path("block.txt"), content));
        ReadingTable table;
        RecordingNotifier notifier;
        QVERIFY(told(LoadReadingFile(path("block.txt"), table, false), notifier));
        const QStringList rows = dump(table);
        QCOMPARE(rows.size(), fillers + 3);
        QCOMPARE(rows.value(rows.size() - 2), expected);
        QCOMPARE(rows.last(), QStringLiteral("3|last||"));
    }
}

void TestReadingFiles::bytesInAnyPieces_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("ok");
    QTest::newRow("text") << "in.txt"
                          << kHeader + "\"-12\"\t\"10:15 \"\"02\"\"\"\t\xc2\xb5W\r\n\r2\ta\0b\n\n3 x\r\n"
                          << true;
    QTest::newRow("text, fifth token") << "in.txt" << kHeader + "1\ta\r\n2 a b c d\r\n" << false;
    QTest::newRow("xml") << "in.xml"
                         << "\xef\xbb\xbf"
                                + packet(
                                    kFields,
                                    "<!-- c --><ROW No=\"&#52;\" Time=\"a&#9;b&lt;&#x1F600;\" Value='t\r\nd'/>"
                                    "<![CDATA[x]]><?pi?><ROW Unit=\"\xc2\xb5W\" No=\"-5\"/>")
                         << true;
    QTest::newRow("xml, cut") << "in.xml" << packet(kFields, "<ROW No=\"1\"/>").chopped(2) << false;
}

// The loader over bytes in memory reads what it reads from the file, however few bytes
// each read brings.
void TestReadingFiles::bytesInAnyPieces()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    QFETCH(bool, ok);
    QVERIFY(writeFile(path(name), content));
    ReadingTable fromFile;
    RecordingNotifier notifier;
    QCOMPARE(told(LoadReadingFile(path(name), fromFile, false), notifier), ok);
    QVERIFY(fromFile.rowCount() > 0 || (!ok && isXmlReadingFile(name)));
    const bool xml = isXmlReadingFile(name);
    for (const qint64 chunk :
         {qint64(1), qint64(2), qint64(3), qint64(5), qint64(8), qint64(13), qint64(1) << 20}) {
        ReadingTable table;
        RecordingNotifier bytesNotifier;
        QCOMPARE(told(LoadReadingBytes(content, xml, table, false, chunk), bytesNotifier), ok);
        QCOMPARE(dump(table), dump(fromFile));
        QCOMPARE(bytesNotifier.messages, notifier.messages);
    }
}

void TestReadingFiles::tableEmptiedDuringProgress_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("save text") << "e.txt";
    QTest::newRow("save xml") << "e.xml";
}

void TestReadingFiles::tableEmptiedDuringProgress()
{
    // A save's progress may run the event loop, and the table may be emptied and
    // refilled meanwhile: text ids met before then stand for other texts afterwards.
    QFETCH(QString, name);
    const int rows = 200000;
    auto before = [](int i) { return QStringLiteral("%1|old%2|o%3|lux").arg(i).arg(i).arg(i % 500); };
    auto after = [](int i) { return QStringLiteral("%1|new%2|n%3|fc").arg(i).arg(i % 1000).arg(i); };
    ReadingTable table;
    for (int i = 0; i < rows; ++i)
        table.append(rowOf(before(i)));
    RecordingNotifier notifier;
    qint64 emptiedAt = -1;
    const FileProgress refill = [&](qint64 done, qint64) {
        if (emptiedAt >= 0)
            return;
        emptiedAt = done;
        table.clear();
        for (int i = 0; i < rows; ++i)
            table.append(rowOf(after(i)));
    };
    QVERIFY(told(SaveReadingFile(table, path(name), refill), notifier));
    QVERIFY(emptiedAt > 0 && emptiedAt < rows);
    ReadingTable loaded;
    QVERIFY(told(LoadReadingFile(path(name), loaded, false), notifier));
    const QStringList got = dump(loaded);
    QCOMPARE(got.size(), rows);
    for (int i = 0; i < rows; ++i)
        if (got[i] != (i < emptiedAt ? before(i) : after(i)))
            QFAIL(qPrintable(QStringLiteral("row %1: %2").arg(i).arg(got[i])));
}

void TestReadingFiles::liveReadingsHeldDuringLoad_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("tail"); // appended to the saved file
    QTest::newRow("text appends") << "l.txt" << QByteArray();
    QTest::newRow("xml replaces") << "l.xml" << QByteArray();
    QTest::newRow("text stopped by a bad last line") << "b.txt" << QByteArray("1 2 3 4 5\r\n");
}

// A load's progress may run the event loop while a meter streams. Whatever the
// recorder is given meanwhile leaves the table, the numbers and the chart alone, and
// the first reading after the load, failed or not, is recorded as the next one.
void TestReadingFiles::liveReadingsHeldDuringLoad()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, tail);
    const int rows = 200000; // several read chunks, so several progress calls
    ReadingTable file;
    for (int i = 0; i < rows; ++i)
        file.append(rowOf(QStringLiteral("%1|09:%2|f%3|fc").arg(i + 1).arg(i % 60).arg(i)));
    RecordingNotifier notifier;
    QVERIFY(told(SaveReadingFile(file, path(name)), notifier));
    QFile append(path(name));
    QVERIFY(append.open(QIODevice::Append) && append.write(tail) == tail.size());
    append.close();
    notifier.clear();

    ReadingState state;
    LcdPanelState panel;
    ReadingTable table;
    TrendChartModel chart;
    TChartControl control{chart, 100};
    Recorder recorder(table, control, state, panel, notifier, QStringLiteral(":"));
    recorder.clock = [] { return QTime(10, 0, 0); };
    auto feed = [&](const QString &value) {
        state.currentValue = value;
        state.currentUnit = QStringLiteral("lux");
        state.lastReading = 5;
        recorder.INDataToTable();
    };
    feed(QStringLiteral("1.111"));
    feed(QStringLiteral("2.222"));
    const QStringList recorded = dump(table);
    const qint64 points = chart.pointCount();

    int during = 0;
    bool heldEachTime = true;
    const FileProgress live = [&](qint64, qint64) {
        heldEachTime = heldEachTime && recorder.loading();
        feed(QStringLiteral("9.%1").arg(++during));
    };
    const bool xml = isXmlReadingFile(name);
    QCOMPARE(told(recorder.loadReadingFile(path(name), live), notifier), tail.isEmpty());
    QVERIFY2(during > 1, qPrintable(QString::number(during)));
    QVERIFY(heldEachTime);
    QVERIFY(!recorder.loading());
    QCOMPARE(notifier.texts(),
             tail.isEmpty() ? QStringList() : QStringList{QStringLiteral("Failed to Load File!")});
    const QStringList expected = (xml ? QStringList() : recorded) + dump(file);
    QCOMPARE(dump(table), expected);
    QCOMPARE(recorder.nextNumber(), 3);
    QCOMPARE(recorder.recordedCount(), 2);
    QCOMPARE(chart.pointCount(), points);

    feed(QStringLiteral("3.333"));
    QCOMPARE(table.rowCount(), expected.size() + 1);
    QCOMPARE(table.row(expected.size()), (ReadingRow{3, "10:00:00", "3.333", "lux"}));
    QCOMPARE(chart.pointCount(), points + 1);
}

QTEST_GUILESS_MAIN(TestReadingFiles)
#include "tst_readingfiles.moc"
