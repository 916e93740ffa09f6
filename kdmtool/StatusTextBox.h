// A multi-line status text box that keeps its text exactly as it was set,
// line breaks included (a CR LF pair shows as one line break).
#pragma once

#include <QPlainTextEdit>

namespace kdmtool {

class StatusTextBox : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit StatusTextBox(QWidget *parent = nullptr) : QPlainTextEdit(parent)
    {
        setReadOnly(true);
        // Two lines of status fill the box: no room for scroll bars or wide margins.
        setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        document()->setDocumentMargin(1);
    }

    QString text() const { return m_text; }
    void setText(const QString &text)
    {
        m_text = text;
        setPlainText(text);
    }

private:
    QString m_text;
};

} // namespace kdmtool
