// The program's version and the source it was built from, as --version and
// the About box show them.
#pragma once

#include <string>
#include <string_view>

namespace uav {

// The release number, "0.1".
const char* releaseVersion();
// What `git describe --always --dirty` said of the source tree when the build
// was configured ("00c4c61", "v0.1-3-g00c4c61-dirty"); empty when the source
// was not a git clone.
const char* gitDescription();
// "<program> <version>" on the first line, "built from git <description>" (or
// "built from a source tree without git") on the second, each ending in '\n'.
std::string versionText(std::string_view program);

}  // namespace uav
