#include "link/read_requests.h"

#include "link/iic_link.h"

namespace zarnix {

std::uint32_t CReadRequestCounter::SendSub(std::int32_t handle, std::uint32_t flags, std::uint32_t subAddress,
                                           const std::uint8_t* data, std::uint32_t length, std::uint32_t stop)
{
    const std::uint32_t status = m_inner.SendSub(handle, flags, subAddress, data, length, stop);
    if (subAddress == kSubAddressRead && m_heard)
        m_heard();
    return status;
}

} // namespace zarnix
