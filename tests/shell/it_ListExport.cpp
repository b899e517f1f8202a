// The popup menu of the tree and "一覧出力..." through the real window against the test directory.

#include "BrowserTests.h"
#include "MainWindowFixture.h"
#include "TestDirectory.h"
#include "TestFiles.h"
#include "platform/Cp932.h"

#include <QLineEdit>
#include <QTemporaryDir>
#include <algorithm>

using namespace browsertests;
using platform::MessageIcon;
using TestDirectory::adsPath;

namespace {
const QString saved = QStringLiteral("保存しました。");
const QByteArray emptyRdn = "ou=\x8B\xF3\x82\xCC\x95\x94\x8F\x90"; // ou=空の部署

// "｢" + text + "｣以下に存在するオブジェクト" CR LF, spelled out in CP932.
QByteArray heading(const QByteArray& text)
{
    return "\xA2" + text
        + "\xA3\x88\xC8\x89\xBA\x82\xC9\x91\xB6\x8D\xDD\x82\xB7\x82\xE9\x83I\x83u\x83W\x83\x46\x83N\x83g\r\n";
}

const QByteArray salesRdn = "ou=\x89\x63\x8B\xC6\x95\x94"; // ou=営業部

// A line of the export of ou=営業部: the child `rdn` (in CP932) of that class.
QByteArray salesLine(const char* no, const char* className, const QByteArray& rdn)
{
    return QByteArray(no) + '\t' + className + '\t' + rdn + "\tLDAP://" + rdn + ',' + salesRdn
        + ",dc=example,dc=test\t\r\n";
}

const QByteArray salesExport = heading(salesRdn) + salesLine("1", "organizationalUnit", "ou=\x93\x8C\x8B\x9E\x8Ex\x93X")
    + salesLine("2", "user", "cn=\x8ER\x93\x63 \x91\xBE\x98Y") + salesLine("3", "computer", "cn=PC-EIGYO-001")
    + salesLine("4", "group", "cn=\x89\x63\x8B\xC6\x95\x94\x83\x81\x83\x93\x83o\x81[")
    + salesLine("5", "container", "cn=\x8E\x91\x97\xBF");

// The file's lines after the heading, as text: each one ends in CR LF, the file's last one too.
QStringList dataLines(const QByteArray& file)
{
    const QStringList lines = platform::fromAnsi(file).split(QStringLiteral("\r\n"));
    return lines.mid(1, lines.size() - 2);
}

QStringList linesFor(const QList<Row>& rows)
{
    QStringList lines;
    for (const Row& row : rows)
        lines.append(row.no + u'\t' + row.className + u'\t' + row.name + u'\t' + row.tag + u'\t');
    return lines;
}
} // namespace

class ItListExport : public QObject, BrowsingFixture {
    Q_OBJECT

private slots:
    void init()
    {
        QVERIFY(temp.isValid());
        startBrowsing(TestDirectory::domain);
    }
    void cleanup() { endBrowsing(); }

    void exportOfAKnownContainerIsByteExact()
    {
        QPersistentModelIndex sales = connectAndSelect(TestDirectory::sales);
        const QString file = temp.filePath(QStringLiteral("sales.csv"));

        exportThrough(sales, file);

        QCOMPARE(readBytes(file), salesExport);
        verifyOneBox(saved, MessageIcon::Information, Qt::ArrowCursor);
        // The listing was refreshed as by a click, and the file says what the list shows.
        QCOMPARE(dataLines(readBytes(file)), linesFor(listRows(window->lvList)));
        QCOMPARE(childKeys(sales), tagsOf(listRows(window->lvList)));
        QCOMPARE(childCount(sales), 5);
    }

    void charactersOutsideCp932AreWrittenAsQuestionMarks()
    {
        QPersistentModelIndex users = connectAndSelect(TestDirectory::users);
        const QString file = temp.filePath(QStringLiteral("users.csv"));

        exportThrough(users, file);

        const QByteArray bytes = readBytes(file);
        QVERIFY(bytes.startsWith(heading("cn=Users")));
        QVERIFY(bytes.contains("\tuser\tcn=Hans M?ller\tLDAP://cn=Hans M?ller,cn=Users,dc=example,dc=test\t\r\n"));
        QVERIFY(bytes.contains("\tuser\tcn=???\tLDAP://cn=???,cn=Users,dc=example,dc=test\t\r\n"));
        // The list itself keeps the names as they are.
        const QList<Row> rows = listRows(window->lvList);
        const Row* kim = rowWithDn(rows, TestDirectory::kimMinjun);
        QVERIFY(kim);
        QCOMPARE(kim->name, QStringLiteral("cn=김민준"));
    }

