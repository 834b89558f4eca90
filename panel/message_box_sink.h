// The window's message sink: a modal box with one OK button, on the window's thread.
// A list comes in a box of its own, where the operator can select and copy it.
#pragma once

#include <QDialog>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QVBoxLayout>
#include <QWidget>

#include <algorithm>

#include "link/messages.h"

namespace zarnix {

// A modal box whose text is shown as written. The texts name files, folders,
// cameras and adapters, all made by someone else: taken for markup, a name such as
// "<b>x.qcs" would show as another name, and an <img> in it would load a picture.
inline QMessageBox::StandardButton PlainTextBox(QWidget* parent, QMessageBox::Icon icon, const QString& title,
                                                const std::string& text, QMessageBox::StandardButtons buttons,
                                                QMessageBox::StandardButton defaultButton)
{
    QMessageBox box(icon, title, QString::fromStdString(text), buttons, parent);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(defaultButton);
    box.exec();
    return box.standardButton(box.clickedButton());
}

class CMessageBoxSink final : public CMessageSink {
public:
    explicit CMessageBoxSink(QWidget* parent = nullptr) : m_parent(parent) {}
    void SetParent(QWidget* parent) { m_parent = parent; }
    void Show(const std::string& text) override
    {
        PlainTextBox(m_parent, QMessageBox::Information, QString(), text, QMessageBox::Ok, QMessageBox::Ok);
    }
    void ShowList(const std::string& text, const std::string& list) override
    {
        QDialog box(m_parent);
        auto* layout = new QVBoxLayout(&box);
        auto* label = new QLabel(QString::fromStdString(text), &box);
        label->setTextFormat(Qt::PlainText); // names in it come from whoever made the file
        auto* lines = new QPlainTextEdit(QString::fromStdString(list), &box);
        lines->setReadOnly(true);
        lines->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        lines->setLineWrapMode(QPlainTextEdit::NoWrap);
        lines->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont)); // columns line up
        // Wide enough for the longest line, so that none needs scrolling sideways.
        const QFontMetrics metrics(lines->font());
        int widest = 0;
        for (const QString& line : lines->toPlainText().split(QLatin1Char('\n')))
            widest = std::max(widest, metrics.horizontalAdvance(line));
        lines->setMinimumWidth(widest + 2 * metrics.averageCharWidth() + lines->verticalScrollBar()->sizeHint().width());
        lines->setAccessibleName(label->text());
        auto* ok = new QDialogButtonBox(QDialogButtonBox::Ok, &box);
        QObject::connect(ok, &QDialogButtonBox::accepted, &box, &QDialog::accept);
        layout->addWidget(label);
        layout->addWidget(lines);
        layout->addWidget(ok);
        box.exec();
    }
    bool Ask(const std::string& question) override
    {
        return PlainTextBox(m_parent, QMessageBox::Question, QString(), question, QMessageBox::Yes | QMessageBox::No,
                            QMessageBox::No) == QMessageBox::Yes;
    }

private:
    QWidget* m_parent;
};

} // namespace zarnix
