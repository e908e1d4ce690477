#pragma once

#include "delivery/TextReport.h"

#include <QDialog>
#include <memory>

namespace Ui {
class frmTextExport;
}

// The choices of a delimited text report: the delimiter, the qualifier and
// the header line, with a preview of the first rows in the chosen layout.
class frmTextExport : public QDialog
{
    Q_OBJECT

public:
    // The rows of the preview, at most.
    static constexpr int SampleRowCount = 100;

    // Shows the dialog modally over the owner. On OK the chosen format; on
    // Cancel or a close, one with an empty delimiter and qualifier.
    static TextReport::Format ShowFormatDialog(QWidget* owner, const QStringList& FieldNames,
                                               const QList<QStringList>& SampleRows);

    ~frmTextExport() override;

    TextReport::Format ChosenFormat() const;

private:
    frmTextExport(QWidget* owner, const QStringList& fieldNames,
                  const QList<QStringList>& sampleRows);

    void UpdatePreview();

    std::unique_ptr<Ui::frmTextExport> ui;
    QStringList m_fieldNames;
    QList<QStringList> m_sampleRows;
};
