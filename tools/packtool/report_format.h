// What `packtool show` prints: the report of a package reading as text for
// people or as JSON for scripts.
#pragma once
#include <string>

#include "package_reader.h"

namespace packtool {

// The title is shown decoded from `codePage`.
std::string FormatReportText(const std::string& path, const PackageReport& report, int codePage);
std::string FormatReportJson(const std::string& path, const PackageReport& report, int codePage);

}  // namespace packtool
