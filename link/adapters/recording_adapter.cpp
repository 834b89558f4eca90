#include "link/adapters/recording_adapter.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "system/files.h"

namespace zarnix {

namespace {

std::string Hex(std::uint32_t value, int digits)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*x", digits, value);
    return text;
}

std::string Bytes(const std::vector<std::uint8_t>& data)
{
    std::string text = "[";
    for (std::size_t i = 0; i < data.size(); ++i) {
        char pair[4];
        std::snprintf(pair, sizeof pair, i ? " %02x" : "%02x", data[i]);
        text += pair;
    }
    return text + "]";
}

// The trace's bytes, written through WriteUnlessStopped; after the first fault
// nothing more is written and the fault is kept for Close to tell.
class CTraceBuffer final : public std::streambuf {
public:
    CTraceBuffer(int fd, CStopCheck stop) : m_fd(fd), m_stop(std::move(stop)) { setp(m_bytes, m_bytes + sizeof m_bytes); }
    ~CTraceBuffer() override { Close(); }
    // False when any byte was lost.
    bool Close()
    {
        if (m_fd < 0)
            return m_fault.reason.empty();
        Drain();
        if (::close(m_fd) != 0 && m_fault.reason.empty())
            m_fault.reason = std::strerror(errno);
        m_fd = -1;
        return m_fault.reason.empty();
    }
    const std::string& Reason() const { return m_fault.reason; }

protected:
    int_type overflow(int_type c) override
    {
        if (!Drain())
            return traits_type::eof();
        if (!traits_type::eq_int_type(c, traits_type::eof())) {
            *pptr() = traits_type::to_char_type(c);
            pbump(1);
        }
        return traits_type::not_eof(c);
    }
    int sync() override { return Drain() ? 0 : -1; }

private:
    bool Drain()
    {
        const std::string_view bytes(pbase(), static_cast<std::size_t>(pptr() - pbase()));
        setp(m_bytes, m_bytes + sizeof m_bytes);
        return m_fault.reason.empty() && WriteUnlessStopped(m_fd, bytes, m_fault, m_stop);
    }

    int m_fd;
    CStopCheck m_stop;
    CFileFault m_fault;
    char m_bytes[4096];
};

} // namespace

std::string FormatCall(const CAdapterCallRecord& r)
{
    const std::string h = std::to_string(r.handle);
    const std::string result = " = " + std::to_string(r.result);
    switch (r.call) {
    case EAdapterCall::Init:
        return "IICInit(" + Hex(r.address, 2) + ", " + std::to_string(r.speed) + ", " + std::to_string(r.timeout) +
               ")" + result;
    case EAdapterCall::SetAddress:
        return "SetAddress(" + h + ", " + Hex(r.address, 2) + ")" + result;
    case EAdapterCall::SendSub:
        return "SendSub(" + h + ", " + std::to_string(r.flags) + ", " + Hex(r.subAddress, 2) + ", " + Bytes(r.data) +
               ", " + std::to_string(r.length) + ", " + std::to_string(r.stop) + ")" + result;
    case EAdapterCall::Send:
        return "Send(" + h + ", " + Bytes(r.data) + ", " + std::to_string(r.flags) + ", " + std::to_string(r.length) +
               ")" + result;
    case EAdapterCall::Receive:
        return "Receive(" + h + ", " + Bytes(r.data) + ", " + std::to_string(r.flags) + ", " +
               std::to_string(r.length) + ")" + result;
    case EAdapterCall::Close:
        return "IICClose(" + h + ")" + result;
    }
    return {};
}

CAdapterCallRecord CRecordingAdapter::Begin(EAdapterCall call, std::int32_t handle) const
{
    CAdapterCallRecord r;
    r.time = m_clock.Now();
    r.call = call;
    r.handle = handle;
    return r;
}

void CRecordingAdapter::CheckOpen(std::int32_t handle)
{
    if (!m_open.count(handle))
        ++m_handleFaults;
}

void CRecordingAdapter::Record(CAdapterCallRecord record)
{
    if (m_trace) {
        char stamp[32];
        std::snprintf(stamp, sizeof stamp, "%12.3f ms  ", static_cast<double>(record.time.count()) / 1000.0);
        *m_trace << stamp << FormatCall(record) << '\n' << std::flush; // a program that dies still leaves its trace
    }
    m_log.push_back(std::move(record));
}

