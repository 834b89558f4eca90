#include "link/adapters/recording_adapter.h"

#include <ext/stdio_filebuf.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "link/files.h"

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

bool CTraceFile::Open(const std::string& path, std::string& error)
{
    CFileFault fault;
    const int fd = OpenForWriting(path, fault);
    if (fd < 0) {
        error = "Error: Could not open the trace file " + path + ": " + fault.reason;
        return false;
    }
    m_path = path;
    // The buffer owns the descriptor and closes it with itself.
    m_buffer = std::make_unique<__gnu_cxx::stdio_filebuf<char>>(fd, std::ios::out);
    m_stream = std::make_unique<std::ostream>(m_buffer.get());
    return true;
}

bool CTraceFile::Close(std::string& error)
{
    if (!m_stream)
        return true;
    m_stream->flush();
    const bool written = !m_stream->fail();
    auto* file = static_cast<__gnu_cxx::stdio_filebuf<char>*>(m_buffer.get());
    const bool closed = file->close() != nullptr;
    m_stream.reset();
    m_buffer.reset();
    if (written && closed)
        return true;
    error = "Error: Could not write the trace file " + m_path;
    return false;
}

} // namespace zarnix
