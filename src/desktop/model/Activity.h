#pragma once

namespace vorn {

/// What a row's activity light shows: the card read or wrote the item in the last seconds.
enum class Activity { none, read, write };

} // namespace vorn
