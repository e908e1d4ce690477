#include "platform/mail/ServerCertificate.h"

#include <QCryptographicHash>
#include <QSslCertificate>

namespace {

QString NameOf(const QSslCertificate& certificate, bool issuer)
{
    // The whole distinguished name, most specific part first, as people read it.
    QStringList parts;
    const QList<QByteArray> attributes =
        issuer ? certificate.issuerInfoAttributes() : certificate.subjectInfoAttributes();
    for (const QByteArray& attribute : attributes) {
        const QStringList values =
            issuer ? certificate.issuerInfo(attribute) : certificate.subjectInfo(attribute);
        for (const QString& value : values)
            parts.prepend(QString::fromLatin1(attribute) + u'=' + value);
    }
    return parts.join(QStringLiteral(", "));
}

QString PlainHex(QString text)
{
    return text.remove(u':').trimmed().toLower();
}

} // namespace

ServerCertificate ServerCertificate::Of(const QSslCertificate& certificate, const QString& host)
{
    ServerCertificate seen;
    seen.host = host;
    seen.subject = NameOf(certificate, false);
    seen.issuer = NameOf(certificate, true);
    seen.validFrom = certificate.effectiveDate();
    seen.validTo = certificate.expiryDate();
    seen.sha256 = QString::fromLatin1(certificate.digest(QCryptographicHash::Sha256).toHex());
    return seen;
}

bool ServerCertificate::IsTrusted(const QStringList& lines, const QString& host, const QString& sha256)
{
    const QString wanted = PlainHex(sha256);
    if (wanted.isEmpty())
        return false;
    for (const QString& line : lines) {
        const QStringList fields = line.simplified().split(u' ');
        if (fields.size() == 2 && fields[0].compare(host, Qt::CaseInsensitive) == 0 && PlainHex(fields[1]) == wanted)
            return true;
    }
    return false;
}
