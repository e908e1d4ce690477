#pragma once

#include <QString>

// One sender identity of the address book.
class FromAddress
{
public:
    FromAddress() = default;
    FromAddress(const QString& name, const QString& eMailAddress, const QString& replyEMailAddress)
        : m_name(name), m_eMailAddress(eMailAddress), m_replyEMailAddress(replyEMailAddress)
    {
    }

    // Display name; may be empty.
    const QString& Name() const { return m_name; }
    void SetName(const QString& name) { m_name = name; }

    const QString& EMailAddress() const { return m_eMailAddress; }
    void SetEMailAddress(const QString& eMailAddress) { m_eMailAddress = eMailAddress; }

    // May be empty.
    const QString& ReplyEMailAddress() const { return m_replyEMailAddress; }
    void SetReplyEMailAddress(const QString& replyEMailAddress) { m_replyEMailAddress = replyEMailAddress; }

    // Header form: "Name" <address>, or the bare address when there is no
    // name. Inside the quotes a '"' or a backslash is escaped with a
    // backslash and a line break becomes a blank, so a name can never end
    // the quoted part early or start a new header; any other name is
    // written unchanged.
    QString GetFullEMailAddress() const;

    // What the sender box shows: Name (address), or address (address) when
    // there is no name, then (reply) when there is a reply address.
    QString GetPreviewEMailAddress() const;

    bool operator==(const FromAddress&) const = default;

private:
    QString m_name;
    QString m_eMailAddress;
    QString m_replyEMailAddress;
};
