#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

class QSslCertificate;

// A mail server's certificate as the user is shown it before trusting it,
// with the host name it was met under.
struct ServerCertificate
{
    QString host; // the name the connection used
    QString subject;
    QString issuer;
    QDateTime validFrom;
    QDateTime validTo;
    QString sha256; // lower-case hex, no separators

    static ServerCertificate Of(const QSslCertificate& certificate, const QString& host);

    // "host sha256", one line of the trusted certificates.
    QString TrustLine() const { return host + u' ' + sha256; }

    // Whether one of the "host sha256" lines trusts this fingerprint for
    // this host. Host names compare without case, fingerprints without case
    // or ":" separators; other lines trust nothing.
    static bool IsTrusted(const QStringList& lines, const QString& host, const QString& sha256);
};
