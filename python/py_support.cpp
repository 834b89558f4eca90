#include "python/py_support.h"

#include <cstdio>
#include <string_view>
#include <utility>

namespace zarnix::python {

namespace {

struct CErrorClass {
    const char* name;
    const char* attribute; // nullptr: none of its own
    const char* doc;
};
// In the order of ErrorKind; every kind derives from the first.
constexpr CErrorClass kErrorClasses[] = {
    {"Error", "camera",
     "A camera, bus or file failure; the text is what the window would show, on one line. .camera names\n"
     "the bus or state file of a camera open_all() could not open, else it is None."},
    {"NoCameraError", nullptr, "No camera answers on the bus, or there is no adapter to reach one."},
    {"BusError", "register", "A bus transaction failed; .register is (bank, index) of the register it was for."},
    {"MismatchError", "code",
     "A loaded file read back differently, so nothing was committed; .code is 0x1000 + index for the\n"
     "Eeprom block, 256 * block + index for the others."},
    {"FileError", "line", "A settings file cannot be read, written or used; .line is its first bad line, or None."},
    {"BusyError", "holder",
     "Another program holds the bus (or library, or state file); .holder is its process id, or None."},
    {"StoppedError", nullptr,
     "Camera.stop() (or close() from another thread) ended the call after the register under way:\n"
     "nothing committed, no partial file; the text says where the camera was left."},
};
constexpr const char* kOpenAllErrorDoc =
    "Some cameras of open_all() could not be opened: an ExceptionGroup of their failures, each a\n"
    "zarnix.Error whose .camera names its bus or state file; .cameras are the cameras that did open,\n"
    "open and ready to use (and to close).";
PyObject* g_openAllError = nullptr;
// Owned for as long as the interpreter lives; the module holds them too.
PyObject* g_errors[std::size(kErrorClasses)] = {};

// zarnixctl's options in the backend's texts, and what open() calls them.
constexpr std::pair<const char*, const char*> kOptionTerms[] = {
    {"zarnixctl --list-buses", "zarnix.buses()"}, {"--bus N", "bus=N"},           {"--bus", "bus="},
    {"--adapter-lib", "adapter_lib="}, {"--simulate", "simulate=True"},
    {"--sim-state", "sim_state="},  {"--sim-clock", "virtual_clock=True"},
    {"--force", "force=True"},      {"--list-buses", "zarnix.buses()"},
};

} // namespace

void AddErrors(py::module_& module)
{
    for (std::size_t k = 0; k < std::size(kErrorClasses); ++k) {
        const CErrorClass& error = kErrorClasses[k];
        py::dict defaults;
        if (error.attribute)
            defaults[error.attribute] = py::none();
        const std::string name = std::string("zarnix.") + error.name;
        g_errors[k] = PyErr_NewExceptionWithDoc(name.c_str(), error.doc, k == 0 ? nullptr : g_errors[0],
                                                defaults.ptr());
        if (!g_errors[k])
            throw py::error_already_set();
        module.attr(error.name) = py::handle(g_errors[k]);
    }
    const py::tuple bases = py::make_tuple(py::module_::import("builtins").attr("ExceptionGroup"), py::handle(g_errors[0]));
    g_openAllError = PyErr_NewExceptionWithDoc("zarnix.OpenAllError", kOpenAllErrorDoc, bases.ptr(), nullptr);
    if (!g_openAllError)
        throw py::error_already_set();
    module.attr("OpenAllError") = py::handle(g_openAllError);
}

bool IsError(const py::error_already_set& error) { return error.matches(g_errors[0]); }

void RaiseOpenAll(const py::list& failures, py::list cameras)
{
    const py::handle type(g_openAllError);
    py::object error = type(std::to_string(py::len(failures)) + " of " +
                                std::to_string(py::len(failures) + py::len(cameras)) + " cameras could not be opened",
                            failures);
    error.attr("cameras") = std::move(cameras);
    PyErr_SetObject(type.ptr(), error.ptr());
    throw py::error_already_set();
}

std::string OneLine(const std::string& text)
{
    std::string line;
    for (std::size_t at = 0; at < text.size(); ++at) {
        if (text[at] != '\n') {
            line += text[at];
            continue;
        }
        while (at + 1 < text.size() && text[at + 1] == ' ')
            ++at;
        // A sentence that ended goes on after a space; a line that did not, after a semicolon.
        const bool ended = !line.empty() && std::string_view(".:;?!").find(line.back()) != std::string_view::npos;
        line += ended ? " " : "; ";
    }
    return line;
}

// The names in a text (files, buses) are whoever made them: bytes that are no
// UTF-8 would turn the exception into a UnicodeDecodeError, control characters
// (a line end in a name too) reach the terminal a traceback is printed on.
void Raise(ErrorKind kind, const std::string& text)
{
    PyErr_SetString(g_errors[static_cast<std::size_t>(kind)], PrintableName(OneLine(text)).c_str());
    throw py::error_already_set();
}

void RaiseWith(ErrorKind kind, const std::string& text, const char* attribute, py::object value)
{
    const py::handle type(g_errors[static_cast<std::size_t>(kind)]);
    py::object error = type(PrintableName(OneLine(text)));
    error.attr(attribute) = std::move(value);
    PyErr_SetObject(type.ptr(), error.ptr());
    throw py::error_already_set();
}

void Log(int level, const std::string& text)
{
    py::module_::import("logging").attr("getLogger")("zarnix").attr("log")(level, PrintableName(text, true));
}

std::optional<unsigned> ByteOrNothing(const py::int_& value)
{
    int overflow = 0;
    const long long number = PyLong_AsLongLongAndOverflow(value.ptr(), &overflow);
    if (overflow != 0 || number < 0 || number > 0xFF)
        return std::nullopt;
    return static_cast<unsigned>(number);
}

std::uint8_t Byte(const py::int_& value, const char* what)
{
    const auto byte = ByteOrNothing(value);
    if (!byte)
        throw py::value_error(std::string(what) + " " + HexOf(value) + " is not a byte: a register holds 0 to 0xff");
    return static_cast<std::uint8_t>(*byte);
}

std::string HexOf(const py::int_& value)
{
    return py::reinterpret_steal<py::str>(PyNumber_ToBase(value.ptr(), 16)).cast<std::string>();
}

std::string Hex(unsigned value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%02x", value);
    return text;
}

py::object LineOrNone(std::size_t line) { return line == 0 ? py::none() : py::object(py::int_(line)); }

std::string InPythonTerms(std::string text)
{
    for (const auto& [option, argument] : kOptionTerms)
        for (std::size_t at = text.find(option); at != std::string::npos; at = text.find(option, at))
            text.replace(at, std::char_traits<char>::length(option), argument);
    return text;
}

std::string WithoutErrorPrefix(const std::string& text)
{
    constexpr std::string_view prefix = "Error: ";
    return text.starts_with(prefix) ? text.substr(prefix.size()) : text;
}

bool CPyMessages::Ask(const std::string& question)
{
    m_texts.push_back(question + " There is nobody to ask here: no. Give address= to take the camera elsewhere.");
    return false;
}

std::string CPyMessages::Joined() const
{
    std::string text;
    for (const std::string& line : m_texts)
        text += (text.empty() ? "" : "\n") + line;
    return text;
}

CStopCheck CPyStop::Check()
{
    return [this] {
        if (m_error || m_byRequest)
            return true;
        if (m_asked.load()) {
            m_byRequest = true;
            return true;
        }
        py::gil_scoped_acquire gil;
        // Runs Python's handlers of the signals that came meanwhile; the main
        // thread's Ctrl-C raises KeyboardInterrupt here.
        if (PyErr_CheckSignals() == 0)
            return false;
        m_error.emplace();
        return true;
    };
}

void CPyStop::Keep(py::error_already_set& error)
{
    if (!m_error)
        m_error.emplace(std::move(error));
}

void CPyStop::Raise(const std::string& where)
{
    if (!m_error)
        python::Raise(ErrorKind::Stopped, where.empty() ? "stopped before the camera was touched" : where);
    py::error_already_set error = std::move(*m_error);
    m_error.reset();
    throw error;
}

CPyProgress::CPyProgress(py::object callback, CPyStop& stop) : m_callback(std::move(callback)), m_stop(stop)
{
    if (!m_callback.is_none() && !PyCallable_Check(m_callback.ptr()))
        throw py::type_error("progress is called as progress(done, total); " +
                             py::repr(m_callback).cast<std::string>() + " cannot be called");
}

CProgress CPyProgress::Progress()
{
    return {[this](unsigned total) { m_total = total; }, [this] { Step(); }};
}

void CPyProgress::Step()
{
    ++m_done;
    if (m_callback.is_none() || m_stop.Stopped())
        return;
    py::gil_scoped_acquire gil;
    try {
        m_callback(m_done, m_total);
    } catch (py::error_already_set& error) {
        m_stop.Keep(error);
    }
}

} // namespace zarnix::python
