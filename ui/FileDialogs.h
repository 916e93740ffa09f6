// The file dialogs and the documents folder, behind an interface so that
// tests can answer them. The Qt implementation uses QFileDialog and
// QStandardPaths.
#pragma once

#include <QString>

class QWidget;

namespace kdm::ui {

struct FileDialogRequest {
    QString title;
    QString folder;   // start folder; empty leaves it to the dialog
    QString fileName; // initial name in the name box; may be a pattern such as "vomo5_syc*.bin"
    QString filter;   // "description (*.ext)"; empty lists every file
};

class FileDialogs {
public:
    virtual ~FileDialogs() = default;

    // The user's documents folder; empty when it cannot be determined.
    virtual QString documentsFolder() = 0;

    // The chosen file's full path; empty when the user cancelled.
    virtual QString openFile(QWidget *parent, const FileDialogRequest &request) = 0;
    virtual QString saveFile(QWidget *parent, const FileDialogRequest &request) = 0;
};

class QtFileDialogs final : public FileDialogs {
public:
    QString documentsFolder() override;
    QString openFile(QWidget *parent, const FileDialogRequest &request) override;
    QString saveFile(QWidget *parent, const FileDialogRequest &request) override;
};

} // namespace kdm::ui
