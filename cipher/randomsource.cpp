// SPDX-License-Identifier: GPL-3.0-or-later
#include "randomsource.h"

#include <chrono>

namespace ModCodeur {

void ClockRandomSource::reseed()
{
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    engine().seed(static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(now).count()));
}

} // namespace ModCodeur
