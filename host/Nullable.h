#pragma once
#include <optional>

namespace Vor {

// A value or nothing; check states use Nullable<bool> (true, false, empty for mixed).
template <typename T> using Nullable = std::optional<T>;

} // namespace Vor
