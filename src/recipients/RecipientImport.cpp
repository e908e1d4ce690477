#include "recipients/RecipientImport.h"

#include "merge/MergeFields.h"
#include "platform/providers/Dispatch.h"
#include "platform/providers/xml/XmlSource.h"

namespace RecipientImport {

Recordset GetRecordset(const ConnectionData& data)
{
    if (data.ConnectionType() == ConnectionData::XmlHttp)
        return XmlSource::Open(data.Url(), data.Username(), data.Password());
    return ProviderDispatch::Open(data.ConnectionString(), data.Source());
}

Recordset GetRecordset(const RecipientList& list)
{
    return GetRecordset(list.GetConnectionData());
}

Recordset GetPreview(const RecipientList& list, int rows)
{
    const ConnectionData data = list.GetConnectionData();
    if (data.ConnectionType() == ConnectionData::XmlHttp)
        return GetRecordset(data);
    return ProviderDispatch::OpenPreview(data.ConnectionString(), data.Source(), rows);
}

void TestConnection(const ConnectionData& data)
{
    ProviderDispatch::TestConnection(data.ConnectionString());
}

void TestConnection(const RecipientList& list)
{
    TestConnection(list.GetConnectionData());
}

QStringList ColumnLabels(const Recordset& recordset)
{
    QStringList labels;
    for (int i = 0; i < recordset.FieldCount(); ++i)
        labels << MergeFields::ColumnLabel(recordset.FieldName(i), i + 1);
    return labels;
}

Recordset& ImportedRecipients()
{
    static Recordset imported;
    return imported;
}

Outcome Import(RecipientLists& lists, int position, Recordset& imported)
{
    Outcome outcome;
    // The old rows go first, so that nothing of them survives a failure.
    imported.Close();
    imported = Recordset();
    lists.SetCurrentIndex(position);
    try {
        const RecipientList& list = lists.Item(position);
        Recordset rows = GetRecordset(list);
        outcome.HasSavedFilters = list.Filters().Count() > 0;
        // Built aside and moved in whole: a failure half-way leaves the
        // empty set in place.
        imported = rows.Clone();
    } catch (const AppError& error) {
        outcome.Error = error;
        lists.SetCurrentIndex(0);
        imported = Recordset();
        return outcome;
    }
    outcome.Labels = ColumnLabels(imported);
    return outcome;
}

} // namespace RecipientImport
