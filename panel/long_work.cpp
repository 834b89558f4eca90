#include "panel/long_work.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QProgressBar>
#include <QWidget>

namespace zarnix {

namespace {

// What the operator does to a window: any of it could start another camera operation.
bool IsOperatorInput(QEvent::Type type)
{
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
    case QEvent::Close: // the window must not go away under its own operation (see StopForClose)
        return true;
    default:
        return false;
    }
}

// The widget an event is for: the receiver itself, or the widget that owns it
// (a shortcut belongs to the window it is made for).
QWidget* OwningWidget(QObject* object)
{
    for (; object; object = object->parent())
        if (object->isWidgetType())
            return static_cast<QWidget*>(object);
    return nullptr;
}

// What shows how the operation goes, the bar and the window's own lines (the
// status line): greyed, it would be hard to read. A label in a group names a
// control and greys with it.
bool ShowsProgress(const QWidget& widget)
{
    return qobject_cast<const QProgressBar*>(&widget) ||
           (qobject_cast<const QLabel*>(&widget) && !qobject_cast<const QGroupBox*>(widget.parentWidget()));
}

} // namespace

CLongWork::CLongWork(QWidget& window, CLinkContext& outer)
    : m_window(window), m_clock(*this, outer.clock), m_messages(*this, outer.messages),
      m_context{outer.adapter, m_clock, m_messages}
{
}

CLongWork::~CLongWork()
{
    if (m_depth > 0) {
        m_eClose = EClose::None; // the window is going away already
        m_disabled.clear();
        m_focus = nullptr;
        m_depth = 1;
        End();
    }
}

CLongWork::CScope::CScope(CLongWork& work, EControls controls, QWidget* stopButton) : m_work(work)
{
    m_work.Begin(controls, stopButton);
}

CLongWork::CScope::~CScope() { m_work.End(); }

void CLongWork::Begin(EControls controls, QWidget* stopButton)
{
    if (m_depth++ > 0)
        return;
    m_stopButton = stopButton;
    if (controls == EControls::Disabled) {
        m_focus = m_window.focusWidget();
        DisableControls(m_window);
    }
    if (QCoreApplication* app = QCoreApplication::instance())
        app->installEventFilter(this);
    HoldCursor(true);
}

void CLongWork::End()
{
    if (--m_depth > 0)
        return;
    HoldCursor(false);
    if (QCoreApplication* app = QCoreApplication::instance())
        app->removeEventFilter(this);
    for (const QPointer<QWidget>& control : m_disabled)
        if (control)
            control->setEnabled(true);
    m_disabled.clear();
    if (m_focus && m_focus->isEnabled())
        m_focus->setFocus();
    m_focus = nullptr;
    m_stopButton = nullptr;
    const bool close = m_eClose != EClose::None;
    m_eClose = EClose::None;
    if (close)
        m_window.close();
}

void CLongWork::DisableControls(QWidget& parent)
{
    for (QWidget* child : parent.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (child->isWindow() || !child->isEnabled() || child == m_stopButton || ShowsProgress(*child))
            continue;
        // A group that holds the stop button or a progress display keeps it usable.
        const bool holdsKept = (m_stopButton && child->isAncestorOf(m_stopButton)) ||
                               !child->findChildren<QProgressBar*>().isEmpty();
        if (holdsKept) {
            DisableControls(*child);
            continue;
        }
        child->setEnabled(false);
        m_disabled.emplace_back(child);
    }
}

bool CLongWork::StopForClose(const std::function<bool()>& confirm)
{
    if (m_eClose != EClose::Asked)
        return m_eClose == EClose::Accepted;
    const bool stop = WithArrowCursor(confirm);
    // Declined, the close is forgotten: the operator may close again later.
    m_eClose = stop ? EClose::Accepted : EClose::None;
    return stop;
}

void CLongWork::HoldCursor(bool hold)
{
    if (hold == m_cursorHeld || !qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return;
    m_cursorHeld = hold;
    if (hold)
        QGuiApplication::setOverrideCursor(m_stopButton ? Qt::BusyCursor : Qt::WaitCursor);
    else
        QGuiApplication::restoreOverrideCursor();
}

bool CLongWork::eventFilter(QObject* watched, QEvent* event)
{
    if (!IsOperatorInput(event->type()))
        return false;
    QWidget* widget = OwningWidget(watched);
    // Other windows (the message boxes above all) take their input as usual.
    if (!widget || widget->window() != &m_window)
        return false;
    if (m_stopButton && (widget == m_stopButton || m_stopButton->isAncestorOf(widget)))
        return false;
    // Only noted here: a question now could come between a register's address
    // frame and its data byte, since the pauses inside a register let events in.
    if (event->type() == QEvent::Close && watched == &m_window && m_eClose == EClose::None)
        m_eClose = EClose::Asked;
    event->ignore();
    return true;
}

void CLongWork::CPaintingClock::Pause(unsigned ms)
{
    // The protocol's pauses are at most a few hundred milliseconds, so the window
    // repaints often enough; the pause itself is never shortened.
    if (m_work.Running())
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    m_inner.Pause(ms);
}

void CLongWork::CMessages::Show(const std::string& text)
{
    m_work.WithArrowCursor([&] {
        m_inner.Show(text);
        return true;
    });
}

void CLongWork::CMessages::ShowList(const std::string& text, const std::string& list)
{
    m_work.WithArrowCursor([&] {
        m_inner.ShowList(text, list);
        return true;
    });
}

bool CLongWork::CMessages::Ask(const std::string& question)
{
    return m_work.WithArrowCursor([&] { return m_inner.Ask(question); });
}

} // namespace zarnix
