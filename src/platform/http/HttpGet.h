#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

// One HTTP or HTTPS GET, waited for in place: the caller gets the answer when
// this returns, while a local event loop keeps the program's windows painted
// and lets user input through, so that a Cancel button can be pressed
// (CancelRunning). Keeping the user from starting anything else meanwhile is
// the caller's job.
// Certificates are checked; credentials, when given, answer the server's
// first authentication challenge (basic or digest) and are not sent again if
// the server refuses them, so a wrong password ends as the server's 401.
//
// Any status comes back as a Response; only a failure to get an answer at all
// (no connection, no such host, TLS refused, time-out, too large) raises
// AppError with Source and one of the numbers below.
class HttpGet
{
public:
    static constexpr long ErrNoAnswer = -2146697211; // the resource could not be reached
    static constexpr long ErrTimeout = -2147012894;  // the server stopped answering
    static constexpr long ErrTooLarge = -2147024882; // more than the limit
    static constexpr long ErrCancelled = 3712;       // CancelRunning() ended it
    static inline const QString Source = QStringLiteral("HTTP");

    struct Options
    {
        QString Username;
        QString Password;
        // The request fails when no data arrives for this long.
        int TimeoutMs = 60000;
        qint64 MaxBytes = qint64(512) << 20;
    };

    struct Response
    {
        int Status = 0;
        QString StatusText; // the server's reason phrase, or the usual one when it sent none
        QByteArray Body;
    };

    static Response Get(const QUrl& url, const Options& options);
    // Ends every request waiting now; each raises ErrCancelled.
    static void CancelRunning();

    // The usual reason phrase of a status ("Not Found" for 404); empty when
    // the status is not a common one.
    static QString ReasonPhrase(int status);
};