    void emptyContainerGivesTheHeadingAlone()
    {
        QPersistentModelIndex empty = connectAndSelect(TestDirectory::emptyOu);
        const QString file = temp.filePath(QStringLiteral("empty.csv"));

        exportThrough(empty, file);

        QCOMPARE(readBytes(file), heading(emptyRdn));
        verifyOneBox(saved, MessageIcon::Information);
        QCOMPARE(rowCount(window->lvList), 0);
    }

    void rootHeadingIsTheDomainAsTyped()
    {
        window->txtDomain->setText(QStringLiteral("Example.TEST"));
        click(window->cmdConnect);
        QPersistentModelIndex root = topNode(window->tvNode, 0);
        clickNode(window->tvNode, root);
        const QString file = temp.filePath(QStringLiteral("root.csv"));

        exportThrough(root, file);

        const QByteArray bytes = readBytes(file);
        QVERIFY(bytes.startsWith(heading("Example.TEST")));
        QCOMPARE(dataLines(bytes), linesFor(rowsFor(serverChildren(TestDirectory::base))));
        QCOMPARE(rowCount(window->tvNode), 1);
    }

    void exportListsTheSelectedNodeNotTheOneRightClicked()
    {
        QPersistentModelIndex sales = connectAndSelect(TestDirectory::sales);
        QPersistentModelIndex users = childWithKey(topNode(window->tvNode, 0), adsPath(TestDirectory::users));
        const QString file = temp.filePath(QStringLiteral("a.csv"));

        exportThrough(users, file);

        QCOMPARE(readBytes(file), salesExport);
        QCOMPARE(selectedNode(window->tvNode), sales);
        QCOMPARE(childCount(users), 0);
        QCOMPARE(listRows(window->lvList), rowsFor(serverChildren(TestDirectory::sales)));
    }

    void rightClickSelectsNothingAndListsNothing()
    {
        QPersistentModelIndex sales = connectAndSelect(TestDirectory::sales);
        const QList<Row> rows = listRows(window->lvList);
        QPersistentModelIndex users = childWithKey(topNode(window->tvNode, 0), adsPath(TestDirectory::users));

        const PopupAnswer popup;
        clickNode(window->tvNode, users, Qt::RightButton);

        QVERIFY(popup.shown());
        QCOMPARE(selectedNode(window->tvNode), sales);
        QCOMPARE(window->tvNode->currentIndex(), sales);
        QCOMPARE(childCount(users), 0);
        QCOMPARE(listRows(window->lvList), rows);
        QVERIFY(recorder->boxes.isEmpty());
        QVERIFY(dialog->offered.isEmpty());
    }

    void menuIsShownForTheRightButtonOnly_data()
    {
        QTest::addColumn<Qt::MouseButton>("button");
        QTest::addColumn<bool>("onNode");
        QTest::addColumn<bool>("shown");
        for (const auto& [button, name] :
            { std::pair(Qt::RightButton, "right"), { Qt::LeftButton, "left" }, { Qt::MiddleButton, "middle" } }) {
            for (const bool onNode : { true, false })
                QTest::addRow("%s %s", name, onNode ? "on a node" : "below the nodes")
                    << button << onNode << (button == Qt::RightButton);
        }
    }
    void menuIsShownForTheRightButtonOnly()
    {
        QFETCH(Qt::MouseButton, button);
        QFETCH(bool, onNode);
        QFETCH(bool, shown);
        click(window->cmdConnect);

        const PopupAnswer popup;
        if (onNode)
            clickNode(window->tvNode, child(topNode(window->tvNode, 0), 1), button);
        else
            clickBelowLastNode(window->tvNode, button);

        QCOMPARE(popup.shown(), shown);
        if (shown)
            QCOMPARE(popup.items, QStringList({ QStringLiteral("一覧出力..."), QStringLiteral("プロパティ") }));
        QVERIFY(recorder->boxes.isEmpty());
    }

    void emptyTreeShowsNoMenu()
    {
        const PopupAnswer popup;
        clickBelowLastNode(window->tvNode, Qt::RightButton);
        QVERIFY(!popup.shown());
    }

    void withNoSelectedNodeTheItemDoesNothing()
    {
        click(window->cmdConnect);
        const QList<Row> rows = listRows(window->lvList);

        exportThrough(topNode(window->tvNode, 0), temp.filePath(QStringLiteral("never.csv")));

        QVERIFY(dialog->offered.isEmpty());
        QVERIFY(recorder->boxes.isEmpty());
        QVERIFY(!QFile::exists(temp.filePath(QStringLiteral("never.csv"))));
        QCOMPARE(listRows(window->lvList), rows);
    }

