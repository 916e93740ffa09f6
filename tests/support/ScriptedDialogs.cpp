#include "ScriptedDialogs.h"

namespace kdm::test {

QString ScriptedDialogs::openFile(QWidget *, const ui::FileDialogRequest &request)
{
    return answer(Kind::Open, request);
}

QString ScriptedDialogs::saveFile(QWidget *, const ui::FileDialogRequest &request)
{
    return answer(Kind::Save, request);
}

QString ScriptedDialogs::answer(Kind kind, const ui::FileDialogRequest &request)
{
    requests.append({kind, request});
    return answers.isEmpty() ? QString() : answers.takeFirst();
}

} // namespace kdm::test
