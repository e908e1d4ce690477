#include "SmtpTestMessages.h"

#include "TestFiles.h"

#include "base/AppError.h"

#include <QCryptographicHash>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTimer>

namespace TestSupport {

QString WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(bytes);
    return path;
}

SampleMail RichMail(const QString& folder)
{
    SampleMail mail;
    OutgoingMessage& m = mail.message;
    m.from = QStringLiteral("\"Jürgen Müller-Lüdenscheidt\" <juergen@example.com>");
    mail.from = {{QStringLiteral("Jürgen Müller-Lüdenscheidt"), QStringLiteral("juergen@example.com")}};
    m.to = QStringLiteral("\"Zoë =?utf-8?q?x?= Ångström\" <zoe@example.org>; plain@example.org,"
                          " \"Doe, \\\"JD\\\" Jane\" <jane@example.net>");
    mail.to = {{QStringLiteral("Zoë =?utf-8?q?x?= Ångström"), QStringLiteral("zoe@example.org")},
               {QString(), QStringLiteral("plain@example.org")},
               {QStringLiteral("Doe, \"JD\" Jane"), QStringLiteral("jane@example.net")}};
    m.replyTo = QStringLiteral("\"Answers =?utf-8?q?x?=\" <answers@example.com>");
    mail.replyTo = {{QStringLiteral("Answers =?utf-8?q?x?="), QStringLiteral("answers@example.com")}};
    m.subject = QStringLiteral("Grüße an Zoë: ein Betreff, der länger ist als eine Zeile sein "
                               "sollte, damit er umbrochen werden muss – 100% sicher");
    m.body = QStringLiteral("Hello Jürgen,\n.\n.leading dot\n..two dots\nFrom the start\n")
             + QString(1500, u'a') + u'\n' + QString(600, u'ü') + QString(600, u'b')
             + QStringLiteral("\n\nEnd.\n");
    m.mailer = QStringLiteral("Corvanta 1.3.479 (https://www.corvanta.example)");

    QByteArray binary(100 * 1024, Qt::Uninitialized);
    QRandomGenerator random(20240);
    for (char& c : binary)
        c = static_cast<char>(random.bounded(256));
    m.attachments
        << WriteFile(folder + QStringLiteral("/Überweisung März 2024 – ein sehr langer Dateiname für "
                                             "den Test.pdf"),
                     binary)
        << WriteFile(folder + QStringLiteral("/notes.txt"),
                     QByteArray("windows line\r\nunix line\n.dot line\r\nno end"))
        << WriteFile(folder + QStringLiteral("/empty.bin"), QByteArray());
    return mail;
}

OutgoingMessage SmallMail(const QString& to, const QString& subject)
{
    OutgoingMessage m;
    m.from = QStringLiteral("\"Sender\" <sender@example.com>");
    m.to = to;
    m.subject = subject;
    m.body = QStringLiteral("Short body.\n");
    m.mailer = QStringLiteral("Corvanta test");
    return m;
}

QList<OutgoingMessage> SmallMails(const QStringList& recipients)
{
    QList<OutgoingMessage> mails;
    for (const QString& to : recipients)
        mails << SmallMail(to);
    return mails;
}

SampleMail SmallSample(const QString& to)
{
    SampleMail mail;
    mail.message = SmallMail(to);
    mail.from = {{QStringLiteral("Sender"), QStringLiteral("sender@example.com")}};
    mail.to = {{QString(), to}};
    return mail;
}

bool Matches(const QString& text, const QString& pattern)
{
    QString expression = QRegularExpression::escape(pattern);
    expression.replace(QStringLiteral("\\*"), QStringLiteral(".*"));
    const QRegularExpression whole(QStringLiteral("\\A(?:%1)\\z").arg(expression),
                                   QRegularExpression::DotMatchesEverythingOption);
    return whole.match(text).hasMatch();
}

