#include "SmtpTestMessages.h"
#include "TestFiles.h"
#include "TestMain.h"

#include "platform/mail/SmtpTransport.h"

#include <QDir>
#include <QProcess>
#include <QSet>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

using namespace TestSupport;

namespace {

const QString SinkProgram = QStringLiteral("/usr/sbin/smtp-sink");

// postfix's smtp-sink on 127.0.0.1: a real server that pipelines, dumps
// every mail it takes into a file of its own.
class Sink
{
public:
    Sink()
    {
        QFile::setPermissions(m_dir.path(), QFileDevice::Permissions(0x7777)); // it writes as nobody
        QTcpServer probe; // a port that was free a moment ago
        probe.listen(QHostAddress::LocalHost);
        m_port = probe.serverPort();
        probe.close();
        QStringList arguments;
        if (::geteuid() == 0)
            arguments << QStringLiteral("-u") << QStringLiteral("nobody");
        arguments << QStringLiteral("-d") << m_dir.filePath(QStringLiteral("mail."))
                  << QStringLiteral("127.0.0.1:%1").arg(m_port) << QStringLiteral("64");
        m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
        m_process.setProcessChannelMode(QProcess::ForwardedChannels);
        m_process.start(SinkProgram, arguments);
        m_process.waitForStarted(10000);
        for (int i = 0; i < 100 && m_process.state() == QProcess::Running; ++i) {
            QTcpSocket socket;
            socket.connectToHost(QHostAddress::LocalHost, quint16(m_port));
            if (socket.waitForConnected(200)) {
                m_ready = true;
                return;
            }
            QThread::msleep(50);
        }
    }
    ~Sink()
    {
        m_process.terminate();
        m_process.waitForFinished(5000);
    }

    bool Ready() const { return m_ready; }
    int Port() const { return m_port; }

    // The recipients of every mail dumped, one entry per mail.
    QStringList Recipients() const
    {
        QStringList all;
        for (const QString& name : QDir(m_dir.path()).entryList({QStringLiteral("mail.*")}, QDir::Files)) {
            QStringList recipients;
            for (const QByteArray& line : ReadBytes(m_dir.filePath(name)).split('\n'))
                if (line.startsWith("X-Rcpt-Args: "))
                    recipients << QString::fromUtf8(line.mid(13).trimmed());
            all << recipients.join(u',');
        }
        return all;
    }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    int m_port = 0;
    bool m_ready = false;
};

} // namespace

class TestMailSmtpSink : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        if (!QFileInfo(SinkProgram).isExecutable())
            QSKIP("smtp-sink (Debian package postfix, scripts/install-smtp-sink.sh) is not installed");
    }

    void pipelinedMailsArriveOnceEach_data()
    {
        QTest::addColumn<int>("connections");
        QTest::newRow("one connection") << 1;
        QTest::newRow("four connections") << 4;
    }

    void pipelinedMailsArriveOnceEach()
    {
        QFETCH(int, connections);
        const Sink sink;
        QVERIFY(sink.Ready());
        SmtpSettings settings;
        settings.server = QStringLiteral("127.0.0.1");
        settings.port = sink.Port();
        settings.connectionTimeout = 20;
        settings.connections = connections;
        SmtpTransport transport(settings);
        QList<OutgoingMessage> mails;
        QSet<QString> expected;
        for (int i = 1; i <= 60; ++i) {
            const QString to = QStringLiteral("r%1@example.org").arg(i);
            mails << SmallMail(i % 5 == 0 ? to + QStringLiteral(", cc%1@example.org").arg(i) : to);
            expected.insert(i % 5 == 0 ? QStringLiteral("<%1>,<cc%2@example.org>").arg(to).arg(i) : '<' + to + '>');
        }
        QCOMPARE(SendAll(transport, mails), QStringList(60, QString()));
        const QStringList arrived = sink.Recipients();
        QCOMPARE(arrived.size(), 60);
        QCOMPARE(QSet<QString>(arrived.begin(), arrived.end()), expected);
    }
};

CORVANTA_TEST_GUILESS_MAIN(TestMailSmtpSink)
#include "tst_MailSmtpSink.moc"
