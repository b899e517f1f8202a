#include "browser/ExportFile.h"
#include "browser/ListingPaint.h"
#include "browser/NodeTreeModel.h"
#include "browser/ObjectListModel.h"
#include "browser/ProgramError.h"
#include "directory/Directory.h"
#include "directory/Dn.h"
#include "platform/AtomicFile.h"
#include "platform/MessageBox.h"
#include "platform/WaitCursor.h"
#include "shell/frmMain.h"

#include <QLineEdit>
#include <QTreeView>
#include <memory>
#include <optional>

bool frmMain::ListObjects(const QString& path, const QString& outputFile)
{
    bool result = false;
    // The default pointer comes back when this goes out of scope, after the file is closed.
    const platform::WaitCursor hourglass(this);
    std::unique_ptr<platform::AtomicFile> file;
    std::optional<browser::ExportWriter> output;
    try {
        if (!outputFile.isEmpty()) {
            file = browser::openExportFile(outputFile);
            output.emplace(*file);
            const QModelIndex selected = browser::selectedIndex(tvNode);
            if (!selected.isValid())
                throw browser::ProgramError(browser::errnum::ObjectNotSet,
                    QStringLiteral("オブジェクト変数または With ブロック変数が設定されていません。"));
            output->writeLine(browser::headingLine(selected.data().toString()));
        }

        lvListModel->clear();

        QString bindPath;
        QModelIndex listedNode;
        if (!path.isEmpty()) {
            bindPath = path;
            listedNode = tvNodeModel->node(path);
            tvNodeModel->removeChildren(listedNode);
        } else {
            bindPath = directory::dn::rootPath(txtDomain->text());
            listedNode = tvNodeModel->addRoot(bindPath, txtDomain->text());
        }

        int lngCount = 1;

        directory::Directory& directory = directory::currentDirectory();
        const directory::DirObject container = directory.bind(bindPath);
        browser::ListingPaint progress({ tvNode, lvList });
        directory.enumerate(container, browser::listedClasses(), [&](const directory::Directory::Batch& batch) {
            {
                // Each page joins the tree and the list in one insertion each, also when it fails.
                browser::NodeTreeModel::Pending nodes(*tvNodeModel, listedNode);
                browser::ObjectListModel::Pending rows(*lvListModel);
                for (const directory::DirObject& child : batch) {
                    const QString path = child.adsPath();
                    const QString name = child.name();
                    // One string per object: the node, its key and the row share it.
                    const browser::SharedText text(path, name);
                    // The node first: a key already taken stops the page before its line or row.
                    nodes.add(text);
                    if (output)
                        output->writeLine(browser::dataLine(lngCount, child.className(), name, path));
                    rows.add(text, child.className());
                    ++lngCount;
                }
            }
            progress.pageAdded();
        });

        // Closing belongs to the finish, but a file that cannot be written out is a failed export.
        if (output) {
            output->finish();
            output.reset();
        }
        result = true;
    } catch (const platform::NumberedError& error) {
        platform::MsgBox(error.reportText(), platform::MessageIcon::Critical, this);
    }

    if (output)
        output->keepWhatWasWritten();
    return result;
}
