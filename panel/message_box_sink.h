// The window's message sink: a modal box with one OK button, on the window's thread.
#pragma once

#include <QMessageBox>
#include <QWidget>

#include "link/messages.h"

namespace zarnix {

class CMessageBoxSink final : public CMessageSink {
public:
    explicit CMessageBoxSink(QWidget* parent = nullptr) : m_parent(parent) {}
    void SetParent(QWidget* parent) { m_parent = parent; }
    void Show(const std::string& text) override
    {
        QMessageBox::information(m_parent, QString(), QString::fromStdString(text), QMessageBox::Ok);
    }
    bool Ask(const std::string& question) override
    {
        return QMessageBox::question(m_parent, QString(), QString::fromStdString(question),
                                     QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
    }

private:
    QWidget* m_parent;
};

} // namespace zarnix
