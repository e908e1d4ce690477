#pragma once

#include <QList>
#include <QString>

// One mailbox: an optional display name and the address itself, its
// domain in ASCII (a name outside ASCII in its "xn--" form), so that the
// envelope and the headers carry the same text.
struct MailAddress
{
    QString name;
    QString address;

    bool operator==(const MailAddress&) const = default;
};

namespace MailAddresses {

// Reads addresses separated by "," or ";" (outside quotes, angle brackets
// and comments). Each is a bare address, <address>, or a display name
// (words and "quoted strings") followed by <address>. Empty pieces are
// skipped. Throws AppError when an address cannot be used (a domain
// outside ASCII with no "xn--" form among them) or there is none; `field`
// names the header in the message ("To", "From").
QList<MailAddress> ParseList(const QString& text, const QString& field);

// Exactly one address.
MailAddress ParseOne(const QString& text, const QString& field);

// Whether `address` can go into an SMTP envelope and a header as it is:
// local part "@" domain, no blanks, controls, brackets or quotes.
bool IsUsableAddress(const QString& address);

// Whether an address as ParseList gives it is a plain internet address: a
// dot-atom local part of at most 64 bytes (letters outside ASCII allowed),
// and a host name of at least two labels of letters, digits and inner
// hyphens, at most 63 bytes each and 253 in all, whose last label is not a
// number; or an address literal in brackets. Stricter than the engine,
// which takes whatever a server might: this finds the plainly malformed.
bool IsInternetAddress(const QString& address);

// Whether the part before the "@" holds characters outside ASCII: such an
// address goes only to a server that offers SMTPUTF8.
bool HasInternationalLocalPart(const QString& address);

} // namespace MailAddresses
