#include "recipients/RecipientList.h"

namespace {

// The record-set source for the table-or-command choice. Excel worksheet
// tables carry a trailing "$" that the list does not keep.
QString CommandSource(const RecipientList& list, bool worksheet)
{
    switch (list.CatalogCommandType()) {
    case RecipientList::CmdText:
        return list.CatalogCommandText();
    case RecipientList::CmdTable:
        return u'[' + list.CatalogTableOrView() + (worksheet ? QStringLiteral("$]") : QStringLiteral("]"));
    default:
        return QString();
    }
}

} // namespace

ConnectionData RecipientList::GetConnectionData() const
{
    ConnectionData data;
    switch (m_dataType) {
    case SQLServer:
        if (m_sqlUseWindowsSecurity)
            data.SetConnectionString(
                QStringLiteral("Provider=SQLOLEDB.1;Integrated Security=SSPI;Persist Security Info=False;Data Source=")
                + m_sqlServerName + QStringLiteral(";Initial Catalog=") + m_sqlDataBase + u';');
        else
            data.SetConnectionString(QStringLiteral("Provider=SQLOLEDB.1;Password=") + m_password
                                     + QStringLiteral(";Persist Security Info=True;User ID=") + m_username
                                     + QStringLiteral(";Data Source=") + m_sqlServerName
                                     + QStringLiteral(";Initial Catalog=") + m_sqlDataBase + u';');
        data.SetSource(CommandSource(*this, false));
        break;
    case Access:
        if (m_authenticationRequired)
            data.SetConnectionString(QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + m_accessFileName
                                     + QStringLiteral(";Mode=Read;Persist Security Info=True;Password=") + m_password
                                     + QStringLiteral(";User ID=") + m_username);
        else
            data.SetConnectionString(QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + m_accessFileName
                                     + QStringLiteral(";Mode=Read;Persist Security Info=False"));
        data.SetSource(CommandSource(*this, false));
        break;
    case XML:
        data.SetConnectionType(ConnectionData::XmlHttp);
        data.SetUrl(m_xmlUrlUri);
        if (m_authenticationRequired) {
            data.SetUsername(m_username);
            data.SetPassword(m_password);
        }
        break;
    case Excel: {
        QString text = QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Extended Properties=\"Excel 8.0;DATABASE=")
                       + m_excelFilename + QStringLiteral(";HDR=")
                       + (m_excelFirstRowContainsColumnHeadings ? QStringLiteral("Yes") : QStringLiteral("No"));
        if (m_authenticationRequired)
            text += QStringLiteral("\";Mode=Read;Persist Security Info=True;Password=") + m_password
                    + QStringLiteral(";User ID=") + m_username;
        else
            text += QStringLiteral("\";Mode=Read;Persist Security Info=False");
        data.SetConnectionString(text);
        data.SetSource(CommandSource(*this, true));
        break;
    }
    case Advanced:
        data.SetConnectionString(m_advancedConnectionString);
        data.SetSource(CommandSource(*this, false));
        break;
    case Outlook:
        // The profile password is always sent, even empty: the Outlook pages
        // have no authentication switch.
        data.SetConnectionString(QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Outlook 9.0;MAPILEVEL=") + m_outlookPath
                                 + QStringLiteral(";TABLETYPE=") + QString::number(m_outlookCatalogType)
                                 + QStringLiteral(";PROFILE=") + m_username + QStringLiteral(";PWD=") + m_password
                                 + QStringLiteral(";DATABASE=c:\\temp;Mode=Read"));
        data.SetSource(u'[' + m_outlookCatalog + u']');
        break;
    default:
        break;
    }
    return data;
}

QString OutlookBrowseConnectionString(const QString& mapiLevel, qint32 tableType, const QString& profile)
{
    return QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Outlook 9.0;MAPILEVEL=") + mapiLevel
           + QStringLiteral(";TABLETYPE=") + QString::number(tableType) + QStringLiteral(";PROFILE=") + profile
           + QStringLiteral(";Database=c:\\temp;");
}

namespace {
std::shared_ptr<RecipientList>& EditedList()
{
    static std::shared_ptr<RecipientList> list;
    return list;
}
} // namespace

std::shared_ptr<RecipientList> EditedRecipientList()
{
    return EditedList();
}

void SetEditedRecipientList(std::shared_ptr<RecipientList> list)
{
    EditedList() = std::move(list);
}

QStringList RecipientList::Definition() const
{
    return {m_listName,           QString::number(DataType()),  m_catalogTableOrView,
            m_catalogCommandText, QString::number(CatalogCommandType()),
            m_advancedConnectionString, m_accessFileName, m_excelFilename, m_sqlServerName,
            m_sqlDataBase,        m_xmlUrlUri,                  m_outlookPath,
            m_outlookCatalog};
}
