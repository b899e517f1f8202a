#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

class QFileDialog;
class QWidget;

namespace platform {

// The common dialog control of a window, for its save dialog: Flags, Filter and FileName are
// set and read around ShowSave() as on the original platform. The dialog is Qt's own (never the
// desktop's), asks nothing before a file is replaced and adds no extension to a typed name.
class CommonDialog {
public:
    // The Windows common-dialog flags that mean something here.
    static constexpr int cdlOFNOverwritePrompt = 0x2;
    static constexpr int cdlOFNPathMustExist = 0x800;
    // Meaningless for a save dialog, as on Windows.
    static constexpr int cdlOFNFileMustExist = 0x1000;

    explicit CommonDialog(QWidget* owner = nullptr);

    int Flags = 0;
    // Descriptions and patterns separated by '|': "desc|*.csv|desc|*.*".
    QString Filter;
    // After ShowSave: the full path chosen, or empty when the user cancelled.
    QString FileName;

    // Shows the save dialog modally. It opens on FileName, or on the name chosen last when
    // FileName is empty.
    void ShowSave();

    // The dialog ShowSave shows, set up but not shown.
    std::unique_ptr<QFileDialog> createSaveDialog() const;
    // Qt name filters for a Filter text; "*.*" is "every file", as on Windows.
    static QStringList nameFilters(const QString& filter);

    // Tests answer the dialog instead of a person: the answer gets the dialog as ShowSave set it
    // up, and returns the chosen path, or nullopt for a cancel. Returns the previous answer.
    using SaveAnswer = std::function<std::optional<QString>(QFileDialog& dialog)>;
    static SaveAnswer setSaveAnswer(SaveAnswer answer);

private:
    QWidget* owner_;
    QString lastChosen_;
};

} // namespace platform