QStringList SendAll(MailTransport& transport, const QList<OutgoingMessage>& messages, int waitMs)
{
    QStringList failures(messages.size(), QStringLiteral("(no outcome)"));
    qsizetype next = 0;
    QEventLoop loop;
    bool finished = false;
    const QMetaObject::Connection ended = QObject::connect(
        &transport, &MailTransport::MailEnded, &loop,
        [&](quint64 id, const QString& failure) { failures[qsizetype(id) - 1] = failure; });
    const QMetaObject::Connection done = QObject::connect(&transport, &MailTransport::Finished, &loop, [&] {
        finished = true;
        loop.quit();
    });
    transport.Start([&]() -> std::optional<MailJob> {
        if (next >= messages.size())
            return std::nullopt;
        MailJob job;
        job.id = quint64(++next);
        job.message = messages.at(next - 1);
        return job;
    });
    QTimer::singleShot(waitMs, &loop, &QEventLoop::quit);
    if (!finished)
        loop.exec();
    QObject::disconnect(ended);
    QObject::disconnect(done);
    return failures;
}

QString SendError(MailTransport& transport, const OutgoingMessage& message)
{
    return SendAll(transport, {message}).first();
}

namespace {

QJsonArray Expected(const QList<QPair<QString, QString>>& mailboxes)
{
    QJsonArray array;
    for (const auto& [name, address] : mailboxes)
        array.append(QJsonObject{{QStringLiteral("name"), name}, {QStringLiteral("address"), address}});
    return array;
}

QString Show(const QJsonValue& value)
{
    if (value.isString())
        return value.toString().left(200);
    const QJsonDocument document = value.isArray()    ? QJsonDocument(value.toArray())
                                   : value.isObject() ? QJsonDocument(value.toObject())
                                                      : QJsonDocument(QJsonArray{value});
    return QString::fromUtf8(document.toJson(QJsonDocument::Compact));
}

} // namespace

QStringList Differences(const SampleMail& sent, const QJsonObject& read)
{
    QStringList differences;
    if (read.contains(QStringLiteral("error")))
        return {QStringLiteral("not readable: ") + read.value(QStringLiteral("error")).toString()};
    const auto check = [&](const QString& what, const QJsonValue& expected) {
        if (read.value(what) != expected)
            differences << QStringLiteral("%1: read %2, sent %3")
                               .arg(what, Show(read.value(what)), Show(expected));
    };
    const OutgoingMessage& m = sent.message;
    check(QStringLiteral("from"), Expected(sent.from));
    check(QStringLiteral("to"), Expected(sent.to));
    check(QStringLiteral("reply_to"),
          sent.replyTo.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(Expected(sent.replyTo)));
    check(QStringLiteral("subject"), m.subject);
    check(QStringLiteral("x_mailer"), m.mailer);
    QString body = m.body;
    body.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    if (!body.isEmpty() && !body.endsWith(u'\n'))
        body += u'\n'; // the text always ends with a line break
    check(QStringLiteral("body"), body);
    check(QStringLiteral("body_charset"), QStringLiteral("utf-8"));
    check(QStringLiteral("date"), true);
    check(QStringLiteral("defects"), QJsonArray());
    if (read.value(QStringLiteral("message_id")).toString().isEmpty())
        differences << QStringLiteral("no Message-ID");
    if (read.value(QStringLiteral("max_line")).toInt() > 998)
        differences << QStringLiteral("a line of %1 characters").arg(read.value(QStringLiteral("max_line")).toInt());
    if (read.value(QStringLiteral("eight_bit")).toBool())
        differences << QStringLiteral("8-bit bytes in a message meant to be 7-bit");

    QJsonArray attachments;
    for (const QString& path : m.attachments) {
        const QByteArray bytes = ReadBytes(path);
        attachments.append(QJsonObject{
            {QStringLiteral("filename"), QFileInfo(path).fileName()},
            {QStringLiteral("size"), bytes.size()},
            {QStringLiteral("sha256"),
             QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex())}});
    }
    QJsonArray readAttachments;
    for (const QJsonValue& value : read.value(QStringLiteral("attachments")).toArray()) {
        QJsonObject object = value.toObject();
        if (object.value(QStringLiteral("transfer_encoding")).toString().toLower() != QStringLiteral("base64"))
            differences << QStringLiteral("attachment not in base64: ") + Show(object);
        object.remove(QStringLiteral("transfer_encoding"));
        object.remove(QStringLiteral("content_type"));
        readAttachments.append(object);
    }
    if (readAttachments != attachments)
        differences << QStringLiteral("attachments: read %1, sent %2").arg(Show(readAttachments), Show(attachments));
    return differences;
}

} // namespace TestSupport
