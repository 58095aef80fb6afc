// Table rows with a `name` print as that name in test listings and ctest.
// Bring it into the rows' namespace: `using testsupport::PrintTo;`.
#pragma once

#include <ostream>

namespace testsupport {

template <typename T>
requires requires(const T& t)
{
    t.name;
}
void PrintTo(const T& row, std::ostream* os)
{
    *os << row.name;
}

} // namespace testsupport