    // The menu refuses this case; ListObjects itself fails on it after making the file.
    void listingIntoAFileWithNoSelectedNodeFailsBeforeTheList()
    {
        click(window->cmdConnect);
        const QList<Row> rows = listRows(window->lvList);
        const CountedDirectory directory;
        const QString file = temp.filePath(QStringLiteral("unselected.csv"));

        QVERIFY(!window->ListObjects(keyOf(topNode(window->tvNode, 0)), file));

        QCOMPARE(recorder->boxes.size(), 1);
        QVERIFY(recorder->boxes.constFirst().text.startsWith(QStringLiteral("91\r\n")));
        QVERIFY(QFile::exists(file));
        QCOMPARE(readBytes(file), QByteArray());
        QCOMPARE(listRows(window->lvList), rows);
        QCOMPARE(directory.calls(), 0);
    }

    void cancelWritesNothingAndTheEarlierNameIsOfferedAgain()
    {
        QPersistentModelIndex sales = connectAndSelect(TestDirectory::sales);
        const QString file = temp.filePath(QStringLiteral("kept.csv"));
        exportThrough(sales, file);
        QCOMPARE(recorder->boxes.size(), 1);
        QVERIFY(testfiles::writeBytes(file, "sentinel"));
        clickNode(window->tvNode, childWithKey(sales, adsPath(TestDirectory::tokyo)));
        const QList<Row> rows = listRows(window->lvList);

        exportThrough(sales, std::nullopt);

        QCOMPARE(readBytes(file), QByteArray("sentinel"));
        QCOMPARE(recorder->boxes.size(), 1);
        QCOMPARE(listRows(window->lvList), rows);
        exportThrough(sales, std::nullopt);
        QCOMPARE(dialog->offered, QStringList({ QString(), file, file }));
        QCOMPARE(recorder->boxes.size(), 1);
    }

    void dialogIsSetUpForTheExport()
    {
        QPersistentModelIndex sales = connectAndSelect(TestDirectory::sales);
        exportThrough(sales, std::nullopt);
        QCOMPARE(dialog->nameFilters,
            platform::CommonDialog::nameFilters(QStringLiteral("csv(tab区切り)(*.csv)|*.csv|全てのファイル(*.*)|*.*")));
        QVERIFY(dialog->options.testFlag(QFileDialog::DontConfirmOverwrite));
        QVERIFY(dialog->options.testFlag(QFileDialog::DontUseNativeDialog));
        QCOMPARE(dialog->defaultSuffix, QString());
    }

    void existingFileIsReplaced()
    {
        QPersistentModelIndex empty = connectAndSelect(TestDirectory::emptyOu);
        const QString file = temp.filePath(QStringLiteral("replace.csv"));
        QVERIFY(testfiles::writeBytes(file, QByteArray(10000, 'z')));

        exportThrough(empty, file);

        QCOMPARE(readBytes(file), heading(emptyRdn));
        QCOMPARE(recorder->boxes.size(), 1);
    }

    void nameWithoutExtensionIsUsedAsTyped()
    {
        QPersistentModelIndex sales = connectAndSelect(TestDirectory::sales);
        const QString file = temp.filePath(QStringLiteral("listing"));

        exportThrough(sales, file);

        QCOMPARE(readBytes(file), salesExport);
        QVERIFY(!QFile::exists(file + QStringLiteral(".csv")));
    }

    void unwritableFolderShowsOnlyTheError()
    {
        QPersistentModelIndex sales = connectAndSelect(TestDirectory::sales);
        QPersistentModelIndex tokyo = childWithKey(sales, adsPath(TestDirectory::tokyo));
        clickNode(window->tvNode, tokyo);
        window->tvNode->setCurrentIndex(sales);
        const QList<Row> rows = listRows(window->lvList);
        const QStringList salesChildren = childKeys(sales);
        const int nodes = nodeCount(window->tvNode);
        // No one, root included, may create a file in /sys.
        const QString file = QStringLiteral("/sys/mivora-export.csv");

        exportThrough(sales, file);

        verifyOneBox(QStringLiteral("70\r\n書き込みできません。"), MessageIcon::Critical, Qt::WaitCursor);
        QCOMPARE(listRows(window->lvList), rows);
        QCOMPARE(childKeys(sales), salesChildren);
        QCOMPARE(childWithKey(sales, adsPath(TestDirectory::tokyo)), tokyo);
        QCOMPARE(childCount(tokyo), 3);
        QCOMPARE(nodeCount(window->tvNode), nodes);
    }

