#pragma once

#include "filters/Filters.h"
#include "recipients/ConnectionData.h"

#include <QString>
#include <QStringList>

#include <memory>

// A saved definition of where the recipients of a mailing come from. It
// holds the fields of every source type at once; only those of its DataType
// are consulted, so switching the type never loses what was typed for
// another. It holds no recipients itself.
class RecipientList
{
public:
    // Source types; the numbers are stored and are the order of the type
    // page's option buttons.
    enum SourceType : qint32 {
        NoSource = -1,
        SQLServer = 0,
        Access = 1,
        XML = 2,
        Excel = 3,
        Advanced = 4,
        Outlook = 5,
    };

    // Which of table or command text is used; stored, and equal to the ADO
    // command type codes.
    enum CommandType : qint32 { CmdText = 1, CmdTable = 2, CmdUnknown = 8 };

    // Kind of the chosen Outlook catalog; stored.
    enum OutlookCatalogKind : qint32 { ContactFolders = 0, AddressBooks = 1 };

    const QString& ListName() const { return m_listName; }
    // What decides which rows the list gives, as texts: what a mailing's
    // journal names it by.
    QStringList Definition() const;
    void SetListName(const QString& v) { m_listName = v; }

    // One of SourceType; any other number is kept as it is and yields an
    // empty connection.
    qint32 DataType() const { return m_dataType; }
    void SetDataType(qint32 v) { m_dataType = v; }

    const ::Filters& Filters() const { return m_filters; }
    ::Filters& Filters() { return m_filters; }
    void SetFilters(const ::Filters& v) { m_filters = v; }

    // Set when the wizard was finished for this object; never stored.
    bool IsListValid() const { return m_isListValid; }
    void SetIsListValid(bool v) { m_isListValid = v; }

    // Table, view or worksheet (without its trailing "$").
    const QString& CatalogTableOrView() const { return m_catalogTableOrView; }
    void SetCatalogTableOrView(const QString& v) { m_catalogTableOrView = v; }

    const QString& CatalogCommandText() const { return m_catalogCommandText; }
    void SetCatalogCommandText(const QString& v) { m_catalogCommandText = v; }

    // One of CommandType.
    qint32 CatalogCommandType() const { return m_catalogCommandType; }
    void SetCatalogCommandType(qint32 v) { m_catalogCommandType = v; }

    bool ExcelFirstRowContainsColumnHeadings() const { return m_excelFirstRowContainsColumnHeadings; }
    void SetExcelFirstRowContainsColumnHeadings(bool v) { m_excelFirstRowContainsColumnHeadings = v; }

    const QString& AdvancedConnectionString() const { return m_advancedConnectionString; }
    void SetAdvancedConnectionString(const QString& v) { m_advancedConnectionString = v; }

    const QString& AccessFileName() const { return m_accessFileName; }
    void SetAccessFileName(const QString& v) { m_accessFileName = v; }

    // Access, XML and Excel only; Outlook ignores it.
    bool AuthenticationRequired() const { return m_authenticationRequired; }
    void SetAuthenticationRequired(bool v) { m_authenticationRequired = v; }

    // For Outlook this is the mail profile's name.
    const QString& Username() const { return m_username; }
    void SetUsername(const QString& v) { m_username = v; }

    // In clear in memory; the store scrambles it.
    const QString& Password() const { return m_password; }
    void SetPassword(const QString& v) { m_password = v; }

    const QString& ExcelFilename() const { return m_excelFilename; }
    void SetExcelFilename(const QString& v) { m_excelFilename = v; }

    const QString& SQLServerName() const { return m_sqlServerName; }
    void SetSQLServerName(const QString& v) { m_sqlServerName = v; }

    bool SQLUseWindowsSecurity() const { return m_sqlUseWindowsSecurity; }
    void SetSQLUseWindowsSecurity(bool v) { m_sqlUseWindowsSecurity = v; }

    const QString& SQLDataBase() const { return m_sqlDataBase; }
    void SetSQLDataBase(const QString& v) { m_sqlDataBase = v; }

    const QString& XMLUrlUri() const { return m_xmlUrlUri; }
    void SetXMLUrlUri(const QString& v) { m_xmlUrlUri = v; }

    const QString& OutlookPath() const { return m_outlookPath; }
    void SetOutlookPath(const QString& v) { m_outlookPath = v; }

    const QString& OutlookCatalog() const { return m_outlookCatalog; }
    void SetOutlookCatalog(const QString& v) { m_outlookCatalog = v; }

    // One of OutlookCatalogKind.
    qint32 OutlookCatalogType() const { return m_outlookCatalogType; }
    void SetOutlookCatalogType(qint32 v) { m_outlookCatalogType = v; }

    // The connection for the current field values. Values go in exactly as
    // stored, without trimming, quoting or escaping; never fails.
    ConnectionData GetConnectionData() const;

    bool operator==(const RecipientList&) const = default;

private:
    QString m_listName;
    qint32 m_dataType = NoSource;
    ::Filters m_filters;
    bool m_isListValid = false;
    QString m_catalogTableOrView;
    QString m_catalogCommandText;
    qint32 m_catalogCommandType = CmdUnknown;
    bool m_excelFirstRowContainsColumnHeadings = true;
    QString m_advancedConnectionString;
    QString m_accessFileName;
    bool m_authenticationRequired = false;
    QString m_username;
    QString m_password;
    QString m_excelFilename;
    QString m_sqlServerName;
    bool m_sqlUseWindowsSecurity = true;
    QString m_sqlDataBase;
    QString m_xmlUrlUri;
    QString m_outlookPath;
    QString m_outlookCatalog;
    qint32 m_outlookCatalogType = ContactFolders;
};

// The connection string the Outlook folder browser opens a catalog with: no
// password and no mode item, and a closing ";".
QString OutlookBrowseConnectionString(const QString& mapiLevel, qint32 tableType,
                                      const QString& profile);

// The list the New Recipient List wizard works on while it runs; null
// otherwise.
std::shared_ptr<RecipientList> EditedRecipientList();
void SetEditedRecipientList(std::shared_ptr<RecipientList> list);