std::int32_t CRecordingAdapter::IICInit(std::uint32_t address, std::uint32_t speed, std::uint32_t timeout)
{
    CAdapterCallRecord r = Begin(EAdapterCall::Init, 0);
    r.address = address;
    r.speed = speed;
    r.timeout = timeout;
    r.handle = m_inner.IICInit(address, speed, timeout);
    r.result = static_cast<std::uint32_t>(r.handle);
    if (!m_open.insert(r.handle).second)
        ++m_handleFaults; // the adapter handed out a handle that is still open
    Record(std::move(r));
    return static_cast<std::int32_t>(m_log.back().result);
}

std::uint32_t CRecordingAdapter::SetAddress(std::int32_t handle, std::uint32_t address)
{
    CheckOpen(handle);
    CAdapterCallRecord r = Begin(EAdapterCall::SetAddress, handle);
    r.address = address;
    r.result = m_inner.SetAddress(handle, address);
    Record(std::move(r));
    return m_log.back().result;
}

std::uint32_t CRecordingAdapter::SendSub(std::int32_t handle, std::uint32_t flags, std::uint32_t subAddress,
                                         const std::uint8_t* data, std::uint32_t length, std::uint32_t stop)
{
    CheckOpen(handle);
    CAdapterCallRecord r = Begin(EAdapterCall::SendSub, handle);
    r.flags = flags;
    r.subAddress = subAddress;
    r.length = length;
    r.stop = stop;
    r.data.assign(data, data + length);
    r.result = m_inner.SendSub(handle, flags, subAddress, data, length, stop);
    Record(std::move(r));
    return m_log.back().result;
}

std::uint32_t CRecordingAdapter::Send(std::int32_t handle, const std::uint8_t* data, std::uint32_t flags,
                                      std::uint32_t length)
{
    CheckOpen(handle);
    CAdapterCallRecord r = Begin(EAdapterCall::Send, handle);
    r.flags = flags;
    r.length = length;
    r.data.assign(data, data + length);
    r.result = m_inner.Send(handle, data, flags, length);
    Record(std::move(r));
    return m_log.back().result;
}

std::uint32_t CRecordingAdapter::Receive(std::int32_t handle, std::uint8_t* data, std::uint32_t flags,
                                         std::uint32_t length)
{
    CheckOpen(handle);
    CAdapterCallRecord r = Begin(EAdapterCall::Receive, handle);
    r.flags = flags;
    r.length = length;
    r.result = m_inner.Receive(handle, data, flags, length);
    r.data.assign(data, data + length); // what the buffer holds afterwards, on failure too
    Record(std::move(r));
    return m_log.back().result;
}

std::uint32_t CRecordingAdapter::IICClose(std::int32_t handle)
{
    if (m_open.erase(handle) == 0)
        ++m_handleFaults;
    CAdapterCallRecord r = Begin(EAdapterCall::Close, handle);
    r.result = m_inner.IICClose(handle);
    Record(std::move(r));
    return m_log.back().result;
}

CTraceFile::CTraceFile() = default;

CTraceFile::~CTraceFile()
{
    std::string ignored;
    Close(ignored);
}

bool CTraceFile::Open(const std::string& path, std::string& error, const CStopCheck& stop)
{
    CFileFault fault;
    const int fd = OpenForWriting(path, fault, stop);
    if (fd < 0) {
        error = "Error: Could not open the trace file " + path + ": " + fault.reason;
        return false;
    }
    m_path = path;
    m_buffer = std::make_unique<CTraceBuffer>(fd, stop); // owns the descriptor
    m_stream = std::make_unique<std::ostream>(m_buffer.get());
    return true;
}

bool CTraceFile::Close(std::string& error)
{
    if (!m_stream)
        return true;
    auto* file = static_cast<CTraceBuffer*>(m_buffer.get());
    const bool written = file->Close();
    const std::string reason = file->Reason();
    m_stream.reset();
    m_buffer.reset();
    if (written)
        return true;
    error = "Error: Could not write the trace file " + m_path + ": " + reason;
    return false;
}

} // namespace zarnix
