// Counts the read requests that pass on to the adapter: the read-back of the
// live settings has no progress hook of its own, and its 44 requests are what
// take its time, so a progress display steps on each.
#pragma once

#include <cstdint>
#include <functional>

#include "link/adapter.h"

namespace zarnix {

class CReadRequestCounter final : public CForwardingAdapter {
public:
    using CForwardingAdapter::CForwardingAdapter;
    // `heard` runs after each read request; an empty one stops the telling.
    void OnReadRequest(std::function<void()> heard) { m_heard = std::move(heard); }

    std::uint32_t SendSub(std::int32_t handle, std::uint32_t flags, std::uint32_t subAddress,
                          const std::uint8_t* data, std::uint32_t length, std::uint32_t stop) override;

private:
    std::function<void()> m_heard;
};

} // namespace zarnix
