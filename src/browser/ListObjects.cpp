#include "browser/ExportFile.h"
#include "browser/ProgramError.h"
#include "browser/RootPath.h"
#include "browser/TreeNodes.h"
#include "directory/Directory.h"
#include "platform/MessageBox.h"
#include "platform/WaitCursor.h"
#include "shell/frmMain.h"

#include <QLineEdit>
#include <QTreeWidget>
#include <memory>

namespace {

// The enumeration yields only these classes, and the container is given them in this order.
const QStringList classFilter { QStringLiteral("container"), QStringLiteral("organizationalUnit"),
    QStringLiteral("group"), QStringLiteral("computer"), QStringLiteral("user") };

QTreeWidgetItem* listRow(int number, const QString& className, const QString& name, const QString& adsPath)
{
    auto* row = new QTreeWidgetItem(QStringList { QString::number(number), className, name });
    row->setData(0, Qt::UserRole, adsPath);
    return row;
}

} // namespace

bool frmMain::ListObjects(const QString& path, const QString& outputFile)
{
    bool result = false;
    // The default pointer comes back when this goes out of scope, after the file is closed.
    const platform::WaitCursor hourglass;
    std::unique_ptr<browser::ExportOutput> output;
    try {
        if (!outputFile.isEmpty()) {
            output = std::make_unique<browser::ExportOutput>(outputFile);
            const QTreeWidgetItem* selected = browser::selectedNode(tvNode);
            if (!selected)
                throw browser::ProgramError(browser::errnum::ObjectNotSet,
                    QStringLiteral("オブジェクト変数または With ブロック変数が設定されていません。"));
            output->writeLine(browser::headingLine(selected->text(0)));
        }

        lvList->clear();

        QString bindPath;
        QTreeWidgetItem* listedNode = nullptr;
        if (!path.isEmpty()) {
            bindPath = path;
            listedNode = tvNodeKeys.node(path);
            tvNodeKeys.removeChildren(listedNode);
        } else {
            bindPath = browser::rootPath(txtDomain->text());
            listedNode = tvNodeKeys.makeNode(bindPath, txtDomain->text());
            tvNode->addTopLevelItem(listedNode);
        }

        int lngCount = 1;

        directory::Directory& directory = directory::currentDirectory();
        const directory::DirObject container = directory.bind(bindPath);
        directory.enumerate(container, classFilter, [&](const directory::Directory::Batch& batch) {
            browser::PendingItems pending(listedNode, lvList);
            for (const directory::DirObject& child : batch) {
                // Each property once: the node, the row and the file line share the same strings.
                const QString adsPath = child.adsPath();
                const QString name = child.name();
                pending.addNode(tvNodeKeys.makeNode(adsPath, name));
                if (output)
                    output->writeLine(browser::dataLine(lngCount, child.className(), name, adsPath));
                pending.addRow(listRow(lngCount, child.className(), name, adsPath));
                ++lngCount;
            }
        });

        // Closing belongs to the finish, but a file that cannot be written out is a failed export.
        if (output) {
            output->finish();
            output.reset();
        }
        result = true;
    } catch (const directory::DirectoryError& error) {
        platform::MsgBox(error.reportText(), platform::MessageIcon::Critical, this);
    } catch (const browser::ProgramError& error) {
        platform::MsgBox(error.reportText(), platform::MessageIcon::Critical, this);
    }

    if (output)
        output->abandon();
    return result;
}
