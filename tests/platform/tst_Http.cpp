#include "RecordsetProbe.h"
#include "SmtpTestServer.h"
#include "TestMain.h"
#include "platform/http/HttpGet.h"
#include "platform/providers/xml/XmlSource.h"
#include "base/AppError.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>

using TestSupport::ErrorOrNone;

namespace {

// A small HTTP server on 127.0.0.1: files from the test data folder, a page
// that answers with the request line it got (as a record set), fixed status
// answers, a folder behind basic authentication, a slow page and a big one.
const char* const kServer = R"PY(
import base64, http.server, os, sys, time, urllib.parse
from xml.sax.saxutils import quoteattr

root = sys.argv[1]

def record_set(value):
    return ("<xml xmlns:s='uuid:BDC6E3F0-6DA3-11d1-A2A3-00AA00C14882' "
            "xmlns:dt='uuid:C2F41010-65B3-11d1-A29F-00AA00C14882' "
            "xmlns:rs='urn:schemas-microsoft-com:rowset' xmlns:z='#RowsetSchema'>"
            "<s:Schema id='RowsetSchema'><s:ElementType name='row' content='eltOnly'>"
            "<s:AttributeType name='path'><s:datatype dt:type='string' dt:maxLength='2000'/>"
            "</s:AttributeType></s:ElementType></s:Schema><rs:data><z:row path=%s/></rs:data></xml>"
            % quoteattr(value)).encode("utf-8")

class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def answer(self, code, body, reason=None, headers=()):
        self.send_response(code, reason)
        self.send_header("Content-Type", "text/xml")
        self.send_header("Content-Length", str(len(body)))
        for name, value in headers:
            self.send_header(name, value)
        self.end_headers()
        self.wfile.write(body)

    def serve_file(self, name):
        path = os.path.join(root, name)
        if not os.path.isfile(path):
            self.answer(404, b"<html>no such file</html>")
            return
        with open(path, "rb") as f:
            self.answer(200, f.read())

    def do_GET(self):
        path = urllib.parse.urlsplit(self.path).path
        if path == "/echo":
            self.answer(200, record_set(self.path))
        elif path == "/gone":
            self.answer(410, b"", reason="Gone Fishing")
        elif path.startswith("/secret/"):
            expected = "Basic " + base64.b64encode(b"alice:s3cret").decode()
            if self.headers.get("Authorization") != expected:
                self.answer(401, b"denied", headers=[("WWW-Authenticate", 'Basic realm="lists"')])
            else:
                self.serve_file(path[len("/secret/"):])
        elif path == "/slow":
            time.sleep(5)
            self.answer(200, b"")
        elif path == "/big":
            self.answer(200, b" " * (3 << 20))
        else:
            self.serve_file(path.lstrip("/"))

server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
server.daemon_threads = True
print(server.server_address[1], flush=True)
server.serve_forever()
)PY";

const QString kSecret = QStringLiteral("/secret/tablegram-types_basic.xml");

} // namespace

class TestHttp : public QObject
{
    Q_OBJECT

    QProcess m_server;
    QString m_base;

    QString Url(const QString& path) const { return m_base + path; }

private Q_SLOTS:
    void initTestCase()
    {
        m_server.start(TestSupport::SystemPython(), {QStringLiteral("-c"), QString::fromUtf8(kServer),
                                                     TestSupport::TestData(QStringLiteral("adoxml"))});
        QVERIFY(m_server.waitForStarted());
        QVERIFY(m_server.waitForReadyRead(10000));
        const int port = m_server.readLine().trimmed().toInt();
        QVERIFY(port > 0);
        m_base = QStringLiteral("http://127.0.0.1:%1").arg(port);
    }

    void cleanupTestCase()
    {
        m_server.kill();
        m_server.waitForFinished();
    }

    void readsRecordSetsOverHttpWithBasicAuthentication()
    {
        const Recordset set = XmlSource::Open(Url(QStringLiteral("/msdocs-northwind-shippers.xml")), {}, {});
        QCOMPARE(set.RecordCount(), 3);
        QCOMPARE(set.ValueAt(2, 1).toString(), QStringLiteral("Federal Shipping"));

        const Recordset utf16 = XmlSource::Open(Url(QStringLiteral("/tablegram-utf16be_xml_stream.xml")), {}, {});
        QCOMPARE(utf16.ValueAt(0, 1).toString(), QStringLiteral("€ updated"));
        const Recordset secret = XmlSource::Open(Url(kSecret), QStringLiteral("alice"), QStringLiteral("s3cret"));
        QCOMPARE(secret.RecordCount(), 2);
        QCOMPARE(secret.ValueAt(1, 0), QVariant(-2));

        // Every request carries the time stamp.
        const QRegularExpression stamp(QStringLiteral("^/echo\\?timestamptoavoidcache=(\\d{14})$"));
        const QString plain = XmlSource::Open(Url(QStringLiteral("/echo")), {}, {}).ValueAt(0, 0).toString();
        const auto match = stamp.match(plain);
        QVERIFY2(match.hasMatch(), qPrintable(plain));
        const QDateTime sent = QDateTime::fromString(match.captured(1), QStringLiteral("yyyyMMddHHmmss"));
        QVERIFY(sent.isValid());
        QVERIFY(qAbs(sent.secsTo(QDateTime::currentDateTime())) < 120);
    }

    void statusOtherThan200RaisesItsNumberAndText_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("password");
        QTest::newRow("404") << "/no-such-list.xml" << 404 << "Not Found" << QString();
        QTest::newRow("own reason phrase") << "/gone" << 410 << "Gone Fishing" << QString();
        QTest::newRow("no password") << kSecret << 401 << "Unauthorized" << QString();
        // A refused password ends as the server's answer, not as a loop of retries.
        QTest::newRow("wrong password") << kSecret << 401 << "Unauthorized" << "guess";
    }

    void statusOtherThan200RaisesItsNumberAndText()
    {
        QFETCH(QString, path);
        QFETCH(QString, password);
        const AppError error = ErrorOrNone(
            [&] { XmlSource::Open(Url(path), password.isEmpty() ? QString() : QStringLiteral("alice"), password); });
        QTEST(int(error.Number()), "status");
        QCOMPARE(error.Source(), QStringLiteral("Microsoft XML version 2.0"));
        QTEST(error.Description(), "text");
    }

    void transportFailures()
    {
        // A port nobody listens on: take one, then let it go.
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        const quint16 closed = probe.serverPort();
        probe.close();
        const AppError refused = ErrorOrNone(
            [&] { XmlSource::Open(QStringLiteral("http://127.0.0.1:%1/list.xml").arg(closed), {}, {}); });
        QCOMPARE(refused.Number(), HttpGet::ErrNoAnswer);
        QVERIFY2(refused.Description().contains(QStringLiteral("could not be fetched")), qPrintable(refused.Description()));
        QCOMPARE(ErrorOrNone([&] { XmlSource::Open(Url(QStringLiteral("/slow")), {}, {}, 500); }).Number(),
                 HttpGet::ErrTimeout);

        HttpGet::Options small;
        small.MaxBytes = 1 << 20;
        QCOMPARE(ErrorOrNone([&] { HttpGet::Get(QUrl(Url(QStringLiteral("/big"))), small); }).Number(),
                 HttpGet::ErrTooLarge);
        QCOMPARE(HttpGet::Get(QUrl(Url(QStringLiteral("/big"))), {}).Body.size(), qsizetype(3) << 20);
    }
};

CORVANTA_TEST_GUILESS_MAIN(TestHttp)
#include "tst_Http.moc"
