#include "shell/frmSysInfo.h"

#include "base/Texts.h"
#include "controls/modForms.h"
#include "platform/sysinfo/ComponentVersions.h"
#include "store/FilesSystem.h"
#include "ui_frmSysInfo.h"

#include <QClipboard>
#include <QDir>
#include <QGuiApplication>

frmSysInfo::frmSysInfo(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::frmSysInfo>())
{
    ui->setupUi(this);
    setWindowTitle(LoadResString(4500));
    ui->lblSysInfo->setText(Texts::ReplaceAppTokens(LoadResString(4507)));
    ui->cmdCopy->setText(LoadResString(4501));
    ui->cmdClose->setText(LoadResString(8));
    QList<ComponentVersions::Component> components = ComponentVersions::ThisMachine();
    components.append(
        {LoadResString(4506), QDir::toNativeSeparators(FilesSystem::VersionDataFolder())});
    for (const auto& component : components)
        new QTreeWidgetItem(ui->lvwSysInfo, {component.name, component.version});
    modForms::ApplyFonts(this);
    modForms::AutoSizeColumns(ui->lvwSysInfo);
    // Wide enough for every line; the list scrolls only when the screen
    // is too narrow.
    int width = 0;
    for (int column = 0; column < 2; ++column)
        width += ui->lvwSysInfo->columnWidth(column);
    ui->lvwSysInfo->setMinimumWidth(qMin(width + 8, 900));
    ui->lvwSysInfo->setMinimumHeight((components.size() + 1) * ui->lvwSysInfo->sizeHintForRow(0) +
                                     4);
    connect(ui->cmdCopy, &QPushButton::clicked, this,
            [this] { QGuiApplication::clipboard()->setText(Text()); });
    connect(ui->cmdClose, &QPushButton::clicked, this, &QDialog::accept);
}

frmSysInfo::~frmSysInfo() = default;

QString frmSysInfo::Text() const
{
    QList<ComponentVersions::Component> shown;
    for (int i = 0; i < ui->lvwSysInfo->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = ui->lvwSysInfo->topLevelItem(i);
        shown.append({item->text(0), item->text(1)});
    }
    return ComponentVersions::AsText(shown);
}