    void bindFailureAfterTheFileOpenedKeepsTheHeading()
    {
        window->txtDomain->setText(QStringLiteral("nosuch.test"));
        click(window->cmdConnect);
        clickNode(window->tvNode, topNode(window->tvNode, 0));
        QCOMPARE(recorder->boxes.size(), 2);
        const QString file = temp.filePath(QStringLiteral("failed.csv"));

        exportThrough(topNode(window->tvNode, 0), file);

        QCOMPARE(readBytes(file), heading("nosuch.test"));
        QCOMPARE(recorder->boxes.size(), 3);
        QCOMPARE(recorder->boxes.at(2).text, recorder->boxes.at(0).text);
        QCOMPARE(recorder->boxes.at(2).icon, MessageIcon::Critical);
        QVERIFY(std::none_of(recorder->boxes.cbegin(), recorder->boxes.cend(),
            [](const Box& box) { return box.icon == MessageIcon::Information; }));
    }

    // A device is no export file: /dev/full no longer stands for a full disk here (a small tmpfs does).
    void deviceIsNotReportedAsSaved()
    {
        QPersistentModelIndex sales = connectAndSelect(TestDirectory::sales);

        exportThrough(sales, QStringLiteral("/dev/full"));

        verifyOneBox(QStringLiteral("75\r\nパス名またはファイル名が無効です。"), MessageIcon::Critical);
    }

    void fullFilesystemShowsTheErrorAndKeepsThePreviousFile()
    {
        const testfiles::SmallTmpfs disk(64 * 1024);
        if (!disk.ok())
            QSKIP(qPrintable(disk.reason()));
        const QString file = disk.filePath(QStringLiteral("bulk.csv"));
        QVERIFY(testfiles::writeBytes(file, "previous\r\n"));
        QPersistentModelIndex bulk = connectAndSelect(TestDirectory::bulkOu);

        exportThrough(bulk, file);

        verifyOneBox(QStringLiteral("61\r\nディスクの空き容量が不足しています。"), MessageIcon::Critical);
        QCOMPARE(readBytes(file), QByteArray("previous\r\n"));
        QCOMPARE(testfiles::entries(disk.path()), QStringList { QStringLiteral("bulk.csv") });
    }

    void bigExportMatchesTheList()
    {
        QPersistentModelIndex bulk = connectAndSelect(TestDirectory::bulkOu);
        const QString file = temp.filePath(QStringLiteral("bulk.csv"));

        exportThrough(bulk, file);

        verifyOneBox(saved, MessageIcon::Information);
        const QByteArray bytes = readBytes(file);
        QVERIFY(bytes.startsWith(heading("ou=\x91\xE5\x97\xCA")));
        const QStringList lines = dataLines(bytes);
        QCOMPARE(lines.size(), TestDirectory::bulkListedChildren);
        QCOMPARE(lines, linesFor(listRows(window->lvList)));
        QCOMPARE(lines.constLast(),
            QStringLiteral("2500\tgroup\tcn=2500-grup\tLDAP://cn=2500-grup,ou=大量,dc=example,dc=test\t"));
    }

private:
    // The one box the case brought up; the pointer under it too when `cursor` is given.
    void verifyOneBox(const QString& text, MessageIcon icon, std::optional<Qt::CursorShape> cursor = {})
    {
        QCOMPARE(recorder->boxes.size(), 1);
        QCOMPARE(recorder->boxes.constFirst().text, text);
        QCOMPARE(recorder->boxes.constFirst().icon, icon);
        if (cursor)
            QCOMPARE(recorder->boxes.constFirst().cursor, *cursor);
    }

    // Connects and clicks the root's child `dn`, which so becomes the selected node.
    QPersistentModelIndex connectAndSelect(const QString& dn)
    {
        click(window->cmdConnect);
        QPersistentModelIndex node = childWithKey(topNode(window->tvNode, 0), adsPath(dn));
        clickNode(window->tvNode, node);
        return node;
    }

    // Right-clicks `node`, chooses "一覧出力..." and answers the save dialog (nullopt cancels).
    void exportThrough(QPersistentModelIndex node, const std::optional<QString>& file)
    {
        dialog->answers = { file };
        const PopupAnswer popup(QStringLiteral("mnuListOutPut"));
        clickNode(window->tvNode, node, Qt::RightButton);
        QVERIFY(popup.shown());
    }

    QTemporaryDir temp;
};

QTEST_MAIN(ItListExport)
#include "it_ListExport.moc"
