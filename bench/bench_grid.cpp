// The recipients grid over a large import: how much the window adds to the
// import, the memory the grid adds per row, and how fast the last row is
// reached. Runs offscreen in a data folder of its own:
//   bench_grid [--rows 1000000]
#include "MemoryProbe.h"
#include "WindowBench.h"
#include "recipients/RecipientImport.h"
#include "senders/FromAddresses.h"
#include "shell/frmMain.h"
#include "store/DataStore.h"
#include "store/FilesSystem.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QScrollBar>
#include <QTableView>
#include <cstdio>

using namespace WindowBench;

int main(int argc, char* argv[])
{
    Run run(argc, argv);
    QApplication app(argc, argv);
    if (!run.Prepare())
        return 1;

    frmMain window;
    ShowAtBenchSize(window);
    auto* grid = window.findChild<QTableView*>(QStringLiteral("flxRcptList"));

    // The import alone, as the window's import runs it, twice so that the
    // file is in the page cache for both measurements.
    Recordset& imported = RecipientImport::ImportedRecipients();
    double importMs = 0;
    for (int round = 0; round < 2; ++round) {
        QElapsedTimer timer;
        timer.start();
        RecipientImport::Import(window.RcptLsts(), 1, imported);
        importMs = Ms(timer);
    }
    imported = Recordset();

    // The same through the window, until the grid's first screen is painted.
    MemoryProbe::ResetPeak();
    QElapsedTimer timer;
    timer.start();
    window.ImportRecipientList(1);
    grid->viewport()->repaint();
    const double windowMs = Ms(timer);
    const qint64 withGridKb = MemoryProbe::StatusKb("VmRSS");

    const qint64 storageKb = imported.StorageBytes() / 1024;

    timer.restart();
    grid->scrollToBottom();
    grid->viewport()->repaint();
    const double lastRowMs = Ms(timer);
    const QModelIndex last = grid->indexAt(QPoint(1, grid->viewport()->height() - 2));

    // The model and the view after binding, measured by binding a second view
    // to the same model over the same rows.
    const qint64 beforeSecondKb = MemoryProbe::StatusKb("VmRSS");
    QTableView second;
    second.setModel(grid->model());
    second.resize(1200, 700);
    second.show();
    second.viewport()->repaint();
    second.scrollToBottom();
    second.viewport()->repaint();
    const qint64 afterSecondKb = MemoryProbe::StatusKb("VmRSS");

    std::printf("rows                         %d\n", imported.RecordCount());
    std::printf("import alone                 %.0f ms\n", importMs);
    std::printf("import and first screen      %.0f ms (%+.1f%%)\n", windowMs,
                100.0 * (windowMs - importMs) / importMs);
    std::printf("jump to the last row         %.1f ms (row %d shown)\n", lastRowMs, last.row() + 1);
    std::printf("record set storage           %lld KB; process %lld KB\n", storageKb, withGridKb);
    std::printf("a view over the rows adds    %.2f bytes per row (its row header)\n",
                double(afterSecondKb - beforeSecondKb) * 1024.0 / qMax(1, imported.RecordCount()));
    return 0;
}
