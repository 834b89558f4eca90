// What the module's camera calls share: the exception family, the logger, the
// core's messages kept for the call's outcome, the stop check that takes
// Ctrl-C between two registers, and progress callbacks.
#pragma once

#include <pybind11/pybind11.h>

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "backend/camera_session.h"
#include "link/messages.h"
#include "system/stop_check.h"

namespace zarnix::python {

namespace py = pybind11;

// zarnix.Error and its kinds, with the attribute each carries.
enum class ErrorKind { Error, NoCamera, Bus, Mismatch, File, Busy, Stopped };

// Makes the classes and puts them into `module`.
void AddErrors(py::module_& module);
// Raises `kind` with `text` (and `attribute` set to `value` on the exception).
[[noreturn]] void Raise(ErrorKind kind, const std::string& text);
[[noreturn]] void RaiseWith(ErrorKind kind, const std::string& text, const char* attribute, py::object value);
// Whether a Python exception is zarnix.Error or one of its kinds.
bool IsError(const py::error_already_set& error);
// zarnix.OpenAllError, an ExceptionGroup of `failures` with the cameras that did open.
[[noreturn]] void RaiseOpenAll(const py::list& failures, py::list cameras);
// The core's texts run over several lines, as a message box shows them; an
// exception's text is one line, for a log line or a CSV field.
std::string OneLine(const std::string& text);

// The "zarnix" logger of Python's logging; needs the GIL.
constexpr int kLogInfo = 20;
constexpr int kLogWarning = 30;
void Log(int level, const std::string& text);

// A register, index or value: 0 to 0xff, else ValueError; never cut down to its
// low byte, which would reach a register nobody asked for.
std::uint8_t Byte(const py::int_& value, const char* what);
// An int for an address: nothing when it is not a byte.
std::optional<unsigned> ByteOrNothing(const py::int_& value);
// "0x70".
std::string Hex(unsigned value);
std::string HexOf(const py::int_& value);
// A 1-based line, None for 0 (a problem of the whole file).
py::object LineOrNone(std::size_t line);
// The backend's texts name zarnixctl's options; here they are open()'s arguments.
std::string InPythonTerms(std::string text);
std::string WithoutErrorPrefix(const std::string& text);

// The core's message boxes during one call: the text of its exception, or
// information for the logger.
class CPyMessages final : public CMessageSink {
public:
    void Show(const std::string& text) override { m_texts.push_back(text); }
    // A script has nobody to ask: no, as zarnixctl answers without a terminal.
    bool Ask(const std::string& question) override;
    const std::vector<std::string>& Texts() const { return m_texts; }
    std::string Joined() const;
    void Clear() { m_texts.clear(); }

private:
    std::vector<std::string> m_texts;
};

// Asked between two registers (without the GIL): Ctrl-C through Python's own
// signal handling, so a handler the script installed runs too, a stop asked
// from another thread, or an exception a progress callback raised. Each stops
// the job where zarnixctl's SIGINT stops it; the exception is raised once the
// core has returned.
class CPyStop {
public:
    explicit CPyStop(const std::atomic<bool>& asked) : m_asked(asked) {}
    CStopCheck Check();
    // An exception raised by a callback (the GIL held).
    void Keep(py::error_already_set& error);
    bool Stopped() const { return m_error.has_value() || m_byRequest; }
    // `where`: where the stop left the camera, the text of StoppedError.
    [[noreturn]] void Raise(const std::string& where);

private:
    const std::atomic<bool>& m_asked;
    bool m_byRequest = false;
    std::optional<py::error_already_set> m_error;
};

// progress(done, total) for each step of the core's progress, with the GIL.
class CPyProgress {
public:
    // A callback that cannot be called is refused before the bus is touched.
    CPyProgress(py::object callback, CPyStop& stop);
    // What the session steps; lives as long as this.
    CProgress Progress();

private:
    void Step();

    py::object m_callback;
    unsigned m_done = 0;
    unsigned m_total = 0;
    CPyStop& m_stop;
};

} // namespace zarnix::python
