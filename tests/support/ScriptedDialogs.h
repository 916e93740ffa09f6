// File dialogs that a test answers in advance, keeping every request.
#pragma once

#include "ui/FileDialogs.h"

#include <QList>
#include <QStringList>

namespace kdm::test {

class ScriptedDialogs final : public ui::FileDialogs {
public:
    enum class Kind { Open, Save };
    struct Request {
        Kind kind;
        ui::FileDialogRequest request;
    };

    QString documents = QStringLiteral("/nonexistent-documents");
    QStringList answers; // taken in order; an exhausted list answers "cancelled"
    QList<Request> requests;

    QString documentsFolder() override { return documents; }
    QString openFile(QWidget *parent, const ui::FileDialogRequest &request) override;
    QString saveFile(QWidget *parent, const ui::FileDialogRequest &request) override;

private:
    QString answer(Kind kind, const ui::FileDialogRequest &request);
};

} // namespace kdm::test
