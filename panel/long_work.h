// Long camera operations of the window: the store (about 11 s), a file transfer
// (up to about 107 s), the read-back of Connect and the address search. They run
// on the window's thread, as every bus transaction does. While one runs, the
// window goes on painting and showing progress in the protocol's pauses, but no
// operator input reaches its controls, so nothing else talks to the camera
// meanwhile; only the operation's stop button, when it has one, takes clicks.
// Message boxes raised by the work are separate windows and work as always.
// Closing the window meanwhile never takes it away under the operation: the
// operation's next stop check, between two registers, puts the question, and the
// window closes once the operation has ended.
#pragma once

#include <QObject>
#include <QPointer>

#include <functional>
#include <vector>

#include "link/context.h"

class QWidget;

namespace zarnix {

class CLongWork final : public QObject {
public:
    // `window` is the one whose input is held off; `outer` the services injected into it.
    CLongWork(QWidget& window, CLinkContext& outer);
    ~CLongWork() override;
    CLongWork(const CLongWork&) = delete;
    CLongWork& operator=(const CLongWork&) = delete;

    // What the window's camera operations use: the outer adapter, the outer clock
    // and the outer messages, seen through this object. Outside a long operation
    // it passes everything straight on.
    CLinkContext& Context() { return m_context; }
    bool Running() const { return m_depth > 0; }

    // For an operation's stop check, which runs between two registers: when the
    // operator has closed the window since the last check, puts `confirm` to them
    // (with the ordinary arrow) and answers true when they chose to stop and close;
    // the window then closes as soon as the operation has ended. A close that no
    // stop check took up (the address search and Connect have none) closes the
    // window when the operation ends, without a question: it risks nothing there.
    bool StopForClose(const std::function<bool()>& confirm);

    // How the window's controls look while an operation holds off their input.
    enum class EControls {
        AsTheyAre, // a short wait: the read-back of Connect, the address search
        Disabled,  // SAVE and the transfers: every control but the stop button shows it takes no input
    };

    // One long operation, from construction to destruction. An operation inside
    // another (the search inside the start-up) adds nothing.
    class CScope {
    public:
        explicit CScope(CLongWork& work, EControls controls = EControls::AsTheyAre, QWidget* stopButton = nullptr);
        ~CScope();
        CScope(const CScope&) = delete;
        CScope& operator=(const CScope&) = delete;

    private:
        CLongWork& m_work;
    };

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Lets the window catch up before each pause and then pauses exactly as asked,
    // so the camera sees the same transactions at the same intervals.
    class CPaintingClock final : public CClock {
    public:
        CPaintingClock(CLongWork& work, CClock& inner) : m_work(work), m_inner(inner) {}
        Micros Now() const override { return m_inner.Now(); }
        void Pause(unsigned ms) override;

    private:
        CLongWork& m_work;
        CClock& m_inner;
    };
    // Shows the ordinary arrow over a message box, which waits for the operator.
    class CMessages final : public CMessageSink {
    public:
        CMessages(CLongWork& work, CMessageSink& inner) : m_work(work), m_inner(inner) {}
        void Show(const std::string& text) override;
        void ShowList(const std::string& text, const std::string& list) override;
        bool Ask(const std::string& question) override;

    private:
        CLongWork& m_work;
        CMessageSink& m_inner;
    };

    void Begin(EControls controls, QWidget* stopButton);
    void End();
    // Disables every control below `parent` but the stop button and what shows
    // progress (the bar, the status line), keeping in m_disabled those it disabled; what was
    // disabled before (the 3DNR controls with 3DNR off, say) stays as it was.
    void DisableControls(QWidget& parent);
    void HoldCursor(bool hold);
    // Runs `ask` (a box that waits for the operator) under the ordinary arrow.
    template <typename F>
    auto WithArrowCursor(F ask)
    {
        const bool held = m_cursorHeld;
        if (held)
            HoldCursor(false);
        auto answer = ask();
        if (held)
            HoldCursor(true);
        return answer;
    }

    QWidget& m_window;
    CPaintingClock m_clock;
    CMessages m_messages;
    CLinkContext m_context;
    int m_depth = 0;
    bool m_cursorHeld = false;
    enum class EClose {
        None,     // the operator has not closed the window during this operation
        Asked,    // they closed it; no stop check has taken that up yet
        Accepted, // they chose to stop: close once the operation has ended
    };
    EClose m_eClose = EClose::None;
    QPointer<QWidget> m_stopButton;
    std::vector<QPointer<QWidget>> m_disabled; // enabled again when the operation ends
    QPointer<QWidget> m_focus;                  // where the keyboard was before
};

} // namespace zarnix
