#pragma once

#include <QString>

// What a recipient list resolves to: either a connection string and the
// source a record set is opened on, or an XML document address with its
// HTTP credentials. Made fresh by RecipientList::GetConnectionData.
class ConnectionData
{
public:
    // The numbers are those the import switches on.
    enum Kind : qint32 { OleDb = 0, XmlHttp = 1 };

    const QString& ConnectionString() const { return m_connectionString; }
    void SetConnectionString(const QString& connectionString) { m_connectionString = connectionString; }

    // A command text, a bracketed table name, or empty.
    const QString& Source() const { return m_source; }
    void SetSource(const QString& source) { m_source = source; }

    qint32 ConnectionType() const { return m_connectionType; }
    void SetConnectionType(qint32 connectionType) { m_connectionType = connectionType; }

    const QString& Url() const { return m_url; }
    void SetUrl(const QString& url) { m_url = url; }

    const QString& Username() const { return m_username; }
    void SetUsername(const QString& username) { m_username = username; }

    const QString& Password() const { return m_password; }
    void SetPassword(const QString& password) { m_password = password; }

    bool operator==(const ConnectionData&) const = default;

private:
    QString m_connectionString;
    QString m_source;
    qint32 m_connectionType = OleDb;
    QString m_url;
    QString m_username;
    QString m_password;
};
