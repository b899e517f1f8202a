// The save dialog of the common dialog control: how it is set up, and what ShowSave gives back
// when a person confirms or cancels the real dialog.

#include "BrowserTests.h"
#include "platform/CommonDialog.h"

#include <QComboBox>
#include <QLineEdit>
#include <QTemporaryDir>

using namespace browsertests;
using platform::CommonDialog;

namespace {
const QString exportFilter = QStringLiteral("csv(tab区切り)(*.csv)|*.csv|全てのファイル(*.*)|*.*");
constexpr int exportFlags = CommonDialog::cdlOFNPathMustExist | CommonDialog::cdlOFNFileMustExist;

// The dialog as the export sets it up.
struct ExportDialog : CommonDialog {
    ExportDialog()
    {
        Flags = exportFlags;
        Filter = exportFilter;
    }
};

// What a person does in the dialog once it is up: type a name and press Enter, or cancel.
class DialogPerson {
public:
    // An empty name cancels.
    explicit DialogPerson(QString name)
        : name(std::move(name))
    { }

    QStringList offered; // the name field's text at each showing
    QString folder; // the folder the dialog showed
    QStringList shownFilters; // what the file-type list shows
    int showings = 0;
    bool stillOpenAfterAccept = false;

private:
    void act(QFileDialog* dialog)
    {
        ++showings;
        auto* nameField = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        offered.append(nameField ? nameField->text() : QStringLiteral("<no name field>"));
        folder = dialog->directory().absolutePath();
        if (auto* types = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"))) {
            for (int i = 0; i < types->count(); ++i)
                shownFilters.append(types->itemText(i));
        }
        if (name.isEmpty()) {
            dialog->reject();
            return;
        }
        nameField->setText(name);
        QTest::keyClick(nameField, Qt::Key_Return);
        stillOpenAfterAccept = dialog->isVisible();
        if (stillOpenAfterAccept)
            dialog->reject();
    }

    QString name;
    WhenShown<QFileDialog> watch { [] { return qobject_cast<QFileDialog*>(QApplication::activeModalWidget()); },
        [this](QFileDialog& dialog) { act(&dialog); } };
};
} // namespace

class TestCommonDialog : public QObject {
    Q_OBJECT

private slots:
    void init() { QVERIFY(temp.isValid()); }

    void filterTextBecomesTwoFiltersWithTheirDescriptions()
    {
        const QStringList filters = CommonDialog::nameFilters(exportFilter);
        QCOMPARE(filters,
            QStringList(
                { QStringLiteral("csv(tab区切り)(*.csv) (*.csv)"), QStringLiteral("全てのファイル(*.*) (*)") }));
    }

    void dialogIsQtsOwnAndAsksNothingBeforeReplacing()
    {
        ExportDialog dialog;
        const auto save = dialog.createSaveDialog();
        QCOMPARE(save->acceptMode(), QFileDialog::AcceptSave);
        QVERIFY(save->testOption(QFileDialog::DontUseNativeDialog));
        QVERIFY(save->testOption(QFileDialog::DontConfirmOverwrite));
        QCOMPARE(save->defaultSuffix(), QString());
        QCOMPARE(save->nameFilters(), CommonDialog::nameFilters(exportFilter));
    }

    void overwritePromptFlagAsksAgain()
    {
        CommonDialog dialog;
        dialog.Flags = CommonDialog::cdlOFNOverwritePrompt;
        QVERIFY(!dialog.createSaveDialog()->testOption(QFileDialog::DontConfirmOverwrite));
    }

    void typedNameComesBackAsAFullPathWithoutAnExtension()
    {
        ExportDialog dialog;
        DialogPerson person(QStringLiteral("listing"));

        dialog.ShowSave();

        QCOMPARE(person.showings, 1);
        QVERIFY(!person.folder.isEmpty());
        QCOMPARE(dialog.FileName, QDir(person.folder).filePath(QStringLiteral("listing")));
        QCOMPARE(person.shownFilters,
            QStringList({ QStringLiteral("csv(tab区切り)(*.csv)"), QStringLiteral("全てのファイル(*.*)") }));
    }

    void existingFileIsTakenWithoutAQuestion()
    {
        const QString path = temp.filePath(QStringLiteral("old.csv"));
        QVERIFY(testfiles::writeBytes(path, {}));
        ExportDialog dialog;
        MessageRecorder recorder;
        DialogPerson person(path);

        dialog.ShowSave();

        QVERIFY(!person.stillOpenAfterAccept);
        QCOMPARE(dialog.FileName, path);
        QVERIFY(recorder.boxes.isEmpty());
    }

    void cancelGivesNoNameAndTheLastChoiceIsOfferedAgain()
    {
        ExportDialog dialog;
        const QString chosen = temp.filePath(QStringLiteral("first.csv"));
        {
            DialogPerson person(chosen);
            dialog.ShowSave();
            QCOMPARE(dialog.FileName, chosen);
        }
        for (int cancelled = 0; cancelled < 2; ++cancelled) {
            DialogPerson person { QString() };
            dialog.ShowSave();
            QCOMPARE(person.offered, QStringList { QStringLiteral("first.csv") });
            QCOMPARE(dialog.FileName, QString());
        }
    }

    void nameInAMissingFolderKeepsTheDialogOpen()
    {
        ExportDialog dialog;
        MessageRecorder recorder;
        const QString missing = temp.filePath(QStringLiteral("missing/list.csv"));
        DialogPerson person(missing);

        dialog.ShowSave();

        QVERIFY(person.stillOpenAfterAccept);
        QCOMPARE(dialog.FileName, QString());
        QCOMPARE(recorder.boxes.size(), 1);
        QCOMPARE(recorder.boxes.constFirst().icon, platform::MessageIcon::Warning);
        QVERIFY(recorder.boxes.constFirst().text.contains(QStringLiteral("フォルダーが存在しません。")));
    }

    void answerHookSeesTheDialogAsSetUp()
    {
        ExportDialog dialog;
        dialog.FileName = temp.filePath(QStringLiteral("preset.csv"));
        SaveDialogAnswers answers;
        answers.answers.append(std::nullopt);

        dialog.ShowSave();

        QCOMPARE(answers.offered, QStringList { temp.filePath(QStringLiteral("preset.csv")) });
        QCOMPARE(answers.nameFilters, CommonDialog::nameFilters(exportFilter));
        QCOMPARE(dialog.FileName, QString());
    }

private:
    QTemporaryDir temp;
};

QTEST_MAIN(TestCommonDialog)
#include "test_CommonDialog.moc"
