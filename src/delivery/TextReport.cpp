#include "delivery/TextReport.h"

#include "platform/recordset/Recordset.h"
#include "store/AtomicFile.h"

#include <QFileInfo>

namespace TextReport {

namespace {

const QString LineBreak = QStringLiteral("\r\n");

// Appends one line's values; valueAt(i) gives the i-th of count.
template <typename ValueAt>
void AppendLine(QString& out, int count, ValueAt valueAt, const Format& format)
{
    const QString doubled = format.Qualifier + format.Qualifier;
    for (int i = 0; i < count; ++i) {
        if (i > 0)
            out += format.Delimiter;
        out += format.Qualifier;
        if (format.Qualifier.isEmpty())
            out += valueAt(i);
        else
            out += QString(valueAt(i)).replace(format.Qualifier, doubled);
        out += format.Qualifier;
    }
}

} // namespace

QString Text(const QStringList& names, const QList<QStringList>& rows, const Format& format)
{
    QString out;
    if (format.FirstRowIsColumns) {
        AppendLine(
            out, int(names.size()), [&](int i) { return names[i]; }, format);
        out += LineBreak;
    }
    for (qsizetype row = 0; row < rows.size(); ++row) {
        if (row > 0)
            out += LineBreak;
        const QStringList& values = rows[row];
        AppendLine(
            out, int(names.size()),
            [&](int i) { return i < values.size() ? values[i] : QString(); }, format);
    }
    return out;
}

ReportResult Write(const Recordset& log, const QString& path, const Format& format)
{
    ReportResult result;
    AtomicFile file(path);
    // Written a piece at a time, so that the whole text is never held.
    constexpr qsizetype Piece = 1 << 20;
    QString text;
    text.reserve(Piece + 4096);
    const auto flush = [&] {
        const bool ok = file.Write(text.toUtf8());
        text.clear();
        return ok;
    };
    bool ok = file.Open() && file.Write("\xEF\xBB\xBF");
    const int fields = log.FieldCount();
    if (ok && format.FirstRowIsColumns) {
        AppendLine(
            text, fields, [&](int i) { return log.FieldName(i); }, format);
        text += LineBreak;
    }
    const int rows = log.RecordCount();
    for (int row = 0; ok && row < rows; ++row) {
        if (row > 0)
            text += LineBreak;
        AppendLine(
            text, fields, [&](int i) { return log.ValueAt(row, i).toString(); }, format);
        if (text.size() >= Piece)
            ok = flush();
    }
    result.ok = ok && flush() && file.Commit();
    if (!result.ok)
        result.error = file.ErrorString();
    else // the file is in place; the folder's sync only makes it last
        AtomicFile::SyncFolder(QFileInfo(path).absolutePath(), nullptr);
    return result;
}

} // namespace TextReport
