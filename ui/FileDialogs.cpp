#include "FileDialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QStandardPaths>

namespace kdm::ui {

namespace {

QString startPath(const FileDialogRequest &request)
{
    if (request.fileName.isEmpty())
        return request.folder;
    if (request.folder.isEmpty())
        return request.fileName;
    return QDir(request.folder).filePath(request.fileName);
}

} // namespace

QString QtFileDialogs::documentsFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
}

QString QtFileDialogs::openFile(QWidget *parent, const FileDialogRequest &request)
{
    return QFileDialog::getOpenFileName(parent, request.title, startPath(request), request.filter);
}

QString QtFileDialogs::saveFile(QWidget *parent, const FileDialogRequest &request)
{
    return QFileDialog::getSaveFileName(parent, request.title, startPath(request), request.filter);
}

} // namespace kdm::ui
