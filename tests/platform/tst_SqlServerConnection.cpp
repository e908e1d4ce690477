#include "RecordsetProbe.h"
#include "TestMain.h"
#include "platform/providers/sql/SqlServerConnection.h"
#include "recipients/RecipientList.h"
#include "base/AppError.h"

#include <QScopeGuard>
#include <QTcpServer>

using TestSupport::ErrorOrNone;

namespace {

QString Built(const QString& server, const QString& database, bool windowsSecurity,
              const QString& user = QString(), const QString& password = QString())
{
    RecipientList list;
    list.SetDataType(RecipientList::SQLServer);
    list.SetSQLServerName(server);
    list.SetSQLDataBase(database);
    list.SetSQLUseWindowsSecurity(windowsSecurity);
    list.SetUsername(user);
    list.SetPassword(password);
    return list.GetConnectionData().ConnectionString();
}

// A port on loopback that nothing listens on: bound, then let go.
int ClosedPort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        qFatal("no free port");
    const int port = probe.serverPort();
    probe.close();
    return port;
}

} // namespace

class TestSqlServerConnection : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void translation_data()
    {
        QTest::addColumn<QString>("oleDb");
        QTest::addColumn<QString>("odbc");
        QTest::newRow("login") << Built(QStringLiteral("DBHOST\\SQLEXPRESS"), QStringLiteral("Club"), false,
                                        QStringLiteral("sa"), QStringLiteral("p;w}"))
                               << QStringLiteral("Driver={FreeTDS};Server=DBHOST\\SQLEXPRESS;Database=Club;UID=sa;"
                                                 "PWD={p;w}}};ClientCharset=UTF-8;");
        QTest::newRow("empty password, no database yet")
            << Built(QStringLiteral("db1"), QString(), false, QStringLiteral("jo"), QString())
            << QStringLiteral("Driver={FreeTDS};Server=db1;UID=jo;PWD=;ClientCharset=UTF-8;");
        QTest::newRow("port") << Built(QStringLiteral("tcp:10.0.0.5, 1533"), QStringLiteral("My DB"), false,
                                       QStringLiteral(" u "), QStringLiteral("x"))
                              << QStringLiteral("Driver={FreeTDS};Server=10.0.0.5;Port=1533;Database=My DB;"
                                                "UID={ u };PWD=x;ClientCharset=UTF-8;");
        QTest::newRow("windows security") << Built(QStringLiteral("(local)"), QStringLiteral("Club"), true,
                                                   QStringLiteral("ignored"), QStringLiteral("ignored"))
                                          << QStringLiteral("Driver={FreeTDS};Server=localhost;Database=Club;"
                                                            "Trusted_Connection=Yes;ClientCharset=UTF-8;");
        QTest::newRow("local instance") << Built(QStringLiteral(".\\SQLEXPRESS"), QStringLiteral("a{b"), true)
                                        << QStringLiteral("Driver={FreeTDS};Server=localhost\\SQLEXPRESS;"
                                                          "Database={a{b};Trusted_Connection=Yes;"
                                                          "ClientCharset=UTF-8;");
        QTest::newRow("not SQL Server: refused") << QStringLiteral("Driver={SQLite3};Database=/x.db;") << QString();
    }

    void translation()
    {
        QFETCH(QString, oleDb);
        QFETCH(QString, odbc);
        QString translated;
        const AppError error = ErrorOrNone([&] { translated = SqlServerConnection::OdbcConnectionString(oleDb); });
        QCOMPARE(translated, odbc);
        QCOMPARE(error.Number(), odbc.isEmpty() ? long(SqlServerConnection::ErrNotSqlServer) : 0L);
        QCOMPARE(error.Source(), odbc.isEmpty() ? QStringLiteral("SQL Server") : QString());
    }

    void unreachableServerFailsWithTheDriversWords()
    {
        const QString text = Built(QStringLiteral("127.0.0.1,%1").arg(ClosedPort()), QStringLiteral("Club"), false,
                                   QStringLiteral("sa"), QStringLiteral("pw"));
        const AppError error = ErrorOrNone([&] { SqlServerConnection server(text, 3); });
        QCOMPARE(error.Number(), long(OdbcSource::ErrConnect));
        QCOMPARE(error.Source(), QStringLiteral("SQL Server"));
        QVERIFY2(error.Description().contains(QStringLiteral("FreeTDS")), qPrintable(error.Description()));
    }

    void windowsSecurityWithoutKerberosSaysSo()
    {
        const QByteArray saved = qgetenv("KRB5CCNAME");
        const auto restore = qScopeGuard([&] {
            if (saved.isNull())
                qunsetenv("KRB5CCNAME");
            else
                qputenv("KRB5CCNAME", saved);
        });
        qputenv("KRB5CCNAME", "FILE:/nonexistent/corvanta-no-ticket");
        QVERIFY(!SqlServerConnection::HasKerberosTicket());
        const AppError error = ErrorOrNone([] {
            SqlServerConnection server(Built(QStringLiteral("127.0.0.1"), QStringLiteral("Club"), true), 3);
        });
        QCOMPARE(error.Number(), long(SqlServerConnection::ErrNoKerberos));
        QVERIFY(error.Description().contains(QStringLiteral("Kerberos")));
    }
};

CORVANTA_TEST_GUILESS_MAIN(TestSqlServerConnection)
#include "tst_SqlServerConnection.moc"
