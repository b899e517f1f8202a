#include "platform/CommonDialog.h"

#include "platform/MessageBox.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <utility>

namespace platform {

namespace {

CommonDialog::SaveAnswer& saveAnswer()
{
    static CommonDialog::SaveAnswer current;
    return current;
}

// Qt's dialog takes any folder in a typed name; the path-must-exist flag keeps it open instead,
// as the original dialog does.
class SaveDialog : public QFileDialog {
public:
    SaveDialog(QWidget* parent, bool pathMustExist)
        : QFileDialog(parent)
        , pathMustExist_(pathMustExist)
    { }

    void accept() override
    {
        const QStringList files = selectedFiles();
        if (pathMustExist_ && !files.isEmpty() && !QFileInfo(files.constFirst()).absoluteDir().exists()) {
            MsgBox(QStringLiteral("%1\r\nフォルダーが存在しません。\r\nフォルダー名を確認してください。")
                       .arg(QDir::toNativeSeparators(files.constFirst())),
                MessageIcon::Warning, this);
            return;
        }
        QFileDialog::accept();
    }

private:
    bool pathMustExist_;
};

} // namespace

CommonDialog::CommonDialog(QWidget* owner)
    : owner_(owner)
{ }

QStringList CommonDialog::nameFilters(const QString& filter)
{
    QStringList result;
    const QStringList parts = filter.split(u'|');
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts.at(i + 1);
        patterns.replace(u';', u' ');
        // Qt reads "*.*" literally (names with a dot only); Windows means every file.
        QStringList list = patterns.split(u' ', Qt::SkipEmptyParts);
        for (QString& pattern : list) {
            if (pattern == u"*.*")
                pattern = QStringLiteral("*");
        }
        // The description is shown as it is: HideNameFilterDetails strips the appended patterns.
        result.append(parts.at(i) + QStringLiteral(" (") + list.join(u' ') + u')');
    }
    return result;
}

std::unique_ptr<QFileDialog> CommonDialog::createSaveDialog() const
{
    auto dialog = std::make_unique<SaveDialog>(owner_, (Flags & cdlOFNPathMustExist) != 0);
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setOption(QFileDialog::DontConfirmOverwrite, (Flags & cdlOFNOverwritePrompt) == 0);
    dialog->setOption(QFileDialog::HideNameFilterDetails);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setWindowTitle(QStringLiteral("名前を付けて保存"));
    const QStringList filters = nameFilters(Filter);
    if (!filters.isEmpty())
        dialog->setNameFilters(filters);
    const QString initial = FileName.isEmpty() ? lastChosen_ : FileName;
    if (!initial.isEmpty())
        dialog->selectFile(initial);
    return dialog;
}

void CommonDialog::ShowSave()
{
    const std::unique_ptr<QFileDialog> dialog = createSaveDialog();
    std::optional<QString> chosen;
    if (saveAnswer()) {
        chosen = saveAnswer()(*dialog);
    } else if (dialog->exec() == QDialog::Accepted && !dialog->selectedFiles().isEmpty()) {
        chosen = dialog->selectedFiles().constFirst();
    }
    if (chosen && !chosen->isEmpty()) {
        FileName = *chosen;
        lastChosen_ = *chosen;
    } else {
        FileName.clear();
    }
}

CommonDialog::SaveAnswer CommonDialog::setSaveAnswer(SaveAnswer answer)
{
    return std::exchange(saveAnswer(), std::move(answer));
}

} // namespace platform
