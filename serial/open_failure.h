#pragma once
#include <string>

namespace qv {

// A sentence for the terminal pane saying why a port could not be opened
// (UTF-8), e.g. that the user must join the group that owns the device.
std::string DescribeOpenFailure(const std::string& devicePath, int err);

}  // namespace qv
